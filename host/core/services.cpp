// The service table handed to the plug-in: plain C functions that reach the process's host.
#include "host/core/services.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/core/host.h"
#include "host/core/panel.h"
#include "platform/codepage/codepage.h"
#include "platform/paths/paths.h"

namespace qb::host {

namespace {

int SvcMenu(int, int x, int y, int max_height, DWORD flags, const char* title, const char* bottom,
            const char*, const int* break_keys, int* break_code, const FarMenuItem* items,
            int count) {
  Host* h = Host::Current();
  if (!h) {
    if (break_code) *break_code = -1;
    return -1;
  }
  return h->Menu(x, y, max_height, flags, title, bottom, break_keys, break_code, items, count);
}

int SvcDialog(int, int x1, int y1, int x2, int y2, const char*, FarDialogItem* items, int count) {
  Host* h = Host::Current();
  return h ? h->Dialog(x1, y1, x2, y2, items, count) : -1;
}

// The dialog procedure is not called: the host's dialogs run without one, which is all the
// plug-in's dialog builder asks for.
int SvcDialogEx(int number, int x1, int y1, int x2, int y2, const char* help, FarDialogItem* items,
                int count, DWORD, DWORD, FARWINDOWPROC, long) {
  return SvcDialog(number, x1, y1, x2, y2, help, items, count);
}

int SvcMessage(int, DWORD flags, const char*, const char* const* items, int count, int buttons) {
  Host* h = Host::Current();
  return h ? h->Message(flags, items, count, buttons) : -1;
}

const char* SvcGetMsg(int, int id) {
  Host* h = Host::Current();
  return h ? h->GetMsg(id) : "";
}

int SvcControl(HANDLE plugin, int command, void* param) {
  Host* h = Host::Current();
  return h ? h->Control(plugin, command, param) : 0;
}

// Walks dir depth first; each entry is named prefix + "/" + its name. Symbolic links to
// folders are listed but not followed, so a loop of links can't recurse forever.
void Walk(const std::string& dir, const std::string& prefix, int depth,
          std::vector<PluginPanelItem>& out) {
  if (depth > 64) return;
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  std::vector<std::string> names;
  while (dirent* de = readdir(d)) {
    if (std::strcmp(de->d_name, ".") != 0 && std::strcmp(de->d_name, "..") != 0)
      names.emplace_back(de->d_name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string path = JoinPath(dir, name);
    std::string shown = prefix + "/" + name;
    struct stat lst, st;
    if (lstat(path.c_str(), &lst) != 0) continue;
    bool link = S_ISLNK(lst.st_mode);
    if (stat(path.c_str(), &st) != 0) st = lst;
    // A name that doesn't fit the item's buffer would reach the plug-in cut, naming another file.
    if (shown.size() >= NM) continue;
    PluginPanelItem item;
    std::memset(&item, 0, sizeof item);
    CopyFindInto(FindDataOf(st), &item.FindData);
    const bool is_dir = S_ISDIR(st.st_mode);
    std::memcpy(item.FindData.cFileName, shown.c_str(), shown.size() + 1);
    out.push_back(item);
    if (is_dir && !link) Walk(path, shown, depth + 1, out);
  }
}

// The list is one block: a header with the count, then the items, so FreeDirList needs only
// the pointer it was given.
constexpr size_t kHeader = 16;

int SvcGetDirList(const char* dir, PluginPanelItem** items, int* count) {
  if (items) *items = nullptr;
  if (count) *count = 0;
  if (!dir || !items || !count) return 0;
  std::string root = dir;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  struct stat st;
  if (stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return 0;
  size_t cut = root.find_last_of('/');
  std::string own = cut == std::string::npos ? root : root.substr(cut + 1);
  std::vector<PluginPanelItem> list;
  Walk(root, own, 0, list);
  auto* block =
      static_cast<unsigned char*>(std::malloc(kHeader + list.size() * sizeof(PluginPanelItem)));
  if (!block) return 0;
  size_t n = list.size();
  std::memcpy(block, &n, sizeof n);
  auto* out = reinterpret_cast<PluginPanelItem*>(block + kHeader);
  if (n) std::memcpy(out, list.data(), n * sizeof(PluginPanelItem));
  *items = out;
  *count = static_cast<int>(n);
  return 1;
}

void SvcFreeDirList(const PluginPanelItem* items) {
  if (!items) return;
  std::free(const_cast<unsigned char*>(reinterpret_cast<const unsigned char*>(items)) - kHeader);
}

const char kRootKey[] = "Software\\Far\\Plugins";

}  // namespace

void FillStartupInfo(PluginStartupInfo& info, const std::string& module_path) {
  std::memset(&info, 0, sizeof info);
  info.StructSize = sizeof info;
  codepage::CopyUtf8Into(module_path, info.ModuleName, sizeof info.ModuleName);
  info.ModuleNumber = 0;
  info.RootKey = kRootKey;
  info.Menu = SvcMenu;
  info.Dialog = SvcDialog;
  info.Message = SvcMessage;
  info.GetMsg = SvcGetMsg;
  info.Control = SvcControl;
  info.GetDirList = SvcGetDirList;
  info.FreeDirList = SvcFreeDirList;
  info.DialogEx = SvcDialogEx;
}

}  // namespace qb::host
