// Folders and records from the keyboard: F7, Shift+F4, F8, Shift+F6, Alt+F3 and Shift+F7.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "editing_host.h"

namespace qb::edtest {
namespace {

using ::testing::Test;

bool Has(const std::vector<std::string>& lines, const std::string& text) {
  for (const std::string& line : lines)
    if (line == text) return true;
  return false;
}

class FolderKeys : public Test {
 protected:
  void SetUp() override {
    h.NewBook([this] {
      h.MakeFolder("Work");
      h.MakeRecord("Ann", {{0x7801, "ann"}});
    });
  }
  Host& h = Host::Get();
  char name[NM] = {};
};

TEST_F(FolderKeys, NewFolderSkipsBlanksReplacesReservedCharactersAndTakesTheCursor) {
  h.dialog_answers.push_back(Accept({"  a:b"}));
  EXPECT_EQ(h.MakeDirectory(name), 1);
  EXPECT_STREQ(name, "a_b");
  EXPECT_EQ(h.CurrentName(), "a_b");
  ASSERT_EQ(h.dialogs.size(), 1u);
  EXPECT_EQ(h.dialogs[0].help, "CreateDirectoryDlg");
  EXPECT_TRUE(h.HasFolder("a_b"));
}

TEST_F(FolderKeys, NewFolderOfBlanksCancelledOrInsideARecordMakesNothing) {
  h.dialog_answers.push_back(Accept({"   "}));
  EXPECT_EQ(h.MakeDirectory(name), 0);
  h.dialog_answers.push_back(Cancel());
  std::strcpy(name, "x");
  EXPECT_EQ(h.MakeDirectory(name), -1);
  EXPECT_FALSE(h.HasFolder("x"));
  EXPECT_TRUE(h.messages.empty());

  h.Cd("Ann");
  h.ClearScripts();
  std::strcpy(name, "y");
  EXPECT_EQ(h.MakeDirectory(name), 0);
  EXPECT_TRUE(h.dialogs.empty());
}

TEST_F(FolderKeys, NewFolderOfAnExistingFolderSucceedsOfARecordSaysTheNameIsTaken) {
  std::strcpy(name, "Work");
  h.dialog_answers.push_back(Accept({"Work"}));
  EXPECT_EQ(h.MakeDirectory(name), 1);
  EXPECT_TRUE(h.messages.empty());
  EXPECT_EQ(h.CurrentName(), "Work");

  // The name box, then the dialog again with the name, escaped.
  h.dialog_answers.push_back(Accept({"Ann"}));
  EXPECT_EQ(h.MakeDirectory(name), -1);
  ASSERT_EQ(h.messages.size(), 1u);
  EXPECT_EQ(h.messages[0].help, "BadName");
  EXPECT_TRUE(Has(h.messages[0].lines, "Ann"));
  ASSERT_EQ(h.dialogs.size(), 3u);
  EXPECT_EQ(h.dialogs[2].lines[2], "Ann");
  EXPECT_TRUE(h.HasRecord("Ann"));
  EXPECT_EQ(h.ReadRecord("Ann"), (std::vector<Field>{{0x7801, "ann"}}));
}

TEST_F(FolderKeys, SilentNewFolderTakesTheNameAsGiven) {
  std::strcpy(name, "x?y");
  EXPECT_EQ(h.MakeDirectory(name, OPM_SILENT), 1);
  EXPECT_TRUE(h.dialogs.empty());
  EXPECT_STREQ(name, "x_y");
  EXPECT_TRUE(h.HasFolder("x_y"));
}

TEST_F(FolderKeys, ALongTypedNameIsCutToTheBufferAtACharacterBoundary) {
  std::string typed;
  for (int i = 0; i < 200; ++i) typed += "\xC3\xA9";  // 400 bytes of "é"
  std::memset(name, 'z', sizeof name - 1);
  h.dialog_answers.push_back(Accept({typed}));
  // The book takes no name this long: said, and the dialog comes back (escaped here) with the
  // text as the buffer holds it.
  EXPECT_EQ(h.MakeDirectory(name), -1);
  EXPECT_EQ(std::strlen(name), 258u);
  EXPECT_EQ(std::string(name), typed.substr(0, 258));
  ASSERT_EQ(h.messages.size(), 1u);
  EXPECT_EQ(h.messages[0].help, "BadName");
  ASSERT_EQ(h.dialogs.size(), 2u);
  EXPECT_EQ(h.dialogs[1].lines[2], typed.substr(0, 258));
}

TEST_F(FolderKeys, NewRecordIsEmptyAndTakesTheCursor) {
  h.dialog_answers.push_back(Accept({"  Bob?"}));
  EXPECT_EQ(h.Key(VK_F4, PKF_SHIFT), 1);
  EXPECT_EQ(h.dialogs.at(0).help, "CreateRecordDlg");
  EXPECT_TRUE(h.HasRecord("Bob_"));
  EXPECT_TRUE(h.ReadRecord("Bob_").empty());
  EXPECT_EQ(h.CurrentName(), "Bob_");
}

TEST_F(FolderKeys, NewRecordOfAnExistingRecordKeepsItOfAFolderFails) {
  h.dialog_answers.push_back(Accept({"Ann"}));
  EXPECT_EQ(h.Key(VK_F4, PKF_SHIFT), 1);
  EXPECT_TRUE(h.messages.empty());
  EXPECT_EQ(h.ReadRecord("Ann"), (std::vector<Field>{{0x7801, "ann"}}));
  EXPECT_EQ(h.CurrentName(), "Ann");

  h.dialog_answers.push_back(Accept({"Work"}));
  EXPECT_EQ(h.Key(VK_F4, PKF_SHIFT), 1);
  ASSERT_EQ(h.messages.size(), 1u);
  EXPECT_EQ(h.messages[0].help, "BadName");
  EXPECT_TRUE(Has(h.messages[0].lines, "Work"));
  EXPECT_TRUE(h.HasFolder("Work"));
}

TEST_F(FolderKeys, DeleteAsksByNameOrCountAndEscDeletesNothing) {
  h.NewBook([&] {
    for (const char* n : {"A", "B", "C", "D", "E"}) h.MakeFolder(n);
  });
  h.message_answers.push_back(-1);
  EXPECT_EQ(h.Delete({1, 2, 3, 4, 5}), 1);
  ASSERT_EQ(h.messages.size(), 1u);
  EXPECT_EQ(h.messages[0].help, "ConfirmDeleteMsg");
  EXPECT_EQ(h.messages[0].lines.size(), 5u);
  EXPECT_EQ(h.messages[0].lines[2], "5 items");
  EXPECT_TRUE(h.HasFolder("A") && h.HasFolder("E"));

  h.message_answers.push_back(0);
  EXPECT_EQ(h.Delete({2}), 1);
  EXPECT_EQ(h.messages.at(1).lines[2], "B");
  EXPECT_FALSE(h.HasFolder("B"));
  EXPECT_TRUE(h.HasFolder("A"));
}

TEST_F(FolderKeys, DeleteTakesFoldersWithEverythingInThemAndSilentlyAsksNothing) {
  h.NewBook([&] {
    h.MakeFolder("Old");
    h.MakeFolder("Old/Inner");
    h.MakeRecord("Old/Inner/Rec", {{0x7801, "x"}});
    h.MakeRecord("Keep");
  });
  ASSERT_EQ(h.Names(), (std::vector<std::string>{"..", "Old", "Keep"}));
  EXPECT_EQ(h.Delete({1}, OPM_SILENT), 1);
  EXPECT_TRUE(h.messages.empty());
  EXPECT_FALSE(h.HasFolder("Old"));
  EXPECT_TRUE(h.HasRecord("Keep"));
}

TEST_F(FolderKeys, RenameStoresReservedCharactersAsUnderscore) {
  ASSERT_TRUE(h.SetCurrentName("Work"));
  h.dialog_answers.push_back(Accept({"Job?s"}));
  EXPECT_EQ(h.Key(VK_F6, PKF_SHIFT), 1);
  EXPECT_EQ(h.dialogs.at(0).help, "RenameDlg");
  EXPECT_TRUE(h.HasFolder("Job_s"));
  EXPECT_FALSE(h.HasFolder("Work"));

  // Onto a name that is taken: said in words, and the dialog comes back (escaped here).
  ASSERT_TRUE(h.SetCurrentName("Ann"));
  h.dialog_answers.push_back(Accept({"Job_s"}));
  EXPECT_EQ(h.Key(VK_F6, PKF_SHIFT), 1);
  ASSERT_EQ(h.messages.size(), 1u);
  EXPECT_EQ(h.messages[0].help, "BadName");
  EXPECT_TRUE(Has(h.messages[0].lines, "Job_s"));
  EXPECT_TRUE(h.HasRecord("Ann"));

  // Cancelled, or on "..": nothing.
  h.dialog_answers.push_back(Cancel());
  EXPECT_EQ(h.Key(VK_F6, PKF_SHIFT), 1);
  EXPECT_TRUE(h.HasRecord("Ann"));
  h.SetCurrent(0);
  const size_t dialogs = h.dialogs.size();
  EXPECT_EQ(h.Key(VK_F6, PKF_SHIFT), 1);
  EXPECT_EQ(h.dialogs.size(), dialogs);
}

TEST_F(FolderKeys, NoNameTakesALeadingBlankSoNoneBecomesAPasswordOrADescription) {
  // One blank names a folder's password stream: a record renamed so would lock the whole book.
  ASSERT_TRUE(h.SetCurrentName("Ann"));
  h.dialog_answers.push_back(Accept({" "}));
  EXPECT_EQ(h.Key(VK_F6, PKF_SHIFT), 1);
  EXPECT_TRUE(h.HasRecord("Ann"));
  EXPECT_TRUE(h.messages.empty());
  EXPECT_EQ(h.Names(), (std::vector<std::string>{"..", "Work", "Ann"}));

  h.dialog_answers.push_back(Accept({"  Anna"}));
  EXPECT_EQ(h.Key(VK_F6, PKF_SHIFT), 1);
  EXPECT_TRUE(h.HasRecord("Anna"));
  EXPECT_EQ(h.ReadRecord("Anna"), (std::vector<Field>{{0x7801, "ann"}}));

  // A silent new folder (a copied directory) is trimmed the same way, and all blanks make none.
  std::strcpy(name, "  Copied");
  EXPECT_EQ(h.MakeDirectory(name, OPM_SILENT), 1);
  EXPECT_STREQ(name, "Copied");
  EXPECT_TRUE(h.HasFolder("Copied"));
  std::strcpy(name, " ");
  EXPECT_EQ(h.MakeDirectory(name, OPM_SILENT), 0);
  EXPECT_EQ(h.Names(), (std::vector<std::string>{"..", "Copied", "Work", "Anna"}));
}

TEST_F(FolderKeys, DescriptionShowsTheWholeTextAndAnEmptyLineRemovesIt) {
  h.NewBook([&] {
    h.MakeFolder("Work");
    h.SetDescription("Work", std::string(300, 'd'));
  });
  ASSERT_TRUE(h.SetCurrentName("Work"));
  h.dialog_answers.push_back(Accept({""}));
  EXPECT_EQ(h.Key(VK_F3, PKF_ALT), 1);
  ASSERT_EQ(h.dialogs.size(), 1u);
  EXPECT_EQ(h.dialogs[0].help, "SetDescriptionDlg");
  EXPECT_TRUE(Has(h.dialogs[0].lines, std::string(300, 'd')));
  EXPECT_EQ(h.Description("Work"), "<none>");
  EXPECT_EQ(h.Names(), (std::vector<std::string>{"..", "Work"}));
  EXPECT_EQ(h.CurrentName(), "Work");

  h.dialog_answers.push_back(Accept({"Colleagues"}));
  EXPECT_EQ(h.Key(VK_F3, PKF_ALT), 1);
  EXPECT_EQ(h.Description("Work"), "Colleagues");
  h.dialog_answers.push_back(Cancel());
  EXPECT_EQ(h.Key(VK_F3, PKF_ALT), 1);
  EXPECT_EQ(h.Description("Work"), "Colleagues");
}

TEST_F(FolderKeys, ADescriptionLongerThanTheEditLineSurvivesAnUnchangedAccept) {
  const std::string long_text(700, 'L');
  h.NewBook([&] {
    h.MakeFolder("Work");
    h.SetDescription("Work", long_text);
  });
  ASSERT_TRUE(h.SetCurrentName("Work"));
  h.dialog_answers.push_back(
      [](FarDialogItem* items, int count) { return (void)items, count - 2; });
  EXPECT_EQ(h.Key(VK_F3, PKF_ALT), 1);
  EXPECT_EQ(h.Description("Work"), long_text);
}

TEST_F(FolderKeys, DescriptionOfARecordOrOfDotDotDoesNothing) {
  ASSERT_TRUE(h.SetCurrentName("Ann"));
  EXPECT_EQ(h.Key(VK_F3, PKF_ALT), 1);
  h.SetCurrent(0);
  EXPECT_EQ(h.Key(VK_F3, PKF_ALT), 1);
  EXPECT_TRUE(h.dialogs.empty());
  EXPECT_EQ(h.Names(), (std::vector<std::string>{"..", "Work", "Ann"}));
}

TEST_F(FolderKeys, KeysOfOtherViewsAndLaterOperationsGoToTheHost) {
  EXPECT_EQ(h.Key(VK_F4), 0);
  EXPECT_EQ(h.Key(VK_F3), 0);
  EXPECT_EQ(h.Key(VK_RETURN), 0);
  EXPECT_EQ(h.Key(VK_F4, PKF_SHIFT | PKF_ALT), 0);
  h.Cd("Ann");
  EXPECT_EQ(h.Key(VK_F3, PKF_ALT), 0);
  EXPECT_EQ(h.Key(VK_F6, PKF_ALT), 0);  // passwords belong to folders
  EXPECT_EQ(h.Key(VK_F6, PKF_SHIFT), 0);
  EXPECT_EQ(h.Key(VK_F7, PKF_SHIFT), 0);
  EXPECT_TRUE(h.dialogs.empty());
  EXPECT_TRUE(h.menus.empty());
}

class ScanMenu : public FolderKeys {};

TEST_F(ScanMenu, OffersAllThenEachScanningTypeAndWalksTheChosenOnes) {
  h.NewBook([&] {
    h.MakeFolder("Work");
    h.MakeRecord("Work/Bob", {{0x7701, "s"}, {0x7801, "b"}});
  });
  h.TypeReset("Single");
  h.TypeReset("Bare");
  h.menu_answers.push_back(2);
  EXPECT_EQ(h.Key(VK_F7, PKF_SHIFT), 1);
  ASSERT_EQ(h.menus.size(), 1u);
  EXPECT_EQ(h.menus[0].help, "ScanMenu");
  ASSERT_EQ(h.menus[0].lines.size(), 3u);
  EXPECT_EQ(h.menus[0].lines[1], "Bare");
  EXPECT_EQ(h.menus[0].lines[2], "Single");
  EXPECT_EQ(h.TypeLog("Single"), "[Single 10000 0]s;");
  EXPECT_EQ(h.TypeLog("Bare"), "");

  h.TypeReset("Single");
  h.menu_answers.push_back(0);
  EXPECT_EQ(h.Key(VK_F7, PKF_SHIFT), 1);
  EXPECT_EQ(h.TypeLog("Single"), "[Single 10000 0]s;");
  EXPECT_EQ(h.TypeLog("Bare"), "[Bare 10000 0]b;");

  h.TypeReset("Single");
  h.TypeReset("Bare");
  h.menu_answers.push_back(-1);
  EXPECT_EQ(h.Key(VK_F7, PKF_SHIFT), 1);
  EXPECT_EQ(h.TypeLog("Single") + h.TypeLog("Bare"), "");
  EXPECT_EQ(h.Names(), (std::vector<std::string>{"..", "Work"}));
}

TEST_F(ScanMenu, AFolderNamedDotDotIsNeitherMadeNorClimbedByTheWalk) {
  std::strcpy(name, "..");
  EXPECT_EQ(h.MakeDirectory(name, OPM_SILENT), 0);
  EXPECT_EQ(h.messages.size(), 1u);
  EXPECT_TRUE(!h.messages.empty() && Has(h.messages[0].lines, "HResult = 0x800300FC"));

  // A book made elsewhere may hold one: the walk passes it by (going "up" into it climbed back
  // to the folder above, walking it again without end, or closed the panel at the root).
  h.NewBook([&] {
    h.MakeFolder("..");
    h.MakeFolder("Work");
    h.MakeFolder("Work/..");
    h.MakeRecord("Work/Bob", {{0x7701, "s"}});
  });
  h.TypeReset("Single");
  h.menu_answers.push_back(2);
  EXPECT_EQ(h.Key(VK_F7, PKF_SHIFT), 1);
  EXPECT_EQ(h.TypeLog("Single"), "[Single 10000 0]s;");
  ASSERT_EQ(h.Cd("Work"), 1);
  h.TypeReset("Single");
  h.menu_answers.push_back(2);
  EXPECT_EQ(h.Key(VK_F7, PKF_SHIFT), 1);
  EXPECT_EQ(h.TypeLog("Single"), "[Single 10000 0]s;");
}

// Run with only Comment and Single loaded (a test of its own in the build).
TEST(OneScanner, StartsItsScanWithoutAMenu) {
  Host& h = Host::Get();
  h.NewBook([&] { h.MakeRecord("Bob", {{0x7701, "s"}}); });
  h.TypeReset("Single");
  EXPECT_EQ(h.Key(VK_F7, PKF_SHIFT), 1);
  EXPECT_TRUE(h.menus.empty());
  EXPECT_EQ(h.TypeLog("Single"), "[Single 10000 0]s;");
}

}  // namespace
}  // namespace qb::edtest
