#include "host/core/panel_set.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <unordered_set>

#include "platform/paths/paths.h"

namespace qb::host {

namespace {

PanelEntry DotsEntry() {
  PanelEntry e;
  e.name = "..";
  e.find.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
  e.dots = true;
  return e;
}

int NameCompare(const std::string& a, const std::string& b) {
  int r = strcasecmp(a.c_str(), b.c_str());
  return r != 0 ? r : a.compare(b);
}

std::string Extension(const std::string& name) {
  size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? "" : name.substr(dot + 1);
}

uint64_t FileTimeValue(const FILETIME& ft) {
  return (uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
}

// The host's own order for a sort mode: < 0, 0 or > 0.
int HostCompare(const PanelEntry& a, const PanelEntry& b, int mode) {
  auto cmp3 = [](auto x, auto y) { return x < y ? -1 : x > y ? 1 : 0; };
  int r = 0;
  switch (mode) {
    case SM_UNSORTED:
      return 0;
    case SM_EXT:
      r = NameCompare(Extension(a.name), Extension(b.name));
      break;
    case SM_MTIME:
      r = -cmp3(FileTimeValue(a.find.ftLastWriteTime), FileTimeValue(b.find.ftLastWriteTime));
      break;
    case SM_CTIME:
      r = -cmp3(FileTimeValue(a.find.ftCreationTime), FileTimeValue(b.find.ftCreationTime));
      break;
    case SM_ATIME:
      r = -cmp3(FileTimeValue(a.find.ftLastAccessTime), FileTimeValue(b.find.ftLastAccessTime));
      break;
    case SM_SIZE:
      r = -cmp3(a.size(), b.size());
      break;
    case SM_DESCR:
      r = NameCompare(a.description.value_or(""), b.description.value_or(""));
      break;
    default:
      break;
  }
  return r != 0 ? r : NameCompare(a.name, b.name);
}

}  // namespace

void PanelSet::OpenFileDir(int side, const std::string& dir, const std::string& focus_name) {
  Panel& p = panels_[side];
  p = Panel{};
  p.dir = dir.empty() ? "/" : dir;
  p.view_mode = 2;
  ReadFileDir(p);
  if (!focus_name.empty()) {
    int i = p.Find(focus_name);
    if (i >= 0) p.current = i;
  }
}

namespace {

// The names of the selected entries.
std::unordered_set<std::string> SelectedNames(const Panel& p) {
  std::unordered_set<std::string> names;
  if (p.SelectedCount() == 0) return names;
  names.reserve(static_cast<size_t>(p.SelectedCount()));
  for (const PanelEntry& e : p.entries) {
    if (e.selected) names.insert(e.name);
  }
  return names;
}

}  // namespace

void PanelSet::ReadFileDir(Panel& p) {
  const std::unordered_set<std::string> selected = SelectedNames(p);
  std::string current = p.Current() ? p.Current()->name : "";
  p.entries.clear();
  DIR* d = opendir(p.dir.c_str());
  if (p.dir != "/") p.entries.push_back(DotsEntry());
  if (d) {
    while (dirent* de = readdir(d)) {
      std::string name = de->d_name;
      if (name == "." || name == "..") continue;
      if (name.size() >= NM) continue;  // can't be handed on in a panel item
      std::string path = JoinPath(p.dir, name);
      struct stat st;
      if (stat(path.c_str(), &st) != 0 && lstat(path.c_str(), &st) != 0) continue;
      PanelEntry e;
      e.name = name;
      e.find = FindDataOf(st);
      if (name[0] == '.') e.find.dwFileAttributes |= FILE_ATTRIBUTE_HIDDEN;
      if (access(path.c_str(), W_OK) != 0) e.find.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
      e.selected = selected.count(name) != 0;
      p.entries.push_back(std::move(e));
    }
    closedir(d);
  }
  p.CountSelected();
  Sort(p);
  int i = current.empty() ? -1 : p.Find(current);
  p.current = i >= 0 ? i : std::min(p.current, std::max(0, static_cast<int>(p.entries.size()) - 1));
}

void PanelSet::Sort(Panel& p) {
  SortListed(p, nullptr);
}

void PanelSet::SortListed(Panel& p, const PluginPanelItem* listed) {
  size_t first = (!p.entries.empty() && p.entries[0].dots) ? 1 : 0;
  std::vector<size_t> order(p.entries.size() - first);
  std::iota(order.begin(), order.end(), first);
  const auto& fn = plugin_.fn();
  const bool ask_plugin = p.is_plugin() && fn.Compare;
  // The plug-in compares its own items: those it listed when they are still at hand, else records
  // made from the entries.
  std::vector<PluginPanelItem> made;
  std::vector<std::vector<char*>> custom;
  if (ask_plugin && !listed) {
    custom.resize(p.entries.size() - first);
    made.reserve(p.entries.size() - first);
    for (size_t i = first; i < p.entries.size(); ++i)
      made.push_back(MakeItem(p.entries[i], custom[i - first]));
    listed = made.data();
  }
  // The record of the entry at index (never the ".." one, which is not sorted).
  auto item = [&](size_t index) { return &listed[index - first]; };
  const int mode = p.sort_mode == SM_DEFAULT ? SM_NAME : p.sort_mode;
  const bool reverse = p.sort_order != 0;
  // stable_sort: a plug-in's comparison need not be a strict order, and equal items keep the
  // plug-in's own order.
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const PanelEntry& ea = p.entries[a];
    const PanelEntry& eb = p.entries[b];
    if (ea.is_dir() != eb.is_dir()) return ea.is_dir();
    int r = -2;
    if (ask_plugin) {
      r = fn.Compare(p.plugin(), item(a), item(b), static_cast<unsigned>(mode));
      if (r != -2) r = r < 0 ? -1 : r > 0 ? 1 : 0;
    }
    if (r == -2) r = HostCompare(ea, eb, mode);
    return reverse ? r > 0 : r < 0;
  });
  // The entries take their places in the order, one cycle of the permutation at a time: position
  // first + k receives the entry at order[k].
  for (size_t k = 0; k < order.size(); ++k) {
    if (order[k] == first + k) continue;
    PanelEntry held = std::move(p.entries[first + k]);
    size_t at = k;
    for (;;) {
      const size_t from = order[at];
      order[at] = first + at;
      if (from == first + k) {
        p.entries[first + at] = std::move(held);
        break;
      }
      p.entries[first + at] = std::move(p.entries[from]);
      at = from - first;
    }
  }
}

