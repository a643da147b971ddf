#include "host/core/find_dialog.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "host/core/host.h"
#include "host/core/plugin_module.h"
#include "platform/codepage/codepage.h"
#include "platform/paths/paths.h"

namespace qb::host {

namespace {

// Files larger than this are searched by name only.
constexpr std::uintmax_t kMaxSearchedFile = 64u << 20;
// A tree deeper than this is not walked further (a plug-in whose folders never end).
constexpr int kMaxDepth = 64;
constexpr std::size_t kMaxFound = 10000;

bool FileContains(const std::string& path, const std::u32string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ContainsFolded(FoldCase(bytes), text);
}

// `shown_dir` is dir as the list shows it: relative to where the search began ("" there).
void WalkDisk(const std::string& dir, const std::string& shown_dir, const FindQuery& query,
              std::size_t limit, int depth, std::vector<FoundItem>* found) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  std::vector<std::string> folders;  // names
  while (dirent* de = readdir(d)) {
    const std::string name = de->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = JoinPath(dir, name);
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    const bool folder = S_ISDIR(st.st_mode);
    if (folder) folders.push_back(name);
    if (found->size() >= limit || !query.mask.Matches(name)) continue;
    if (!query.text.empty()) {
      if (!S_ISREG(st.st_mode) || static_cast<std::uintmax_t>(st.st_size) > kMaxSearchedFile ||
          !FileContains(path, query.text)) {
        continue;
      }
    }
    found->push_back(FoundItem{{}, dir, name, shown_dir + name + (folder ? "/" : "")});
  }
  closedir(d);
  if (depth >= kMaxDepth) return;
  for (const std::string& sub : folders) {
    if (found->size() >= limit) break;
    WalkDisk(JoinPath(dir, sub), shown_dir + sub + "/", query, limit, depth + 1, found);
  }
}

struct Listed {
  std::string name;
  bool folder;
  std::string text;
};

void WalkPlugin(const PluginEntryPoints& fn, HANDLE panel, const std::string& shown_dir,
                const FindQuery& query, std::size_t limit, std::vector<std::string>* path,
                std::vector<FoundItem>* found) {
  const int mode = OPM_FIND | (query.text.empty() ? 0 : OPM_FINDTEXT);
  std::vector<Listed> listed;
  PluginPanelItem* items = nullptr;
  int count = 0;
  if (!fn.GetFindData(panel, &items, &count, mode) || !items) return;
  listed.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const PluginPanelItem& it = items[i];
    const std::string name(it.FindData.cFileName, strnlen(it.FindData.cFileName, NM));
    if (name.empty() || name == "." || name == "..") continue;
    listed.push_back(Listed{name, (it.FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                            it.Description ? it.Description : ""});
  }
  if (fn.FreeFindData) fn.FreeFindData(panel, items, count);

  for (const Listed& item : listed) {
    if (found->size() >= limit) return;
    if (!query.mask.Matches(item.name)) continue;
    // The text is looked for in what the plug-in said the item holds; folders hold no text.
    if (!query.text.empty() && (item.folder || !ContainsFolded(FoldCase(item.text), query.text)))
      continue;
    found->push_back(FoundItem{*path, {}, item.name, shown_dir + "\\" + item.name});
  }
  if (!fn.SetDirectory || static_cast<int>(path->size()) >= kMaxDepth) return;
  for (const Listed& item : listed) {
    if (!item.folder || found->size() >= limit) continue;
    if (!fn.SetDirectory(panel, item.name.c_str(), OPM_SILENT | OPM_FIND)) continue;
    path->push_back(item.name);
    WalkPlugin(fn, panel, shown_dir + "\\" + item.name, query, limit, path, found);
    path->pop_back();
    fn.SetDirectory(panel, "..", OPM_SILENT | OPM_FIND);
  }
}

FarDialogItem DialogItem(int type, int x1, int y1, int x2, const char* text, DWORD flags = 0) {
  FarDialogItem item;
  std::memset(&item, 0, sizeof item);
  item.Type = type;
  item.X1 = x1;
  item.Y1 = y1;
  item.X2 = x2;
  item.Y2 = y1;
  item.Flags = flags;
  codepage::CopyUtf8Into(text, item.Data, sizeof item.Data);
  return item;
}

}  // namespace

std::vector<FoundItem> FindOnDisk(const std::string& dir, const FindQuery& query,
                                  std::size_t limit) {
  std::vector<FoundItem> found;
  WalkDisk(dir, "", query, limit, 0, &found);
  return found;
}

