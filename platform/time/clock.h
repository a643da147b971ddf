// The clock. Real time by default; tests fix it so that what depends on "now" (serial numbers,
// reminders, file times) is reproducible.
//
// A fixed time lives in the environment variable QUILLBOX_FIXED_TIME (whole Unix seconds, read at
// every call), so that every library copy in a process - and every child process - agrees on the
// time a test sets. A value that is not a whole number is ignored: the clock then runs freely.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>

#include "sdk/far.h"

namespace qb::clock {

// FILETIME counts 100-nanosecond intervals ("ticks") since 1601-01-01 UTC. Its epoch is spelled
// here and nowhere else: convert with the functions below, or with these constants where a count
// in seconds is at hand.
inline constexpr uint64_t kTicksPerSecond = 10000000ull;
// Seconds and ticks between 1601-01-01 and 1970-01-01 (both UTC).
inline constexpr int64_t kUnixEpochAsFileTimeSeconds = 11644473600ll;
inline constexpr uint64_t kUnixEpochAsFileTime =
    static_cast<uint64_t>(kUnixEpochAsFileTimeSeconds) * kTicksPerSecond;
static_assert(kUnixEpochAsFileTime == 116444736000000000ull);

// Now, as a count of 100-nanosecond intervals since 1601-01-01 UTC.
uint64_t NowTicks();
// Now, as Windows' FILETIME.
FILETIME NowFileTime();
// Now, in whole Unix seconds.
int64_t NowUnixSeconds();
// Now, as local calendar time (time zone of the process, TZ honoured).
std::tm NowLocal();

// Conversions between the representations.
FILETIME TicksToFileTime(uint64_t ticks);
uint64_t FileTimeToTicks(FILETIME ft);
// Unix time (seconds and nanoseconds, seconds may be negative) to ticks; times before 1601
// give 0.
uint64_t UnixToTicks(int64_t seconds, uint32_t nanoseconds = 0);
// Ticks to whole Unix seconds (rounded down).
int64_t TicksToUnixSeconds(uint64_t ticks);

// Fixes the clock of the whole process at the given Unix time (nanoseconds 0), or frees it
// (std::nullopt), by setting QUILLBOX_FIXED_TIME. Not safe while other threads read the
// environment.
void SetFixedTime(std::optional<int64_t> unixSeconds);

}  // namespace qb::clock