void PanelSet::RefreshPluginState(Panel& p) {
  if (!plugin_.fn().GetOpenPluginInfo) return;
  OpenPluginInfo info;
  std::memset(&info, 0, sizeof info);
  info.StructSize = sizeof info;
  plugin_.fn().GetOpenPluginInfo(p.plugin(), &info);
  PluginPanelState st;
  st.flags = info.Flags;
  st.cur_dir = info.CurDir ? info.CurDir : "";
  st.title = info.PanelTitle ? info.PanelTitle : "";
  st.format = info.Format ? info.Format : "";
  for (int i = 0; info.PanelModesArray && i < info.PanelModesNumber && i < 10; ++i) {
    const PanelMode& m = info.PanelModesArray[i];
    if (!m.ColumnTypes) {
      st.modes.emplace_back();
      continue;
    }
    ViewMode v;
    v.columns = ParseColumns(m.ColumnTypes, m.ColumnWidths, m.ColumnTitles);
    v.status = m.StatusColumnTypes
                   ? ParseColumns(m.StatusColumnTypes, m.StatusColumnWidths, nullptr)
                   : ParseColumns("N", "0", nullptr);
    st.modes.emplace_back(std::move(v));
  }
  st.start_mode =
      info.StartPanelMode >= '0' && info.StartPanelMode <= '9' ? info.StartPanelMode - '0' : -1;
  st.start_sort_mode = info.StartSortMode;
  st.start_sort_order = info.StartSortOrder;
  if (info.KeyBar) {
    char* const* layers[7] = {info.KeyBar->Titles,          info.KeyBar->CtrlTitles,
                              info.KeyBar->AltTitles,       info.KeyBar->ShiftTitles,
                              info.KeyBar->CtrlShiftTitles, info.KeyBar->AltShiftTitles,
                              info.KeyBar->CtrlAltTitles};
    for (int l = 0; l < 7; ++l) {
      for (int k = 0; k < 12; ++k) {
        if (layers[l][k]) st.keybar[l][k] = layers[l][k];
      }
    }
  }
  // A plug-in names the sort mode of each of its views (a contact book lists a record's fields
  // in the record's order, its folders by name): when the mode it names changes, as on entering
  // or leaving a record, the panel takes it. A mode the user chose stays until then.
  if (st.start_sort_mode != p.state.start_sort_mode ||
      st.start_sort_order != p.state.start_sort_order) {
    p.sort_mode = st.start_sort_mode == SM_DEFAULT ? SM_NAME : st.start_sort_mode;
    p.sort_order = st.start_sort_order;
  }
  p.state = std::move(st);
}

