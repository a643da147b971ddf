// Small screens: the name column keeps a usable width and other columns give way; a message box
// taller than the screen shows what fits inside its frame and scrolls to the rest.
#include <gtest/gtest.h>

#include <string>

#include "first_day.h"

namespace qb::firstday {
namespace {

constexpr char kContact[] =
    "ShiftF4\ntext Bob Fairweather\nEnter\nEnter\n"
    "ShiftF4\nEnter\ntext one\nEnter\ntext two\nEnter\ntext three\nEnter\ntext four\nCtrlEnter\n";

TEST(SmallScreen, TheNameColumnKeepsAUsableWidth) {
  FirstDay day({"Comment.qbl"});
  const std::string out =
      day.Run(std::string(kContact) + "screen\nCtrlPgUp\nscreen\nF10\n", "60x20");
  const auto screens = FirstDay::Screens(out, 20);
  ASSERT_GE(screens.size(), 2u) << out;
  // Inside the record: twelve cells of name, the description narrowed beside it.
  EXPECT_TRUE(Shows(screens[0], "║Comment     │one"));
  // In the folder: the record's name, not two letters of it.
  EXPECT_TRUE(Shows(screens[1], "║Bob Fairweat"));
}

TEST(SmallScreen, AMessageBoxTallerThanTheScreenScrollsInsideItsFrame) {
  FirstDay day({"Comment.qbl"});
  const std::string out =
      day.Run(std::string(kContact) + "size 30x8\nF3\nscreen\nDown\nDown\nscreen\nEsc\nF10\n");
  const auto screens = FirstDay::Screens(out, 8);
  ASSERT_GE(screens.size(), 2u) << out;
  // First the top lines, the button row and a whole bottom frame that says there is more.
  EXPECT_TRUE(Shows(screens[0], "one"));
  EXPECT_TRUE(Shows(screens[0], "[ OK ]"));
  EXPECT_TRUE(Shows(screens[0], "╚════════════▼╝"));
  EXPECT_TRUE(Lacks(screens[0], "four"));
  // Scrolled down: the last line, above the button, and the frame's top says there is more.
  EXPECT_TRUE(Shows(screens[1], "four"));
  EXPECT_TRUE(Shows(screens[1], "[ OK ]"));
  EXPECT_TRUE(Shows(screens[1], "═▲╗"));
  EXPECT_TRUE(Shows(screens[1], "╚═════════════╝"));
}

}  // namespace
}  // namespace qb::firstday
