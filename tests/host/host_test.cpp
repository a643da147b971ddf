// The host driven through the headless front end against the test plug-in: whole screens, the
// results handed back to the plug-in, and the calls it received.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "sdk/far.h"
#include "tests/host/host_run.h"

namespace qb::host::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

bool Logged(const HostRun& r, const std::string& line) {
  return std::find(r.log.begin(), r.log.end(), line) != r.log.end();
}

// Each test plays a script in a fresh home directory of its own.
class HostTest : public ::testing::Test {
 protected:
  HostRun Run(const std::string& script, const std::string& size = "60x16",
              const std::string& env_extra = "") {
    return RunHost(dir, script, size, env_extra);
  }
  HostFixtureDir dir;
};

using HostPanels = HostTest;
using HostDialog = HostTest;
using HostMenu = HostTest;
using HostMenus = HostTest;
using HostMessage = HostTest;
using HostMouse = HostTest;
using HostCommandLine = HostTest;
using HostServices = HostTest;
using HostStart = HostTest;

TEST_F(HostPanels, StartsOnTheDiskMenuEntryWithThePluginsModesAndKeyBar) {
  HostRun r = Run("Down\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "╔════════ TestPanel ═════════╗╔══════════ ~/work ══════════╗\n"
            "║    Name    │     Note      ║║    Name     │     Name     ║\n"
            "║..          │               ║║..           │              ║\n"
            "║Friends     │Close ones     ║║docs         │              ║\n"
            "║Work        │               ║║a.txt        │              ║\n"
            "║zeta        │Always first   ║║b.txt        │              ║\n"
            "║alpha       │First item     ║║             │              ║\n"
            "║beta        │Second item    ║║             │              ║\n"
            "║            │               ║║             │              ║\n"
            "║            │               ║║             │              ║\n"
            "║            │               ║║             │              ║\n"
            "╟────────────┴───────────────╢╟─────────────┴──────────────╢\n"
            "║Close ones                  ║║..                        Up║\n"
            "╚════════════════════════════╝╚════════════════════════════╝\n"
            "~/work>\n"
            "1       2       3View   4Edit   5Copy   6RenMov 7NewDir\n");
  // The table is complete and the module name is the library's full path.
  EXPECT_EQ(r.log.at(0), "SetStartupInfo size=" + std::to_string(sizeof(PluginStartupInfo)) +
                             " module=Quillbox.so absolute=1 root=Software\\Far\\Plugins");
  EXPECT_EQ(r.log.at(1), "GetPluginInfo");
  EXPECT_EQ(r.log.at(2), "OpenPlugin 0 0");
  EXPECT_EQ(r.log.back(), "ExitFAR");
  EXPECT_TRUE(Logged(r, "ClosePlugin "));
}

TEST_F(HostPanels, EnterAndDotsMoveThroughThePluginAndLeaveItAtItsRoot) {
  HostRun r = Run("Down\nEnter\nscreen\nHome\nEnter\nscreen\nHome\nEnter\n");
  std::vector<std::string> s = r.Screens();
  ASSERT_EQ(s.size(), 3u);
  EXPECT_THAT(s[0], HasSubstr("TestPanel:\\Friends"));
  EXPECT_THAT(s[0], HasSubstr("║carol       │Carol Smith    ║"));
  // Back at the root the cursor stands on the folder that was left.
  EXPECT_THAT(s[1], HasSubstr("║Close ones                  ║"));
  // ".." at the root: the plug-in closes its panel and the file panel comes back.
  EXPECT_THAT(s[2], HasSubstr("╔══════════ ~/work ══════════╗╔══════════ ~/work ══════════╗"));
  EXPECT_THAT(r.Calls("SetDirectory"), ElementsAre("SetDirectory [Friends] 0",
                                                   "SetDirectory [..] 0", "SetDirectory [..] 0"));
  EXPECT_TRUE(Logged(r, "ClosePlugin "));
}

