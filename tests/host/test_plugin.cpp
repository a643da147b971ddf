// A small panel plug-in for the host's tests: a tree of folders and items kept in memory, a menu,
// a dialog with every item type, messages, view modes, key bars and copying between panels. Every
// call it receives, and every result the host hands back, is logged to the file named by
// QB_TEST_LOG, one line each.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "sdk/far.h"
#include "sdk/host_exports.h"

namespace {

PluginStartupInfo g_info;

void Log(const char* fmt, ...) {
  const char* path = std::getenv("QB_TEST_LOG");
  if (!path) return;
  FILE* f = std::fopen(path, "a");
  if (!f) return;
  va_list ap;
  va_start(ap, fmt);
  std::vfprintf(f, fmt, ap);
  va_end(ap);
  std::fputc('\n', f);
  std::fclose(f);
}

struct Node {
  std::string description;
  bool folder = false;
};

// Folder path ("" root, "\Friends") -> its children by name.
std::map<std::string, std::map<std::string, Node>> g_tree;

void InitTree() {
  g_tree.clear();
  g_tree[""]["Friends"] = {"Close ones", true};
  g_tree[""]["Work"] = {"", true};
  g_tree[""]["alpha"] = {"First item", false};
  g_tree[""]["beta"] = {"Second item", false};
  g_tree[""]["zeta"] = {"Always first", false};
  g_tree["\\Friends"]["carol"] = {"Carol Smith", false};
  g_tree["\\Work"];
}

struct Panel {
  std::string dir;  // "" or "\Friends"
};

const char* const kTitles0[] = {"Name", "Name"};
const char* const kTitles1[] = {"Name", "Note"};
PanelMode g_modes[3];
KeyBarTitles g_keybar;
char g_empty[] = "";
char g_newdir[] = "NewDir";
char g_test[] = "Test";
char g_ctrl[] = "CtrlLb";

uintptr_t g_timer = 0;
int g_ticks = 0;

void TimerTick(uintptr_t id, uint32_t) {
  ++g_ticks;
  Log("Timer tick %d", g_ticks);
  if (g_ticks >= 2) {
    auto kill = reinterpret_cast<PFN_QbKillTimer>(dlsym(RTLD_DEFAULT, QB_KILL_TIMER_NAME));
    Log("KillTimer %d", kill ? kill(id) : -1);
  }
}

void FillItem(PluginPanelItem& item, const std::string& name, const Node& node) {
  std::memset(&item, 0, sizeof item);
  std::snprintf(item.FindData.cFileName, sizeof item.FindData.cFileName, "%s", name.c_str());
  item.FindData.dwFileAttributes = node.folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  item.FindData.nFileSizeLow = static_cast<DWORD>(node.description.size());
  if (!node.description.empty()) item.Description = strdup(node.description.c_str());
  // Items carry a user-data block: its size, then a number the host must hand back unchanged.
  auto* block = static_cast<DWORD*>(std::malloc(2 * sizeof(DWORD)));
  block[0] = 2 * sizeof(DWORD);
  block[1] = static_cast<DWORD>(name.size() * 100 + node.description.size());
  item.UserData = reinterpret_cast<uintptr_t>(block);
  item.Flags = PPIF_USERDATA;
}

DWORD UserNumber(const PluginPanelItem& item) {
  if (!(item.Flags & PPIF_USERDATA) || !item.UserData) return 0;
  return reinterpret_cast<const DWORD*>(item.UserData)[1];
}

void LogDialog(int result, const FarDialogItem* items, int count) {
  Log("Dialog result %d", result);
  for (int i = 0; i < count; ++i) {
    if (items[i].Type == DI_CHECKBOX || items[i].Type == DI_RADIOBUTTON) {
      Log("  item %d selected %d", i, items[i].Selected);
    } else if (items[i].Type == DI_EDIT || items[i].Type == DI_PSWEDIT ||
               items[i].Type == DI_FIXEDIT || items[i].Type == DI_COMBOBOX) {
      Log("  item %d data [%s]", i, items[i].Data);
    }
  }
}

FarListItem g_list[3];
FarList g_farlist{3, g_list};

void RunDialog() {
  FarDialogItem d[20];
  std::memset(d, 0, sizeof d);
  auto set = [&](int i, int type, int x1, int y1, int x2, int y2, DWORD flags, const char* data) {
    d[i].Type = type;
    d[i].X1 = x1;
    d[i].Y1 = y1;
    d[i].X2 = x2;
    d[i].Y2 = y2;
    d[i].Flags = flags;
    std::snprintf(d[i].Data, sizeof d[i].Data, "%s", data);
  };
  set(0, DI_DOUBLEBOX, 3, 1, 52, 16, 0, "All items");
  set(1, DI_TEXT, 5, 2, 0, 0, 0, "&Name:");
  set(2, DI_EDIT, 12, 2, 30, 0, DIF_HISTORY, "Ann");
  d[2].History = "TestName";
  set(3, DI_PSWEDIT, 32, 2, 40, 0, 0, "pw");
  set(4, DI_FIXEDIT, 42, 2, 46, 0, DIF_MASKEDIT, "1234");
  d[4].Mask = "99:99";
  set(5, DI_TEXT, 5, 3, 0, 0, DIF_SEPARATOR, "Notes");
  set(6, DI_EDIT, 5, 4, 50, 0, DIF_EDITOR, "line one");
  set(7, DI_EDIT, 5, 5, 50, 0, DIF_EDITOR, "");
  set(8, DI_EDIT, 5, 6, 50, 0, DIF_EDITOR, "");
  set(9, DI_SINGLEBOX, 5, 7, 50, 10, 0, "Kind");
  set(10, DI_RADIOBUTTON, 7, 8, 0, 0, DIF_GROUP, "&Home");
  set(11, DI_RADIOBUTTON, 20, 8, 0, 0, 0, "&Office");
  d[10].Selected = 1;
  set(12, DI_CHECKBOX, 7, 9, 0, 0, 0, "&Private");
  set(13, DI_CHECKBOX, 22, 9, 0, 0, DIF_3STATE, "&Maybe");
  d[13].Selected = 2;
  set(14, DI_COMBOBOX, 5, 11, 20, 0, DIF_DROPDOWNLIST, "");
  for (int k = 0; k < 3; ++k) {
    std::memset(&g_list[k], 0, sizeof g_list[k]);
    std::snprintf(g_list[k].Text, sizeof g_list[k].Text, "%s",
                  k == 0   ? "red"
                  : k == 1 ? "green"
                           : "blue");
  }
  g_list[1].Flags = LIF_SELECTED;
  d[14].ListItems = &g_farlist;
  set(15, DI_TEXT, -1, 12, 0, 0, 0, "Centred");
  set(16, DI_VTEXT, 50, 11, 0, 0, 0, "ab");
  set(17, DI_TEXT, 5, 13, 0, 0, DIF_SEPARATOR, "");
  set(18, DI_BUTTON, 0, 14, 0, 0, DIF_CENTERGROUP, "OK");
  d[18].DefaultButton = 1;
  set(19, DI_BUTTON, 0, 14, 0, 0, DIF_CENTERGROUP, "&Cancel");
  d[2].Focus = 1;
  int r = g_info.Dialog(g_info.ModuleNumber, -1, -1, 56, 18, "AllItems", d, 20);
  LogDialog(r, d, 20);
  for (int k = 0; k < 3; ++k)
    Log("  list %d flags %s", k, (g_list[k].Flags & LIF_SELECTED) ? "selected" : "-");
}

// Fixed-width edits one and three cells wide (a hot-key field, a short code).
void RunFixedDialog() {
  FarDialogItem d[4];
  std::memset(d, 0, sizeof d);
  d[0].Type = DI_DOUBLEBOX;
  d[0].X1 = 3;
  d[0].Y1 = 1;
  d[0].X2 = 20;
  d[0].Y2 = 4;
  std::strcpy(d[0].Data, "Fixed");
  d[1].Type = DI_FIXEDIT;
  d[1].X1 = d[1].X2 = 7;
  d[1].Y1 = 2;
  std::strcpy(d[1].Data, "3");
  d[1].Focus = 1;
  d[2].Type = DI_FIXEDIT;
  d[2].X1 = 10;
  d[2].X2 = 12;
  d[2].Y1 = 2;
  d[3].Type = DI_BUTTON;
  d[3].X1 = 15;
  d[3].Y1 = 3;
  d[3].DefaultButton = 1;
  std::strcpy(d[3].Data, "OK");
  int r = g_info.Dialog(g_info.ModuleNumber, -1, -1, 24, 6, nullptr, d, 4);
  LogDialog(r, d, 4);
}

void RunMenu() {
  FarMenuItem items[4];
  std::memset(items, 0, sizeof items);
  std::strcpy(items[0].Text, "&First");
  std::strcpy(items[1].Text, "Second");
  items[2].Separator = 1;
  std::strcpy(items[3].Text, "Third");
  items[3].Checked = 1;
  items[1].Selected = 1;
  const int breaks[] = {VK_F4, VK_DELETE | (PKF_SHIFT << 16), 0};
  int code = 99;
  int r = g_info.Menu(g_info.ModuleNumber, -1, -1, 0, FMENU_WRAPMODE | FMENU_AUTOHIGHLIGHT, "Pick",
                      "Bottom", "Menu", breaks, &code, items, 4);
  Log("Menu result %d break %d", r, code);
}

// A menu without items: it still waits for its break keys (Ins adds to an empty list).
void RunEmptyMenu() {
  const int breaks[] = {VK_INSERT, VK_F4, 0};
  int code = 99;
  int r = g_info.Menu(g_info.ModuleNumber, -1, -1, 0, FMENU_WRAPMODE, "Empty", "Ins", "Menu",
                      breaks, &code, nullptr, 0);
  Log("Menu result %d break %d", r, code);
  code = 99;
  r = g_info.Menu(g_info.ModuleNumber, -1, -1, 0, 0, "None", nullptr, nullptr, nullptr, &code,
                  nullptr, 0);
  Log("Menu result %d break %d", r, code);
}

// Items whose tabs line their parts up in columns, as the token menus of the field types do.
void RunTabMenu() {
  FarMenuItem items[4];
  std::memset(items, 0, sizeof items);
  std::strcpy(items[0].Text, "Phone number\t\t%P");
  std::strcpy(items[1].Text, "&Comment\t\t%C");
  std::strcpy(items[2].Text, "Plain");
  std::strcpy(items[3].Text, "漢字\tW");
  int r = g_info.Menu(g_info.ModuleNumber, -1, -1, 0, 0, "Tabs", nullptr, nullptr, nullptr, nullptr,
                      items, 4);
  Log("Menu result %d", r);
}

void LogPanelInfo(int command) {
  PanelInfo info;
  if (!g_info.Control(INVALID_HANDLE_VALUE, command, &info)) {
    Log("Control %d failed", command);
    return;
  }
  std::string names, sel;
  for (int i = 0; i < info.ItemsNumber; ++i)
    names += std::string(i ? "," : "") + info.PanelItems[i].FindData.cFileName + "#" +
             std::to_string(UserNumber(info.PanelItems[i]));
  for (int i = 0; i < info.SelectedItemsNumber; ++i)
    sel += std::string(i ? "," : "") + info.SelectedItems[i].FindData.cFileName;
  Log("PanelInfo plugin=%d items=[%s] selected=[%s] current=%d view=%d dir=[%s]", info.Plugin,
      names.c_str(), sel.c_str(), info.CurrentItem, info.ViewMode, info.CurDir);
}

}  // namespace

