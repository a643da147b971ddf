#include "host/core/plugin_module.h"

#include <dlfcn.h>

#include <cstring>

namespace qb::host {

PluginModule::~PluginModule() {
  Unload();
}

bool PluginModule::Load(const std::string& path) {
  Unload();
  path_ = path;
  error_.clear();
  // RTLD_NOW: a missing dependency is reported here, not at the first call that needs it.
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* e = dlerror();
    error_ = e ? e : "cannot load " + path;
    return false;
  }
  auto find = [this](const char* name) { return dlsym(handle_, name); };
#define QB_BIND(name) fn_.name = reinterpret_cast<PFN_##name>(find(#name))
  QB_BIND(SetStartupInfo);
  QB_BIND(GetPluginInfo);
  QB_BIND(OpenPlugin);
  QB_BIND(ClosePlugin);
  QB_BIND(GetOpenPluginInfo);
  QB_BIND(GetFindData);
  QB_BIND(FreeFindData);
  QB_BIND(Compare);
  QB_BIND(SetDirectory);
  QB_BIND(MakeDirectory);
  QB_BIND(ProcessKey);
  QB_BIND(DeleteFiles);
  QB_BIND(GetFiles);
  QB_BIND(PutFiles);
  QB_BIND(Configure);
  QB_BIND(ExitFAR);
#undef QB_BIND
  if (!fn_.OpenPlugin || !fn_.GetFindData) {
    error_ = path + ": not a panel plug-in (OpenPlugin or GetFindData missing)";
    dlclose(handle_);
    handle_ = nullptr;
    fn_ = {};
    return false;
  }
  return true;
}

void PluginModule::Unload() {
  if (!handle_) return;
  if (fn_.ExitFAR) fn_.ExitFAR();
  fn_ = {};
  menus_ = {};
  dlclose(handle_);
  handle_ = nullptr;
}

void PluginModule::RefreshInfo() {
  menus_ = {};
  if (!handle_ || !fn_.GetPluginInfo) return;
  PluginInfo info;
  std::memset(&info, 0, sizeof info);
  info.StructSize = sizeof info;
  fn_.GetPluginInfo(&info);
  menus_.flags = info.Flags;
  for (int i = 0; info.DiskMenuStrings && i < info.DiskMenuStringsNumber; ++i) {
    menus_.disk_menu.emplace_back(info.DiskMenuStrings[i] ? info.DiskMenuStrings[i] : "");
    menus_.disk_numbers.push_back(info.DiskMenuNumbers ? info.DiskMenuNumbers[i] : 0);
  }
  for (int i = 0; info.PluginMenuStrings && i < info.PluginMenuStringsNumber; ++i)
    menus_.plugin_menu.emplace_back(info.PluginMenuStrings[i] ? info.PluginMenuStrings[i] : "");
  for (int i = 0; info.PluginConfigStrings && i < info.PluginConfigStringsNumber; ++i)
    menus_.config_menu.emplace_back(info.PluginConfigStrings[i] ? info.PluginConfigStrings[i] : "");
  if (info.CommandPrefix) menus_.command_prefix = info.CommandPrefix;
}

void* PluginModule::Symbol(const char* name) const {
  return handle_ ? dlsym(handle_, name) : nullptr;
}

}  // namespace qb::host
