// Phone in the quillbox program, played by its headless front end: a number added to a record
// through the add-field menu, dialled with Enter through the telephony library of the plug-in
// directory (the tests' recording one, the real one against a recording xdg-open, and the real
// xdg-open of the machine), and Phone's place in the configuration menu and the record
// descriptions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "platform/registry/registry.h"
#include "tests/support/headless.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// A record Bob with the number "555-1234 #home" (voice, the kind a new number starts with), made
// through the add-field menu; the panel then stands on the field.
constexpr const char* kMakeBob =
    "ShiftF4\ntext Bob\nEnter\nEnter\n"
    "ShiftF4\nscreen\nEnter\ntext 555-1234 #home\nEnter\nEnd\n";

class PhoneHeadlessTest : public ::testing::Test {
 protected:
  PhoneHeadlessTest() {
    fs::create_directories(plugins);
    fs::create_directories(bin);
    const fs::path from = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
    for (const auto& entry : fs::directory_iterator(from)) {
      const std::string name = entry.path().filename().string();
      if (name == "Quillbox.so" || name == "Phone.qbl" || entry.path().extension() == ".lng")
        fs::copy_file(entry.path(), plugins / name);
    }
    // The book goes to the test's directory; the panel shows the phone's number in the record's
    // description.
    qb::registry::SetConfigDirectory(dir.string());
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Plugins\\Quillbox", &key);
    qb::registry::SetString(key, "BookFile", (dir / "book.dat").string());
    qb::registry::SetString(key, "Description", "%P");
    RegCloseKey(key);
    qb::registry::SetConfigDirectory("");
  }

  // An xdg-open that records its arguments into the file "opened" and succeeds.
  void FakeOpener() {
    const fs::path script = bin / "xdg-open";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" << (dir / "opened").string()
                          << "'\n";
    fs::permissions(script, fs::perms::owner_all);
  }

  std::string Run(const std::string& script, const std::string& path_env) {
    qb::test::HeadlessRun run;
    run.dir = dir;
    run.script = script;
    run.plugins = plugins.string();
    run.config = dir.string();
    run.home = dir.string();
    run.work_dir = dir.string();
    run.size = "80x25";
    run.env = "PATH=" + qb::test::ShellQuote(path_env) +
              " QB_TAPI_RECORD=" + qb::test::ShellQuote((dir / "calls").string()) +
              " DISPLAY= WAYLAND_DISPLAY= XDG_CONFIG_HOME=" + qb::test::ShellQuote(dir.string());
    run.merge_stderr = true;
    return run.Run().out;
  }
  std::string Run(const std::string& script) {
    const char* path = std::getenv("PATH");
    return Run(script, bin.string() + ":" + (path ? path : "/usr/bin:/bin"));
  }

  qb::test::TempDir temp{"qb-phone-e2e"};
  fs::path dir = temp.root();
  fs::path plugins = dir / "plugins";
  fs::path bin = dir / "bin";
};

TEST_F(PhoneHeadlessTest, ANumberAddedThroughTheMenuShowsItsCommentAndEnterDialsIt) {
  fs::copy_file(QB_RECORDING_TAPI, plugins / "TAPI32.so");
  const std::string out = Run(std::string(kMakeBob) +
                              "screen\nEnter\nclipboard\nscreen\n"
                              "Home\nscreen\nF10\n");
  // The add-field menu offers Phone; the field is named by its comment.
  EXPECT_NE(out.find("Phone"), std::string::npos) << out;
  EXPECT_NE(out.find("║home        │555-1234"), std::string::npos) << out;
  EXPECT_EQ(qb::test::ReadFile(dir / "calls"), "[555-1234 |FAR|<null>|<null>]\n") << out;
  EXPECT_EQ(out.find("The telephony call failed"), std::string::npos) << out;
}

