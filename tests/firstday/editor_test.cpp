// The multi-line editor of Comment and Address: Enter splits lines, Backspace and Del join them,
// the text grows beyond the lines offered and scrolls, and F2 accepts where Ctrl+Enter cannot
// arrive.
#include <gtest/gtest.h>

#include <string>

#include "first_day.h"

namespace qb::firstday {
namespace {

constexpr char kRecord[] = "ShiftF4\ntext Bob\nEnter\nEnter\n";

// What the clipboard steps printed: the output before the last screen.
std::string Clipped(const std::string& out) {
  return out.substr(0, out.find("╔"));
}

TEST(Editor, GrowsBeyondTheLinesOfferedAndScrolls) {
  FirstDay day({"Comment.qbl"});
  std::string script = std::string(kRecord) + "ShiftF4\nEnter\n";
  for (int i = 1; i <= 7; ++i) script += "text line" + std::to_string(i) + "\nEnter\n";
  // Seven lines typed into the five offered: the last ones are in view, the first scrolled off.
  script += "BS\nscreen\nUp\nUp\nUp\nUp\nUp\nUp\nscreen\nF2\nCtrlIns\nclipboard\nF10\n";
  const std::string out = day.Run(script);
  const auto screens = FirstDay::Screens(out, 25);
  ASSERT_GE(screens.size(), 2u) << out;
  EXPECT_TRUE(Shows(screens[0], "line7"));
  EXPECT_TRUE(Shows(screens[0], "line3"));
  EXPECT_TRUE(Lacks(screens[0], "line2"));
  EXPECT_TRUE(Shows(screens[0], "Ctrl+Enter or F2 accepts"));
  EXPECT_TRUE(Shows(screens[1], "line1"));
  EXPECT_TRUE(Lacks(screens[1], "line7"));
  const std::string text = out.substr(out.rfind("line1\n"));
  EXPECT_EQ(Clipped(text), "line1\nline2\nline3\nline4\nline5\nline6\nline7\n") << out;
}

TEST(Editor, EnterSplitsBackspaceAndDelJoin) {
  FirstDay day({"Comment.qbl"});
  const std::string out = day.Run(std::string(kRecord) +
                                  "ShiftF4\nEnter\ntext one two\nCtrlEnter\n"
                                  // Split before " two", accepted with F2.
                                  "F4\nHome\nRight\nRight\nRight\nEnter\nF2\nCtrlIns\nclipboard\n"
                                  // Backspace at the start of " two" joins it back.
                                  "F4\nDown\nHome\nBS\nCtrlEnter\nCtrlIns\nclipboard\n"
                                  // Split again, then Del at the end of "one" joins.
                                  "F4\nHome\nRight\nRight\nRight\nEnter\nUp\nEnd\nDel\nF2\n"
                                  "CtrlIns\nclipboard\nF10\n");
  EXPECT_EQ(Clipped(out), "one\n two\none two\none two\n") << out;
}

}  // namespace
}  // namespace qb::firstday
