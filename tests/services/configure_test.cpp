#include <cstdlib>
#include <cstring>
#include <string>

#include "main/settings.h"
#include "tests/support/service_test.h"

// The host's configuration entry point of the main library.
extern "C" int Configure(int item_number);

namespace qb::test {
namespace {

// Items of the configuration dialog.
constexpr int kDiskKey = 2;
constexpr int kMaxLines = 8;
constexpr int kDescription = 12;
constexpr int kTokenButton = 13;
constexpr int kUserName = 15;
constexpr int kOk = 20;
constexpr int kCancel = 21;

class ConfigureTest : public ServiceTest {
 protected:
  ConfigureTest() {
    for (int n = 28; n <= 37; ++n) host.msgs[n] = "text " + std::to_string(n);
    FarMenuItem own{};
    std::strcpy(own.Text, "Quillbox");
    qb::main::State().config_menu = {own};
  }
  ~ConfigureTest() override {
    qb::main::State().field_types.Unload();
    qb::main::State().config_menu.clear();
  }
  void LoadFieldTypes() {
    const char* dir = std::getenv("QB_PLUGIN_DIR");
    ASSERT_NE(dir, nullptr);
    auto& st = qb::main::State();
    st.field_types.Load(std::string(dir) + "/", &st.info, &st.host_services, &st.config_menu);
  }
  int Configure() { return ::Configure(0); }
};

TEST_F(ConfigureTest, EscapeRightAwayChangesNothing) {
  EXPECT_EQ(Configure(), 0);
  ASSERT_EQ(host.menus.size(), 1u);
  EXPECT_EQ(host.menus[0].title, "Config");
  EXPECT_EQ(host.menus[0].flags, static_cast<DWORD>(FMENU_WRAPMODE));
  EXPECT_EQ(host.menus[0].lines, (std::vector<std::string>{"Quillbox"}));
  EXPECT_TRUE(host.dialogs.empty());
}

TEST_F(ConfigureTest, OutOfRangeLinesAreRefusedAndTheDialogReopensOnThem) {
  host.menu_answers = {0};
  host.dialog_answers.push_back(ScriptedHost::Type(kMaxLines, "1", kOk));
  host.dialog_answers.push_back([](FarDialogItem* items, int) {
    std::strcpy(items[kMaxLines].Data, "12");
    std::strcpy(items[kUserName].Data, "Ann");
    items[1].Selected = 0;  // not in the disks menu
    return kOk;
  });
  EXPECT_EQ(Configure(), 1);
  const auto& s = qb::main::State().settings;
  EXPECT_EQ(s.max_lines, 12);
  EXPECT_EQ(s.user_name, "Ann");
  EXPECT_EQ(s.show_in_disks_menu, 0);
  EXPECT_STREQ(qb::main::State().host_services.UserName, "Ann");

  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].lines[1], "From 2 to 99");
  ASSERT_EQ(host.dialogs.size(), 2u);
  const auto& first = host.dialogs[0];
  EXPECT_EQ(first.x2, 60);
  EXPECT_EQ(first.y2, 21);
  EXPECT_EQ(first.help, "Configuration");
  ASSERT_EQ(first.items.size(), 22u);
  EXPECT_STREQ(first.items[0].Data, "text 28");
  EXPECT_EQ(first.items[kDiskKey].Type, DI_FIXEDIT);
  EXPECT_STREQ(first.items[kMaxLines].Data, "5");
  EXPECT_STREQ(first.items[kUserName].Data, "System Operator");
  EXPECT_STREQ(first.items[kTokenButton].Data, "Tokens");
  EXPECT_EQ(first.items[kOk].DefaultButton, 1);
  const auto& again = host.dialogs[1];
  EXPECT_EQ(again.items[kMaxLines].Focus, 1);
  EXPECT_STREQ(again.items[kMaxLines].Data, "1");
  EXPECT_EQ(host.menus.size(), 2u);  // the menu comes back after the dialog
}

TEST_F(ConfigureTest, CancelKeepsTheSettings) {
  host.menu_answers = {0};
  host.dialog_answers.push_back(ScriptedHost::Type(kMaxLines, "20", kCancel));
  EXPECT_EQ(Configure(), 0);
  EXPECT_EQ(qb::main::State().settings.max_lines, 5);
}

