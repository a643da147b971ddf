#include "platform/time/clock.h"

#include <cerrno>
#include <cstdlib>
#include <string>

namespace qb::clock {
namespace {

// QUILLBOX_FIXED_TIME when it is a whole number of seconds, else nothing; a malformed value is
// ignored rather than taken as some other time.
std::optional<int64_t> FixedFromEnvironment() {
  const char* text = std::getenv("QUILLBOX_FIXED_TIME");
  if (text == nullptr || *text == '\0') return std::nullopt;
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0') return std::nullopt;
  return static_cast<int64_t>(value);
}

struct Instant {
  int64_t seconds;
  uint32_t nanoseconds;
};

Instant Now() {
  if (auto env = FixedFromEnvironment()) return {*env, 0};
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return {static_cast<int64_t>(ts.tv_sec), static_cast<uint32_t>(ts.tv_nsec)};
}

}  // namespace

FILETIME TicksToFileTime(uint64_t ticks) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

uint64_t FileTimeToTicks(FILETIME ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

uint64_t UnixToTicks(int64_t seconds, uint32_t nanoseconds) {
  if (seconds < -kUnixEpochAsFileTimeSeconds) return 0;
  // Seconds from 1601 fit comfortably: the range of a uint64_t of ticks reaches year 60056.
  uint64_t since1601 = static_cast<uint64_t>(seconds + kUnixEpochAsFileTimeSeconds);
  if (since1601 > UINT64_MAX / kTicksPerSecond - 1) return UINT64_MAX;
  return since1601 * kTicksPerSecond + nanoseconds / 100u;
}

int64_t TicksToUnixSeconds(uint64_t ticks) {
  return static_cast<int64_t>(ticks / kTicksPerSecond) - kUnixEpochAsFileTimeSeconds;
}

uint64_t NowTicks() {
  Instant now = Now();
  return UnixToTicks(now.seconds, now.nanoseconds);
}

FILETIME NowFileTime() {
  return TicksToFileTime(NowTicks());
}

int64_t NowUnixSeconds() {
  return Now().seconds;
}

std::tm NowLocal() {
  time_t t = static_cast<time_t>(Now().seconds);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) {
    // Out of the C library's range: report the epoch rather than an uninitialised time.
    t = 0;
    localtime_r(&t, &local);
  }
  return local;
}

void SetFixedTime(std::optional<int64_t> unixSeconds) {
  if (unixSeconds) {
    setenv("QUILLBOX_FIXED_TIME", std::to_string(*unixSeconds).c_str(), 1);
  } else {
    unsetenv("QUILLBOX_FIXED_TIME");
  }
}

}  // namespace qb::clock
