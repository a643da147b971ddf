// EMail in the quillbox program, played by its headless front end, with the shipped mail library
// in the plug-in directory and a recording xdg-email first on PATH: an address added to a record
// through the add-field menu, Enter on it, a file from the disk panel copied onto the record, a
// composer that is not there, the own address in the settings and the configuration dialog.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/headless.h"
#include "tests/support/temp_dir.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A record of the given name with one EMail field of each text, made through the add-field
// menu (EMail is the only type in the plug-in directory, so Enter picks it); the panel then
// stands inside the record.
std::string MakeRecord(const std::string& name, std::initializer_list<const char*> fields) {
  std::string script = "ShiftF4\ntext " + name + "\nEnter\nEnter\n";
  for (const char* text : fields)
    script += "ShiftF4\nEnter\ntext " + std::string(text) + "\nEnter\n";
  return script;
}

class EMailHeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"plugins", "config", "work", "bin", "records"})
      fs::create_directories(dir / sub);
    const fs::path built = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
    for (const char* file : {"Quillbox.so", "EMail.qbl", "MAPI32.so"})
      fs::copy_file(built / file, dir / "plugins" / file);
    for (const auto& entry : fs::directory_iterator(built))
      if (entry.path().extension() == ".lng")
        fs::create_symlink(entry.path(), dir / "plugins" / entry.path().filename());
    // The record descriptions show the first e-mail address.
    std::ofstream(dir / "config/quillbox.reg")
        << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Far\\Plugins\\Quillbox]\n"
           "\"Description\"=\"%E\"\n";
    std::ofstream(dir / "work/note.txt") << "hello";
    const fs::path composer = dir / "bin/xdg-email";
    const std::string out = (dir / "records/xdg-email").string();
    std::ofstream(composer) << "#!/bin/sh\nfor a; do printf '[%s]\\n' \"$a\"; done > "
                            << ShellQuote(out + ".tmp") << "\n/bin/mv " << ShellQuote(out + ".tmp")
                            << " " << ShellQuote(out) << "\n";
    fs::permissions(composer, fs::perms(0755));
  }

  std::string Run(const std::string& script, const std::string& path_env = "") {
    HeadlessRun run = HeadlessRun::InDir(dir, script + "F10\n", "100x25");
    run.env = "PATH=" +
              ShellQuote(path_env.empty() ? (dir / "bin").string() + ":/usr/bin:/bin" : path_env);
    const ProgramRun done = run.Run();
    EXPECT_EQ(done.status, 0) << done.out;
    return done.out;
  }
  std::string Composed() {
    const fs::path file = dir / "records/xdg-email";
    for (int i = 0; i < 500 && !fs::exists(file); ++i) std::this_thread::sleep_for(10ms);
    return ReadFile(file);
  }

  TempDir temp{"qb-email-headless"};
  fs::path dir = temp.root();
};

TEST_F(EMailHeadlessTest, AnAddressShowsItsCommentAndEnterWritesToTheRecordsName) {
  const std::string out = Run(MakeRecord("Ann Smith", {"ann@example.org#work"}) +
                              "End\nscreen\nEnter\nclipboard\n" + "Home\nEnter\nscreen\n");
  // Inside the record: the item is named by the comment, its description is the address.
  EXPECT_TRUE(std::regex_search(out, std::regex("║work +│ann@example.org +║"))) << out;
  // At the root: the record's description is its address (the %E token).
  EXPECT_TRUE(std::regex_search(out, std::regex("║Ann Smith +│ann@example.org +║"))) << out;
  // The composer is asked for a mail to the contact by the record's name; the comment names the
  // field and is no part of the address.
  EXPECT_EQ(Composed(), "[--utf8]\n[Ann Smith <ann@example.org>]\n");
  // The field waits on the clipboard too.
  EXPECT_NE(out.find("\nann@example.org#work\n"), std::string::npos) << out;
}

