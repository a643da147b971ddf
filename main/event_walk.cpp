#include "main/event_walk.h"

#include <string>
#include <vector>

#include "main/book_format.h"
#include "main/book_panel.h"
#include "main/element_name.h"
#include "main/plugin_state.h"

namespace qb::main {

namespace {

// Whether the library at index takes part in a walk of event sent to plugin (-1: all).
bool TakesPart(const FieldTypeSlot& slot, int index, uint32_t event, int plugin) {
  return (plugin < 0 || plugin == index) && slot.OnEnter && (slot.flags() & event);
}

void Walk(BookPanel& panel, uint32_t event, int plugin) {
  BookLock lock(panel);
  if (!lock.ok()) return;
  const FieldTypeHost& types = State().field_types;
  if (panel.in_record()) {
    storage::Stream* record = panel.record_stream();
    if (!record) return;
    panel.ForEachField(*record, [&](const FieldVisit& field) {
      const FieldTypeSlot& server = types.slot(field.plugin);
      if (TakesPart(server, field.plugin, event, plugin)) {
        server.OnEnter(field.data, field.size, field.type, event, 0);
      }
      return 0;
    });
    return;
  }
  storage::Storage* folder = panel.current_folder();
  if (!folder) return;
  // The names are taken first: entering an item changes what is open below this folder.
  std::vector<std::string> names;
  storage::Enumerator elements;
  if (storage::Failed(folder->Enumerate(&elements))) return;
  storage::ElementStat stat;
  while (elements.Next(&stat) == storage::S_OK) {
    if (stat.name.empty() || IsReservedElementName(stat.name)) continue;
    std::string name = DisplayName(stat.name, NM - 1);
    // A name the panel cannot type back (reserved characters shown as "_", or cut) cannot be
    // entered either; the walk passes it by instead of reporting it.
    if (ElementName(name) != stat.name) continue;
    names.push_back(std::move(name));
  }
  for (const std::string& name : names) {
    const int depth = panel.depth();
    if (!panel.SetDirectory(name.c_str(), OPM_SILENT)) continue;
    if (panel.depth() == depth && !panel.in_record()) continue;  // nothing was entered
    Walk(panel, event, plugin);
    panel.SetDirectory("..", OPM_SILENT);
  }
}

}  // namespace

void SendEventWalk(BookPanel& panel, uint32_t event, int plugin) {
  FieldTypeHost& types = State().field_types;
  if (plugin >= types.count()) return;
  if (plugin < 0) {
    bool go = false;
    for (int i = 0; i < types.count(); ++i) {
      const FieldTypeSlot& slot = types.slot(i);
      if (!TakesPart(slot, i, event, plugin)) continue;
      if (!(slot.flags() & FTEV_BEFORE)) {
        go = true;
      } else if (slot.OnEnter(nullptr, 0, 0, event, FTEV_BEFORE)) {
        go = true;
      }
    }
    if (!go) return;
  } else {
    const FieldTypeSlot& slot = types.slot(plugin);
    if (!TakesPart(slot, plugin, event, plugin)) return;
    if ((slot.flags() & FTEV_BEFORE) && !slot.OnEnter(nullptr, 0, 0, event, FTEV_BEFORE)) return;
  }
  Walk(panel, event, plugin);
  for (int i = 0; i < types.count(); ++i) {
    const FieldTypeSlot& slot = types.slot(i);
    if (TakesPart(slot, i, event, plugin) && (slot.flags() & FTEV_AFTER)) {
      slot.OnEnter(nullptr, 0, 0, event, FTEV_AFTER);
    }
  }
}

}  // namespace qb::main
