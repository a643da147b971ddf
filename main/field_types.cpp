#include "main/field_types.h"

#include <cstring>

#include "platform/modules/directory.h"
#include "shared/dialog/text_cut.h"

namespace qb::main {

namespace {

bool SameLetters(std::string_view a, const char* b) {
  if (b == nullptr || std::strlen(b) != a.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

void BindEntryPoints(FieldTypeSlot& s) {
  const Module& m = s.module;
  s.GetAddressPluginInfo = m.FindAs<PFN_GetAddressPluginInfo>("GetAddressPluginInfo");
  s.SetStartupInfo = m.FindAs<PFN_FieldSetStartupInfo>("SetStartupInfo");
  s.SetQBStartupInfo = m.FindAs<PFN_SetQBStartupInfo>("SetQBStartupInfo");
  s.CheckID = m.FindAs<PFN_CheckID>("CheckID");
  s.GetDescription = m.FindAs<PFN_GetDescription>("GetDescription");
  s.GetMenuDescription = m.FindAs<PFN_GetMenuDescription>("GetMenuDescription");
  s.GetPanelItem = m.FindAs<PFN_GetPanelItem>("GetPanelItem");
  s.EditContents = m.FindAs<PFN_EditContents>("EditContents");
  s.Upgrade = m.FindAs<PFN_Upgrade>("Upgrade");
  s.WriteTextData = m.FindAs<PFN_WriteTextData>("WriteTextData");
  s.WriteTextFile = m.FindAs<PFN_WriteTextFile>("WriteTextFile");
  s.SendFile = m.FindAs<PFN_SendFile>("SendFile");
  s.DoSomething = m.FindAs<PFN_DoSomething>("DoSomething");
  s.OnEnter = m.FindAs<PFN_OnEnter>("OnEnter");
  s.ConfigurePlugin = m.FindAs<PFN_ConfigurePlugin>("ConfigurePlugin");
  s.WriteVCard = m.FindAs<PFN_WriteVCard>("WriteVCard");
  s.ReadVCard = m.FindAs<PFN_ReadVCard>("ReadVCard");
}

}  // namespace

void FieldTypeHost::Load(const std::string& dir, const PluginStartupInfo* info,
                         HostServices* services, std::vector<FarMenuItem>* config_menu) {
  // Loading again (a second start-up) begins from scratch: the libraries of the first one are
  // exited and freed, or every type would be there twice.
  Unload();
  for (const std::string& name : ListFiles(dir, "*.qbl")) {
    FieldTypeSlot slot;
    slot.module = Module(JoinPath(dir, name));
    if (!slot.module.loaded()) continue;
    slot.file_name = name;
    BindEntryPoints(slot);
    if (slot.SetStartupInfo && info) slot.SetStartupInfo(info);
    if (!slot.GetAddressPluginInfo) continue;  // the slot's destructor frees the library
    const int ok = slot.GetAddressPluginInfo(&slot.info);
    if (!ok && !slot.CheckID && !slot.GetPanelItem) continue;
    if (slot.SetQBStartupInfo && services) slot.SetQBStartupInfo(services);
    slots_.push_back(std::move(slot));
    FieldTypeSlot& kept = slots_.back();
    if (kept.ConfigurePlugin && config_menu) {
      FarMenuItem item{};
      const char* menu_name = kept.info && kept.info->MenuName ? kept.info->MenuName : "";
      qb::dlg::CopyCut(item.Text, sizeof(item.Text), menu_name);
      config_menu->push_back(item);
      config_plugins_.push_back(count() - 1);
    }
  }
}

void FieldTypeHost::Unload() {
  for (FieldTypeSlot& slot : slots_) {
    if (auto exit_far = slot.module.FindAs<PFN_FieldExitFAR>("ExitFAR")) exit_far();
    slot.module.Free();
  }
  slots_.clear();
  config_plugins_.clear();
}

int FieldTypeHost::ServerOf(FieldTypeId type) const {
  for (int i = 0; i < count(); ++i) {
    if (slot(i).Claims(type)) return i;
  }
  return -1;
}

int FieldTypeHost::UpgraderOf(FieldTypeId type) const {
  for (int i = 0; i < count(); ++i) {
    if (slot(i).Upgrade && slot(i).Claims(type)) return i;
  }
  return -1;
}

int FieldTypeHost::WithToken(std::string_view token) const {
  for (int i = 0; i < count(); ++i) {
    if (SameLetters(token, slot(i).token())) return i;
  }
  return -1;
}

int FieldTypeHost::ConfigPlugin(int k) const {
  if (k < 1 || k > static_cast<int>(config_plugins_.size())) return -1;
  return config_plugins_[static_cast<std::size_t>(k - 1)];
}

}  // namespace qb::main