TEST_F(HostDialog, EveryItemTypeHandsTheUsersInputBack) {
  HostRun r =
      Run("ShiftF4\nscreen\n"
          "text  Lee\n"                                           // history edit
          "Tab\nBS\ntext xy\n"                                    // password
          "Tab\ntext 0930\n"                                      // masked fixed edit
          "Tab\nEnd\ntext  two\nEnter\ntext three\nUp\ntext !\n"  // editor lines, column kept
          "AltO\nAltP\nAltM\n"            // radio, check box, three-state box
          "Tab\nCtrlDown\nDown\nEnter\n"  // combo list: blue
          "Enter\n",
          "60x20");
  ASSERT_EQ(r.status, 0);
  std::vector<std::string> s = r.Screens();
  ASSERT_GE(s.size(), 1u);
  EXPECT_EQ(s[0],
            "╔════════ TestPanel ═════════╗╔══════════ ~/work ══════════╗\n"
            "║                                                          ║\n"
            "║.   ╔══════════════════ All items ═══════════════════╗    ║\n"
            "║F   ║ Name:  Ann                ↓**        12:34     ║    ║\n"
            "║W   ╟──────────────────── Notes ─────────────────────╢    ║\n"
            "║z   ║ line one                                       ║    ║\n"
            "║a   ║                                                ║    ║\n"
            "║b   ║                                                ║    ║\n"
            "║    ║ ┌─────────────────── Kind ───────────────────┐ ║    ║\n"
            "║    ║ │ (•) Home     ( ) Office                    │ ║    ║\n"
            "║    ║ │ [ ] Private    [?] Maybe                   │ ║    ║\n"
            "║    ║ └────────────────────────────────────────────┘ ║    ║\n"
            "║    ║ green           ↓                            a ║    ║\n"
            "║    ║                    Centred                   b ║    ║\n"
            "║    ╟────────────────────────────────────────────────╢    ║\n"
            "╟─   ║               { OK } [ Cancel ]                ║   ─╢\n"
            "║    ║                                                ║   p║\n"
            "╚═   ╚════════════════════════════════════════════════╝   ═╝\n"
            "~/\n"
            "1       2       3View   4Edit   5Copy   6RenMov 7NewDir\n");
  EXPECT_THAT(r.Calls(""),
              testing::IsSupersetOf(std::vector<std::string>{
                  "Dialog result 18", "  item 2 data [Ann Lee]", "  item 3 data [pxy]",
                  "  item 4 data [09:30]", "  item 6 data [line !one two]", "  item 7 data [three]",
                  "  item 8 data []", "  item 10 selected 0", "  item 11 selected 1",
                  "  item 12 selected 1", "  item 13 selected 0", "  item 14 data [blue]",
                  "  list 1 flags -", "  list 2 flags selected"}));
}

TEST_F(HostDialog, FullFixedWidthFieldsShowTheirWholeTextAndOverwriteTheLastCharacter) {
  HostRun r = Run("AltF6\nscreen\ntext 5\nTab\ntext abcd\nscreen\nEnter\n");
  std::vector<std::string> s = r.Screens();
  ASSERT_GE(s.size(), 2u);
  // One cell wide, holding one character, cursor after it: the character still shows.
  EXPECT_THAT(s[0], HasSubstr("║   3            ║"));
  EXPECT_THAT(s[1], HasSubstr("║   5  abd       ║"));
  EXPECT_THAT(r.Calls(""), testing::IsSupersetOf(std::vector<std::string>{
                               "Dialog result 3", "  item 1 data [5]", "  item 2 data [abd]"}));
}

TEST_F(HostDialog, EscapeGivesMinusOneAndHistoryRemembersAcceptedText) {
  HostRun r =
      Run("ShiftF4\nCtrlY\ntext Zoe\nEnter\n"        // accepted: Zoe goes to history
          "ShiftF4\nCtrlY\nCtrlDown\nEnter\nEsc\n",  // picked from history, escaped
          "60x20");
  EXPECT_THAT(r.Calls("Dialog result"), ElementsAre("Dialog result 18", "Dialog result -1"));
  EXPECT_THAT(r.Calls("  item 2 data"), ElementsAre("  item 2 data [Zoe]", "  item 2 data [Zoe]"));
}

