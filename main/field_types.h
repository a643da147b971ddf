// The field-type host: the *.qbl libraries beside the main library, loaded at start-up in byte-wise
// name order, one FieldTypeSlot per accepted library. The index of a slot is the plug-in index used
// in field tags and menus; it never changes during a run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/modules/module.h"
#include "sdk/far.h"
#include "sdk/fieldtype.h"

namespace qb::main {

struct FieldTypeSlot {
  Module module;
  FieldTypeInfo* info = nullptr;
  // Every entry point is null when the library does not export it.
  PFN_GetAddressPluginInfo GetAddressPluginInfo = nullptr;
  PFN_FieldSetStartupInfo SetStartupInfo = nullptr;
  PFN_SetQBStartupInfo SetQBStartupInfo = nullptr;
  PFN_CheckID CheckID = nullptr;
  PFN_GetDescription GetDescription = nullptr;
  PFN_GetMenuDescription GetMenuDescription = nullptr;
  PFN_GetPanelItem GetPanelItem = nullptr;
  PFN_EditContents EditContents = nullptr;
  PFN_Upgrade Upgrade = nullptr;
  PFN_WriteTextData WriteTextData = nullptr;
  PFN_WriteTextFile WriteTextFile = nullptr;
  PFN_SendFile SendFile = nullptr;
  PFN_DoSomething DoSomething = nullptr;
  PFN_OnEnter OnEnter = nullptr;
  PFN_ConfigurePlugin ConfigurePlugin = nullptr;
  PFN_WriteVCard WriteVCard = nullptr;
  PFN_ReadVCard ReadVCard = nullptr;
  std::string file_name;  // bare file name, for diagnostics and tests

  uint32_t flags() const { return info ? info->Flags : 0; }
  const char* token() const { return info ? info->Token : nullptr; }
  bool Claims(FieldTypeId type) const { return CheckID && CheckID(type) != 0; }
};

class FieldTypeHost {
 public:
  FieldTypeHost() = default;
  FieldTypeHost(const FieldTypeHost&) = delete;
  FieldTypeHost& operator=(const FieldTypeHost&) = delete;
  ~FieldTypeHost() = default;  // frees the libraries without calling their ExitFAR

  // Loads every "*.qbl" of dir (ends with "/"; names matched without regard to case) in byte-wise
  // name order. Each library gets the host's table (its SetStartupInfo), is asked for its
  // FieldTypeInfo, and, once accepted, gets the HostServices block. A library that does not load,
  // lacks GetAddressPluginInfo, or fails it while exporting neither CheckID nor GetPanelItem is
  // freed and skipped without a message. Appends a configuration menu entry to config_menu for
  // each accepted library that exports ConfigurePlugin.
  void Load(const std::string& dir, const PluginStartupInfo* info, HostServices* services,
            std::vector<FarMenuItem>* config_menu);

  // Calls each library's ExitFAR (when exported) and frees it, in load order.
  void Unload();

  int count() const { return static_cast<int>(slots_.size()); }
  FieldTypeSlot& slot(int index) { return slots_[static_cast<std::size_t>(index)]; }
  const FieldTypeSlot& slot(int index) const { return slots_[static_cast<std::size_t>(index)]; }

  // The server of a field: the first library in load order whose CheckID accepts type, or -1.
  int ServerOf(FieldTypeId type) const;
  // The first library in load order that claims type and exports Upgrade, or -1.
  int UpgraderOf(FieldTypeId type) const;
  // The first library whose description token equals token, letters compared without regard to
  // case, or -1.
  int WithToken(std::string_view token) const;
  // Plug-in index of configuration menu entry k (k >= 1), or -1.
  int ConfigPlugin(int k) const;

 private:
  std::vector<FieldTypeSlot> slots_;
  std::vector<int> config_plugins_;  // plug-in index of configuration entry 1, 2, ...
};

}  // namespace qb::main
