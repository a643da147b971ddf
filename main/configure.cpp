// The host's configuration command: a menu whose first entry is the main library's configuration
// dialog and whose other entries are the field-type libraries' own configuration.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "main/book_format.h"
#include "main/heap.h"
#include "main/message_numbers.h"
#include "main/plugin_state.h"
#include "main/settings.h"
#include "sdk/services.h"
#include "shared/dialog/dialog.h"
#include "shared/dialog/text_cut.h"

namespace qb::main {
namespace {

FarMenuItem MenuItem(const char* text) {
  FarMenuItem item;
  std::memset(&item, 0, sizeof(item));
  std::snprintf(item.Text, sizeof(item.Text), "%s", text != nullptr ? text : "");
  return item;
}

// A heap copy of a setting for a text binding, taken back after an accepted dialog.
class BoundText {
 public:
  explicit BoundText(const std::string& value) : text_(HeapString(value)) {}
  ~BoundText() { HeapFree(text_); }
  BoundText(const BoundText&) = delete;
  BoundText& operator=(const BoundText&) = delete;
  char** ptr() { return &text_; }
  std::string value() const { return text_ != nullptr ? text_ : ""; }

 private:
  char* text_;
};

// Index of the token button in the configuration dialog (the frame is item 0).
constexpr int kTokenButton = 13;

}  // namespace

void AttachDialogBuilder() {
  const PluginStartupInfo* info = &State().info;
  if (qb::dlg::Host() == info && qb::dlg::ErrorTitle()[0] != '\0') return;
  qb::dlg::SetHost(info);
  qb::dlg::SetErrorTexts(msg::kErrorTitle, msg::kOk);
}

std::optional<std::string> TokenMenu() {
  const PluginState& st = State();
  if (st.info.Menu == nullptr) return std::nullopt;
  std::vector<FarMenuItem> items;
  std::vector<std::string> tokens;
  for (int i = 0; i < st.field_types.count(); ++i) {
    const FieldTypeSlot& slot = st.field_types.slot(i);
    if (slot.GetDescription == nullptr || slot.info == nullptr) continue;
    // "name<tab><tab>%token": a name too long for the item text is cut, never the token after
    // it, which is what the choice hands back.
    std::string token = "%";
    token += slot.info->Token != nullptr ? slot.info->Token : "";
    std::string tail = "\t\t" + token;
    FarMenuItem item = MenuItem(nullptr);
    size_t room = sizeof(item.Text) > tail.size() ? sizeof(item.Text) - tail.size() : 1;
    size_t used =
        qb::dlg::CopyCut(item.Text, room, slot.info->Name != nullptr ? slot.info->Name : "");
    qb::dlg::CopyCut(item.Text + used, sizeof(item.Text) - used, tail.c_str());
    items.push_back(item);
    tokens.push_back(std::move(token));
  }
  int chosen =
      st.info.Menu(st.info.ModuleNumber, -1, -1, 0, FMENU_WRAPMODE, "Descriptions", nullptr,
                   nullptr, nullptr, nullptr, items.data(), static_cast<int>(items.size()));
  if (chosen < 0 || chosen >= static_cast<int>(items.size())) return std::nullopt;
  return tokens[static_cast<size_t>(chosen)];
}

bool ConfigurationDialog() {
  AttachDialogBuilder();
  PluginState& st = State();
  // The dialog works on a copy: the token button leaves the dialog and comes back to it, and
  // only OK may change the settings (Esc or Cancel after a token leaves them as they were).
  Settings s = st.settings;
  bool accepted = false;
  int focus = 0;
  for (;;) {
    BoundText book(s.book_file), description(s.description), user(s.user_name);
    dlg::DlgBuilder dlg(60, 21, "Configuration");
    dlg.focus = focus;
    dlg.AddFrame(msg::kConfigTitle);
    dlg.Make<dlg::DlgCheckBox>(5, 2, 0u, msg::kConfigDisksMenu, &s.show_in_disks_menu);
    dlg.Make<dlg::DlgEdit>(7, 3, 7, 0u, nullptr,
                           std::make_unique<dlg::DlgIntBinding>(&s.disk_menu_key, 0, 9,
                                                                msg::kRangeError, "Configuration"),
                           DI_FIXEDIT);
    dlg.Make<dlg::DlgText>(9, 3, 0u, msg::kConfigDisksMenuKey);
    dlg.Make<dlg::DlgCheckBox>(5, 4, 0u, msg::kConfigPluginsMenu, &s.show_in_plugins_menu);
    dlg.Make<dlg::DlgCheckBox>(5, 5, 0u, msg::kConfigPreload, &s.allow_preload);
    dlg.Make<dlg::DlgCheckBox>(5, 6, 0u, msg::kConfigCtrlIns, &s.own_ctrl_ins);
    dlg.Make<dlg::DlgText>(5, 7, 0u, msg::kConfigEditorLines);
    dlg.Make<dlg::DlgEdit>(40, 7, 45, 0u, nullptr,
                           std::make_unique<dlg::DlgIntBinding>(&s.max_lines, 2, 99,
                                                                msg::kRangeError, "Configuration"));
    dlg.Make<dlg::DlgText>(5, 9, 0u, msg::kConfigBookFile);
    dlg.Make<dlg::DlgEdit>(5, 10, 54, 0u, nullptr,
                           std::make_unique<dlg::DlgStrBinding>(book.ptr()));
    dlg.Make<dlg::DlgText>(5, 12, 0u, msg::kConfigDescription);
    const int description_line = dlg.count();
    dlg.Make<dlg::DlgEdit>(5, 13, 54, 0u, nullptr,
                           std::make_unique<dlg::DlgStrBinding>(description.ptr()));
    dlg.Make<dlg::DlgButton>(44, 12, 0u, false, msg::kTokenButton);
    dlg.Make<dlg::DlgText>(5, 15, 0u, msg::kConfigUserName);
    dlg.Make<dlg::DlgEdit>(23, 15, 54, 0u, nullptr,
                           std::make_unique<dlg::DlgStrBinding>(user.ptr()));
    // The view modes, for terminals that cannot send Ctrl+digit.
    dlg.Make<dlg::DlgText>(5, 16, 0u, msg::kConfigFolderMode);
    dlg.Make<dlg::DlgEdit>(36, 16, 36, 0u, nullptr,
                           std::make_unique<dlg::DlgIntBinding>(&s.panel_mode1, 0, 9,
                                                                msg::kRangeError, "Configuration"),
                           DI_FIXEDIT);
    dlg.Make<dlg::DlgText>(39, 16, 0u, msg::kConfigRecordMode);
    dlg.Make<dlg::DlgEdit>(51, 16, 51, 0u, nullptr,
                           std::make_unique<dlg::DlgIntBinding>(&s.panel_mode2, 0, 9,
                                                                msg::kRangeError, "Configuration"),
                           DI_FIXEDIT);
    dlg.AddButtons(msg::kOk, msg::kCancel);

    int exit = dlg.Run({-2, kTokenButton});
    if (exit < 0) break;
    // Both exits keep what was typed in the copy; the numbers are already there.
    s.book_file = book.value();
    s.description = description.value();
    s.user_name = user.value();
    if (exit == 0) {
      accepted = true;
      break;
    }
    if (std::optional<std::string> token = TokenMenu()) {
      s.description += ' ';
      s.description += *token;
    }
    // Back where the token went, so the next keys type into the description.
    focus = description_line;
  }
  if (accepted) {
    Settings& kept = st.settings;
    kept.book_file = s.book_file;
    kept.description = s.description;
    kept.user_name = s.user_name;
    kept.allow_preload = s.allow_preload;
    kept.own_ctrl_ins = s.own_ctrl_ins;
    kept.show_in_disks_menu = s.show_in_disks_menu;
    kept.disk_menu_key = s.disk_menu_key;
    kept.show_in_plugins_menu = s.show_in_plugins_menu;
    kept.max_lines = s.max_lines;
    if (kept.panel_mode1 != s.panel_mode1 || kept.panel_mode2 != s.panel_mode2) {
      st.view_modes_chosen = true;
    }
    kept.panel_mode1 = s.panel_mode1;
    kept.panel_mode2 = s.panel_mode2;
  }
  st.host_services.UserName = st.settings.user_name.c_str();
  return accepted;
}

int ConfigureMenu() {
  PluginState& st = State();
  if (st.info.Menu == nullptr) return 0;
  int changed = 0;
  for (;;) {
    // Entry 0 is always this library's own dialog, whatever the start-up made of the table.
    std::vector<FarMenuItem> items = st.config_menu;
    if (items.empty()) items.push_back(MenuItem(kTitle));
    int chosen =
        st.info.Menu(st.info.ModuleNumber, -1, -1, 0, FMENU_WRAPMODE, "Config", nullptr, nullptr,
                     nullptr, nullptr, items.data(), static_cast<int>(items.size()));
    if (chosen < 0 || chosen >= static_cast<int>(items.size())) return changed;
    if (chosen == 0) {
      if (ConfigurationDialog()) changed = 1;
      continue;
    }
    int plugin = st.field_types.ConfigPlugin(chosen);
    if (plugin < 0) continue;
    const FieldTypeSlot& slot = st.field_types.slot(plugin);
    if (slot.ConfigurePlugin != nullptr && slot.ConfigurePlugin() != 0) changed = 1;
  }
}

}  // namespace qb::main

extern "C" QB_EXPORT int Configure(int /*item_number*/) {
  return qb::main::ConfigureMenu();
}
