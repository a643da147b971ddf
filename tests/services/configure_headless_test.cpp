// The configuration through the real host program, played by its headless front end: F9 opens the
// configuration, an out-of-range number is refused, the token menu extends the description, and
// the values are there again after the host is left and started anew.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/registry/registry.h"
#include "tests/support/headless.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class HeadlessConfigureTest : public ::testing::Test {
 protected:
  HeadlessConfigureTest() {
    // The book goes to the test's directory, not beside the build's libraries.
    qb::registry::SetConfigDirectory(dir.string());
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Plugins\\Quillbox", &key);
    qb::registry::SetString(key, "BookFile", (dir / "book.dat").string());
    RegCloseKey(key);
    qb::registry::SetConfigDirectory("");
  }

  std::string Run(const std::string& script) {
    qb::test::HeadlessRun run;
    run.dir = dir;
    run.script = script;
    const char* plugins = std::getenv("QB_PLUGIN_DIR");
    run.plugins = plugins ? plugins : "";
    run.config = dir.string();
    run.merge_stderr = true;
    return run.Run().out;
  }

  qb::test::TempDir temp{"qb-config-e2e"};
  fs::path dir = temp.root();
};

TEST_F(HeadlessConfigureTest, ChangesSurviveLeavingTheHost) {
  // Menu of the host, then the configuration menu, then the dialog. Tab order: disks menu, hot
  // key, plug-ins menu, preload, Ctrl+Ins, lines, book file, description, tokens, user name.
  std::string out =
      Run("F9\nEnter\nEnter\nTab\nTab\nTab\nTab\nTab\nBS\ntext 1\nEnter\nscreen\nEnter\n"
          "BS\ntext 12\nTab\nTab\ntext %C\nTab\nEnter\nscreen\nEnter\nscreen\nEnter\nEsc\nF10\n");
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
