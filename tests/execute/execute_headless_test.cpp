// Execute fields through the quillbox program, headless: a record gets one field typed into the
// add-field dialog, Enter starts it, and recording doubles on PATH tell what was started.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/headless.h"
#include "tests/support/temp_dir.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class ExecuteHeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"plugins", "config", "work", "bin", "records"})
      fs::create_directories(dir_.root() / sub);
    const fs::path built = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
    // Copies: the main library finds its field types and book beside its real file.
    for (const char* file : {"Quillbox.so", "Execute.qbl"})
      fs::copy_file(built / file, dir_.root() / "plugins" / file);
    for (const auto& entry : fs::directory_iterator(built))
      if (entry.path().extension() == ".lng")
        fs::create_symlink(entry.path(), dir_.root() / "plugins" / entry.path().filename());
    // The record description shows the Execute field.
    std::ofstream(dir_.root() / "config/quillbox.reg")
        << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Far\\Plugins\\Quillbox]\n\"Description\"=\"%"
           "X\"\n";
  }

  // A double at bin/<name> writing its arguments as "[word]" lines into records/<its file name>.
  void Recorder(const std::string& name) {
    const fs::path file = dir_.root() / "bin" / name;
    const std::string out = (dir_.root() / "records" / file.filename()).string();
    std::ofstream(file) << "#!/bin/sh\nfor a; do printf '[%s]\\n' \"$a\"; done > "
                        << ShellQuote(out + ".tmp") << "\n/bin/mv " << ShellQuote(out + ".tmp")
                        << " " << ShellQuote(out) << "\n";
    fs::permissions(file, fs::perms(0755));
  }
  std::string Recorded(const std::string& name, std::chrono::milliseconds wait = 5s) {
    const fs::path file = dir_.root() / "records" / name;
    for (auto waited = 0ms; waited < wait && !fs::exists(file); waited += 10ms)
      std::this_thread::sleep_for(10ms);
    return ReadFile(file);
  }

  // A fresh record "Bob" with one Execute field of `text`; Enter on it; the screen with what it
  // showed, then back at the root, the screen again.
  std::string AddAndStart(const std::string& text) {
    fs::remove(dir_.root() / "plugins/Quillbox.Dat");
    HeadlessRun run;
    run.dir = dir_.root();
    run.script = "ShiftF4\ntext Bob\nEnter\nEnter\nShiftF4\nEnter\ntext " + text +
                 "\nEnter\nDown\nEnter\nscreen\nEsc\nHome\nEnter\nscreen\n";
    run.plugins = dir_.root() / "plugins";
    run.config = dir_.root() / "config";
    run.work_dir = dir_.root() / "work";
    run.home = dir_.path();
    run.size = "140x20";
    run.env = "PATH=" + ShellQuote((dir_.root() / "bin").string() + ":/usr/bin:/bin");
    const ProgramRun done = run.Run();
    EXPECT_EQ(done.status, 0) << done.out;
    return done.out;
  }

  TempDir dir_{"qb-execute-headless"};
};

TEST_F(ExecuteHeadlessTest, EnterStartsTheProgramWithTheParametersBeforeTheComment) {
  Recorder("notepad");
  const std::string out = AddAndStart("notepad readme.txt \"two words\" #docs");
  EXPECT_EQ(Recorded("notepad"), "[readme.txt]\n[two words]\n");
  // The comment names the item; the status line shows the value.
  EXPECT_NE(out.find("║docs      "), std::string::npos) << out;
  EXPECT_NE(out.find("║notepad readme.txt \"two words\"   "), std::string::npos) << out;
  EXPECT_EQ(out.find("Error"), std::string::npos) << out;
  // The root: the record's description is its Execute field (token X).
  EXPECT_NE(out.find("║Bob                      │notepad readme.txt \"two words\" "),
            std::string::npos)
      << out;
}

TEST_F(ExecuteHeadlessTest, AQuotedFirstWordWithABlankStartsTheWholePath) {
  fs::create_directories(dir_.root() / "bin/my tools");
  Recorder("my tools/run");
  AddAndStart("\"" + (dir_.root() / "bin/my tools/run").string() + "\" one two");
  EXPECT_EQ(Recorded("run"), "[one]\n[two]\n");
}

TEST_F(ExecuteHeadlessTest, AddressesInSmallLettersOpenWithTheirScheme) {
  Recorder("xdg-open");
  AddAndStart("www.example.org #home page");
  EXPECT_EQ(Recorded("xdg-open"), "[http://www.example.org]\n");

  fs::remove(dir_.root() / "records/xdg-open");
  const std::string out = AddAndStart("WWW.example.org");
  EXPECT_NE(out.find("File not found"), std::string::npos) << out;
  EXPECT_NE(out.find("WWW.example.org ║"), std::string::npos) << out;
  EXPECT_EQ(Recorded("xdg-open", 200ms), "");
}

TEST_F(ExecuteHeadlessTest, AMissingProgramShowsFileNotFoundWithItsName) {
  const std::string out = AddAndStart("nosuchprog readme.txt");
  EXPECT_NE(out.find("╔════ Error ═════╗"), std::string::npos) << out;
  EXPECT_NE(out.find("║ File not found ║"), std::string::npos) << out;
  EXPECT_NE(out.find("║   nosuchprog   ║"), std::string::npos) << out;
}

TEST_F(ExecuteHeadlessTest, ShellSyntaxInTheFieldCreatesNothing) {
  Recorder("notepad");
  for (const char* text : {"$(touch pwned)", "`touch pwned`", "notepad;touch pwned",
                           "'touch pwned'", "notepad $(touch pwned) `touch pwned` ; touch pwned"}) {
    AddAndStart(text);
  }
  EXPECT_EQ(Recorded("notepad"),
            "[$(touch]\n[pwned)]\n[`touch]\n[pwned`]\n[;]\n[touch]\n[pwned]\n");
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(fs::exists(dir_.root() / "work/pwned"));
  EXPECT_FALSE(fs::exists(dir_.root() / "pwned"));
}

}  // namespace
}  // namespace qb::test
