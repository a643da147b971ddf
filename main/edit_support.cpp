#include "main/edit_support.h"

#include <cstring>
#include <functional>

#include "main/element_name.h"
#include "main/message_numbers.h"
#include "main/plugin_state.h"
#include "main/storage_error.h"
#include "platform/codepage/codepage.h"
#include "sdk/panel_items.h"
#include "sdk/services.h"

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

namespace {

// What a caller leaves in a field that a host answering the request fills: a host that does not
// know the request leaves it, whatever it answers.
constexpr int kUnanswered = -1;

}  // namespace

bool ReadPanelState(BookPanel& panel, PanelInfo* info) {
  *info = PanelInfo{};
  const PluginStartupInfo& host = State().info;
  if (!host.Control) return false;
  info->PanelType = kUnanswered;
  if (!host.Control(&panel, FCTL_GETPANELSHORTINFO, info) || info->PanelType == kUnanswered) {
    *info = PanelInfo{};
    if (!host.Control(&panel, FCTL_GETPANELINFO, info)) return false;
  }
  info->PanelItems = nullptr;
  info->SelectedItems = nullptr;
  if (info->ItemsNumber < 0) info->ItemsNumber = 0;
  if (info->SelectedItemsNumber < 0) info->SelectedItemsNumber = 0;
  return true;
}

bool ReadCurrentItem(BookPanel& panel, PluginPanelItem* item) {
  const PluginStartupInfo& host = State().info;
  PanelInfo state;
  if (!ReadPanelState(panel, &state) || state.ItemsNumber <= 0) return false;
  if (state.CurrentItem < 0 || state.CurrentItem >= state.ItemsNumber) return false;
  PanelItemRequest request{};
  request.Index = state.CurrentItem;
  request.ItemsNumber = kUnanswered;
  if (host.Control(&panel, FCTL_GETPANELITEM, &request) && request.ItemsNumber != kUnanswered) {
    *item = request.Item;
  } else {
    PanelInfo info;
    if (!ReadPanelInfo(panel, &info) || state.CurrentItem >= info.ItemsNumber) return false;
    *item = info.PanelItems[state.CurrentItem];
  }
  item->FindData.cFileName[NM - 1] = '\0';
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

namespace {

uint64_t ContentCheck(const void* data, uint32_t size) {
  uint64_t hash = 0xcbf29ce484222325ull;
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (uint32_t i = 0; bytes && i < size; ++i) {
    hash ^= bytes[i];
    hash *= 0x100000001b3ull;
  }
  return hash;
}

}  // namespace

FieldTag MakeFieldTag(FieldTypeId type, int index, int plugin, const void* data, uint32_t size) {
  const uint64_t check = ContentCheck(data, size);
  FieldTag tag;
  tag.type = type;
  tag.index = static_cast<DWORD>(index);
  tag.plugin = static_cast<DWORD>(plugin);
  tag.data_size = size;
  tag.check_low = static_cast<DWORD>(check);
  tag.check_high = static_cast<DWORD>(check >> 32);
  return tag;
}

bool FieldOfTag(BookPanel& panel, const FieldTag& tag, FieldEntry* field) {
  if (panel.GetField(static_cast<int>(tag.index), field) && field->type == tag.type &&
      field->size() == tag.data_size) {
    const uint64_t check = ContentCheck(field->bytes(), field->size());
    if (static_cast<DWORD>(check) == tag.check_low &&
        static_cast<DWORD>(check >> 32) == tag.check_high) {
      return true;
    }
  }
  *field = FieldEntry{};
  ShowError(msg::kErrorFieldChanged, "FieldChangedError");
  panel.Refresh(-1, -1);
  return false;
}

int FindPanelItem(BookPanel& panel, const std::function<bool(const PluginPanelItem&)>& matches) {
  const PluginStartupInfo& host = State().info;
  if (!host.Control) return -1;
  host.Control(&panel, FCTL_UPDATEPANEL, reinterpret_cast<void*>(1));
  PanelInfo info;
  if (!ReadPanelInfo(panel, &info)) return -1;
  for (int i = 0; i < info.ItemsNumber; ++i) {
    if (matches(info.PanelItems[i])) return i;
  }
  return -1;
}

void PlaceCursor(BookPanel& panel, const std::string& name) {
  const PluginStartupInfo& host = State().info;
  if (!host.Control) return;
  host.Control(&panel, FCTL_UPDATEPANEL, reinterpret_cast<void*>(1));
  PanelItemRequest request{};
  request.Index = -1;
  request.Name = name.c_str();
  request.ItemsNumber = kUnanswered;
  int found = -1;
  host.Control(&panel, FCTL_GETPANELITEM, &request);
  if (request.ItemsNumber != kUnanswered) {
    found = request.Index;
  } else {
    // A host without the item request: look through every item.
    PanelInfo info;
    const bool listed = ReadPanelInfo(panel, &info);
    for (int i = 0; listed && i < info.ItemsNumber; ++i) {
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
}

}  // namespace qb::main
