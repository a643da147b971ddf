// Pager in the quillbox program, played by its headless front end, with the tests' recording
// telephony and mail libraries in the plug-in directory and a recording xdg-open first on PATH:
// pagers added through the add-field menu on a provider of the registry, every way of sending
// carried out, and the provider list changed in the configuration menus and kept in the .reg file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>

#include "tests/support/headless.h"
#include "tests/support/temp_dir.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A record Bob with one pager of each number, each on the provider `downs` places below "None"
// in the edit dialog's choice (0: none); the panel then stands inside the record.
std::string MakeBob(std::initializer_list<std::pair<const char*, int>> pagers) {
  std::string script = "ShiftF4\ntext Bob\nEnter\nEnter\n";
  for (const auto& [number, downs] : pagers) {
    script += "ShiftF4\nEnter\ntext " + std::string(number) + "\nTab\n";
    for (int i = 0; i < downs; ++i) script += "Down\n";
    script += "Space\nEnter\n";
  }
  return script;
}

// F9, the main library's configuration menu, Pager's entry, then its providers menu.
constexpr const char* kProviders = "F9\nEnter\nDown\nEnter\nDown\nEnter\n";

class PagerHeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"plugins", "config", "bin"}) fs::create_directories(dir / sub);
    const fs::path built = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
    for (const auto& entry : fs::directory_iterator(built)) {
      const std::string name = entry.path().filename().string();
      if (name == "Quillbox.so" || name == "Pager.qbl" || entry.path().extension() == ".lng")
        fs::copy_file(entry.path(), dir / "plugins" / name);
    }
    fs::copy_file(QB_RECORDING_TAPI, dir / "plugins/TAPI32.so");
    fs::copy_file(QB_RECORDING_MAPI, dir / "plugins/MAPI32.so");
    const fs::path opener = dir / "bin/xdg-open";
    std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\n' \"$@\" >> "
                          << ShellQuote((dir / "opened").string()) << "\n";
    fs::permissions(opener, fs::perms(0755));
  }

  // The settings file: the book in the test's directory, the record descriptions showing the
  // first pager, and the providers given (a .reg text of their sub-keys below Pager).
  void Settings(const std::string& providers) {
    std::ofstream(dir / "config/quillbox.reg")
        << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Far\\Plugins\\Quillbox]\n"
           "\"Description\"=\"%G\"\n\"BookFile\"=\""
        << (dir / "book.dat").string() << "\"\n\n"
        << providers;
  }
  static std::string Provider(const std::string& name, int id, int flags, const std::string& more) {
    char words[64];
    std::snprintf(words, sizeof words, "\"ID\"=dword:%08x\n\"Flags\"=dword:%08x\n", id, flags);
    return "[HKEY_CURRENT_USER\\Software\\Far\\Plugins\\Quillbox\\Pager\\" + name + "]\n" + words +
           more + "\n";
  }

  std::string Run(const std::string& script) {
    HeadlessRun run = HeadlessRun::InDir(dir, script + "F10\n", "80x25");
    run.work_dir = dir.string();
    run.env = "PATH=" + ShellQuote((dir / "bin").string() + ":/usr/bin:/bin") +
              " QB_TAPI_RECORD=" + ShellQuote((dir / "calls").string()) +
              " QB_MAPI_RECORD=" + ShellQuote((dir / "mails").string()) +
              " DISPLAY= WAYLAND_DISPLAY=";
    const ProgramRun done = run.Run();
    EXPECT_EQ(done.status, 0) << done.out;
    return done.out;
  }
  std::string Opened() {
    const fs::path file = dir / "opened";
    for (int i = 0; i < 300 && !fs::exists(file); ++i) std::this_thread::sleep_for(10ms);
    return ReadFile(file);
  }
  std::string Stored() { return ReadFile(dir / "config/quillbox.reg"); }

  TempDir temp{"qb-pager-headless"};
  fs::path dir = temp.root();
};