TEST_F(HostDialog, ALongHistoryEntryIsCutInItsListAtACharacter) {
  std::string name;
  for (int i = 0; i < 70; ++i) name += "Ж";  // 140 bytes: more than a menu line holds
  HostRun r = Run("ShiftF4\nCtrlY\ntext " + name +
                      "\nEnter\nShiftF4\nCtrlDown\nscreen\n"
                      "Enter\nEsc\n",
                  "80x20");
  std::string list_line = "║ " + name.substr(0, 63 * 2) + " ║";
  EXPECT_THAT(r.out, HasSubstr(list_line));
  EXPECT_EQ(r.out.find("\xEF\xBF\xBD"), std::string::npos) << r.out;  // no replacement character
  // Picking the entry still hands back all of it.
  EXPECT_THAT(r.Calls("  item 2 data"),
              ElementsAre("  item 2 data [" + name + "]", "  item 2 data [" + name + "]"));
}

TEST_F(HostDialog, ScriptEndingInsideADialogEndsTheRunCleanly) {
  HostRun r = Run("ShiftF4\ntext Q\n", "60x20");
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("Name:  AnnQ"));
  EXPECT_TRUE(Logged(r, "Dialog result -1"));
  EXPECT_EQ(r.log.back(), "ExitFAR");
}

TEST_F(HostDialog, DialogsMenusAndMessagesFollowAResizeOfTheScreen) {
  // Each window is opened on one size and shown on another: it is placed anew, whole and
  // centred, with nothing of the old layout left over.
  HostRun r =
      Run("ShiftF4\nsize 80x24\nscreen\nEsc\n"
          "ShiftF3\nsize 40x14\nscreen\nEsc\n"
          "AltF3\nsize 60x16\nscreen\nEsc\n",
          "40x14");
  const std::string& o = r.out;
  EXPECT_THAT(
      o, HasSubstr(
             "║Work          ╔══════════════════ All items ═══════════════════╗              ║\n"
             "║zeta          ║ Name:  Ann                ↓**        12:34     ║              ║\n"));
  EXPECT_THAT(
      o, HasSubstr(
             "║              ║               { OK } [ Cancel ]                ║              ║\n"
             "║              ║                                                ║              ║\n"
             "╟───────────   ╚════════════════════════════════════════════════╝   ───────────╢\n"));
  EXPECT_THAT(o, HasSubstr("║Work    ╔═════ Question ═════╗        ║\n"
                           "║zeta    ║  Delete the item?  ║        ║\n"
                           "║alpha   ╟────────────────────╢        ║\n"
                           "║beta    ║ It can't be undone ║        ║\n"
                           "║        ║   [ Yes ] [ No ]   ║        ║\n"
                           "╟─────   ╚════════════════════╝   ─────╢\n"));
  EXPECT_THAT(o, HasSubstr("║zeta        │Always fir╔══ Pick ══╗        │              ║\n"));
  EXPECT_THAT(o, HasSubstr("║            │          ╚═ Bottom ═╝        │              ║\n"));
  EXPECT_THAT(r.Calls("Dialog result"), ElementsAre("Dialog result -1"));
}

TEST_F(HostMenu, BreakKeysHotKeysAndWrapping) {
  HostRun r =
      Run("AltF3\nscreen\nDown\nDown\nShiftDel\n"  // Second, Third, wraps to First
          "AltF3\nF4\n"                            // break key 0 on the preset item
          "AltF3\nt\n"                             // automatic hot key of "Third"
          "AltF3\nEsc\n");
  std::vector<std::string> s = r.Screens();
  ASSERT_GE(s.size(), 1u);
  EXPECT_THAT(s[0], HasSubstr("║zeta        │Always fir╔══ Pick ══╗        │              ║\n"
                              "║alpha       │First item║ First    ║        │              ║\n"
                              "║beta        │Second ite║ Second   ║        │              ║\n"
                              "║            │          ╟──────────╢        │              ║\n"
                              "║            │          ║√Third    ║        │              ║\n"
                              "║            │          ╚═ Bottom ═╝        │              ║\n"));
  EXPECT_THAT(r.Calls("Menu"), ElementsAre("Menu result 0 break 1", "Menu result 1 break 0",
                                           "Menu result 3 break -1", "Menu result -1 break -1"));
}

