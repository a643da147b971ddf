#include "main/find_text.h"

#include "main/heap.h"
#include "main/plugin_state.h"

namespace qb::main {

namespace {

// Takes a heap text a field type handed over.
std::string TakeText(char* text) {
  std::string out = text ? text : "";
  HeapFree(text);
  return out;
}

std::string FieldText(const FieldTypeSlot& server, const FieldVisit& field) {
  if (server.WriteTextData) {
    char* text = nullptr;
    server.WriteTextData(field.data, field.size, field.type, &text);
    return TakeText(text);
  }
  if (server.GetDescription) {
    char* text = nullptr;
    server.GetDescription(&text, field.data, field.size, field.type);
    return TakeText(text);
  }
  if (server.GetPanelItem) {
    PluginPanelItem item{};
    server.GetPanelItem(&item, field.data, field.size, field.type);
    std::string out = item.FindData.cFileName;
    const std::string description = TakeText(item.Description);
    if (!description.empty()) out += (out.empty() ? "" : " ") + description;
    return out;
  }
  return {};
}

}  // namespace

std::string RecordFindText(BookPanel& panel, storage::Stream& record) {
  const FieldTypeHost& types = State().field_types;
  std::string out;
  panel.ForEachField(record, [&](const FieldVisit& field) {
    std::string text = FieldText(types.slot(field.plugin), field);
    if (text.empty()) return 0;
    if (!out.empty()) out += '\n';
    out += text;
    return 0;
  });
  return out;
}

}  // namespace qb::main
