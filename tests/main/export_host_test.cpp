// Alt+F5 (text export) and Shift+F3 (compaction) through the host program, headless, against
// books built with the storage engine. Writer writes "Writer: <data>" for each of its fields, Mute
// writes nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "main/book_format.h"
#include "main/idea.h"
#include "main/password.h"
#include "main_test_support.h"
#include "tests/support/headless.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr int kCols = 100;
constexpr int kRows = 16;
constexpr uint32_t kWriter = 0x7A01, kMute = 0x7B01;

class ExportHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"plugins", "config", "work"}) fs::create_directories(dir_ / sub);
    const fs::path built = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
    fs::copy_file(built / "Quillbox.so", dir_ / "plugins/Quillbox.so");
    for (const auto& entry : fs::directory_iterator(built)) {
      if (entry.path().extension() == ".lng") {
        fs::create_symlink(entry.path(), dir_ / ("plugins/" + entry.path().filename().string()));
      }
    }
    InstallFieldTypes(dir_ / "plugins/", {"Writer.qbl", "Mute.qbl"});
  }

  std::string book() const { return dir_ / (std::string("plugins/") + main::kBookFileName); }
  fs::path work() const { return dir_ / "work"; }

  // Runs the script; returns every screen printed (the "screen" lines and the final one).
  std::vector<std::string> Run(const std::string& script) {
    HeadlessRun run;
    run.dir = dir_.root();
    run.script = script;
    run.work_dir = work();
    run.home = dir_.path();
    run.size = std::to_string(kCols) + "x" + std::to_string(kRows);
    run.config = dir_ / "config";
    run.plugins = dir_ / "plugins";
    const ProgramRun done = run.Run();
    EXPECT_EQ(done.status, 0) << done.out;
    return SplitScreens(done.out, kRows);
  }

  TempDir dir_{"qb-export-host"};
};

std::vector<uint8_t> Fields(const std::vector<std::string>& texts, uint32_t type = kWriter) {
  std::vector<std::pair<uint32_t, std::string>> fields;
  for (const std::string& text : texts) fields.push_back({type, text});
  return RecordBytes(fields);
}

// The password stream of a folder protected by "secret", and its record key.
struct Secret {
  main::PasswordKey key;
  std::vector<uint8_t> check;
  Secret() {
    main::MakePasswordKey("secret", key);
    uint8_t bytes[main::kPasswordCheckBytes];
    main::MakePasswordCheck(key, bytes);
    check.assign(bytes, bytes + sizeof bytes);
  }
};

// ---- Text export ------------------------------------------------------------------------------

TEST_F(ExportHostTest, RecordAtTheRootIsWrittenIntoTheOtherPanelsFolderUnderItsName) {
  BookBuilder(book()).Record("Smith", Fields({"555-1234", "ann@example.org"}));
  // Root: "..", Smith. The dialog offers the disk panel's folder; Enter accepts it.
  const auto screens = Run("Down\nAltF5\nscreen\nEnter\n");
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(screens[0], HasSubstr("Export as text to"));
  EXPECT_THAT(screens[0], HasSubstr(work().string()));
  EXPECT_EQ(ReadFile(work() / "Smith"),
            "\n*** \\Smith ***\nWriter: 555-1234\nWriter: ann@example.org\n");
}

TEST_F(ExportHostTest, FolderIsWrittenRecordByRecordAtAnyDepthInListingOrder) {
  BookBuilder(book())
      .Folder("Friends")
      .Folder("Friends/School")
      .Folder("Friends/School/Old")
      .Record("Friends/School/Old/Carl", Fields({"c"}))
      .Record("Friends/School/Bea", Fields({"b"}))
      .Record("Friends/Ann", Fields({"a"}))
      .Record("Loner", Fields({"l"}));
  // Root: "..", Friends, Loner. The listing gives a folder's items in the book's name order
  // (shorter names first), whatever the panel's sort shows.
  Run("Down\nAltF5\nEnter\n");
  EXPECT_EQ(ReadFile(work() / "Friends"),
            "\n*** \\Friends\\Ann ***\nWriter: a\n"
            "\n*** \\Friends\\School\\Bea ***\nWriter: b\n"
            "\n*** \\Friends\\School\\Old\\Carl ***\nWriter: c\n");
  // Inside a folder the header names the whole path. Friends: "..", School, Ann (folders first).
  Run("Down\nEnter\nDown\nAltF5\nEnter\n");
  EXPECT_EQ(ReadFile(work() / "School"),
            "\n*** \\Friends\\School\\Bea ***\nWriter: b\n"
            "\n*** \\Friends\\School\\Old\\Carl ***\nWriter: c\n");
}