TEST_F(HostMenu, AMenuWithoutItemsWaitsForItsBreakKeysAndOneWithoutBreakKeysEndsAtOnce) {
  HostRun r = Run("AltF4\nscreen\nDown\nIns\nAltF4\nF4\nAltF4\nEnter\n");
  std::vector<std::string> s = r.Screens();
  ASSERT_GE(s.size(), 1u);
  EXPECT_THAT(s[0], HasSubstr("╔═ Empty ═╗"));
  EXPECT_THAT(s[0], HasSubstr("╚══ Ins ══╝"));
  // Down moves to nothing; each break key ends the menu with its index, Enter chooses nothing.
  // The menu without break keys ends at once each time.
  EXPECT_THAT(r.Calls("Menu"), ElementsAre("Menu result -1 break 0", "Menu result -1 break -1",
                                           "Menu result -1 break 1", "Menu result -1 break -1",
                                           "Menu result -1 break -1", "Menu result -1 break -1"));
}

TEST_F(HostMenu, TabsLineTheirPartsUpInColumnsAndKeepTheHotKey) {
  HostRun r = Run("AltF5\nscreen\nc\n");
  std::vector<std::string> s = r.Screens();
  ASSERT_GE(s.size(), 1u);
  EXPECT_THAT(s[0], HasSubstr("╔══════ Tabs ══════╗"));
  EXPECT_THAT(s[0], HasSubstr("║ Phone number  %P ║"));
  EXPECT_THAT(s[0], HasSubstr("║ Comment       %C ║"));
  EXPECT_THAT(s[0], HasSubstr("║ Plain            ║"));
  EXPECT_THAT(s[0], HasSubstr("║ 漢字         W   ║"));
  EXPECT_THAT(r.Calls("Menu"), ElementsAre("Menu result 1"));
}

TEST_F(HostMessage, AMessageWithoutButtonsGivesWayToTheNextModalWindow) {
  HostRun r = Run("CtrlF5\nscreen\nEnter\n");
  std::vector<std::string> s = r.Screens();
  ASSERT_GE(s.size(), 1u);
  EXPECT_THAT(s[0], HasSubstr("Go on?"));
  EXPECT_THAT(s[0], Not(HasSubstr("Working")));
  EXPECT_THAT(r.Calls("Message"), ElementsAre("Message result 0"));
}

TEST_F(HostMessage, ButtonsSeparatorsAndAMessageWithoutButtons) {
  HostRun r = Run("ShiftF3\nscreen\nRight\nEnter\nShiftF3\nAltY\nShiftF3\nEsc\nShiftF5\n");
  std::vector<std::string> s = r.Screens();
  ASSERT_EQ(s.size(), 2u);
  EXPECT_THAT(s[0], HasSubstr("║zeta        │Al   ╔═════ Question ═════╗   │              ║\n"
                              "║alpha       │Fi   ║  Delete the item?  ║   │              ║\n"
                              "║beta        │Se   ╟────────────────────╢   │              ║\n"
                              "║            │     ║ It can't be undone ║   │              ║\n"
                              "║            │     ║   [ Yes ] [ No ]   ║   │              ║\n"
                              "║            │     ╚════════════════════╝   │              ║\n"));
  // The box without buttons is still on the final screen: nothing came after it.
  EXPECT_THAT(s[1], HasSubstr("╔══ Working ══╗"));
  EXPECT_THAT(r.Calls("Message"), ElementsAre("Message result 1", "Message result 0",
                                              "Message result -1", "Message result -1"));
}

TEST_F(HostPanels, ViewModesKeyBarLayersAndPanelControl) {
  HostRun r = Run("Alt\nscreen\nCtrl2\nShiftF8\nscreen\nIns\nShiftF7\n");
  std::vector<std::string> s = r.Screens();
  ASSERT_EQ(s.size(), 3u);
  EXPECT_THAT(s[0], HasSubstr("1Left   2Right  3Test   4       5       6       7Find\n"));
  // Mode 2 has a wide name column, the new item is listed and the cursor was put on item 2.
  EXPECT_THAT(s[1], HasSubstr("║     Name      │    Note    ║"));
  EXPECT_THAT(s[1], HasSubstr("║added          │Added later ║"));
  EXPECT_THAT(s[1], HasSubstr("║Work                        ║"));
  // Items come back with their user data copied by the host (name length * 100 + description
  // length), the selection and the other panel's directory.
  std::vector<std::string> info = r.Calls("PanelInfo");
  ASSERT_EQ(info.size(), 2u);
  EXPECT_EQ(info[0],
            "PanelInfo plugin=1 items=[..#0,Friends#710,Work#400,zeta#412,added#511,alpha#510,"
            "beta#411] selected=[Work] current=3 view=2 dir=[]");
  EXPECT_EQ(info[1],
            "PanelInfo plugin=0 items=[..#0,docs#0,a.txt#0,b.txt#0] selected=[..] "
            "current=0 view=2 dir=[" +
                (dir.home() / "work").string() + "]");
}

