// The book through the host program, headless: scripts of keys against books built with the
// storage engine, asserting what the panel shows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "main/book_format.h"
#include "main_test_support.h"
#include "tests/support/headless.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr int kCols = 110;
constexpr int kRows = 14;

class BookHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "plugins");
    fs::create_directories(dir_ / "config");
    fs::create_directories(dir_ / "work");
    const fs::path built = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
    // A copy, not a link: the main library looks for its book and field types beside its own
    // file, which the loader names by its real path.
    fs::copy_file(built / "Quillbox.so", dir_ / "plugins/Quillbox.so");
    for (const auto& entry : fs::directory_iterator(built)) {
      if (entry.path().extension() == ".lng") {
        fs::create_symlink(entry.path(), dir_ / ("plugins/" + entry.path().filename().string()));
      }
    }
  }

  std::string book() const { return dir_ / (std::string("plugins/") + qb::main::kBookFileName); }
  std::string probe_log() const { return dir_ / "probe.log"; }

  void Install(const std::vector<std::string>& names) {
    InstallFieldTypes(dir_ / "plugins/", names);
  }

  void Settings(const std::string& values) {
    std::ofstream(dir_ / "config/quillbox.reg")
        << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Far\\Plugins\\Quillbox]\n"
        << values;
  }

  // Runs the script; returns every screen printed (the "screen" lines and the final one).
  std::vector<std::vector<std::string>> Run(const std::string& script,
                                            const std::string& env = "") {
    HeadlessRun run;
    run.dir = dir_.root();
    run.script = script;
    run.work_dir = dir_ / "work";
    run.home = dir_.path();
    run.env = "QB_PROBE_BOOK=" + ShellQuote(book()) + " QB_PROBE_LOG=" + ShellQuote(probe_log()) +
              " " + env;
    run.size = std::to_string(kCols) + "x" + std::to_string(kRows);
    run.config = dir_ / "config";
    run.plugins = dir_ / "plugins";
    const ProgramRun done = run.Run();
    const std::string& out = done.out;
    EXPECT_EQ(done.status, 0) << out;
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::vector<std::vector<std::string>> screens;
    for (std::size_t i = 0; i + kRows <= lines.size(); i += kRows) {
      screens.emplace_back(lines.begin() + static_cast<long>(i),
                           lines.begin() + static_cast<long>(i + kRows));
    }
    return screens;
  }

  // Names in the first column of the left (side 0) or right panel, top to bottom.
  static std::vector<std::string> LeftNames(const std::vector<std::string>& screen, int side = 0) {
    std::vector<std::string> names;
    for (std::size_t row = 2; row + 4 < screen.size(); ++row) {
      const std::string& line = screen[row];
      std::size_t start = line.find("║");
      if (side == 1) start = line.find("║║") == std::string::npos ? start : line.find("║║") + 3;
      const std::size_t end = line.find("│", start);
      if (start == std::string::npos || end == std::string::npos) continue;
      std::string name = line.substr(start + 3, end - start - 3);
      name.erase(name.find_last_not_of(' ') + 1);
      if (!name.empty()) names.push_back(name);
    }
    return names;
  }

  static std::string Text(const std::vector<std::string>& screen) {
    std::string all;
    for (const std::string& line : screen) all += line + "\n";
    return all;
  }

  std::string ProbeLog() {
    std::ifstream in(probe_log());
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  TempDir dir_;
};

TEST_F(BookHostTest, MissingBookIsCreatedBesideTheMainLibrary) {
  const auto screens = Run("");
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(screens.back()[0], HasSubstr("Quillbox"));
  EXPECT_THAT(LeftNames(screens.back()), ElementsAre(".."));
  EXPECT_TRUE(fs::exists(book()));
}

TEST_F(BookHostTest, RootListsFoldersFirstAndHidesTheBooksOwnElements) {
  BookBuilder(book())
      .Record("Anna")
      .Record("Who?")
      .Folder("Zed")
      .Folder("Locked")
      .Stream(qb::main::kPasswordStream, "Locked", std::vector<uint8_t>(16, 0))
      .Stream(u" x", "", {})
      .Folder(" hidden");
  const auto screens = Run("");
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(LeftNames(screens.back()), ElementsAre("..", "Locked", "Zed", "Anna", "Who_"));
}

TEST_F(BookHostTest, EnteringAndLeavingFoldersAndClosingFromTheRoot) {
  BookBuilder(book())
      .Folder("Friends")
      .Folder("Friends/Work")
      .Folder("Friends/Work/Old")
      .Record("Friends/John");
  const auto screens =
      Run("Down\nEnter\nscreen\n"    // into Friends
          "Down\nEnter\nscreen\n"    // into Work
          "Home\nEnter\nscreen\n"    // back to Friends
          "Home\nEnter\nscreen\n"    // back to the root
          "Home\nEnter\nscreen\n");  // out of the book
  ASSERT_GE(screens.size(), 5u);
  EXPECT_THAT(LeftNames(screens[0]), ElementsAre("..", "Work", "John"));
  EXPECT_THAT(LeftNames(screens[1]), ElementsAre("..", "Old"));
  EXPECT_THAT(LeftNames(screens[2]), ElementsAre("..", "Work", "John"));
  EXPECT_THAT(LeftNames(screens[3]), ElementsAre("..", "Friends"));
  EXPECT_THAT(screens[4][0], ::testing::Not(HasSubstr("Quillbox")));
}

