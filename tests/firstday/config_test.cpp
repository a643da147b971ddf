// The configuration dialog: the token button leaves the dialog for a menu and comes back, and only
// OK changes the settings.
#include <gtest/gtest.h>

#include "first_day.h"

namespace qb::firstday {
namespace {

// F9 opens the host's plug-in configuration, Enter the main library's entry, Enter its dialog.
// Tab order: disks menu, hot key, plug-ins menu, preload, Ctrl+Ins, lines, book file,
// description, tokens, user name.
constexpr char kOpen[] = "F9\nEnter\nEnter\n";
constexpr char kToTokens[] = "Tab\nTab\nTab\nTab\nTab\nTab\nTab\nTab\n";

TEST(Configuration, CancelAfterATokenLeavesEverySettingAsItWas) {
  FirstDay day;
  const std::string out = day.Run(std::string(kOpen) + kToTokens +
                                  "Enter\nEnter\n"  // the token menu, its first token
                                  "screen\nEsc\nEsc\n" +
                                  kOpen + "screen\nEsc\nEsc\nF10\n");
  const auto screens = FirstDay::Screens(out, 25);
  ASSERT_GE(screens.size(), 2u) << out;
  EXPECT_TRUE(Shows(screens[0], "%A"));
  EXPECT_TRUE(Lacks(screens[1], "%A"));
  EXPECT_TRUE(Lacks(day.Run(std::string(kOpen) + "screen\nEsc\nEsc\nF10\n"), "%A"));
}

TEST(Configuration, AfterTheTokenMenuTheDescriptionHasTheFocus) {
  FirstDay day;
  // A blank and a letter typed after the token go into the description, not onto a check box.
  const std::string out =
      day.Run(std::string(kOpen) + kToTokens + "Enter\nEnter\ntext  Z\nscreen\nEsc\nEsc\nF10\n");
  const auto screens = FirstDay::Screens(out, 25);
  ASSERT_GE(screens.size(), 1u) << out;
  EXPECT_TRUE(Shows(screens[0], "%A Z"));
  EXPECT_TRUE(Shows(screens[0], "[x] Add to the disks menu"));
}

TEST(Configuration, SetsTheViewModesForTerminalsWithoutCtrlDigits) {
  FirstDay day;
  // Tab past the user name to the folders' view mode; 3 lists names, sizes, dates and times.
  const std::string out = day.Run(std::string(kOpen) + kToTokens +
                                  "Tab\nTab\ntext 3\nEnter\nEsc\n"
                                  "F7\ntext Work\nEnter\nEnter\nscreen\nF10\n");
  const auto screens = FirstDay::Screens(out, 25);
  ASSERT_GE(screens.size(), 1u) << out;
  EXPECT_TRUE(Shows(screens[0], "Quillbox:\\Work"));
  EXPECT_TRUE(Shows(screens[0], "│  Date  │"));
}

}  // namespace
}  // namespace qb::firstday
