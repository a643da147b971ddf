// Quick search and Find in the book panel, through the host program, headless: books built with
// the storage engine, the shipped Comment and Phone field types, and what the panel shows after.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "main/book_format.h"
#include "main_test_support.h"
#include "tests/support/headless.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr uint32_t kComment = 0x10101;
constexpr uint32_t kPhone = 0x10200;

std::string Text(const std::string& text) {
  return std::string(text.c_str(), text.size() + 1);  // fields keep their terminating zero
}

class BookSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "plugins");
    fs::create_directories(dir_ / "config");
    fs::create_directories(dir_ / "work");
    const fs::path built = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
    // Copies: the main library looks for its book and field types beside its own file.
    for (const char* name : {"Quillbox.so", "Comment.qbl", "Phone.qbl"})
      fs::copy_file(built / name, fs::path(dir_ / "plugins") / name);
    for (const auto& entry : fs::directory_iterator(built)) {
      if (entry.path().extension() == ".lng")
        fs::create_symlink(entry.path(), fs::path(dir_ / "plugins") / entry.path().filename());
    }
  }

  std::string book() const { return dir_ / (std::string("plugins/") + qb::main::kBookFileName); }

  // Everything the run printed: its screens and clipboards.
  std::string Run(const std::string& script) {
    HeadlessRun run;
    run.dir = dir_.root();
    run.script = script;
    run.work_dir = dir_ / "work";
    run.home = dir_.path();
    run.size = "80x20";
    run.config = dir_ / "config";
    run.plugins = dir_ / "plugins";
    const ProgramRun done = run.Run();
    EXPECT_EQ(done.status, 0) << done.out;
    return done.out;
  }

  // A small book: names in two scripts, a nested folder and a locked one.
  void BuildBook() {
    BookBuilder(book())
        .Record("Anna Smith", RecordBytes({{kComment, Text("likes boats")}}))
        .Record("Smith", {})
        .Record("smithers", RecordBytes({{kPhone, Text("+44 20 7946 0000")}}))
        .Record("Иванов", RecordBytes({{kComment, Text("сосед")}}))
        .Record("Ильин", {})
        .Folder("Семья")
        .Folder("Friends")
        .Record("Friends/Bob", RecordBytes({{kPhone, Text("+1 555 0100")}}))
        .Folder("Friends/Work")
        .Record("Friends/Work/John Smithson",
                RecordBytes({{kPhone, Text("+1 555 0199")},
                             {kComment, Text("met at the boat show\nowes me lunch")}}))
        .Folder("Locked")
        .Stream(qb::main::kPasswordStream, "Locked", std::vector<uint8_t>(16, 0))
        .Record("Locked/Smith Hidden", RecordBytes({{kComment, Text("boat")}}));
  }

  TempDir dir_;
};

TEST_F(BookSearchTest, QuickSearchFindsLatinAndCyrillicNamesWhateverTheirCase) {
  BuildBook();
  const std::string out =
      Run("AltS\nCtrlIns\nclipboard\n"             // Smith before smithers; not Семья
          "AltS\nCtrlEnter\nCtrlIns\nclipboard\n"  // the next one starting with "s"
          "Altи\nCtrlIns\nclipboard\n"          // a lower-case Cyrillic letter finds Иванов
          "Altи\ntext Л\nCtrlIns\nclipboard\n"  // and an upper-case one after it Ильин
          "AltС\nscreen\nEsc\n");
  std::istringstream lines(out);
  std::vector<std::string> copied;
  for (std::string line; std::getline(lines, line) && copied.size() < 4;) copied.push_back(line);
  EXPECT_EQ(copied, (std::vector<std::string>{"Smith", "smithers", "Иванов", "Ильин"}));
  EXPECT_THAT(out, HasSubstr("│ С "));
}

TEST_F(BookSearchTest, FindByMaskSearchesFoldersBelowAndSkipsLockedOnes) {
  BuildBook();
  const std::string out = Run("AltF7\nCtrlY\ntext *smith*\nEnter\nscreen\nEsc\n");
  EXPECT_THAT(out, HasSubstr("Find: 4 found"));
  EXPECT_THAT(out, HasSubstr("\\Anna Smith"));
  EXPECT_THAT(out, HasSubstr("\\Smith "));
  EXPECT_THAT(out, HasSubstr("\\smithers"));
  EXPECT_THAT(out, HasSubstr("\\Friends\\Work\\John Smithson"));
  EXPECT_THAT(out, Not(HasSubstr("Hidden")));
}

TEST_F(BookSearchTest, FindByTextLooksInTheFieldsAndEnterGoesToTheRecord) {
  BuildBook();
  const std::string out =
      Run("AltF7\nTab\ntext BOAT\nEnter\nscreen\nEsc\n"     // a note, letter case ignored
          "AltF7\nTab\ntext 555 01\nEnter\nscreen\nEsc\n"   // phone numbers
          "AltF7\nTab\ntext СОСЕД\nEnter\nscreen\nEsc\n"    // Cyrillic text
          "AltF7\nTab\ntext lunch\nEnter\nscreen\nEnter\n"  // the second line of a note
          "CtrlIns\nclipboard\nscreen\n");
  EXPECT_THAT(out, HasSubstr("Find: 2 found"));
  EXPECT_THAT(out, HasSubstr("\\Friends\\Bob"));
  EXPECT_THAT(out, HasSubstr("\\Иванов"));
  EXPECT_THAT(out, HasSubstr("Find: 1 found"));
  EXPECT_THAT(out, Not(HasSubstr("Hidden")));
  // The panel went into the record's folder with the record current.
  EXPECT_THAT(out, HasSubstr("\nJohn Smithson\n"));
  const std::string last = out.substr(out.rfind("John Smithson\n"));
  EXPECT_THAT(last, HasSubstr("\\Friends\\Work"));
}

}  // namespace
}  // namespace qb::test
