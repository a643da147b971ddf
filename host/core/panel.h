// One of the two panels: a directory of the disk or a plug-in's panel. The panel keeps its own
// deep copies of the items (the plug-in frees its array right after listing) and hands the
// plug-in item records that point into those copies.
#pragma once

#include <sys/stat.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/screen.h"
#include "sdk/far.h"

namespace qb::host {

// What an entry keeps of an item's find data: all but the names, which the entry holds once.
struct EntryFind {
  DWORD dwFileAttributes = 0;
  FILETIME ftCreationTime{}, ftLastAccessTime{}, ftLastWriteTime{};
  DWORD nFileSizeHigh = 0, nFileSizeLow = 0;
  DWORD dwReserved0 = 0, dwReserved1 = 0;
};

// The parts of an item that few items carry, kept apart so that a panel of many plain items stays
// small. Never changed once made: copies of an entry share it.
struct EntryExtra {
  std::string alternate_name;
  std::optional<std::string> owner;
  std::vector<std::string> custom;
  // With PPIF_USERDATA the block (first DWORD its size) is copied.
  std::vector<unsigned char> user_block;
};

struct PanelEntry {
  EntryFind find;
  DWORD pack_size_high = 0, pack_size = 0, flags = 0, links = 0, crc = 0;
  std::string name;
  std::optional<std::string> description;
  std::shared_ptr<const EntryExtra> extra;  // null when the item has none of those parts
  uintptr_t user_data = 0;                  // the word as it came, without PPIF_USERDATA
  bool selected = false;
  bool dots = false;  // the ".." item the host adds

  bool is_dir() const { return (find.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  uint64_t size() const { return (uint64_t{find.nFileSizeHigh} << 32) | find.nFileSizeLow; }
  const std::optional<std::string>& owner() const;
  const std::vector<std::string>& custom() const;
};

// A view mode's columns, already split.
struct ColumnSpec {
  std::string type;  // "N", "Z", "S", "D", "T", "O", "C0".."C9" (modifiers kept after the letter)
  int width = 0;     // 0: share of what is left
  std::string title;
};

struct ViewMode {
  std::vector<ColumnSpec> columns;
  std::vector<ColumnSpec> status;
};

// How many groups of names a mode shows side by side: a mode with several name columns whose
// columns divide evenly among them repeats one group per name column; any other mode is one.
int NameGroups(const ViewMode& mode);

// What GetOpenPluginInfo said, copied.
struct PluginPanelState {
  DWORD flags = 0;
  std::string cur_dir;
  std::string title;
  std::string format;
  std::vector<std::optional<ViewMode>> modes;  // index = view mode number
  int start_mode = -1;
  int start_sort_mode = SM_DEFAULT;
  int start_sort_order = 0;
  // [modifier layer][F-key]: nullopt keeps the host's label.
  std::array<std::array<std::optional<std::string>, 12>, 7> keybar{};
};

// Key bar layers in KeyBarTitles order.
enum KeyBarLayer {
  kLayerPlain,
  kLayerCtrl,
  kLayerAlt,
  kLayerShift,
  kLayerCtrlShift,
  kLayerAltShift,
  kLayerCtrlAlt
};

class Panel {
 public:
  bool is_plugin() const { return plugin_ != nullptr; }
  HANDLE plugin() const { return plugin_; }

  // File panel state.
  std::string dir;
  // Plug-in panel state.
  PluginPanelState state;
  HANDLE plugin_ = nullptr;
  // Set by Control(FCTL_CLOSEPLUGIN): the panel closes once the running plug-in call returns.
  bool close_requested = false;
  std::string close_dir;

  std::vector<PanelEntry> entries;
  int current = 0;
  int top = 0;
  int view_mode = 2;
  int sort_mode = SM_NAME;
  int sort_order = 0;

  // Records handed out by FCTL_GETPANELINFO; valid until the next such call.
  std::vector<PluginPanelItem> info_items;
  std::vector<PluginPanelItem> info_selected;
  std::vector<std::vector<char*>> info_custom;

  const PanelEntry* Current() const {
    return current >= 0 && current < static_cast<int>(entries.size()) ? &entries[current] : nullptr;
  }
  // The number of selected entries, kept as the selection changes: whoever changes `selected`
  // of an entry does it through Select, or calls CountSelected after changing many.
  int SelectedCount() const { return selected_count_; }
  void Select(PanelEntry& entry, bool on) {
    if (entry.selected == on) return;
    entry.selected = on;
    selected_count_ += on ? 1 : -1;
  }
  void CountSelected();
  void ClampCursor(int visible_rows);
  int Find(const std::string& name) const;

  // The view mode in force, with host defaults where the plug-in gives none.
  ViewMode ActiveMode() const;
  std::string Title() const;

 private:
  int selected_count_ = 0;
};

// An item record pointing into the entry's own data; custom holds the column pointers.
PluginPanelItem MakeItem(const PanelEntry& entry, std::vector<char*>& custom);
// A deep copy of a plug-in's item.
PanelEntry CopyEntry(const PluginPanelItem& item);

// What a file's status says in find data: folder or archive, the three times and the size of a
// file (0 for a folder). The name and the other attributes are the caller's.
EntryFind FindDataOf(const struct stat& st);
// Puts the find data into an item's record, leaving its names as they are.
void CopyFindInto(const EntryFind& find, WIN32_FIND_DATA* out);

// Splits "N,Z" / "0,25" / titles into columns.
std::vector<ColumnSpec> ParseColumns(const char* types, const char* widths,
                                     const char* const* titles);

// The host's own view modes 0..9.
ViewMode DefaultViewMode(int mode, bool plugin);

}  // namespace qb::host