TEST_F(EMailHeadlessTest, NamesInOtherScriptsAndNamesLikeOptionsArriveAsNames) {
  Run(MakeRecord("Анна Смирнова", {"anna@example.ru"}) + "End\nEnter\n");
  EXPECT_EQ(Composed(), "[--utf8]\n[Анна Смирнова <anna@example.ru>]\n");
  fs::remove(dir / "records/xdg-email");
  fs::remove(dir / "plugins/Quillbox.Dat");
  Run(MakeRecord("-Ann", {"-ann@example.org"}) + "End\nEnter\n");
  EXPECT_EQ(Composed(), "[--utf8]\n[\"-Ann\" <-ann@example.org>]\n");
}

TEST_F(EMailHeadlessTest, AFileCopiedOntoTheRecordGoesAsAnAttachmentWithTheSubject) {
  const std::string out =
      Run(MakeRecord("Ann Smith", {"ann@example.org#work", "ann@home.example#home"}) +
          "Tab\nDown\nF5\nscreen\nEnter\nscreen\n");
  // Two fields can take the file: the menu shows each as comment and address.
  EXPECT_NE(out.find("Send the file to"), std::string::npos) << out;
  EXPECT_NE(out.find("work: ann@example.org"), std::string::npos) << out;
  EXPECT_NE(out.find("home: ann@home.example"), std::string::npos) << out;
  const std::string note = fs::canonical(dir / "work/note.txt").string();
  EXPECT_EQ(Composed(), "[--utf8]\n[--subject]\n[File from the contact book]\n[--attach]\n[" +
                            note + "]\n[Ann Smith <ann@example.org>]\n");
  EXPECT_EQ(out.find("The file could not be sent"), std::string::npos) << out;
}

TEST_F(EMailHeadlessTest, WithoutAComposerTheFileIsNotSentAndTheBoxNamesIt) {
  const std::string out = Run(MakeRecord("Ann Smith", {"ann@example.org"}) +
                                  "End\nEnter\nscreen\nTab\nDown\nF5\nscreen\nEnter\nscreen\n",
                              (dir / "bin/none").string());
  const std::vector<std::string> screens = SplitScreens(out, 25);
  ASSERT_EQ(screens.size(), 4u) << out;
  // Enter on the field: no mail, and nothing in the way afterwards.
  EXPECT_EQ(screens[0].find("Error"), std::string::npos) << screens[0];
  EXPECT_TRUE(std::regex_search(screens[0], std::regex("║E-Mail +│ann@example.org +║")))
      << screens[0];
  // The file: the box says it could not be sent and names it.
  EXPECT_NE(screens[1].find("The file could not be sent"), std::string::npos) << screens[1];
  EXPECT_NE(screens[1].find("note.txt"), std::string::npos) << screens[1];
  EXPECT_EQ(screens[2].find("The file could not be sent"), std::string::npos) << screens[2];
  EXPECT_TRUE(fs::exists(dir / "work/note.txt"));
}

TEST_F(EMailHeadlessTest, TheOwnAddressIsAnExampleUntilChangedAndIsKeptInTheSettings) {
  // F9: the host's menu, then the configuration menu: Quillbox, E-Mail.
  std::string out = Run("F9\nEnter\nDown\nEnter\nscreen\nEsc\nEsc\nEsc\n");
  EXPECT_NE(out.find("My e-mail address:"), std::string::npos) << out;
  EXPECT_NE(out.find("sysop@example.org"), std::string::npos) << out;
  std::string settings = ReadFile(dir / "config/quillbox.reg");
  EXPECT_NE(settings.find("[HKEY_CURRENT_USER\\Software\\Far\\Plugins\\Quillbox\\E-Mail]\r\n"
                          "\"LocalEMail\"=\"sysop@example.org\"\r\n"),
            std::string::npos)
      << settings;

  // Changed in the dialog (the line is cleared first), kept at exit, shown again next time.
  Run("F9\nEnter\nDown\nEnter\nCtrlY\ntext ivan@example.net\nEnter\nEsc\nEsc\n");
  settings = ReadFile(dir / "config/quillbox.reg");
  EXPECT_NE(settings.find("\"LocalEMail\"=\"ivan@example.net\""), std::string::npos) << settings;
}

}  // namespace
}  // namespace qb::test
