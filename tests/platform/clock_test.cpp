#include "platform/time/clock.h"

#include <gtest/gtest.h>
#include <stdlib.h>

namespace qb::clock {
namespace {

class ClockTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetFixedTime(std::nullopt);
    unsetenv("QUILLBOX_FIXED_TIME");
  }
};

TEST_F(ClockTest, FileTimeCountsFrom1601) {
  EXPECT_EQ(UnixToTicks(0), kUnixEpochAsFileTime);
  // 2001-09-09 01:46:40 UTC, a well-known FILETIME.
  FILETIME ft = TicksToFileTime(UnixToTicks(1000000000, 500));
  EXPECT_EQ(FileTimeToTicks(ft), 126444736000000005ull);
  EXPECT_EQ(ft.dwHighDateTime, 29440209u);
  EXPECT_EQ(ft.dwLowDateTime, 1157595141u);
  EXPECT_EQ(TicksToUnixSeconds(FileTimeToTicks(ft)), 1000000000);
  EXPECT_EQ(UnixToTicks(-kUnixEpochAsFileTimeSeconds), 0u);      // 1601 itself
  EXPECT_EQ(UnixToTicks(-kUnixEpochAsFileTimeSeconds - 1), 0u);  // before 1601
  EXPECT_EQ(UnixToTicks(-kUnixEpochAsFileTimeSeconds + 1), kTicksPerSecond);
}

TEST_F(ClockTest, RealClockIsNearSystemTime) {
  int64_t before = static_cast<int64_t>(time(nullptr));
  int64_t now = TicksToUnixSeconds(NowTicks());
  EXPECT_GE(now, before);
  EXPECT_LE(now, before + 60);
}

TEST_F(ClockTest, SetterFixesTheClock) {
  SetFixedTime(1000000000);
  EXPECT_EQ(FileTimeToTicks(NowFileTime()), 126444736000000000ull);
  EXPECT_EQ(NowUnixSeconds(), 1000000000);
  SetFixedTime(std::nullopt);
  EXPECT_GT(NowUnixSeconds(), 1600000000);
}

TEST_F(ClockTest, EnvironmentFixesTheClockUnlessMalformed) {
  setenv("QUILLBOX_FIXED_TIME", "86400", 1);
  EXPECT_EQ(NowUnixSeconds(), 86400);
  setenv("TZ", "UTC", 1);
  tzset();
  std::tm local = NowLocal();
  EXPECT_EQ(local.tm_year, 70);
  EXPECT_EQ(local.tm_mday, 2);
  EXPECT_EQ(local.tm_hour, 0);
  setenv("QUILLBOX_FIXED_TIME", "12abc", 1);
  EXPECT_GT(NowUnixSeconds(), 1600000000);
  // The setter fixes the time for every reader of the environment, other library copies too.
  SetFixedTime(172800);
  EXPECT_STREQ(getenv("QUILLBOX_FIXED_TIME"), "172800");
  SetFixedTime(std::nullopt);
  EXPECT_EQ(getenv("QUILLBOX_FIXED_TIME"), nullptr);
}

TEST_F(ClockTest, LocalTimeFollowsTheTimeZone) {
  SetFixedTime(0);
  setenv("TZ", "EST5", 1);  // five hours behind UTC, no summer time
  tzset();
  std::tm local = NowLocal();
  EXPECT_EQ(local.tm_year, 69);
  EXPECT_EQ(local.tm_mon, 11);
  EXPECT_EQ(local.tm_mday, 31);
  EXPECT_EQ(local.tm_hour, 19);
  setenv("TZ", "UTC", 1);
  tzset();
}

}  // namespace
}  // namespace qb::clock
