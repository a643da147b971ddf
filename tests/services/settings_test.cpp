#include "main/settings.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/service_test.h"

namespace qb::test {
namespace {

class SettingsTest : public ServiceTest {
 protected:
  SettingsTest() {
    std::strcpy(qb::main::State().info.ModuleName, "/opt/qb/Quillbox.so");
    qb::main::State().module_dir = "/opt/qb/";
  }
  ~SettingsTest() override { qb::main::State().module_dir.clear(); }

  HKEY Key() {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Plugins\\Quillbox", &key),
              ERROR_SUCCESS);
    return key;
  }
};

TEST_F(SettingsTest, MissingWrongTypedAndOutOfRangeValuesReadAsDefaults) {
  HKEY key = Key();
  qb::registry::SetDword(key, "DiskMenuKey", 12);
  qb::registry::SetDword(key, "MaxLines", 1);
  qb::registry::SetDword(key, "PanelMode1", static_cast<DWORD>(-1));
  qb::registry::SetDword(key, "UserName", 7);
  qb::registry::SetString(key, "OwnCtrlIns", "0");
  RegCloseKey(key);

  qb::main::ReadSettings();
  const auto& s = qb::main::State().settings;
  EXPECT_EQ(s.disk_menu_key, 0);
  EXPECT_EQ(s.max_lines, 5);
  EXPECT_EQ(s.panel_mode1, 2);
  EXPECT_EQ(s.own_ctrl_ins, 1);
  EXPECT_EQ(s.user_name, "System Operator");
  EXPECT_EQ(s.book_file, "/opt/qb/Quillbox.Dat");
  EXPECT_EQ(s.description, "");
  EXPECT_STREQ(qb::main::State().host_services.UserName, "System Operator");

  ASSERT_TRUE(qb::main::WriteSettings());
  key = Key();
  EXPECT_EQ(qb::registry::QueryDword(key, "DiskMenuKey"), 0u);
  EXPECT_EQ(qb::registry::QueryDword(key, "MaxLines"), 5u);
  EXPECT_EQ(qb::registry::QueryDword(key, "OwnCtrlIns"), 1u);
  EXPECT_EQ(qb::registry::QueryString(key, "UserName"), "System Operator");
  RegCloseKey(key);
}

TEST_F(SettingsTest, ValuesInRangeAreKeptAndEverySettingIsWrittenBack) {
  HKEY key = Key();
  qb::registry::SetString(key, "BookFile", "/home/me/book.dat");
  qb::registry::SetString(key, "Description", "%C %P");
  qb::registry::SetString(key, "UserName", "Ann");
  qb::registry::SetDword(key, "DiskMenuKey", 9);
  qb::registry::SetDword(key, "MaxLines", 99);
  qb::registry::SetDword(key, "AllowPreload", 1);
  RegCloseKey(key);

  qb::main::ReadSettings();
  auto& s = qb::main::State().settings;
  EXPECT_EQ(s.book_file, "/home/me/book.dat");
  EXPECT_EQ(s.description, "%C %P");
  EXPECT_EQ(s.user_name, "Ann");
  EXPECT_EQ(s.disk_menu_key, 9);
  EXPECT_EQ(s.max_lines, 99);
  EXPECT_EQ(s.allow_preload, 1);
  EXPECT_EQ(s.panel_mode2, 1);

  s.panel_mode2 = 4;
  ASSERT_TRUE(qb::main::WriteSettings());
  std::ifstream file(qb::registry::FilePath());
  std::stringstream text;
  text << file.rdbuf();
  const std::string reg = text.str();
  EXPECT_NE(reg.find("[HKEY_CURRENT_USER\\Software\\Far\\Plugins\\Quillbox]"), std::string::npos);
  for (const char* name :
       {"BookFile", "Description", "UserName", "AllowPreload", "OwnCtrlIns", "ShowInDisksMenu",
        "DiskMenuKey", "ShowInPluginsMenu", "PanelMode1", "PanelMode2", "MaxLines"}) {
    EXPECT_NE(reg.find(std::string("\"") + name + "\"="), std::string::npos) << name;
  }
  EXPECT_NE(reg.find("\"PanelMode2\"=dword:00000004"), std::string::npos) << reg;

  s = qb::main::Settings{};
  qb::main::ReadSettings();
  EXPECT_EQ(s.panel_mode2, 4);
  EXPECT_EQ(s.user_name, "Ann");
}

// A registry that can't be read at start-up (here: a directory where the file should be) gives the
// defaults, but once it is readable again the exit writes only what changed in between: the
// stored settings are not all replaced by defaults.
TEST_F(SettingsTest, ARegistryUnreadableAtStartKeepsItsSettingsAtExit) {
  HKEY key = Key();
  qb::registry::SetDword(key, "MaxLines", 9);
  qb::registry::SetString(key, "UserName", "Ann");
  RegCloseKey(key);
  const std::filesystem::path file = qb::registry::FilePath();
  const std::filesystem::path kept = file.string() + ".kept";
  std::filesystem::rename(file, kept);
  std::filesystem::create_directory(file);

  qb::main::ReadSettings();
  auto& s = qb::main::State().settings;
  EXPECT_EQ(s.max_lines, 5);
  EXPECT_EQ(s.user_name, "System Operator");
  s.panel_mode1 = 4;  // changed by the user during the session

  std::filesystem::remove(file);
  std::filesystem::rename(kept, file);
  ASSERT_TRUE(qb::main::WriteSettings());
  key = Key();
  EXPECT_EQ(qb::registry::QueryDword(key, "MaxLines"), 9u);
  EXPECT_EQ(qb::registry::QueryString(key, "UserName"), "Ann");
  EXPECT_EQ(qb::registry::QueryDword(key, "PanelMode1"), 4u);
  RegCloseKey(key);

  // Read normally, everything is written again.
  qb::main::ReadSettings();
  s.max_lines = 7;
  ASSERT_TRUE(qb::main::WriteSettings());
  key = Key();
  EXPECT_EQ(qb::registry::QueryDword(key, "MaxLines"), 7u);
  EXPECT_EQ(qb::registry::QueryDword(key, "AllowPreload"), 0u);
  RegCloseKey(key);
}

}  // namespace
}  // namespace qb::test