TEST_F(ExportHostTest, ExistingFileIsAppendedToOrOverwrittenOrLeftAlone) {
  BookBuilder(book()).Record("Smith", Fields({"one"}));
  const std::string smith = "\n*** \\Smith ***\nWriter: one\n";
  std::ofstream(work() / "Smith") << "old line\n";
  // The overwrite box: Overwrite, Append, Cancel.
  const auto screens = Run("Down\nAltF5\nEnter\nscreen\nRight\nEnter\n");
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(screens[0], HasSubstr("Overwrite"));
  EXPECT_THAT(screens[0], HasSubstr("Append"));
  EXPECT_EQ(ReadFile(work() / "Smith"), "old line\n" + smith);
  Run("Down\nAltF5\nEnter\nRight\nRight\nEnter\n");
  EXPECT_EQ(ReadFile(work() / "Smith"), "old line\n" + smith);
  Run("Down\nAltF5\nEnter\nEsc\n");
  EXPECT_EQ(ReadFile(work() / "Smith"), "old line\n" + smith);
  Run("Down\nAltF5\nEnter\nEnter\n");
  EXPECT_EQ(ReadFile(work() / "Smith"), smith);
}

TEST_F(ExportHostTest, TargetTypedAsANewFileNameIsCreatedUnderExactlyThatName) {
  BookBuilder(book()).Record("Smith", Fields({"one"}));
  const fs::path target = work() / "contacts.txt";
  Run("Down\nAltF5\nCtrlY\ntext " + target.string() + "\nEnter\n");
  EXPECT_EQ(ReadFile(target), "\n*** \\Smith ***\nWriter: one\n");
  EXPECT_FALSE(fs::exists(work() / "Smith"));
  EXPECT_FALSE(fs::exists(target / "Smith"));
  // A folder typed with its "/" takes the item's name.
  fs::create_directories(work() / "out");
  Run("Down\nAltF5\nCtrlY\ntext " + (work() / "out").string() + "/\nEnter\n");
  EXPECT_TRUE(fs::exists(work() / "out/Smith"));
}

TEST_F(ExportHostTest, WithTheBookInTheOtherPanelTooNoFolderIsOffered) {
  BookBuilder(book()).Folder("Friends").Record("Smith", Fields({"one"}));
  // The right panel opens the book from the disks menu and enters Friends, then the left one
  // exports Smith: the right panel's folder ("\Friends" inside the book) is no folder of the
  // disk, so the dialog's line is empty; accepted so, no file can be made, and none appears.
  const auto screens =
      Run("Tab\nAltF2\nDown\nDown\nEnter\nDown\nEnter\nTab\nDown\nDown\n"
          "AltF5\nscreen\nEnter\nscreen\n");
  ASSERT_EQ(screens.size(), 3u);
  EXPECT_THAT(screens[0], HasSubstr("Export as text to"));
  EXPECT_THAT(screens[1], HasSubstr("Cannot create the file"));
  EXPECT_TRUE(fs::is_empty(work()));
}

TEST_F(ExportHostTest, RecordWhoseTypesWriteNoTextGivesItsHeaderOnly) {
  BookBuilder(book()).Record("Quiet", Fields({"x", "y"}, kMute));
  Run("Down\nAltF5\nEnter\n");
  EXPECT_EQ(ReadFile(work() / "Quiet"), "\n*** \\Quiet ***\n");
}

TEST_F(ExportHostTest, DotDotUnderTheCursorExportsNothing) {
  BookBuilder(book()).Folder("Friends").Record("Friends/Ann", Fields({"a"}));
  const auto screens = Run("Down\nEnter\nAltF5\nscreen\n");
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(screens[0], Not(HasSubstr("Export as text to")));
  EXPECT_TRUE(fs::is_empty(work()));
}

