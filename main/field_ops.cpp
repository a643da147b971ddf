#include "main/field_ops.h"

#include <string>
#include <vector>

#include "main/edit_support.h"
#include "main/heap.h"
#include "main/message_numbers.h"
#include "main/plugin_state.h"
#include "sdk/services.h"
#include "shared/dialog/text_cut.h"

namespace qb::main {

namespace {

// The current item's field tag. Returns false without items; *tag is null on the ".." item.
bool CurrentField(BookPanel& panel, PanelInfo* info, const FieldTag** tag) {
  *tag = nullptr;
  if (!ReadPanelInfo(panel, info) || info->ItemsNumber <= 0) return false;
  if (info->CurrentItem < 0 || info->CurrentItem >= info->ItemsNumber) return true;
  const PluginPanelItem& item = info->PanelItems[info->CurrentItem];
  if (item.FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return true;
  *tag = TagOf(item);
  return true;
}

const FieldTypeSlot* ServerOf(const FieldTag& tag) {
  const FieldTypeHost& types = State().field_types;
  if (tag.plugin >= static_cast<DWORD>(types.count())) return nullptr;
  return &types.slot(static_cast<int>(tag.plugin));
}

// A field type's text (WriteTextData), or nothing when the type gives none.
bool FieldText(const FieldTypeSlot& server, const FieldEntry& field, FieldTypeId type,
               std::string* out) {
  if (!server.WriteTextData) return false;
  char* text = nullptr;
  server.WriteTextData(field.bytes(), field.size(), type, &text);
  if (!text) return false;
  out->assign(text);
  HeapFree(text);
  return true;
}

// Rereads the panel and puts the cursor on the item of the record's field at index (as the host
// sorts the items, not by name: several fields show the same type name). Without such an item
// the host keeps its cursor.
void CursorToField(BookPanel& panel, DWORD index) {
  if (!State().info.Control) return;
  const int found = FindPanelItem(panel, [&](const PluginPanelItem& item) {
    const FieldTag* tag = TagOf(item);
    return tag != nullptr && tag->index == index;
  });
  panel.Refresh(found, -1);
}

// The number of fields in the open record.
DWORD FieldCount(BookPanel& panel) {
  storage::Stream* record = panel.record_stream();
  return record ? static_cast<DWORD>(panel.ReadRecord(*record).size()) : 0;
}

}  // namespace

void AddField(BookPanel& panel) {
  const PluginState& state = State();
  const FieldTypeHost& types = state.field_types;
  storage::Stream* record = panel.record_stream();
  if (!record || !state.info.Menu) return;
  // Types without their info block have no identifier for new fields: they are not offered.
  std::vector<int> offered;
  std::vector<FarMenuItem> items;
  for (int i = 0; i < types.count(); ++i) {
    const FieldTypeInfo* info = types.slot(i).info;
    if (!info) continue;
    FarMenuItem item{};
    dlg::CopyCut(item.Text, sizeof item.Text, info->Name);
    items.push_back(item);
    offered.push_back(i);
  }
  if (items.empty()) return;
  const int chosen =
      state.info.Menu(state.info.ModuleNumber, -1, -1, 0, FMENU_WRAPMODE | FMENU_AUTOHIGHLIGHT,
                      CommonGetMsgEx(msg::kAddFieldTitle, nullptr), nullptr, "CreateEntryMenu",
                      nullptr, nullptr, items.data(), static_cast<int>(items.size()));
  if (chosen < 0 || chosen >= static_cast<int>(offered.size())) return;
  const int plugin = offered[static_cast<std::size_t>(chosen)];
  const FieldTypeSlot& type = types.slot(plugin);
  const FieldTypeInfo& info = *type.info;
  if (!(info.Flags & FTF_MULTIPLE)) {
    const int taken = panel.ForEachField(
        *record, [&](const FieldVisit& field) { return field.plugin == plugin; });
    if (taken) {
      ShowError(msg::kErrorSingleField, "EntryAlreadyExistsError");
      return;
    }
  }
  if (type.EditContents) {
    void* data = nullptr;
    uint32_t size = 0;
    FieldTypeId new_type = info.NewId;
    if (!type.EditContents(nullptr, 0, info.NewId, &data, &size, &new_type, 1) || !data) {
      HeapFree(data);
      return;
    }
    const storage::HRESULT hr = panel.AppendField(data, size, new_type);
    HeapFree(data);
    if (storage::Failed(hr)) return;
  } else if (storage::Failed(panel.AppendField(nullptr, 0, info.NewId))) {
    return;
  }
  // The new field is the record's last.
  const DWORD count = FieldCount(panel);
  if (count > 0) CursorToField(panel, count - 1);
}

int EditField(BookPanel& panel, bool edit) {
  PanelInfo info;
  const FieldTag* tag = nullptr;
  if (!CurrentField(panel, &info, &tag)) return 1;
  if (!tag) return 0;
  const FieldTypeSlot* server = ServerOf(*tag);
  if (!server || !server->EditContents) return 0;
  const DWORD index = tag->index;
  const FieldTypeId type = tag->type;
  // The panel may list the record as it was: a field that is not the listed one is neither read
  // nor overwritten.
  FieldEntry field;
  if (!FieldOfTag(panel, *tag, &field)) return 1;
  if (!edit) {
    server->EditContents(field.bytes(), field.size(), type, nullptr, nullptr, nullptr, 0);
    return 1;
  }
  void* data = nullptr;
  uint32_t size = 0;
  FieldTypeId new_type = type;
  if (server->EditContents(field.bytes(), field.size(), type, &data, &size, &new_type, 1)) {
    // No data back means the field goes.
    panel.ReplaceField(static_cast<int>(index), data, size, new_type);
    const bool kept = data != nullptr;
    HeapFree(data);
    // The edited field keeps its place in the record, and the cursor stays on it.
    if (kept) {
      CursorToField(panel, index);
    } else {
      panel.Refresh(-1, -1);
    }
  } else {
    HeapFree(data);
  }
  return 1;
}

int FieldAction(BookPanel& panel) {
  PanelInfo info;
  const FieldTag* tag = nullptr;
  if (!CurrentField(panel, &info, &tag)) return 1;
  if (info.CurrentItem == 0 || !tag) return 0;
  const FieldTypeSlot* server = ServerOf(*tag);
  if (!server || !server->DoSomething) return 0;
  FieldEntry field;
  if (!FieldOfTag(panel, *tag, &field)) return 1;
  server->DoSomething(field.bytes(), field.size(), field.type);
  panel.Refresh(-1, -1);
  return 1;
}

int CopyFieldText(BookPanel& panel) {
  PanelInfo info;
  if (!ReadPanelInfo(panel, &info) || info.ItemsNumber <= 0) return 1;
  // The tags are copied first: the host's lists live only until its next Control call.
  std::vector<FieldTag> tags;
  if (HasSelection(info)) {
    for (int i = 0; i < info.SelectedItemsNumber; ++i) {
      if (const FieldTag* tag = TagOf(info.SelectedItems[i])) tags.push_back(*tag);
    }
  } else {
    if (info.CurrentItem <= 0 || info.CurrentItem >= info.ItemsNumber) return 0;
    const FieldTag* tag = TagOf(info.PanelItems[info.CurrentItem]);
    if (!tag) return 0;
    tags.push_back(*tag);
  }
  // Every field is checked before any text is taken: a stale list copies nothing.
  std::vector<FieldEntry> fields(tags.size());
  for (std::size_t i = 0; i < tags.size(); ++i) {
    if (!FieldOfTag(panel, tags[i], &fields[i])) return 1;
  }
  std::string gathered;
  bool any = false;
  for (std::size_t i = 0; i < tags.size(); ++i) {
    const FieldTag& tag = tags[i];
    const FieldTypeSlot* server = ServerOf(tag);
    if (!server || !server->WriteTextData) continue;
    std::string text;
    if (!FieldText(*server, fields[i], tag.type, &text)) continue;
    if (any) gathered += "\r\n";
    gathered += text;
    any = true;
  }
  if (any) StringToClipboard(gathered.c_str());
  return 1;
}

void MoveFieldToFront(BookPanel& panel) {
  PanelInfo info;
  const FieldTag* tag = nullptr;
  if (!CurrentField(panel, &info, &tag) || info.CurrentItem == 0 || !tag) return;
  // The field's place in the record decides, not its place in the panel: the host lists the
  // types in its own order, so the first field item need not be the record's first field.
  const FieldTag named = *tag;
  const DWORD index = named.index;
  const DWORD plugin = named.plugin;
  storage::Stream* stream = panel.record_stream();
  if (index == 0 || !stream) return;
  FieldEntry listed;
  if (!FieldOfTag(panel, named, &listed)) return;
  Record record = panel.ReadRecord(*stream);
  if (index >= record.size()) return;
  FieldEntry moved = std::move(record[index]);
  record.erase(record.begin() + index);
  record.insert(record.begin(), std::move(moved));
  if (storage::Failed(panel.WriteRecord(*stream, record))) return;
  // The moved field is now field 0: the first of its type's run in the panel.
  const PluginStartupInfo& host = State().info;
  if (!host.Control) return;
  host.Control(&panel, FCTL_UPDATEPANEL, reinterpret_cast<void*>(1));
  int found = -1;
  if (ReadPanelInfo(panel, &info)) {
    for (int i = 0; i < info.ItemsNumber; ++i) {
      const FieldTag* item = TagOf(info.PanelItems[i]);
      if (item && item->index == 0 && item->plugin == plugin) {
        found = i;
        break;
      }
    }
  }
  panel.Refresh(found, -1);
}

}  // namespace qb::main
