// Reading and writing the eleven settings.
#include "main/settings.h"

#include <cstring>
#include <optional>

#include "main/book_format.h"
#include "main/plugin_state.h"
#include "platform/paths/paths.h"
#include "platform/registry/registry.h"
#include "sdk/services.h"

namespace qb::main {
namespace {

struct NumberSetting {
  const char* name;
  int Settings::*field;
  int def;
  int min;
  int max;
};

// In the order they are written.
constexpr NumberSetting kNumbers[] = {
    {"AllowPreload", &Settings::allow_preload, 0, 0, 1},
    {"OwnCtrlIns", &Settings::own_ctrl_ins, 1, 0, 1},
    {"ShowInDisksMenu", &Settings::show_in_disks_menu, 1, 0, 1},
    {"DiskMenuKey", &Settings::disk_menu_key, 0, 0, 9},
    {"ShowInPluginsMenu", &Settings::show_in_plugins_menu, 0, 0, 1},
    {"PanelMode1", &Settings::panel_mode1, 2, 0, 9},
    {"PanelMode2", &Settings::panel_mode2, 1, 0, 9},
    {"MaxLines", &Settings::max_lines, 5, 2, 99},
};

// The directory of the main library, with its trailing "/".
std::string ModuleDirectory() {
  const PluginState& st = State();
  if (!st.module_dir.empty()) return st.module_dir;
  return DirectoryPart(std::string_view(st.info.ModuleName,
                                        strnlen(st.info.ModuleName, sizeof(st.info.ModuleName))));
}

class Key {
 public:
  Key() : key_(OpenRegKey(State().info.RootKey, nullptr)) {}
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_;
};

std::string ReadString(HKEY key, const char* name, std::string def) {
  if (key == nullptr) return def;
  std::optional<std::string> value = qb::registry::QueryString(key, name);
  return value ? *value : def;
}

// By the rule every library's numbers read by (the service the field types use).
int ReadNumber(HKEY key, const NumberSetting& s) {
  return RegReadNumber(key, s.name, s.def, s.min, s.max);
}

// What was taken for the settings when the registry could not be read at all at start-up (a
// failing disk, no descriptor left): only what changes after that is written back at exit, so
// that a passing failure does not replace every stored setting by its default.
std::optional<Settings>& UnreadBaseline() {
  static std::optional<Settings> baseline;
  return baseline;
}

}  // namespace

void ReadSettings() {
  PluginState& st = State();
  Key key;
  Settings& s = st.settings;
  UnreadBaseline().reset();
  s.book_file = ReadString(key.get(), "BookFile", DefaultBookPath(ModuleDirectory()));
  s.description = ReadString(key.get(), "Description", "");
  s.user_name = ReadString(key.get(), "UserName", "System Operator");
  for (const NumberSetting& n : kNumbers) s.*n.field = ReadNumber(key.get(), n);
  st.host_services.UserName = s.user_name.c_str();
  if (key.get() == nullptr) UnreadBaseline() = s;
}

bool WriteSettings() {
  const Settings& s = State().settings;
  Key key;
  if (key.get() == nullptr) return false;
  const std::optional<Settings>& unread = UnreadBaseline();
  bool ok = true;
  auto text = [&](const char* name, std::string Settings::*field) {
    if (unread && (*unread).*field == s.*field) return;
    ok &= qb::registry::SetString(key.get(), name, s.*field) == ERROR_SUCCESS;
  };
  text("BookFile", &Settings::book_file);
  text("Description", &Settings::description);
  text("UserName", &Settings::user_name);
  for (const NumberSetting& n : kNumbers) {
    if (unread && (*unread).*n.field == s.*n.field) continue;
    DWORD value = static_cast<DWORD>(s.*n.field);
    ok &= qb::registry::SetDword(key.get(), n.name, value) == ERROR_SUCCESS;
  }
  return ok;
}

}  // namespace qb::main
