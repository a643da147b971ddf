// A record's fields show in the record's order, so that Alt+F5 (move to the front) is seen; the
// folders still list by name.
#include <gtest/gtest.h>

#include <string>

#include "first_day.h"

namespace qb::firstday {
namespace {

// Whether `first` comes before `second` on the screen.
::testing::AssertionResult Before(const std::string& screen, const std::string& first,
                                  const std::string& second) {
  const std::size_t a = screen.find(first), b = screen.find(second);
  if (a != std::string::npos && b != std::string::npos && a < b) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "\"" << first << "\" is not above \"" << second << "\":\n"
                                       << screen;
}

TEST(RecordOrder, FieldsShowInTheRecordsOrderAndAltF5IsSeen) {
  FirstDay day;
  const std::string out = day.Run(
      "ShiftF4\ntext Zed\nEnter\nShiftF4\ntext Ann\nEnter\nscreen\nEnter\n"
      // A Comment first, then an Address (the menu lists Address, Comment).
      "ShiftF4\nDown\nEnter\ntext a note\nCtrlEnter\nShiftF4\nEnter\ntext Main St\nCtrlEnter\n"
      "screen\n"
      // The Address moves to the front.
      "Home\nDown\nDown\nAltF5\nscreen\nF10\n");
  const auto screens = FirstDay::Screens(out, 25);
  ASSERT_GE(screens.size(), 3u) << out;
  EXPECT_TRUE(Before(screens[0], "║Ann", "║Zed"));
  EXPECT_TRUE(Before(screens[1], "║Comment", "║Address"));
  EXPECT_TRUE(Before(screens[2], "║Address", "║Comment"));
}

}  // namespace
}  // namespace qb::firstday