TEST_F(PhoneHeadlessTest, AModemNumberGoesToTheClipboardAndToTheTerminalProgram) {
  const fs::path terminal = bin / "dialler";
  std::ofstream(terminal) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << (dir / "dialled").string()
                          << "'\n";
  fs::permissions(terminal, fs::perms::owner_all);
  qb::registry::SetConfigDirectory(dir.string());
  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Plugins\\Quillbox\\PhoneNumber", &key);
  qb::registry::SetString(key, "Terminal", "dialler --number <p>");
  RegCloseKey(key);
  qb::registry::SetConfigDirectory("");
  // Voice off, modem on (Tab order: the number, then the four kinds).
  const std::string out =
      Run("ShiftF4\ntext Bob\nEnter\nEnter\nShiftF4\nEnter\ntext 555-1234 #modem\n"
          "Tab\nSpace\nTab\nTab\nSpace\nEnter\nEnd\nEnter\nclipboard\nwait 500\nscreen\nF10\n");
  EXPECT_TRUE(std::regex_search(out, std::regex("(^|\n)555-1234 \n"))) << out;  // the clipboard
  for (int i = 0; i < 300 && !fs::exists(dir / "dialled"); ++i) usleep(10000);
  EXPECT_EQ(qb::test::ReadFile(dir / "dialled"), "--number\n555-1234\n") << out;
  EXPECT_EQ(out.find("Cannot start the terminal program"), std::string::npos) << out;
}

TEST_F(PhoneHeadlessTest, AMissingTelephonyLibraryShowsTheFailureAndTheHostGoesOn) {
  const std::string out = Run(std::string(kMakeBob) + "Enter\nscreen\nEnter\nscreen\nF10\n");
  EXPECT_NE(out.find("The telephony call failed"), std::string::npos) << out;
  EXPECT_NE(out.find("║home        │555-1234"), std::string::npos) << out;
}

TEST_F(PhoneHeadlessTest, TheTelephonyLibraryHandsTheNumberToTheDesktopsOpener) {
  fs::copy_file(QB_TAPI, plugins / "TAPI32.so");
  FakeOpener();
  const std::string out = Run(std::string(kMakeBob) + "Enter\nscreen\nF10\n");
  EXPECT_EQ(qb::test::ReadFile(dir / "opened"), "tel:555-1234\n") << out;
  EXPECT_EQ(out.find("The telephony call failed"), std::string::npos) << out;
}

TEST_F(PhoneHeadlessTest, TheRealOpenerWithoutADesktopFailsAndTheScreenStaysWhole) {
  // The machine's own xdg-open, where it is installed, with no display to reach.
  bool found = false;
  const char* path = std::getenv("PATH");
  for (const char* dir_name : {"/usr/bin", "/usr/local/bin", "/bin"})
    if (fs::exists(fs::path(dir_name) / "xdg-open")) found = true;
  if (!found) GTEST_SKIP() << "xdg-open is not installed";
  fs::copy_file(QB_TAPI, plugins / "TAPI32.so");
  const std::string out =
      Run(std::string(kMakeBob) + "Enter\nscreen\nEnter\nscreen\nF10\n", path ? path : "/usr/bin");
  // Without a desktop nothing takes the call; with one, a dialler may. Either way the host is
  // intact afterwards.
  const size_t last = out.rfind("║home        │555-1234");
  EXPECT_NE(last, std::string::npos) << out;
  const size_t failed = out.find("The telephony call failed");
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
    EXPECT_NE(failed, std::string::npos) << out;
  }
  if (failed != std::string::npos) {
    EXPECT_GT(last, failed) << out;
  }
}

TEST_F(PhoneHeadlessTest, PhoneIsInTheConfigurationMenuAndTheRecordDescriptions) {
  fs::copy_file(QB_RECORDING_TAPI, plugins / "TAPI32.so");
  // F9: the host's menu, then the configuration menu of the main library and its field types.
  std::string out = Run(std::string(kMakeBob) +
                        "Home\nEnter\nscreen\nF9\nEnter\nscreen\n"
                        "Down\nEnter\nscreen\nEsc\nEsc\nEsc\nF10\n");
  const size_t menu = out.find("═ Config ═");
  ASSERT_NE(menu, std::string::npos) << out;
  EXPECT_NE(out.find("║ Phone    ║", menu), std::string::npos) << out;
  // Phone's own dialog, with the Linux terminal command.
  EXPECT_NE(out.find("x-terminal-emulator -e minicom", menu), std::string::npos) << out;
  EXPECT_NE(out.find("Ask each time", menu), std::string::npos) << out;
  // The record's description is its number (the %P token).
  EXPECT_TRUE(std::regex_search(out, std::regex("║Bob +│555-1234 "))) << out;
}

}  // namespace