TEST_F(BookHostTest, RecordFieldsAreListedAndRecordsShowComposedDescriptions) {
  Install({"Beta.qbl", "alpha.qbl"});
  Settings("\"Description\"=\"%B / %P\"\n");
  BookBuilder(book()).Record("R", RecordBytes({{0x7201, "b"}, {0x9900, "x"}, {0x7301, "a"}}));
  const auto screens = Run("screen\nDown\nEnter\nscreen\n");
  ASSERT_GE(screens.size(), 2u);
  EXPECT_THAT(Text(screens[0]), HasSubstr("Beta=b / Alpha=a"));
  // In the record's order, not by name.
  EXPECT_THAT(LeftNames(screens[1]), ElementsAre("..", "Beta 7201 b", "Alpha 7301 a"));
}

TEST_F(BookHostTest, CommentAndAddressFieldsShowTheirCommentsAndFirstLines) {
  const fs::path built = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
  for (const char* name : {"Comment.qbl", "Address.qbl"}) {
    fs::copy_file(built / name, dir_ / ("plugins/" + std::string(name)));
  }
  Settings("\"Description\"=\"%C %A\"\n");
  // Text fields hold their terminating zero; the address's comment stands on its last line.
  BookBuilder(book()).Record("Ann",
                             RecordBytes({{0x10101, std::string("Nice guy\nmet in 2019", 21)},
                                          {0x10301, std::string("Main St 1\nTown #home", 21)}}));
  const auto screens = Run("screen\nDown\nEnter\nscreen\n");
  ASSERT_GE(screens.size(), 2u);
  EXPECT_THAT(Text(screens[0]), HasSubstr("Nice guy Main St 1"));
  EXPECT_THAT(LeftNames(screens[1]), ElementsAre("..", "Comment", "home"));
  EXPECT_THAT(Text(screens[1]), HasSubstr("Main St 1"));
}

TEST_F(BookHostTest, CommandLineOpensAtThePathOrTheDeepestExistingFolder) {
  BookBuilder(book()).Folder("Friends").Folder("Friends/Work").Folder("Friends/Work/Old");
  auto screens = Run("text quill:\\Friends\\Work\nEnter\n");
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(LeftNames(screens.back()), ElementsAre("..", "Old"));
  screens = Run("text quill:\\Friends\\Gone\\Old\nEnter\nscreen\nEnter\n");
  ASSERT_GE(screens.size(), 2u);
  EXPECT_THAT(Text(screens[0]), HasSubstr("Gone"));
  EXPECT_THAT(Text(screens[0]), HasSubstr("HResult = 0x80030002"));
  EXPECT_THAT(LeftNames(screens.back()), ElementsAre("..", "Work"));
}

TEST_F(BookHostTest, MenuOpensWhereTheOtherPanelLastWasAndAtTheRootAfterAClose) {
  BookBuilder(book()).Folder("Friends").Folder("Friends/Work").Folder("Friends/Work/Old");
  const auto screens =
      Run("Down\nEnter\nDown\nEnter\n"               // the left panel goes to \Friends\Work
          "AltF2\nEnd\nEnter\nscreen\n"              // the right panel opens the book from the menu
          "Down\nEnter\nscreen\n"                    // both panels use the book at once
          "Home\nEnter\nHome\nEnter\nHome\nEnter\n"  // the right panel leaves the book
          "AltF2\nEnd\nEnter\nscreen\n");            // and opens it again
  ASSERT_GE(screens.size(), 3u);
  EXPECT_THAT(LeftNames(screens[0], 1), ElementsAre("..", "Old"));
  EXPECT_THAT(LeftNames(screens[1], 1), ElementsAre(".."));
  EXPECT_THAT(LeftNames(screens[1], 0), ElementsAre("..", "Old"));
  EXPECT_THAT(LeftNames(screens[2], 1), ElementsAre("..", "Friends"));
}

TEST_F(BookHostTest, BookIsLockedDuringAHostCallAndFreeBetweenTwo) {
  Install({"Prober.qbl"});
  BookBuilder(book()).Record("R", RecordBytes({{0x7700, "p"}}));
  Run("wait 150\nDown\n");
  EXPECT_EQ(ProbeLog(), "during: locked\nbetween: free\n");
}

TEST_F(BookHostTest, FolderRemovedByAnotherProgramBetweenTwoKeysIsReported) {
  Install({"Prober.qbl"});
  BookBuilder(book()).Folder("Friends").Folder("Friends/Work").Record("Friends/John");
  const auto screens = Run("Down\nEnter\nDown\nEnter\nwait 150\nCtrlR\nscreen\nEnter\n",
                           "QB_PROBE_DELETE=Friends/Work");
  ASSERT_GE(screens.size(), 2u);
  EXPECT_THAT(Text(screens[0]), HasSubstr("Cannot open the folder"));
  EXPECT_THAT(Text(screens[0]), HasSubstr("HResult = 0x80030002"));
  EXPECT_THAT(LeftNames(screens.back()), ElementsAre("..", "John"));
}

TEST_F(BookHostTest, RecordRemovedByAnotherProgramBetweenTwoKeysIsReported) {
  Install({"Prober.qbl"});
  BookBuilder(book()).Folder("Friends").Folder("Friends/Work").Record("Friends/John");
  const auto screens = Run("Down\nEnter\nEnd\nEnter\nwait 150\nCtrlR\nscreen\nEnter\n",
                           "QB_PROBE_DELETE=Friends/John");
  ASSERT_GE(screens.size(), 2u);
  EXPECT_THAT(Text(screens[0]), HasSubstr("Cannot open the record"));
  EXPECT_THAT(Text(screens[0]), HasSubstr("John"));
  EXPECT_THAT(LeftNames(screens.back()), ElementsAre("..", "Work"));
}

}  // namespace
}  // namespace qb::test
