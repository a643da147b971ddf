// The host's interface language, read from HKEY_CURRENT_USER beside the host's plug-in root key.
#include "shared/lang/current_language.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace qb::lang {
namespace {

class CurrentLanguageTest : public ::testing::Test {
 protected:
  void SetUp() override { registry::SetConfigDirectory(dir_); }
  void TearDown() override { registry::SetConfigDirectory(""); }
  void SetMain(DWORD type, const std::string& data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Language", &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "Main", type, data.data(), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  test::TempDir temp_{"qb_lang_reg"};
  std::string dir_ = temp_.root().string();
};

TEST_F(CurrentLanguageTest, KeyBesideTheRootKey) {
  EXPECT_EQ(LanguageKeyPath("Software\\Far\\Plugins"), "Software\\Far\\Language");
  EXPECT_EQ(LanguageKeyPath("Plugins"), "Language");
}

TEST_F(CurrentLanguageTest, StringValueNamesTheLanguage) {
  SetMain(REG_SZ, "Russian");
  EXPECT_EQ(CurrentLanguage("Software\\Far\\Plugins"), "Russian");
}

TEST_F(CurrentLanguageTest, MissingOrNotAStringIsEnglish) {
  EXPECT_EQ(CurrentLanguage("Software\\Far\\Plugins"), "English");
  HKEY key = nullptr;  // reading created the key, as the host does
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Language", &key), ERROR_SUCCESS);
  RegCloseKey(key);
  SetMain(REG_DWORD, std::string(4, '\1'));
  EXPECT_EQ(CurrentLanguage("Software\\Far\\Plugins"), "English");
  EXPECT_EQ(CurrentLanguage(nullptr), "English");
}

}  // namespace
}  // namespace qb::lang
