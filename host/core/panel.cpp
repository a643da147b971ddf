#include "host/core/panel.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "host/core/host_text.h"
#include "platform/time/clock.h"

namespace qb::host {

int Panel::SelectedCount() const {
  int n = 0;
  for (const PanelEntry& e : entries) n += e.selected ? 1 : 0;
  return n;
}

void Panel::ClampCursor(int visible_rows) {
  int n = static_cast<int>(entries.size());
  if (n == 0) {
    current = top = 0;
    return;
  }
  current = std::clamp(current, 0, n - 1);
  if (visible_rows < 1) visible_rows = 1;
  if (current < top) top = current;
  if (current >= top + visible_rows) top = current - visible_rows + 1;
  top = std::clamp(top, 0, std::max(0, n - visible_rows));
}

int Panel::Find(const std::string& name) const {
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

int NameGroups(const ViewMode& mode) {
  size_t names = 0;
  for (const ColumnSpec& c : mode.columns) names += (!c.type.empty() && c.type[0] == 'N') ? 1 : 0;
  return (names > 1 && mode.columns.size() % names == 0) ? static_cast<int>(names) : 1;
}

namespace {

FILETIME FileTimeOf(const struct timespec& ts) {
  return clock::TicksToFileTime(
      clock::UnixToTicks(static_cast<int64_t>(ts.tv_sec), static_cast<uint32_t>(ts.tv_nsec)));
}

}  // namespace

WIN32_FIND_DATA FindDataOf(const struct stat& st) {
  WIN32_FIND_DATA find{};
  const bool dir = S_ISDIR(st.st_mode);
  find.dwFileAttributes = dir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  find.ftCreationTime = FileTimeOf(st.st_ctim);
  find.ftLastAccessTime = FileTimeOf(st.st_atim);
  find.ftLastWriteTime = FileTimeOf(st.st_mtim);
  if (!dir) {
    uint64_t size = static_cast<uint64_t>(st.st_size);
    find.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    find.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  }
  return find;
}

ViewMode Panel::ActiveMode() const {
  if (is_plugin() && view_mode >= 0 && view_mode < static_cast<int>(state.modes.size()) &&
      state.modes[view_mode]) {
    return *state.modes[view_mode];
  }
  return DefaultViewMode(view_mode, is_plugin());
}

std::string Panel::Title() const {
  if (!is_plugin()) {
    const char* home = std::getenv("HOME");
    // The home directory is shown as "~", as a shell shows it.
    if (home && *home && std::strcmp(home, "/") != 0) {
      std::string h = home;
      while (h.size() > 1 && h.back() == '/') h.pop_back();
      if (dir == h) return "~";
      if (dir.size() > h.size() && dir.compare(0, h.size(), h) == 0 && dir[h.size()] == '/')
        return "~" + dir.substr(h.size());
    }
    return dir;
  }
  std::string t = state.title;
  if (!state.cur_dir.empty()) t += t.empty() ? state.cur_dir : ":" + state.cur_dir;
  return t;
}

PluginPanelItem MakeItem(const PanelEntry& e, std::vector<char*>& custom) {
  PluginPanelItem item;
  std::memset(&item, 0, sizeof item);
  item.FindData = e.find;
  item.PackSizeHigh = e.pack_size_high;
  item.PackSize = e.pack_size;
  item.Flags = e.flags & ~static_cast<DWORD>(PPIF_SELECTED);
  if (e.selected) item.Flags |= PPIF_SELECTED;
  item.NumberOfLinks = e.links;
  item.CRC32 = e.crc;
  item.Description = e.description ? const_cast<char*>(e.description->c_str()) : nullptr;
  item.Owner = e.owner ? const_cast<char*>(e.owner->c_str()) : nullptr;
  custom.clear();
  for (const std::string& c : e.custom) custom.push_back(const_cast<char*>(c.c_str()));
  item.CustomColumnData = custom.empty() ? nullptr : custom.data();
  item.CustomColumnNumber = static_cast<int>(custom.size());
  if (!e.user_block.empty()) {
    item.UserData = reinterpret_cast<uintptr_t>(e.user_block.data());
  } else {
    item.UserData = e.user_data;
  }
  return item;
}

PanelEntry CopyEntry(const PluginPanelItem& item) {
  PanelEntry e;
  e.find = item.FindData;
  e.find.cFileName[NM - 1] = '\0';
  e.find.cAlternateFileName[sizeof e.find.cAlternateFileName - 1] = '\0';
  e.name = e.find.cFileName;
  e.pack_size_high = item.PackSizeHigh;
  e.pack_size = item.PackSize;
  e.flags = item.Flags;
  e.links = item.NumberOfLinks;
  e.crc = item.CRC32;
  e.selected = (item.Flags & PPIF_SELECTED) != 0;
  if (item.Description) e.description = item.Description;
  if (item.Owner) e.owner = item.Owner;
  for (int i = 0; item.CustomColumnData && i < item.CustomColumnNumber; ++i)
    e.custom.emplace_back(item.CustomColumnData[i] ? item.CustomColumnData[i] : "");
  if ((item.Flags & PPIF_USERDATA) && item.UserData) {
    // The block tells its own size in its first word; a size below that word is taken as the
    // word alone rather than trusted.
    DWORD size;
    std::memcpy(&size, reinterpret_cast<const void*>(item.UserData), sizeof size);
    if (size < sizeof size) size = sizeof size;
    const auto* p = reinterpret_cast<const unsigned char*>(item.UserData);
    e.user_block.assign(p, p + size);
  } else {
    e.user_data = item.UserData;
  }
  return e;
}

namespace {

// The parts of a comma-separated list ("N,Z,C0"); an empty text is one empty part.
std::vector<std::string> SplitAtCommas(const std::string& text) {
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t comma = text.find(',', pos);
    if (comma == std::string::npos) comma = text.size();
    parts.push_back(text.substr(pos, comma - pos));
    pos = comma + 1;
  }
  return parts;
}

// The host's title for a column type without one of its own.
const char* DefaultTitle(const std::string& type) {
  static const struct {
    char type;
    HostText title;
  } kTitles[] = {{'N', HostText::kColumnName}, {'Z', HostText::kColumnDescription},
                 {'S', HostText::kColumnSize}, {'D', HostText::kColumnDate},
                 {'T', HostText::kColumnTime}, {'O', HostText::kColumnOwner}};
  for (const auto& t : kTitles) {
    if (!type.empty() && type[0] == t.type) return Text(t.title);
  }
  return "";
}

}  // namespace

std::vector<ColumnSpec> ParseColumns(const char* types, const char* widths,
                                     const char* const* titles) {
  std::vector<ColumnSpec> out;
  if (!types) return out;
  for (std::string& type : SplitAtCommas(types)) {
    ColumnSpec c;
    c.type = std::move(type);
    out.push_back(std::move(c));
  }
  if (widths) {
    std::vector<std::string> w = SplitAtCommas(widths);
    for (size_t i = 0; i < w.size() && i < out.size(); ++i)
      out[i].width = std::max(0, std::atoi(w[i].c_str()));
  }
  for (size_t i = 0; i < out.size(); ++i)
    out[i].title = titles && titles[i] ? titles[i] : DefaultTitle(out[i].type);
  return out;
}

ViewMode DefaultViewMode(int mode, bool plugin) {
  static const char* const kTypes[10] = {"N,S,D",   "N,N,N", "N,N",   "N,S,D,T", "N,S",
                                         "N,S,D,T", "N,Z",   "N,S,Z", "N,S,D",   "N"};
  static const char* const kWidths[10] = {"0,10,8",   "0,0,0", "0,0",    "0,10,8,5", "0,10",
                                          "0,10,8,5", "0,0",   "0,10,0", "0,10,8",   "0"};
  if (mode < 0 || mode > 9) mode = 2;
  ViewMode v;
  v.columns = ParseColumns(kTypes[mode], kWidths[mode], nullptr);
  v.status = ParseColumns(plugin ? "N,Z" : "N,S", plugin ? "0,0" : "0,10", nullptr);
  return v;
}

}  // namespace qb::host
