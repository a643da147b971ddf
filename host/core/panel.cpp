#include "host/core/panel.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "host/core/host_text.h"
#include "platform/time/clock.h"

namespace qb::host {

const std::optional<std::string>& PanelEntry::owner() const {
  static const std::optional<std::string> kNone;
  return extra ? extra->owner : kNone;
}

const std::vector<std::string>& PanelEntry::custom() const {
  static const std::vector<std::string> kNone;
  return extra ? extra->custom : kNone;
}

void Panel::CountSelected() {
  int n = 0;
  for (const PanelEntry& e : entries) n += e.selected ? 1 : 0;
  selected_count_ = n;
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

EntryFind FindDataOf(const struct stat& st) {
  EntryFind find;
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

void CopyFindInto(const EntryFind& find, WIN32_FIND_DATA* out) {
  out->dwFileAttributes = find.dwFileAttributes;
  out->ftCreationTime = find.ftCreationTime;
  out->ftLastAccessTime = find.ftLastAccessTime;
  out->ftLastWriteTime = find.ftLastWriteTime;
  out->nFileSizeHigh = find.nFileSizeHigh;
  out->nFileSizeLow = find.nFileSizeLow;
  out->dwReserved0 = find.dwReserved0;
  out->dwReserved1 = find.dwReserved1;
}

PluginPanelItem MakeItem(const PanelEntry& e, std::vector<char*>& custom) {
  PluginPanelItem item;
  std::memset(&item, 0, sizeof item);
  WIN32_FIND_DATA& fd = item.FindData;
  CopyFindInto(e.find, &fd);
  std::memcpy(fd.cFileName, e.name.data(), std::min(e.name.size(), sizeof fd.cFileName - 1));
  item.PackSizeHigh = e.pack_size_high;
  item.PackSize = e.pack_size;
  item.Flags = e.flags & ~static_cast<DWORD>(PPIF_SELECTED);
  if (e.selected) item.Flags |= PPIF_SELECTED;
  item.NumberOfLinks = e.links;
  item.CRC32 = e.crc;
  item.Description = e.description ? const_cast<char*>(e.description->c_str()) : nullptr;
  item.UserData = e.user_data;
  custom.clear();
  if (const EntryExtra* x = e.extra.get()) {
    const std::string& alt = x->alternate_name;
    std::memcpy(fd.cAlternateFileName, alt.data(),
                std::min(alt.size(), sizeof fd.cAlternateFileName - 1));
    item.Owner = x->owner ? const_cast<char*>(x->owner->c_str()) : nullptr;
    for (const std::string& c : x->custom) custom.push_back(const_cast<char*>(c.c_str()));
    if (!x->user_block.empty()) item.UserData = reinterpret_cast<uintptr_t>(x->user_block.data());
  }
  item.CustomColumnData = custom.empty() ? nullptr : custom.data();
  item.CustomColumnNumber = static_cast<int>(custom.size());
  return item;
}

PanelEntry CopyEntry(const PluginPanelItem& item) {
  PanelEntry e;
  const WIN32_FIND_DATA& fd = item.FindData;
  e.find.dwFileAttributes = fd.dwFileAttributes;
  e.find.ftCreationTime = fd.ftCreationTime;
  e.find.ftLastAccessTime = fd.ftLastAccessTime;
  e.find.ftLastWriteTime = fd.ftLastWriteTime;
  e.find.nFileSizeHigh = fd.nFileSizeHigh;
  e.find.nFileSizeLow = fd.nFileSizeLow;
  e.find.dwReserved0 = fd.dwReserved0;
  e.find.dwReserved1 = fd.dwReserved1;
  e.name.assign(fd.cFileName, strnlen(fd.cFileName, NM - 1));
  e.pack_size_high = item.PackSizeHigh;
  e.pack_size = item.PackSize;
  e.flags = item.Flags;
  e.links = item.NumberOfLinks;
  e.crc = item.CRC32;
  e.selected = (item.Flags & PPIF_SELECTED) != 0;
  if (item.Description) e.description = item.Description;
  EntryExtra x;
  bool extra = false;
  const std::size_t alt = strnlen(fd.cAlternateFileName, sizeof fd.cAlternateFileName - 1);
  if (alt > 0) {
    x.alternate_name.assign(fd.cAlternateFileName, alt);
    extra = true;
  }
  if (item.Owner) {
    x.owner = item.Owner;
    extra = true;
  }
  for (int i = 0; item.CustomColumnData && i < item.CustomColumnNumber; ++i) {
    x.custom.emplace_back(item.CustomColumnData[i] ? item.CustomColumnData[i] : "");
    extra = true;
  }
  if ((item.Flags & PPIF_USERDATA) && item.UserData) {
    // The block tells its own size in its first word; a size below that word is taken as the
    // word alone rather than trusted.
    DWORD size;
    std::memcpy(&size, reinterpret_cast<const void*>(item.UserData), sizeof size);
    if (size < sizeof size) size = sizeof size;
    const auto* p = reinterpret_cast<const unsigned char*>(item.UserData);
    x.user_block.assign(p, p + size);
    extra = true;
  } else {
    e.user_data = item.UserData;
  }
  if (extra) e.extra = std::make_shared<const EntryExtra>(std::move(x));
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