std::vector<FoundItem> FindInPlugin(const PluginModule& plugin, HANDLE panel,
                                    const std::string& cur_dir, const FindQuery& query,
                                    std::size_t limit) {
  std::vector<FoundItem> found;
  std::vector<std::string> path;
  if (plugin.fn().GetFindData) WalkPlugin(plugin.fn(), panel, cur_dir, query, limit, &path, &found);
  return found;
}

bool FindDialog::Ask(std::string* mask, std::string* text) {
  enum { kBox, kMaskLabel, kMask, kTextLabel, kText, kSeparator, kFind, kCancel, kCount };
  FarDialogItem items[kCount] = {
      DialogItem(DI_DOUBLEBOX, 3, 1, 56, "Find"),
      DialogItem(DI_TEXT, 5, 2, 0, "A name or a mask (*smith*; several with \",\"):"),
      DialogItem(DI_EDIT, 5, 3, 54, mask->c_str(), DIF_HISTORY),
      DialogItem(DI_TEXT, 5, 4, 0, "Containing the text (empty: names only):"),
      DialogItem(DI_EDIT, 5, 5, 54, text->c_str(), DIF_HISTORY),
      DialogItem(DI_TEXT, 3, 6, 0, "", DIF_SEPARATOR),
      DialogItem(DI_BUTTON, 0, 7, 0, "&Find", DIF_CENTERGROUP),
      DialogItem(DI_BUTTON, 0, 7, 0, "Cancel", DIF_CENTERGROUP),
  };
  items[kMask].History = "FindMask";
  items[kMask].Focus = 1;
  items[kText].History = "FindText";
  items[kFind].DefaultButton = 1;
  const int result = host_.Dialog(-1, -1, 60, 10, items, kCount);
  if (result != kFind) return false;
  *mask = items[kMask].Data;
  *text = items[kText].Data;
  return true;
}

int FindDialog::Choose(const std::vector<FoundItem>& found) {
  std::vector<FarMenuItem> menu(found.size());
  for (std::size_t i = 0; i < found.size(); ++i) {
    std::memset(&menu[i], 0, sizeof menu[i]);
    codepage::CopyUtf8Into(found[i].shown, menu[i].Text, sizeof menu[i].Text);
  }
  menu[0].Selected = 1;
  const std::string title = "Find: " + std::to_string(found.size()) + " found";
  return host_.Menu(-1, -1, 0, FMENU_WRAPMODE, title.c_str(), "Enter: go to the item", nullptr,
                    nullptr, menu.data(), static_cast<int>(menu.size()));
}

void FindDialog::GoTo(const FoundItem& item) {
  PanelSet& panels = host_.panels();
  const int side = panels.active();
  Panel& p = panels[side];
  if (!p.is_plugin()) {
    panels.OpenFileDir(side, item.dir, item.name);
    return;
  }
  const PluginEntryPoints& fn = host_.plugin().fn();
  bool arrived = true;
  for (const std::string& folder : item.path) {
    // As the user would go there: the plug-in may ask for its passwords and set its view modes.
    if (!fn.SetDirectory || !fn.SetDirectory(p.plugin(), folder.c_str(), 0)) {
      arrived = false;
      break;
    }
    panels.FinishCloseRequests();
    if (!panels[side].is_plugin()) return;
  }
  Panel& q = panels[side];
  panels.ReadPluginPanel(q, false);
  const int at = arrived ? q.Find(item.name) : -1;
  q.current = at >= 0 ? at : 0;
  q.top = 0;
}

void FindDialog::Run() {
  // The dialog offers the last mask again; the text starts empty (its history holds the others).
  const std::vector<std::string>& masks = host_.History("FindMask");
  std::string mask = masks.empty() ? "*" : masks.front();
  std::string text;
  if (!Ask(&mask, &text)) return;
  FindQuery query{NameMask(mask), FoldCase(text)};
  PanelSet& panels = host_.panels();
  const int side = panels.active();
  Panel& p = panels[side];
  std::vector<FoundItem> found;
  if (p.is_plugin()) {
    found = FindInPlugin(host_.plugin(), p.plugin(), p.state.cur_dir, query, kMaxFound);
    // A plug-in that asked to close during the walk closes now; the list is then of no use.
    panels.FinishCloseRequests();
    if (!panels[side].is_plugin()) return;
  } else {
    found = FindOnDisk(p.dir, query, kMaxFound);
  }
  if (found.empty()) {
    const char* lines[] = {"Find", "Nothing was found.", "OK"};
    host_.Message(0, lines, 3, 1);
    return;
  }
  const int chosen = Choose(found);
  if (chosen >= 0 && static_cast<std::size_t>(chosen) < found.size()) GoTo(found[chosen]);
}

}  // namespace qb::host