TEST_F(ExportHostTest, EscBetweenRecordsStopsTheExportAndKeysTypedMeanwhileStillCount) {
  BookBuilder(book())
      .Folder("Tree")
      .Record("Tree/A", Fields({"a"}))
      .Record("Tree/B", Fields({"b"}))
      .Record("Tree/C", Fields({"c"}))
      .Folder("Zed");
  // Root: "..", Tree, Zed. Down and Esc are waiting once the first record is written: the export
  // stops there, and Down, typed before Esc, still moves the cursor afterwards (onto Zed, which
  // Enter then enters).
  const auto screens = Run("Down\nAltF5\nEnter\nDown\nEsc\nEnter\nscreen\n");
  EXPECT_EQ(ReadFile(work() / "Tree"), "\n*** \\Tree\\A ***\nWriter: a\n");
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(screens[0], HasSubstr("\\Zed"));
}

TEST_F(ExportHostTest, LockedFolderIsPassedOverAndTheRestExported) {
  const Secret secret;
  BookBuilder(book())
      .Folder("All")
      .Folder("All/Locked")
      .Stream(main::kPasswordStream, "All/Locked", secret.check)
      .Record("All/Locked/Hidden", Fields({"h"}))
      .Record("All/Open", Fields({"o"}));
  Run("Down\nAltF5\nEnter\n");
  EXPECT_EQ(ReadFile(work() / "All"), "\n*** \\All\\Open ***\nWriter: o\n");
}

// ---- Compaction -------------------------------------------------------------------------------

TEST_F(ExportHostTest, ShiftF3InsideARecordCompactsTheBookAndLeavesThePanelOnTheRecord) {
  const Secret secret;
  std::vector<uint8_t> hidden = Fields({"hidden text"});
  main::EncipherBuffer(secret.key.bytes, hidden.data(), hidden.size());
  {
    BookBuilder made(book());
    made.Folder("Friends")
        .Record("Friends/Smith", Fields({"first field", "second field"}))
        .Folder("Locked")
        .Stream(main::kPasswordStream, "Locked", secret.check)
        .Record("Locked/Hidden", hidden);
    for (int i = 0; i < 300; ++i) made.Record("Gone " + std::to_string(i), Fields({"gone"}));
  }
  {
    storage::Storage root;
    ASSERT_TRUE(storage::Succeeded(storage::OpenCompoundFile(book(), main::kBookOpenMode, &root)));
    for (int i = 0; i < 300; ++i) {
      const std::string name = "Gone " + std::to_string(i);
      root.DestroyElement(std::u16string(name.begin(), name.end()));
    }
  }
  const auto before = BookContents(book());
  const auto grown = fs::file_size(book());
  // Root: "..", Friends, Locked. Into Friends, into Smith, Shift+F3; the box; then back to the
  // root, where the locked folder opens with its password in the compacted book.
  const auto screens =
      Run("Down\nEnter\nDown\nEnter\nShiftF3\nscreen\nEnter\nscreen\nHome\nEnter\nHome\nEnter\n"
          "Home\nDown\nDown\nEnter\ntext secret\nEnter\nscreen\nShiftF3\nEnter\nscreen\n");
  ASSERT_GE(screens.size(), 4u);
  EXPECT_THAT(screens[0], HasSubstr("The book file has been compacted"));
  EXPECT_THAT(screens[1], HasSubstr("\\Friends\\Smith"));
  EXPECT_THAT(screens[1], HasSubstr("first field"));
  EXPECT_THAT(screens[2], HasSubstr("Hidden"));
  // Compacted again inside the unlocked folder: the panel keeps its password and its place.
  EXPECT_THAT(screens[3], HasSubstr("\\Locked"));
  EXPECT_THAT(screens[3], HasSubstr("Hidden"));
  EXPECT_THAT(screens[3], Not(HasSubstr("Password for")));
  EXPECT_EQ(BookContents(book()), before);
  EXPECT_LT(fs::file_size(book()), grown);
}

TEST_F(ExportHostTest, LongCompactionShowsItsProgressWithoutWaitingForAKey) {
  {
    BookBuilder made(book());
    for (int i = 0; i < 2100; ++i) made.Record("Person " + std::to_string(i), Fields({"x"}));
  }
  const auto before = BookContents(book());
  // The progress box (from 2,000 elements on) has no buttons: the compaction goes on past it to
  // the box that says it is done.
  const auto screens = Run("ShiftF3\nscreen\n");
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(screens[0], HasSubstr("The book file has been compacted"));
  EXPECT_EQ(BookContents(book()), before);
}

}  // namespace
}  // namespace qb::test