TEST_F(HostMouse, ClicksPickPanelItemsAndKeyBarLabelsAreTheirKeysWithTheLayerShown) {
  // 80 columns: key-bar labels are 8 cells apart (F3 at 16..22, F8 at 56..62) on row 15; the
  // right panel's first group of names spans 41..59, its second 60..78; items start on row 2.
  HostRun r =
      Run("click 50 4\nCtrlIns\nclipboard\n"  // right panel, third item
          "click 70 3\nCtrlIns\nclipboard\n"  // empty second group: no move
          "click 5 5\nCtrlIns\nclipboard\n"   // left panel again, fourth item
          "Shift\nclick 18 15\n"              // Shift layer shown: Shift+F3
          "click 18 15\nclick 50 4\nEsc\n"    // dropped while the message is up
          "click 58 15\n",                    // plain layer again: F8
          "80x16");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, 17), "a.txt\na.txt\nzeta\n");
  EXPECT_THAT(r.Calls("Message"), ElementsAre("Message result -1"));
  EXPECT_THAT(r.Calls("DeleteFiles"), ElementsAre("DeleteFiles [zeta#412] 0"));
}

TEST_F(HostPanels, KeyBarLabelsKeepTheirSixCellsAndKeysThatDoNotFitAreLeftOut) {
  HostRun r = Run("Tab\n", "80x16");
  EXPECT_THAT(r.out,
              HasSubstr("\n1       2       3View   4Edit   5Copy   6RenMov 7MkFold 8Delete 9ConfMn "
                        "10Quit\n"));
}

TEST_F(HostPanels, CopyBetweenPluginAndFilePanels) {
  HostRun r =
      Run("End\nIns\nUp\nIns\nF5\n"                     // alpha, beta out to ~/work
          "Tab\nDown\nDown\nIns\nDown\nIns\nF6\nTab\n"  // a.txt, b.txt in
          "screen\n");
  EXPECT_THAT(r.Calls("GetFiles"), ElementsAre("GetFiles [alpha,beta] move=0 dest=work mode=0"));
  EXPECT_THAT(r.Calls("PutFiles"), ElementsAre("PutFiles [a.txt,b.txt] move=1 mode=0"));
  EXPECT_EQ(ReadFile(dir.home() / "work" / "alpha.txt"), "First item");
  std::vector<std::string> s = r.Screens();
  ASSERT_GE(s.size(), 1u);
  // The plug-in read the files from the working directory the host set; the file panel shows
  // what the plug-in wrote.
  EXPECT_THAT(s[0], HasSubstr("║a.txt       │alpha file     ║"));
  EXPECT_THAT(s[0], HasSubstr("║alpha.txt    │              ║"));
}

TEST_F(HostPanels, DeleteMakeFolderClipboardAndTimers) {
  HostRun r =
      Run("End\nCtrlIns\nclipboard\nF8\nF7\ntext X\nEnter\n"
          "ShiftF10\nwait 999\nscreen\nwait 1500\nShiftF11\nclipboard\n");
  EXPECT_THAT(r.Calls("DeleteFiles"), ElementsAre("DeleteFiles [beta#411] 0"));
  EXPECT_THAT(r.Calls("MakeDirectory"), ElementsAre("MakeDirectory mode 0 dialog 2 [NewX]"));
  EXPECT_THAT(r.Calls("Timer"), ElementsAre("Timer tick 1", "Timer tick 2"));
  EXPECT_TRUE(Logged(r, "KillTimer 1"));
  EXPECT_EQ(r.out.substr(0, 5), "beta\n");
  EXPECT_THAT(r.out, HasSubstr("from the plug-in\n"));
  // The new folder is current: its description is on the status line.
  EXPECT_THAT(r.out, HasSubstr("║made                        ║"));
}

