// The configuration through the real host program, played by its headless front end: F9 opens the
// configuration, an out-of-range number is refused, the token menu extends the description, and
// the values are there again after the host is left and started anew.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/registry/registry.h"

namespace {

namespace fs = std::filesystem;

class HeadlessConfigureTest : public ::testing::Test {
 protected:
  HeadlessConfigureTest() {
    dir = fs::temp_directory_path() / ("qb-config-e2e-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // The book goes to the test's directory, not beside the build's libraries.
    qb::registry::SetConfigDirectory(dir.string());
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Plugins\\Quillbox", &key);
    qb::registry::SetString(key, "BookFile", (dir / "book.dat").string());
    RegCloseKey(key);
    qb::registry::SetConfigDirectory("");
  }
  ~HeadlessConfigureTest() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  std::string Run(const std::string& script) {
    const char* bin = std::getenv("QB_BIN_DIR");
    const char* plugins = std::getenv("QB_PLUGIN_DIR");
    fs::path program = fs::path(bin ? bin : "") / "quillbox";
    if (!fs::exists(program)) return "<no host>";
    fs::path script_file = dir / "script.txt";
    std::ofstream(script_file) << script;
    std::string cmd = program.string() + " --headless --plugins " + plugins + " --config " +
                      dir.string() + " " + script_file.string() + " 2>&1";
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) return out;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    pclose(p);
    return out;
  }

  fs::path dir;
};

TEST_F(HeadlessConfigureTest, ChangesSurviveLeavingTheHost) {
  // Menu of the host, then the configuration menu, then the dialog. Tab order: disks menu, hot
  // key, plug-ins menu, preload, Ctrl+Ins, lines, book file, description, tokens, user name.
  std::string out = Run(
      "F9\nEnter\nEnter\nTab\nTab\nTab\nTab\nTab\nBS\ntext 1\nEnter\nscreen\nEnter\n"
      "BS\ntext 12\nTab\nTab\ntext %C\nTab\nEnter\nscreen\nEnter\nscreen\nEnter\nEsc\nF10\n");
  if (out == "<no host>") GTEST_SKIP() << "the host program is not built";
  EXPECT_NE(out.find("from 2 to 99"), std::string::npos) << out;
  EXPECT_NE(out.find("Descriptions"), std::string::npos) << out;
  EXPECT_NE(out.find("%C %A"), std::string::npos) << out;

  std::string again = Run("F9\nEnter\nEnter\nscreen\nEsc\nEsc\nF10\n");
  EXPECT_NE(again.find("Lines in the text field editor:    12"), std::string::npos) << again;
  EXPECT_NE(again.find("%C %A"), std::string::npos) << again;

  qb::registry::SetConfigDirectory(dir.string());
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Plugins\\Quillbox", &key),
            ERROR_SUCCESS);
  EXPECT_EQ(qb::registry::QueryDword(key, "MaxLines"), 12u);
  EXPECT_EQ(qb::registry::QueryString(key, "Description"), "%C %A");
  EXPECT_EQ(qb::registry::QueryString(key, "UserName"), "System Operator");
  RegCloseKey(key);
  qb::registry::SetConfigDirectory("");
}

}  // namespace
