// All nine field types in the quillbox program, played by its headless front end with the build's
// plug-in directory as it ships: one field of each added to one record through the add-field
// menu, kept across a restart, each shown in the record and each description token filled in the
// record's description.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/headless.h"
#include "tests/support/temp_dir.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;

struct Added {
  const char* keys;         // what is typed into the type's edit dialog
  const char* name;         // the field's item name
  const char* description;  // the item's description
};

// In the add-field menu's order (the libraries' file names in byte order).
const std::vector<Added> kFields = {
    {"text Elm 1\nF2", "Address", "Elm 1"},  // the multi-line editor takes F2
    {"text tea\nF2", "Comment", "tea"},
    {"Enter", "Birthday", "01.I.1980"},  // the date dialog as it opens
    {"text b@x.org\nEnter", "E-Mail", "b@x.org"},
    {"text ls\nEnter", "Execute", "ls"},
    {"text 42#icq\nEnter", "icq", "42"},
    {"text 2:1/2\nEnter", "Netmail", "2:1/2"},
    {"text 77\nEnter", "Pager", "77"},
    {"text 555\nEnter", "Phone", "555"},
};

TEST(AllTypesHeadlessTest, OneFieldOfEachTypeIsKeptShownAndDescribedByItsToken) {
  TempDir temp{"qb-all-types"};
  const fs::path dir = temp.root();
  fs::create_directories(dir / "config");
  std::ofstream(dir / "config/quillbox.reg")
      << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Far\\Plugins\\Quillbox]\n\"BookFile\"=\""
      << (dir / "book.dat").string() << "\"\n\"Description\"=\"%A|%C|%D|%E|%X|%M|%N|%G|%P\"\n";
  HeadlessRun run;
  run.dir = dir;
  run.plugins = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
  run.config = dir / "config";
  run.work_dir = dir.string();
  run.home = dir.string();
  run.size = "160x30";
  run.env = "DISPLAY= WAYLAND_DISPLAY=";

  run.script = "ShiftF4\ntext Bob\nEnter\nEnter\n";
  for (size_t i = 0; i < kFields.size(); ++i) {
    run.script += "ShiftF4\n";
    for (size_t down = 0; down < i; ++down) run.script += "Down\n";
    run.script += "Enter\n" + std::string(kFields[i].keys) + "\n";
  }
  run.script += "F10\n";
  ProgramRun done = run.Run();
  ASSERT_EQ(done.status, 0) << done.out;

  run.script = "screen\nDown\nEnter\nscreen\nF10\n";
  done = run.Run();
  ASSERT_EQ(done.status, 0) << done.out;
  const std::vector<std::string> screens = SplitScreens(done.out, 30);
  ASSERT_EQ(screens.size(), 3u) << done.out;
  EXPECT_TRUE(std::regex_search(
      screens[0], std::regex("║Bob +│Elm 1\\|tea\\|01\\.I\\.1980\\|b@x\\.org\\|ls\\|42\\|"
                             "2:1/2\\|77\\|555 +║")))
      << screens[0];
  // Inside the record, in the order they were added.
  std::string expected;
  for (const Added& field : kFields)
    expected += "║" + std::string(field.name) + " +│" + field.description + " +║.*\n";
  EXPECT_TRUE(std::regex_search(screens[1], std::regex(expected))) << screens[1];
}

}  // namespace
}  // namespace qb::test