TEST_F(HostCommandLine, PrefixOpensThePluginAndControlCanCloseIt) {
  HostRun r = Run("Tab\ntext tp:Friends\nEnter\nscreen\nCtrlQ\n", "60x16", "QB_TEST_NO_DISK=1");
  std::vector<std::string> s = r.Screens();
  ASSERT_EQ(s.size(), 2u);
  EXPECT_THAT(s[0], HasSubstr("╔══════════ ~/work ══════════╗╔════ TestPanel:\\Friends ════╗"));
  EXPECT_TRUE(Logged(r, "OpenPlugin 4 [Friends]"));
  // FCTL_CLOSEPLUGIN with "/" leaves the panel on that directory.
  EXPECT_THAT(s[1], HasSubstr("═══ ~/work ══════════╗╔════════════ / ═════════════╗"));
  EXPECT_TRUE(Logged(r, "ClosePlugin \\Friends"));
}

TEST_F(HostMenus, DisksPluginsAndConfigurationMenus) {
  HostRun r = Run("AltF2\nscreen\n3\nF11\nEnter\nF9\nEnter\n");
  std::vector<std::string> s = r.Screens();
  ASSERT_EQ(s.size(), 2u);
  EXPECT_THAT(s[0], HasSubstr("╔════ Right ════╗"));
  EXPECT_THAT(s[0], HasSubstr("║ 3  Test Panel ║"));
  EXPECT_THAT(s[1], HasSubstr("╔════════ TestPanel ═════════╗╔════════ TestPanel ═════════╗"));
  EXPECT_THAT(r.Calls("OpenPlugin"),
              ElementsAre("OpenPlugin 0 0", "OpenPlugin 0 0", "OpenPlugin 1 0"));
  EXPECT_TRUE(Logged(r, "Configure 0"));
}

TEST_F(HostServices, GetMsgFollowsTheHostsLanguageKey) {
  HostRun english = Run("ShiftF6\n");
  EXPECT_TRUE(Logged(english, "GetMsg [OK] [Third text] []"));
  std::ofstream(dir.home() / "config" / "quillbox.reg")
      << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Far\\Language]\r\n\"Main\"=\"German\"\r\n";
  HostRun german = Run("ShiftF6\n");
  EXPECT_TRUE(Logged(german, "GetMsg [Ja] [Dritter Text] []")) << german.err;
}

TEST_F(HostServices, GetDirListNamesTheWholeTreeAfterTheDirectorysOwnName) {
  std::ofstream(dir.home() / "work" / "docs" / "c.txt") << "c";
  HostRun r = Run("ShiftF9\n", "60x16", "QB_TEST_DIRLIST='" + (dir.home() / "work").string() + "'");
  EXPECT_TRUE(Logged(r, "GetDirList 1 [work/a.txt,work/b.txt,work/docs/,work/docs/c.txt]"));
  HostRun missing = Run("ShiftF9\n");
  EXPECT_TRUE(Logged(missing, "GetDirList 0 []"));
}

TEST_F(HostStart, MissingPluginIsReportedAndFilePanelsStillWork) {
  HostRun r = RunHost(dir, "screen\nDown\n", "60x16", "", (dir.home() / "none").string());
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.err, HasSubstr("The plug-in was not loaded"));
  std::vector<std::string> s = r.Screens();
  ASSERT_EQ(s.size(), 2u);
  EXPECT_THAT(s[0], HasSubstr("Error"));
  EXPECT_THAT(s[1], HasSubstr("║docs                  Folder║"));
}

TEST_F(HostStart, F10QuitsAtOnceWithoutAskingAndClosesThePlugin) {
  // F10 leaves even with a command being typed; nothing after it is played.
  HostRun r = Run("text abc\nF10\nShiftF3\nEnter\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.Calls("Message").empty());
  ASSERT_GE(r.log.size(), 2u);
  EXPECT_EQ(r.log[r.log.size() - 2].rfind("ClosePlugin", 0), 0u) << r.log[r.log.size() - 2];
  EXPECT_EQ(r.log.back(), "ExitFAR");
}

TEST_F(HostStart, ScriptErrorsExitNonZeroNamingTheLine) {
  HostRun r = Run("Down\n# fine\nCtrlFoo\n");
  EXPECT_NE(r.status, 0);
  EXPECT_THAT(r.err, HasSubstr("line 3"));
  EXPECT_TRUE(r.log.empty());
}

}  // namespace
}  // namespace qb::host::test