TEST_F(PagerHeadlessTest, EveryPhoneIsDialledFromTheMenuAndTheWebGatewayOpensWithTheNumber) {
  Settings(Provider("Acme", 0, 1,
                    "\"Phones\"=\"111,,222\"\n\"WWWGate\"=\"https://pager.example.net/<N>\"\n"));
  const std::string out =
      Run(MakeBob({{"1234567#work", 1}}) + "screen\nEnter\nscreen\nDown\nEnter\n" +
          "Enter\nEnd\nEnter\nclipboard\nHome\nEnter\nscreen\n");
  // Inside the record: named by its comment, the number and the provider's phones.
  EXPECT_TRUE(std::regex_search(out, std::regex("║work +│1234567 \\(111,,222\\) +║"))) << out;
  // The empty piece between the two commas gives no entry.
  EXPECT_NE(out.find("Send message"), std::string::npos) << out;
  EXPECT_TRUE(std::regex_search(out, std::regex("║ Dial: 111 +║"))) << out;
  EXPECT_TRUE(std::regex_search(out, std::regex("║ Dial: 222 +║"))) << out;
  EXPECT_TRUE(std::regex_search(out, std::regex("║ Go to: https://pager.example.net/1234567 ║")))
      << out;
  EXPECT_EQ(ReadFile(dir / "calls"), "[222|FAR|<null>|<null>]\n");
  EXPECT_EQ(Opened(), "https://pager.example.net/1234567\n");
  EXPECT_NE(out.find("\n1234567\n"), std::string::npos) << out;  // the clipboard
  // The record's description is its first pager (the %G token).
  EXPECT_TRUE(std::regex_search(out, std::regex("║Bob +│1234567 +║"))) << out;
}

TEST_F(PagerHeadlessTest, AMailOnlyProviderMailsWithoutAMenuAndTemplatesTakeTheNumberTwice) {
  Settings(Provider("Mail", 1, 2, "\"Phones\"=\"\"\n") +
           Provider("Twice", 2, 2,
                    "\"Phones\"=\"\"\n\"EMailGate\"=\"<N>@twice.example?<N> and <N>\"\n"));
  const std::string out =
      Run(MakeBob({{"1234567", 1}, {"42#home", 2}}) + "Home\nDown\nEnter\nDown\nEnter\nscreen\n");
  EXPECT_EQ(out.find("Send message"), std::string::npos) << out;
  EXPECT_EQ(ReadFile(dir / "mails"),
            "flags=0xB session=0 window=0 reserved=0\n"
            "subject=Msg to1234567\nnote=<null>\n"
            "orig=System Operator|<null>\n"
            "to=Mail|1234567@pager.example.net\n"
            "end\n"
            "flags=0xB session=0 window=0 reserved=0\n"
            "subject=42 and 42\nnote=<null>\n"
            "orig=System Operator|<null>\n"
            "to=Twice|42@twice.example\n"
            "end\n");
}

TEST_F(PagerHeadlessTest, ProvidersChangedInTheConfigurationAreKeptAcrossARestart) {
  Settings("");
  // Two providers added (the name and phones lines cleared first).
  Run(std::string(kProviders) + "Ins\nCtrlY\ntext Acme\nTab\nCtrlY\ntext 111,222\nEnter\n" +
      "Ins\nCtrlY\ntext Beta\nEnter\nEsc\nEsc\nEsc\nEsc\n");
  std::string stored = Stored();
  EXPECT_NE(stored.find("[HKEY_CURRENT_USER\\Software\\Far\\Plugins\\Quillbox\\Pager\\Acme]\r\n"
                        "\"ID\"=dword:00000000\r\n\"Flags\"=dword:00000000\r\n"
                        "\"Phones\"=\"111,222\"\r\n"),
            std::string::npos)
      << stored;
  EXPECT_NE(stored.find("Pager\\Beta]\r\n\"ID\"=dword:00000001\r\n"), std::string::npos) << stored;

  // Started again: both are there; Acme edited (its web gateway ticked), Beta deleted.
  const std::string out = Run(std::string(kProviders) + "screen\nF4\nTab\nTab\nSpace\nEnter\n" +
                              "Down\nDel\nscreen\nEnter\nscreen\nEsc\nEsc\nEsc\nEsc\n");
  EXPECT_TRUE(std::regex_search(out, std::regex("║ Beta +║"))) << out;
  EXPECT_NE(out.find("Do you wish to delete the provider"), std::string::npos) << out;
  stored = Stored();
  EXPECT_NE(stored.find("Pager\\Acme]\r\n\"ID\"=dword:00000000\r\n\"Flags\"=dword:00000001\r\n"),
            std::string::npos)
      << stored;
  EXPECT_EQ(stored.find("Pager\\Beta]"), std::string::npos) << stored;
}

TEST_F(PagerHeadlessTest, AFieldWhoseProviderWasDeletedSaysThatNoProviderIsKnown) {
  Settings(Provider("Gone", 5, 1, ""));
  const std::string out = Run(MakeBob({{"1234567", 1}}) + std::string(kProviders) +
                              "Del\nEnter\nEsc\nEsc\nEsc\nEnter\nscreen\n");
  EXPECT_NE(out.find("No provider is known for this pager"), std::string::npos) << out;
  EXPECT_EQ(ReadFile(dir / "opened"), "");
}

}  // namespace
}  // namespace qb::test
