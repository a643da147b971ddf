// The book through the host program, headless: scripts of keys against books built with the
// storage engine, asserting what the panel shows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

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

  // Runs the script in the fixture's directories and expects it to end well.
  ProgramRun RunScript(const std::string& script, const std::string& env = "") {
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
    ProgramRun done = run.Run();
    EXPECT_EQ(done.status, 0) << done.out;
    return done;
  }

  // Runs the script; returns every screen printed (the "screen" lines and the final one).
  std::vector<std::vector<std::string>> Run(const std::string& script,
                                            const std::string& env = "") {
    return SplitScreenLines(RunScript(script, env).out, kRows);
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

  // Runs a script whose only output before the last screen is its "clipboard" lines: returns
  // those lines, and the last screen's rows through screen.
  std::vector<std::string> RunForClipboard(const std::string& script,
                                           std::vector<std::string>* screen) {
    const ProgramRun done = RunScript(script);
    std::vector<std::string> lines;
    std::istringstream in(done.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    const std::size_t rows = std::min<std::size_t>(lines.size(), kRows);
    screen->assign(lines.end() - static_cast<long>(rows), lines.end());
    lines.resize(lines.size() - rows);
    return lines;
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

TEST_F(BookHostTest, AMissingConfiguredBookIsNamedAndTheSettingChangesOnlyWhenTheUserSaysSo) {
  const std::string gone = dir_ / "unmounted/Book.dat";
  const std::string setting = "\"BookFile\"=\"" + gone + "\"";
  BookBuilder(book()).Folder("Default");
  // Esc: no book opens, and the default book is not opened either. Enter: the default book this
  // time. Right, Enter: the default book from now on.
  for (const auto& [keys, opened, kept] :
       {std::tuple<std::string, bool, bool>{"Esc\n", false, true},
        {"Enter\n", true, true},
        {"Right\nEnter\n", true, false}}) {
    SCOPED_TRACE(keys);
    Settings(setting + "\n");
    const auto screens = Run("screen\n" + keys + "Down\nEnter\nHome\nEnter\nscreen\n");
    ASSERT_GE(screens.size(), 2u);
    EXPECT_THAT(Text(screens[0]), HasSubstr("The book file cannot be found"));
    EXPECT_THAT(Text(screens[0]), HasSubstr(gone));
    // One question for the whole session, however often the book is opened again.
    EXPECT_THAT(Text(screens[1]), ::testing::Not(HasSubstr("cannot be found")));
    EXPECT_EQ(Text(screens[1]).find("Quillbox") != std::string::npos, opened) << Text(screens[1]);
    const std::string stored = ReadFile(dir_ / "config/quillbox.reg");
    EXPECT_EQ(stored.find(gone) != std::string::npos, kept) << stored;
    EXPECT_FALSE(fs::exists(gone));
  }
}

TEST_F(BookHostTest, TextsADamagedEnglishFileLacksAreShownInEnglishAsBuiltIn) {
  const fs::path built = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
  std::vector<std::string> english;
  {
    std::ifstream in(built / "QuillboxEng.lng");
    for (std::string line; std::getline(in, line);) english.push_back(line);
  }
  ASSERT_GT(english.size(), 60u);
  BookBuilder(book()).Folder("Friends");
  // The main module cut off after message 40, so the delete box's question (52) is gone; then also
  // its first line, so that no language is named English at all.
  for (const bool unnamed : {false, true}) {
    SCOPED_TRACE(unnamed ? "no language line" : "cut short");
    std::vector<std::string> damaged(english.begin(), english.begin() + 43);
    if (unnamed) damaged.erase(damaged.begin());
    fs::remove(dir_ / "plugins/QuillboxEng.lng");
    std::ofstream out(dir_ / "plugins/QuillboxEng.lng");
    for (const std::string& line : damaged) out << line << "\n";
    out.close();
    const auto screens = Run("Down\nF8\nscreen\nEsc\n");
    ASSERT_GE(screens.size(), 1u);
    const std::string shown = Text(screens[0]);
    EXPECT_THAT(shown, HasSubstr("Do you wish to delete")) << shown;
    EXPECT_THAT(shown, HasSubstr("Friends"));
    EXPECT_THAT(shown, HasSubstr("[ Delete ]"));
    EXPECT_THAT(shown, HasSubstr("Name"));  // the column titles stay English
    EXPECT_THAT(shown, ::testing::Not(HasSubstr("Имя")));
  }
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

TEST_F(BookHostTest, AViewOfAHugeCommentFitsItsBoxAndSaysItIsCut) {
  const fs::path built = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
  fs::copy_file(built / "Comment.qbl", dir_ / "plugins/Comment.qbl");
  std::string line;
  while (line.size() < 256 * 1024) line += "word ";
  std::string lines;
  for (int i = 0; i < 5000; ++i) lines += "line " + std::to_string(i) + "\n";
  for (const std::string& text : {line, lines}) {
    SCOPED_TRACE(text.substr(0, 12));
    fs::remove(book());
    BookBuilder(book()).Record("Ann", RecordBytes({{0x10101, text + '\0'}}));
    const auto screens = Run("Down\nEnter\nDown\nF3\nscreen\nEnd\nscreen\nEsc\n");
    ASSERT_GE(screens.size(), 2u);
    const std::vector<std::string>& box = screens[0];
    // The text stops above the button row and the frame closes right below it, whole but for
    // the mark that says the box scrolls to more: the box never draws past the screen.
    int button_row = -1;
    for (int row = 0; row < kRows; ++row) {
      if (box[row].find("[ OK ]") != std::string::npos) button_row = row;
    }
    ASSERT_GT(button_row, 2) << Text(box);
    ASSERT_LT(button_row + 1, kRows) << Text(box);
    const std::string& below = box[button_row + 1];
    const size_t left = below.find("╚"), right = below.find("╝");
    ASSERT_NE(left, std::string::npos) << Text(box);
    ASSERT_NE(right, std::string::npos) << Text(box);
    std::string frame = below.substr(left + 3, right - left - 3);
    for (size_t at; (at = frame.find("═")) != std::string::npos;) frame.erase(at, 3);
    EXPECT_EQ(frame, "▼") << Text(box);
    // Its end, scrolled to, says the text was cut.
    EXPECT_THAT(Text(screens[1]), HasSubstr("…"));
  }
}

TEST_F(BookHostTest, AFieldOfMoreLinesThanTheEditorHoldsIsRefusedInLittleMemory) {
  const fs::path built = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
  fs::copy_file(built / "Comment.qbl", dir_ / "plugins/Comment.qbl");
  // 2,000,000 lines of 4 letters: 10 MB.
  std::string text;
  text.reserve(10'000'000);
  for (int i = 0; i < 2'000'000; ++i) text += "abcd\n";
  BookBuilder(book()).Record("Ann", RecordBytes({{0x10101, text + '\0'}}));
  text = std::string();
  const std::string before = ReadFile(book());
  const auto screens = Run("Down\nEnter\nDown\nF4\nscreen\nEnter\nscreen\n");
  ASSERT_GE(screens.size(), 2u);
  EXPECT_THAT(Text(screens[0]), HasSubstr("more lines than the editor can hold"));
  EXPECT_THAT(Text(screens[1]), ::testing::Not(HasSubstr("more lines")));
  EXPECT_EQ(ReadFile(book()), before);
  // The largest child this test program has waited for: the refusal costs a few copies of the
  // field, not an edit line for each of its lines (about 2 GB).
  rusage children{};
  getrusage(RUSAGE_CHILDREN, &children);
  EXPECT_LT(children.ru_maxrss, 400L * 1024) << "peak KB";

  // A field the editor holds opens in it.
  fs::remove(book());
  std::string lines;
  for (int i = 0; i < 1000; ++i) lines += "line\n";
  BookBuilder(book()).Record("Ann", RecordBytes({{0x10101, lines + '\0'}}));
  const auto opened = Run("Down\nEnter\nDown\nF4\nscreen\nEsc\n");
  ASSERT_GE(opened.size(), 1u);
  EXPECT_THAT(Text(opened[0]), ::testing::Not(HasSubstr("more lines")));
  EXPECT_THAT(Text(opened[0]), HasSubstr("═ Comment ═"));  // the editor's frame
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

// Names outside the scripts the name order spells out (here Armenian) are compared through the C
// library's tables; the host leaves nothing of that behind when it unloads the main library (the
// sanitizer build reports a leak on standard error, which fails the run).
TEST_F(BookHostTest, NamesInOtherScriptsLeaveNoLeakWhenTheHostEnds) {
  BookBuilder(book())
      .Folder("\u0531\u0580\u0561\u0574")
      .Record("\u0531\u0580\u0561\u0574/\u0561\u0562");
  const auto screens = Run("Down\nEnter\nscreen\n");
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(LeftNames(screens[0]), ElementsAre("..", "\u0561\u0562"));
}

// A file-size limit reached in the middle of a save does not kill the host: the commit fails and
// is reported as a full disk, and the book keeps its state before the change.
TEST_F(BookHostTest, FileSizeLimitIsReportedAsAFullDisk) {
  BookBuilder(book()).Folder("Friends").Record("Friends/John", std::vector<uint8_t>(3000, 'x'));
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  rlimit limited = before;
  limited.rlim_cur = 1024;  // below the book's size: every sector the commit writes is past it
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const auto screens = Run("F7\ntext New\nEnter\nscreen\nEnter\n");
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &before), 0);
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(Text(screens[0]), HasSubstr("HResult = 0x80030070"));
  storage::Storage root;
  ASSERT_EQ(storage::OpenCompoundFile(book(), qb::main::kBookOpenMode, &root), storage::S_OK);
  storage::Storage folder;
  EXPECT_EQ(root.OpenStorage(u"New", qb::main::kBookOpenMode, &folder),
            storage::STG_E_FILENOTFOUND);
  EXPECT_EQ(root.OpenStorage(u"Friends", qb::main::kBookOpenMode, &folder), storage::S_OK);
}

// Another program holding the book for a moment, right when the host starts (as a second host
// starting at the same moment would): the host waits for it instead of showing a share violation.
TEST_F(BookHostTest, BookHeldForAMomentByAnotherProcessIsWaitedFor) {
  BookBuilder(book()).Folder("Friends");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    storage::Storage root;
    const bool held =
        storage::Succeeded(storage::OpenCompoundFile(book(), qb::main::kBookOpenMode, &root));
    const char byte = held ? 1 : 0;
    if (write(ready[1], &byte, 1) != 1) _exit(2);
    timespec hold{0, 400 * 1000000L};
    nanosleep(&hold, nullptr);
    root.Release();
    _exit(held ? 0 : 1);
  }
  close(ready[1]);
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);
  ASSERT_EQ(byte, 1);
  const auto screens = Run("");
  int status = 0;
  ASSERT_EQ(waitpid(holder, &status, 0), holder);
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(Text(screens.back()), ::testing::Not(HasSubstr("0x80030020")));
  EXPECT_THAT(LeftNames(screens.back()), ElementsAre("..", "Friends"));
}

// The cursor (here shown by Ctrl+Ins, which copies the current item's name when nothing is
// selected) goes to a record made by Shift+F4 and with a record renamed by Shift+F6 to its new
// place; after F8 it stands on the record that took the deleted one's place.
TEST_F(BookHostTest, CreatingRenamingAndDeletingPlaceTheCursor) {
  BookBuilder(book()).Record("Ann").Record("Bob").Record("Dan").Record("Eve");
  std::vector<std::string> screen;
  const auto copied = RunForClipboard(
      "ShiftF4\ntext Cat\nEnter\nCtrlIns\nclipboard\n"
      "ShiftF6\nCtrlY\ntext Zed\nEnter\nCtrlIns\nclipboard\n"
      "Up\nF8\nEnter\nCtrlIns\nclipboard\n"
      "Home\nDown\nF8\nEnter\nCtrlIns\nclipboard\n",
      &screen);
  EXPECT_THAT(copied, ElementsAre("Cat", "Zed", "Zed", "Bob"));
  EXPECT_THAT(LeftNames(screen), ElementsAre("..", "Bob", "Dan", "Zed"));
}

// Ctrl+R and the rereading after a new record keep the selected records selected (and only
// those), whatever else the folder holds.
TEST_F(BookHostTest, RereadingKeepsTheSelection) {
  {
    BookBuilder builder(book());
    for (const char* name : {"Ann", "Bob", "Dan", "Eve", "Fay", "Gus"}) builder.Record(name);
    builder.Folder("Old");
  }
  std::vector<std::string> screen;
  const auto copied = RunForClipboard(
      "Down\nDown\nIns\nDown\nIns\nDown\nIns\n"  // Ann, Dan and Fay
      "CtrlR\nCtrlIns\nclipboard\n"
      "ShiftF4\ntext Cy\nEnter\nCtrlIns\nclipboard\n"
      "Down\nIns\nCtrlR\nCtrlIns\nclipboard\n",  // Dan no more
      &screen);
  EXPECT_THAT(copied, ElementsAre("Ann", "Dan", "Fay", "Ann", "Dan", "Fay", "Ann", "Fay"));
  std::string all;
  for (const std::string& line : screen) all += line + "\n";
  EXPECT_THAT(all, HasSubstr(" 2 selected "));
}

// A book whose root folder list is damaged (here the root names itself as its first child) does
// not open as an empty book: a box says it is damaged, and the file is not written.
TEST_F(BookHostTest, BookWithADamagedRootListIsReportedNotShownEmpty) {
  BookBuilder(book()).Folder("Friends").Record("Anna");
  std::string bytes = ReadFile(book());
  ASSERT_GE(bytes.size(), 1024u);
  auto get32 = [&](std::size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes[at + i]);
    return v;
  };
  const std::size_t root_entry = (get32(0x30) + 1) * 512;  // the directory's first sector
  ASSERT_LT(root_entry + 128, bytes.size());
  for (int i = 0; i < 4; ++i) bytes[root_entry + 0x4C + i] = 0;  // child: the root itself
  std::ofstream(book(), std::ios::binary | std::ios::trunc) << bytes;
  const auto screens = Run("screen\nEnter\n");
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(Text(screens[0]), HasSubstr("damaged"));
  EXPECT_THAT(Text(screens[0]), HasSubstr("HResult = 0x80030109"));
  EXPECT_THAT(screens.back()[0], ::testing::Not(HasSubstr("Quillbox")));
  EXPECT_EQ(ReadFile(book()), bytes);
}

}  // namespace
}  // namespace qb::test
