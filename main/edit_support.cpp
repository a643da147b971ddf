#include "main/edit_support.h"

#include <cstring>

#include "main/element_name.h"
#include "main/plugin_state.h"
#include "main/storage_error.h"
#include "platform/codepage/codepage.h"

namespace qb::main {

void SanitizeName(char* text, std::size_t size) {
  if (!text) return;
  for (std::size_t i = 0; i < size && text[i] != '\0'; ++i) {
    if (IsReservedNameChar(text[i])) text[i] = '_';
  }
}

void CutToBytes(std::string* text, std::size_t max_bytes) {
  if (text->size() > max_bytes) text->resize(codepage::Utf8CutPoint(*text, max_bytes));
}

storage::HRESULT ReportStorageError(storage::HRESULT code, int message, const std::string& name) {
  ShowStorageError(message, name, code);
  return code;
}

bool ReadPanelInfo(BookPanel& panel, PanelInfo* info) {
  *info = PanelInfo{};
  const PluginStartupInfo& host = State().info;
  if (!host.Control) return false;
  if (!host.Control(&panel, FCTL_GETPANELINFO, info)) return false;
  if (info->ItemsNumber < 0 || (info->ItemsNumber > 0 && !info->PanelItems)) info->ItemsNumber = 0;
  if (info->SelectedItemsNumber < 0 || !info->SelectedItems) info->SelectedItemsNumber = 0;
  return true;
}

bool HasSelection(const PanelInfo& info) {
  return info.SelectedItemsNumber > 0 && (info.SelectedItems[0].Flags & PPIF_SELECTED) != 0;
}

const FieldTag* TagOf(const PluginPanelItem& item) {
  if (!(item.Flags & PPIF_USERDATA) || item.UserData == 0) return nullptr;
  const auto* tag = reinterpret_cast<const FieldTag*>(item.UserData);
  return tag->size >= sizeof(FieldTag) ? tag : nullptr;
}

void PlaceCursor(BookPanel& panel, const std::string& name) {
  const PluginStartupInfo& host = State().info;
  if (!host.Control) return;
  host.Control(&panel, FCTL_UPDATEPANEL, reinterpret_cast<void*>(1));
  PanelInfo info;
  int found = -1;
  if (ReadPanelInfo(panel, &info)) {
    for (int i = 0; i < info.ItemsNumber; ++i) {
      const char* item_name = info.PanelItems[i].FindData.cFileName;
      if (strnlen(item_name, NM) == name.size() &&
          std::memcmp(item_name, name.data(), name.size()) == 0) {
        found = i;
        break;
      }
    }
  }
  if (found >= 0) {
    PanelRedrawInfo redraw{found, -1};
    host.Control(&panel, FCTL_REDRAWPANEL, &redraw);
  } else {
    host.Control(&panel, FCTL_REDRAWPANEL, nullptr);
  }
  panel.Refresh(found, -1);
}

}  // namespace qb::main