TEST_F(ConfigureTest, TokenMenuAppendsTheChosenTokenAndReturnsToTheDialog) {
  LoadFieldTypes();
  auto& s = qb::main::State().settings;
  s.description = "%C";
  host.menu_answers = {0};
  host.dialog_answers.push_back(ScriptedHost::Type(kMaxLines, "7", kTokenButton));
  host.dialog_answers.push_back(ScriptedHost::Close(kOk));
  // The token menu: choose Address, wherever it stands among the loaded types.
  int address = -1;
  auto& types = qb::main::State().field_types;
  int row = 0;
  for (int i = 0; i < types.count(); ++i) {
    if (types.slot(i).GetDescription == nullptr) continue;
    if (std::string(types.slot(i).info->Token) == "A") address = row;
    ++row;
  }
  ASSERT_GE(address, 0) << "Address.qbl was not loaded";
  host.menu_answers.push_back(address);

  EXPECT_EQ(Configure(), 1);
  EXPECT_EQ(s.description, "%C %A");
  EXPECT_EQ(s.max_lines, 7);
  ASSERT_GE(host.menus.size(), 2u);
  EXPECT_EQ(host.menus[1].title, "Descriptions");
  bool listed = false;
  for (const auto& item : host.menus[1].lines) listed |= item == "Address\t\t%A";
  EXPECT_TRUE(listed);
  ASSERT_EQ(host.dialogs.size(), 2u);
  EXPECT_STREQ(host.dialogs[1].items[kDescription].Data, "%C %A");
}

// A type name too long for a menu item (127 characters) is cut; its token still is what the
// choice gives, and the name is not cut inside a character.
TEST_F(ConfigureTest, ALongTypeNameStillGivesItsToken) {
  LoadFieldTypes();
  auto& types = qb::main::State().field_types;
  int row = -1, seen = 0;
  FieldTypeInfo* info = nullptr;
  for (int i = 0; i < types.count(); ++i) {
    if (types.slot(i).GetDescription == nullptr) continue;
    if (std::string(types.slot(i).info->Token) == "A") {
      row = seen;
      info = types.slot(i).info;
    }
    ++seen;
  }
  ASSERT_NE(info, nullptr) << "Address.qbl was not loaded";
  std::string name;
  for (int i = 0; i < 100; ++i) name += "\xD0\x90";  // 200 bytes of two-byte letters
  const char* old_name = info->Name;
  info->Name = name.c_str();
  host.menu_answers = {row};
  auto token = qb::main::TokenMenu();
  info->Name = old_name;
  EXPECT_EQ(token, "%A");
  ASSERT_EQ(host.menus.size(), 1u);
  const std::string& item = host.menus[0].lines.at(static_cast<size_t>(row));
  EXPECT_LE(item.size(), 127u);
  EXPECT_EQ(item, name.substr(0, 122) + "\t\t%A");
}

TEST_F(ConfigureTest, AnEmptyDescriptionGetsALeadingBlankBeforeTheToken) {
  LoadFieldTypes();
  EXPECT_EQ(qb::main::TokenMenu(), std::nullopt);  // Esc
  host.menu_answers = {0};
  auto token = qb::main::TokenMenu();
  ASSERT_TRUE(token.has_value());
  EXPECT_EQ(token->front(), '%');
  auto& s = qb::main::State().settings;
  host.menu_answers = {0, 0};
  host.dialog_answers.push_back(ScriptedHost::Close(kTokenButton));
  host.dialog_answers.push_back(ScriptedHost::Close(kOk));
  Configure();
  EXPECT_EQ(s.description, " " + *token);
  // Cancelled after the token: the settings stay as they were.
  host.menu_answers = {0, 0};
  host.dialog_answers.push_back(ScriptedHost::Close(kTokenButton));
  host.dialog_answers.push_back(ScriptedHost::Close(kCancel));
  Configure();
  EXPECT_EQ(s.description, " " + *token);
}

}  // namespace
}  // namespace qb::test