void PanelSet::ReadPluginPanel(Panel& p, bool keep_selection) {
  const auto& fn = plugin_.fn();
  std::unordered_set<std::string> selected;
  if (keep_selection) selected = SelectedNames(p);
  std::string current = p.Current() ? p.Current()->name : "";
  RefreshPluginState(p);
  p.entries.clear();
  if (p.state.flags & OPIF_ADDDOTS) p.entries.push_back(DotsEntry());
  PluginPanelItem* items = nullptr;
  int count = 0;
  const bool listed = fn.GetFindData(p.plugin(), &items, &count, 0) && items;
  if (listed && count > 0) {
    p.entries.reserve(p.entries.size() + static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      PanelEntry e = CopyEntry(items[i]);
      if (!keep_selection) e.selected = false;
      if (!selected.empty() && selected.count(e.name)) e.selected = true;
      p.entries.push_back(std::move(e));
    }
    SortListed(p, items);
  } else {
    Sort(p);
  }
  // The plug-in's array goes only now: the sort compared its items.
  if (listed && fn.FreeFindData) fn.FreeFindData(p.plugin(), items, count);
  p.CountSelected();
  int i = current.empty() ? -1 : p.Find(current);
  p.current = i >= 0 ? i : std::min(p.current, std::max(0, static_cast<int>(p.entries.size()) - 1));
}

void PanelSet::Reread(int side, bool keep_selection) {
  Panel& p = panels_[side];
  if (p.is_plugin()) {
    ReadPluginPanel(p, keep_selection);
  } else {
    if (!keep_selection) {
      for (PanelEntry& e : p.entries) e.selected = false;
      p.CountSelected();
    }
    ReadFileDir(p);
  }
}

bool PanelSet::OpenPluginIn(int side, int open_from, intptr_t item) {
  if (!plugin_.loaded()) return false;
  int was_active = active_;
  active_ = side;  // Control calls during OpenPlugin address this panel
  HANDLE h = plugin_.fn().OpenPlugin(open_from, item);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) {
    active_ = was_active;
    return false;
  }
  if (panels_[side].is_plugin()) ClosePluginPanel(side);
  Panel& p = panels_[side];
  std::string dir = p.dir;
  p = Panel{};
  p.dir = dir;
  p.plugin_ = h;
  RefreshPluginState(p);
  p.view_mode = p.state.start_mode >= 0 ? p.state.start_mode : 2;
  p.sort_mode = p.state.start_sort_mode == SM_DEFAULT ? SM_NAME : p.state.start_sort_mode;
  p.sort_order = p.state.start_sort_order;
  ReadPluginPanel(p, false);
  p.current = 0;
  FinishCloseRequests();
  return true;
}

void PanelSet::ClosePluginPanel(int side) {
  Panel& p = panels_[side];
  if (!p.is_plugin()) return;
  HANDLE h = p.plugin();
  std::string dir = p.close_requested && !p.close_dir.empty() ? p.close_dir : p.dir;
  p.plugin_ = nullptr;
  if (plugin_.fn().ClosePlugin) plugin_.fn().ClosePlugin(h);
  struct stat st;
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) dir = panels_[side].dir;
  OpenFileDir(side, dir.empty() ? "/" : dir);
}

void PanelSet::FinishCloseRequests() {
  for (int side = 0; side < 2; ++side) {
    if (panels_[side].is_plugin() && panels_[side].close_requested) ClosePluginPanel(side);
  }
}

int PanelSet::SideOf(HANDLE plugin) const {
  for (int side = 0; side < 2; ++side) {
    if (panels_[side].is_plugin() && panels_[side].plugin() == plugin) return side;
  }
  return active_;
}

void PanelSet::SetViewMode(int side, int mode) {
  if (mode < 0 || mode > 9) return;
  panels_[side].view_mode = mode;
}

}  // namespace qb::host
