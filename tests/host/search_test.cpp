// Quick search and Find through the headless host: on the disk panel of the fixture's work
// directory and on the test plug-in's panel.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "tests/host/host_run.h"

namespace qb::host::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

class HostSearch : public ::testing::Test {
 protected:
  HostSearch() {
    std::ofstream(dir.home() / "work" / "anna.txt") << "x";
    std::ofstream(dir.home() / "work" / "Anne.txt") << "x";
    std::ofstream(dir.home() / "work" / "docs" / "notes.md") << "Call BOB about the boat\n";
    std::ofstream(dir.home() / "work" / "docs" / "Bob.txt") << "nothing here\n";
  }
  HostRun Run(const std::string& script) { return RunHost(dir, script); }
  HostFixtureDir dir;
};

TEST_F(HostSearch, QuickSearchFollowsTheTypedStartSkipsOnAndLetsOtherKeysThrough) {
  // The right panel lists docs, a.txt, anna.txt, Anne.txt, b.txt.
  HostRun r =
      Run("Tab\nAltA\ntext n\nscreen\n"  // "an": the first name starting so, letter case ignored
          "CtrlEnter\nscreen\n"          // the next one
          "CtrlEnter\nscreen\n"          // round to the first again
          "text q\nscreen\n"             // no name goes on with "anq": refused
          "BS\nEsc\nCtrlIns\nclipboard\n"
          "AltA\nDown\nCtrlIns\nclipboard\nscreen\n");  // Down leaves the search and moves
  std::vector<std::string> s = r.Screens();
  ASSERT_GE(s.size(), 5u);
  EXPECT_THAT(s[0], HasSubstr(" Search "));
  EXPECT_THAT(s[0], HasSubstr("│ an "));
  EXPECT_THAT(s[0], HasSubstr("║anna.txt "));
  EXPECT_THAT(s[1], HasSubstr("║Anne.txt "));
  EXPECT_THAT(s[2], HasSubstr("║anna.txt "));
  EXPECT_THAT(s[3], HasSubstr("│ an "));
  EXPECT_THAT(s[3], Not(HasSubstr("anq")));
  // Backspace went back to "a"; Esc closed the line with the cursor left where it was.
  EXPECT_THAT(r.out, HasSubstr("\na.txt\nanna.txt\n"));
  EXPECT_THAT(s.back(), Not(HasSubstr("Search")));
}

TEST_F(HostSearch, QuickSearchOnAPluginPanel) {
  HostRun r = Run("AltB\nCtrlIns\nclipboard\nAltZ\ntext e\nEsc\nCtrlIns\nclipboard\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, 10), "beta\nzeta\n");
}

TEST_F(HostSearch, FindOnDiskByMaskAndByTextAndGoesToTheChosenFile) {
  HostRun r = Run(
      "Tab\nAltF7\nscreen\nCtrlY\ntext b*\nEnter\nscreen\nEsc\n"
      "AltF7\nCtrlY\ntext *.md,*.txt\nTab\ntext boat\nEnter\nscreen\nEnter\nCtrlIns\nclipboard\n"
      "screen\nAltF7\nTab\ntext no such text\nEnter\nscreen\n");
  std::vector<std::string> s = r.Screens();
  ASSERT_GE(s.size(), 5u);
  EXPECT_THAT(s[0], HasSubstr(" Find "));
  EXPECT_THAT(s[0], HasSubstr("A name or a mask"));
  // Names in the folder and below it, letter case ignored; folders are found by name too.
  EXPECT_THAT(s[1], HasSubstr("Find: 2 found"));
  EXPECT_THAT(s[1], HasSubstr("b.txt"));
  EXPECT_THAT(s[1], HasSubstr("docs/Bob.txt"));
  // The text is looked for in the contents, letter case ignored.
  EXPECT_THAT(s[2], HasSubstr("Find: 1 found"));
  EXPECT_THAT(s[2], HasSubstr("docs/notes.md"));
  EXPECT_THAT(r.out, HasSubstr("\nnotes.md\n"));
  EXPECT_THAT(s[3], HasSubstr("~/work/docs"));
  EXPECT_THAT(s[4], HasSubstr("Nothing was found."));
}

TEST_F(HostSearch, FindInAPluginWalksItsFoldersSilentlyAndEndsWhereItBegan) {
  HostRun r = Run(
      "AltF7\nCtrlY\ntext *\nTab\ntext SMITH\nEnter\nscreen\nEnter\nscreen\nCtrlIns\nclipboard\n");
  std::vector<std::string> s = r.Screens();
  ASSERT_GE(s.size(), 2u);
  // The test plug-in does not know OPM_FINDTEXT: its own descriptions are searched.
  EXPECT_THAT(s[0], HasSubstr("Find: 1 found"));
  EXPECT_THAT(s[0], HasSubstr("\\Friends\\carol"));
  EXPECT_THAT(s[1], HasSubstr("TestPanel:\\Friends"));
  EXPECT_THAT(r.out, HasSubstr("\ncarol\n"));
  EXPECT_THAT(
      r.Calls("SetDirectory"),
      ElementsAre("SetDirectory [Friends] 3", "SetDirectory [..] 3", "SetDirectory [Work] 3",
                  "SetDirectory [..] 3", "SetDirectory [Friends] 0"));
  EXPECT_THAT(r.Calls("GetFindData \\Friends 65538"), ElementsAre("GetFindData \\Friends 65538"));
}

}  // namespace
}  // namespace qb::host::test
