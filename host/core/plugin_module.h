// The loaded panel plug-in: its library, the entry points found by name, and what its
// GetPluginInfo announced (copied, since the plug-in may reuse its buffers).
#pragma once

#include <string>
#include <vector>

#include "sdk/far.h"

namespace qb::host {

struct PluginEntryPoints {
  PFN_SetStartupInfo SetStartupInfo = nullptr;
  PFN_GetPluginInfo GetPluginInfo = nullptr;
  PFN_OpenPlugin OpenPlugin = nullptr;
  PFN_ClosePlugin ClosePlugin = nullptr;
  PFN_GetOpenPluginInfo GetOpenPluginInfo = nullptr;
  PFN_GetFindData GetFindData = nullptr;
  PFN_FreeFindData FreeFindData = nullptr;
  PFN_Compare Compare = nullptr;
  PFN_SetDirectory SetDirectory = nullptr;
  PFN_MakeDirectory MakeDirectory = nullptr;
  PFN_ProcessKey ProcessKey = nullptr;
  PFN_DeleteFiles DeleteFiles = nullptr;
  PFN_GetFiles GetFiles = nullptr;
  PFN_PutFiles PutFiles = nullptr;
  PFN_Configure Configure = nullptr;
  PFN_ExitFAR ExitFAR = nullptr;
};

struct PluginMenus {
  std::vector<std::string> disk_menu;
  std::vector<int> disk_numbers;  // hot-key digit per disk-menu string, 0 when none
  std::vector<std::string> plugin_menu;
  std::vector<std::string> config_menu;
  std::string command_prefix;
  DWORD flags = 0;
};

class PluginModule {
 public:
  PluginModule() = default;
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  // Loads the library and binds its entry points; false with error() set when it can't be loaded
  // or lacks the entry points every panel plug-in needs (OpenPlugin, GetFindData).
  bool Load(const std::string& path);
  // Calls ExitFAR (once) and unloads.
  void Unload();

  bool loaded() const { return handle_ != nullptr; }
  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }
  const PluginEntryPoints& fn() const { return fn_; }
  // An entry point the panel plug-in interface does not name (the command line's), or null.
  void* Symbol(const char* name) const;

  // Asks GetPluginInfo again and keeps copies of the strings.
  void RefreshInfo();
  const PluginMenus& menus() const { return menus_; }

 private:
  void* handle_ = nullptr;
  std::string path_;
  std::string error_;
  PluginEntryPoints fn_;
  PluginMenus menus_;
};

}  // namespace qb::host