#define EXPORT __attribute__((visibility("default")))

extern "C" {

EXPORT void SetStartupInfo(const PluginStartupInfo* info) {
  std::memcpy(&g_info, info, sizeof g_info);
  const char* slash = std::strrchr(info->ModuleName, '/');
  Log("SetStartupInfo size=%d module=%s absolute=%d root=%s", info->StructSize,
      slash ? slash + 1 : info->ModuleName, info->ModuleName[0] == '/', info->RootKey);
  InitTree();
  std::memset(g_modes, 0, sizeof g_modes);
  g_modes[0] = PanelMode{"N,N", "0,0", kTitles0, 0, 0, 0, 0, "Z", "0", {0, 0}};
  g_modes[1] = PanelMode{"N,Z", "12,0", kTitles1, 0, 0, 0, 0, "Z", "0", {0, 0}};
  g_modes[2] = PanelMode{"N,Z", "0,12", kTitles1, 0, 0, 0, 0, "N", "0", {0, 0}};
  std::memset(&g_keybar, 0, sizeof g_keybar);
  g_keybar.Titles[6] = g_newdir;
  g_keybar.Titles[7] = g_empty;
  g_keybar.AltTitles[2] = g_test;
  g_keybar.CtrlTitles[0] = g_ctrl;
}

EXPORT void GetPluginInfo(PluginInfo* info) {
  static const char* const kDisk[] = {"Test Panel"};
  static int numbers[] = {3};
  static const char* const kMenu[] = {"Test Plug-in"};
  static const char* const kConfig[] = {"Test Config"};
  info->StructSize = sizeof *info;
  info->DiskMenuStrings = kDisk;
  info->DiskMenuNumbers = numbers;
  info->DiskMenuStringsNumber = std::getenv("QB_TEST_NO_DISK") ? 0 : 1;
  info->PluginMenuStrings = kMenu;
  info->PluginMenuStringsNumber = 1;
  info->PluginConfigStrings = kConfig;
  info->PluginConfigStringsNumber = 1;
  info->CommandPrefix = "tp";
  Log("GetPluginInfo");
}

EXPORT HANDLE OpenPlugin(int from, intptr_t item) {
  if (from == OPEN_COMMANDLINE) {
    const char* text = reinterpret_cast<const char*>(item);
    Log("OpenPlugin %d [%s]", from, text);
    std::string dir = text;
    if (!dir.empty() && dir[0] != '\\') dir = "\\" + dir;
    if (!g_tree.count(dir)) return INVALID_HANDLE_VALUE;
    return new Panel{dir};
  }
  Log("OpenPlugin %d %d", from, static_cast<int>(item));
  return new Panel{""};
}

EXPORT void ClosePlugin(HANDLE h) {
  Log("ClosePlugin %s", static_cast<Panel*>(h)->dir.c_str());
  delete static_cast<Panel*>(h);
}

EXPORT void GetOpenPluginInfo(HANDLE h, OpenPluginInfo* info) {
  auto* p = static_cast<Panel*>(h);
  info->StructSize = sizeof *info;
  info->Flags = OPIF_ADDDOTS | OPIF_SHOWNAMESONLY;
  info->CurDir = p->dir.c_str();
  info->PanelTitle = "TestPanel";
  info->PanelModesArray = g_modes;
  info->PanelModesNumber = 3;
  info->StartPanelMode = '1';
  info->StartSortMode = SM_NAME;
  info->KeyBar = &g_keybar;
}

EXPORT int GetFindData(HANDLE h, PluginPanelItem** items, int* count, int mode) {
  auto* p = static_cast<Panel*>(h);
  Log("GetFindData %s %d", p->dir.c_str(), mode);
  auto& folder = g_tree[p->dir];
  *count = static_cast<int>(folder.size());
  *items = static_cast<PluginPanelItem*>(std::calloc(folder.size() + 1, sizeof(PluginPanelItem)));
  int i = 0;
  for (auto& [name, node] : folder) FillItem((*items)[i++], name, node);
  return 1;
}

EXPORT void FreeFindData(HANDLE, PluginPanelItem* items, int count) {
  for (int i = 0; i < count; ++i) {
    std::free(items[i].Description);
    // Poisoned before freeing: a host that kept pointers into the array shows garbage.
    std::memset(reinterpret_cast<void*>(items[i].UserData), 0xEE, 2 * sizeof(DWORD));
    std::free(reinterpret_cast<void*>(items[i].UserData));
    std::memset(&items[i], 0xEE, sizeof items[i]);
  }
  std::free(items);
}

EXPORT int Compare(HANDLE, const PluginPanelItem* a, const PluginPanelItem* b, unsigned int mode) {
  // "zeta" goes before every other item; the rest is left to the host's order.
  bool za = std::strcmp(a->FindData.cFileName, "zeta") == 0;
  bool zb = std::strcmp(b->FindData.cFileName, "zeta") == 0;
  if (mode == SM_NAME && za != zb) return za ? -1 : 1;
  return -2;
}

EXPORT int SetDirectory(HANDLE h, const char* dir, int mode) {
  auto* p = static_cast<Panel*>(h);
  Log("SetDirectory [%s] %d", dir, mode);
  if (std::strcmp(dir, "..") == 0) {
    if (p->dir.empty()) {
      g_info.Control(h, FCTL_CLOSEPLUGIN, const_cast<char*>(""));
      return 1;
    }
    p->dir = p->dir.substr(0, p->dir.rfind('\\'));
    return 1;
  }
  std::string next = p->dir + "\\" + dir;
  if (!g_tree.count(next)) return 0;
  p->dir = next;
  return 1;
}

EXPORT int MakeDirectory(HANDLE h, char* name, int mode) {
  auto* p = static_cast<Panel*>(h);
  FarDialogItem d[3];
  std::memset(d, 0, sizeof d);
  d[0].Type = DI_DOUBLEBOX;
  d[0].X1 = 3, d[0].Y1 = 1, d[0].X2 = 36, d[0].Y2 = 4;
  std::strcpy(d[0].Data, "Make folder");
  d[1].Type = DI_EDIT;
  d[1].X1 = 5, d[1].Y1 = 2, d[1].X2 = 34;
  std::strcpy(d[1].Data, "New");
  d[2].Type = DI_BUTTON;
  d[2].Y1 = 3;
  d[2].Flags = DIF_CENTERGROUP;
  d[2].DefaultButton = 1;
  std::strcpy(d[2].Data, "Make");
  int r = g_info.Dialog(g_info.ModuleNumber, -1, -1, 40, 6, nullptr, d, 3);
  Log("MakeDirectory mode %d dialog %d [%s]", mode, r, d[1].Data);
  if (r < 0) return -1;
  g_tree[p->dir][d[1].Data] = {"made", true};
  g_tree[p->dir + "\\" + d[1].Data];
  std::snprintf(name, NM, "%s", d[1].Data);
  return 1;
}

EXPORT int DeleteFiles(HANDLE h, PluginPanelItem* items, int count, int mode) {
  auto* p = static_cast<Panel*>(h);
  std::string names;
  for (int i = 0; i < count; ++i) {
    names += std::string(i ? "," : "") + items[i].FindData.cFileName + "#" +
             std::to_string(UserNumber(items[i]));
    g_tree[p->dir].erase(items[i].FindData.cFileName);
  }
  Log("DeleteFiles [%s] %d", names.c_str(), mode);
  return 1;
}

EXPORT int GetFiles(HANDLE h, PluginPanelItem* items, int count, int move, char* dest, int mode) {
  auto* p = static_cast<Panel*>(h);
  std::string names;
  for (int i = 0; i < count; ++i) {
    names += std::string(i ? "," : "") + items[i].FindData.cFileName;
    std::string path = std::string(dest) + "/" + items[i].FindData.cFileName + ".txt";
    if (FILE* f = std::fopen(path.c_str(), "w")) {
      std::fputs(items[i].Description ? items[i].Description : "", f);
      std::fclose(f);
    }
    if (move) g_tree[p->dir].erase(items[i].FindData.cFileName);
  }
  const char* slash = std::strrchr(dest, '/');
  Log("GetFiles [%s] move=%d dest=%s mode=%d", names.c_str(), move, slash ? slash + 1 : dest, mode);
  return 1;
}

EXPORT int PutFiles(HANDLE h, PluginPanelItem* items, int count, int move, int mode) {
  auto* p = static_cast<Panel*>(h);
  std::string names;
  for (int i = 0; i < count; ++i) {
    const char* name = items[i].FindData.cFileName;
    names += std::string(i ? "," : "") + name;
    // The file is read from the working directory, which the host sets to the source panel's.
    std::string text;
    if (FILE* f = std::fopen(name, "r")) {
      char buf[64] = "";
      if (std::fgets(buf, sizeof buf, f)) text = buf;
      std::fclose(f);
    }
    g_tree[p->dir][name] = {text.empty() ? "put" : text, false};
  }
  Log("PutFiles [%s] move=%d mode=%d", names.c_str(), move, mode);
  return 1;
}

EXPORT int ProcessKey(HANDLE h, int key, unsigned int control) {
  // The keys the tests press to make the plug-in call a service; every other key is the host's.
  struct KeyAction {
    int key;
    unsigned control;
    void (*run)(HANDLE h);
  };
  static const KeyAction kActions[] = {
      {VK_F4, PKF_SHIFT, [](HANDLE) { RunDialog(); }},
      {VK_F3, PKF_ALT, [](HANDLE) { RunMenu(); }},
      {VK_F6, PKF_ALT, [](HANDLE) { RunFixedDialog(); }},
      {VK_F5, PKF_ALT, [](HANDLE) { RunTabMenu(); }},
      {VK_F4, PKF_ALT, [](HANDLE) { RunEmptyMenu(); }},
      {VK_F3, PKF_SHIFT,
       [](HANDLE) {
         const char* lines[] = {
             "Question", "Delete the item?", "\x01", "It can't be undone", "&Yes", "&No"};
         Log("Message result %d",
             g_info.Message(g_info.ModuleNumber, FMSG_WARNING, "Q", lines, 6, 2));
       }},
      {VK_F5, PKF_SHIFT,
       [](HANDLE) {
         const char* lines[] = {"Working", "Please wait"};
         Log("Message result %d", g_info.Message(g_info.ModuleNumber, 0, nullptr, lines, 2, 0));
       }},
      {VK_F5, PKF_CONTROL,
       [](HANDLE) {
         // Progress, then a question in the same call.
         const char* progress[] = {"Working", "Please wait"};
         g_info.Message(g_info.ModuleNumber, 0, nullptr, progress, 2, 0);
         const char* lines[] = {"Question", "Go on?", "&Yes", "&No"};
         Log("Message result %d", g_info.Message(g_info.ModuleNumber, 0, "Q", lines, 4, 2));
       }},
      {VK_F6, PKF_SHIFT,
       [](HANDLE) {
         Log("GetMsg [%s] [%s] [%s]", g_info.GetMsg(g_info.ModuleNumber, 0),
             g_info.GetMsg(g_info.ModuleNumber, 2), g_info.GetMsg(g_info.ModuleNumber, 99));
       }},
      {VK_F7, PKF_SHIFT,
       [](HANDLE) {
         LogPanelInfo(FCTL_GETPANELINFO);
         LogPanelInfo(FCTL_GETANOTHERPANELINFO);
       }},
      {VK_F8, PKF_SHIFT,
       [](HANDLE h) {
         int mode = 2;
         g_info.Control(h, FCTL_SETVIEWMODE, &mode);
         g_tree[static_cast<Panel*>(h)->dir]["added"] = {"Added later", false};
         g_info.Control(h, FCTL_UPDATEPANEL, reinterpret_cast<void*>(1));
         PanelRedrawInfo ri{2, 0};
         g_info.Control(h, FCTL_REDRAWPANEL, &ri);
       }},
      {VK_F9, PKF_SHIFT,
       [](HANDLE) {
         PluginPanelItem* items = nullptr;
         int count = 0;
         const char* dir = std::getenv("QB_TEST_DIRLIST");
         int ok = g_info.GetDirList(dir ? dir : "/nonexistent", &items, &count);
         std::string names;
         for (int i = 0; i < count; ++i)
           names += std::string(i ? "," : "") + items[i].FindData.cFileName +
                    ((items[i].FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "/" : "");
         Log("GetDirList %d [%s]", ok, names.c_str());
         g_info.FreeDirList(items);
       }},
      {VK_F10, PKF_SHIFT,
       [](HANDLE) {
         auto set = reinterpret_cast<PFN_QbSetTimer>(dlsym(RTLD_DEFAULT, QB_SET_TIMER_NAME));
         g_timer = set ? set(1000, TimerTick) : 0;
         Log("SetTimer %s", g_timer ? "ok" : "missing");
       }},
      {VK_F11, PKF_SHIFT,
       [](HANDLE) {
         auto set =
             reinterpret_cast<PFN_QbSetClipboard>(dlsym(RTLD_DEFAULT, QB_SET_CLIPBOARD_NAME));
         Log("SetClipboard %d", set ? set("from the plug-in") : -1);
       }},
      {'Q', PKF_CONTROL,
       [](HANDLE h) { g_info.Control(h, FCTL_CLOSEPLUGIN, const_cast<char*>("/")); }},
  };
  for (const KeyAction& a : kActions) {
    if (a.key == key && a.control == control) {
      a.run(h);
      return 1;
    }
  }
  return 0;
}

EXPORT int Configure(int n) {
  Log("Configure %d", n);
  return 1;
}

EXPORT void ExitFAR() {
  Log("ExitFAR");
}

}  // extern "C"
