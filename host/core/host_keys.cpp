// What the keys do: the plug-in's ProcessKey first, then the host's own panel keys.
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "host/core/host.h"
#include "host/core/keys.h"

namespace qb::host {

namespace {

std::string LastComponent(const std::string& path) {
  std::string p = path;
  while (!p.empty() && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  size_t cut = p.find_last_of("\\/");
  return cut == std::string::npos ? p : p.substr(cut + 1);
}

std::string ParentDir(const std::string& dir) {
  if (dir == "/" || dir.empty()) return "/";
  size_t cut = dir.find_last_of('/');
  return cut == 0 || cut == std::string::npos ? "/" : dir.substr(0, cut);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  return dir + (dir.empty() || dir.back() == '/' ? "" : "/") + name;
}

FarMenuItem MenuItem(const std::string& text, bool selected = false) {
  FarMenuItem item;
  std::memset(&item, 0, sizeof item);
  std::snprintf(item.Text, sizeof item.Text, "%s", text.c_str());
  item.Selected = selected ? 1 : 0;
  return item;
}

}  // namespace

std::vector<PanelEntry*> Host::SelectionOrCurrent(Panel& p) {
  std::vector<PanelEntry*> out;
  for (PanelEntry& e : p.entries) {
    if (e.selected && !e.dots) out.push_back(&e);
  }
  if (out.empty() && p.Current() && !p.Current()->dots) out.push_back(&p.entries[p.current]);
  return out;
}

bool Host::PassToPlugin(const Event& ev) {
  Panel& p = panels_[active_];
  if (!p.is_plugin() || !plugin_.fn().ProcessKey || ev.vk == 0) return false;
  int handled = plugin_.fn().ProcessKey(p.plugin(), ev.vk, ev.control);
  FinishCloseRequests();
  if (panels_[active_].is_plugin()) RefreshPluginState(panels_[active_]);
  return handled != 0;
}

bool Host::CommandLineKey(const Event& ev) {
  std::u32string text = DecodeUtf8(cmdline_);
  cmd_cursor_ = std::min(cmd_cursor_, text.size());
  const bool plain = (ev.control & (PKF_CONTROL | PKF_ALT)) == 0;
  if (ev.ch >= 0x20 && plain) {
    text.insert(text.begin() + static_cast<std::ptrdiff_t>(cmd_cursor_), ev.ch);
    ++cmd_cursor_;
  } else if (text.empty()) {
    return false;
  } else if (ev.vk == VK_BACK && plain) {
    if (cmd_cursor_ > 0) text.erase(--cmd_cursor_, 1);
  } else if (ev.vk == VK_DELETE && plain) {
    if (cmd_cursor_ < text.size()) text.erase(cmd_cursor_, 1);
  } else if (ev.vk == VK_LEFT && plain) {
    if (cmd_cursor_ > 0) --cmd_cursor_;
  } else if (ev.vk == VK_RIGHT && plain) {
    if (cmd_cursor_ < text.size()) ++cmd_cursor_;
  } else if (ev.vk == VK_HOME && plain) {
    cmd_cursor_ = 0;
  } else if (ev.vk == VK_END && plain) {
    cmd_cursor_ = text.size();
  } else if (ev.vk == VK_ESCAPE && plain) {
    text.clear();
    cmd_cursor_ = 0;
  } else if (ev.vk == VK_RETURN && plain) {
    ExecuteCommandLine();
    return true;
  } else {
    return false;
  }
  cmdline_ = EncodeUtf8(text);
  return true;
}

void Host::HandleKey(const Event& ev) {
  // A command being typed takes Enter and the editing keys before the plug-in sees them.
  if (!cmdline_.empty() && ev.vk != VK_TAB && CommandLineKey(ev)) return;
  if (PassToPlugin(ev)) return;
  Panel& p = panels_[active_];
  const unsigned c = ev.control;
  const int page = ItemsPerPage(p);
  const int rows = ItemRows();
  const int n = static_cast<int>(p.entries.size());
  if (c == 0) {
    switch (ev.vk) {
      case VK_TAB:
        active_ = 1 - active_;
        return;
      case VK_UP:
        p.current = std::max(0, p.current - 1);
        return;
      case VK_DOWN:
        p.current = std::min(n - 1, p.current + 1);
        return;
      case VK_LEFT:
        p.current = std::max(0, p.current - rows);
        return;
      case VK_RIGHT:
        p.current = std::min(n - 1, p.current + rows);
        return;
      case VK_PRIOR:
        p.current = std::max(0, p.current - page + 1);
        return;
      case VK_NEXT:
        p.current = std::min(n - 1, p.current + page - 1);
        return;
      case VK_HOME:
        p.current = 0;
        return;
      case VK_END:
        p.current = std::max(0, n - 1);
        return;
      case VK_INSERT:
        if (PanelEntry* e = const_cast<PanelEntry*>(p.Current())) {
          if (!e->dots) e->selected = !e->selected;
          p.current = std::min(n - 1, p.current + 1);
        }
        return;
      case VK_RETURN:
        EnterCurrent();
        return;
      case VK_F3:
      case VK_F4:
        ViewEdit(ev.vk == VK_F4);
        return;
      case VK_F5:
      case VK_F6:
        CopyMove(ev.vk == VK_F6);
        return;
      case VK_F7:
        MakeFolder();
        return;
      case VK_F8:
      case VK_DELETE:
        DeleteItems();
        return;
      case VK_F9:
        ConfigMenu();
        return;
      case VK_F10:
        exit_ = true;
        return;
      case VK_F11:
        PluginsMenu();
        return;
      default:
        break;
    }
  }
  if (c == PKF_SHIFT && ev.vk == VK_DELETE) {
    DeleteItems();
    return;
  }
  if (c == PKF_ALT && (ev.vk == VK_F1 || ev.vk == VK_F2)) {
    DisksMenu(ev.vk == VK_F1 ? 0 : 1);
    return;
  }
  if (c == PKF_CONTROL) {
    if (ev.vk >= '0' && ev.vk <= '9') {
      SetViewMode(active_, ev.vk - '0');
      return;
    }
    if (ev.vk == 'R') {
      Reread(active_, true);
      if (panels_[1 - active_].is_plugin() == false) Reread(1 - active_, true);
      return;
    }
    if (ev.vk == VK_PRIOR) {
      if (p.Current() && n > 0 && p.entries[0].dots) {
        p.current = 0;
        EnterCurrent();
      }
      return;
    }
    if (ev.vk == VK_INSERT) {
      std::string text;
      for (PanelEntry* e : SelectionOrCurrent(p)) {
        if (!text.empty()) text += "\n";
        text += e->name;
      }
      if (!text.empty()) SetClipboard(text);
      return;
    }
    static const int kSortKeys[][2] = {{VK_F3, SM_NAME},   {VK_F4, SM_EXT},      {VK_F5, SM_MTIME},
                                       {VK_F6, SM_SIZE},   {VK_F7, SM_UNSORTED}, {VK_F8, SM_CTIME},
                                       {VK_F9, SM_ATIME}, {VK_F10, SM_DESCR}};
    for (const auto& k : kSortKeys) {
      if (ev.vk == k[0]) {
        // The same key again turns the order round.
        p.sort_order = p.sort_mode == k[1] ? !p.sort_order : 0;
        p.sort_mode = k[1];
        std::string cur = p.Current() ? p.Current()->name : "";
        SortPanel(p);
        int i = p.Find(cur);
        if (i >= 0) p.current = i;
        return;
      }
    }
  }
  if (ev.ch >= 0x20 && (c & (PKF_CONTROL | PKF_ALT)) == 0) CommandLineKey(ev);
}

void Host::EnterCurrent() {
  Panel& p = panels_[active_];
  const PanelEntry* e = p.Current();
  if (!e) return;
  if (!p.is_plugin()) {
    if (e->dots) {
      std::string left = LastComponent(p.dir);
      OpenFileDir(active_, ParentDir(p.dir), left);
    } else if (e->is_dir()) {
      OpenFileDir(active_, JoinPath(p.dir, e->name));
    }
    return;
  }
  if (!e->is_dir() || !plugin_.fn().SetDirectory) return;
  const bool up = e->dots;
  std::string name = up ? ".." : e->name;
  std::string old_dir = p.state.cur_dir;
  int ok = plugin_.fn().SetDirectory(p.plugin(), name.c_str(), 0);
  FinishCloseRequests();
  Panel& q = panels_[active_];
  if (!q.is_plugin()) return;
  if (!ok) {
    ReadPluginPanel(q, true);
    return;
  }
  ReadPluginPanel(q, false);
  int focus = up ? q.Find(LastComponent(old_dir)) : -1;
  q.current = focus >= 0 ? focus : 0;
  q.top = 0;
}

void Host::ExecuteCommandLine() {
  std::string cmd = cmdline_;
  while (!cmd.empty() && cmd.back() == ' ') cmd.pop_back();
  size_t start = cmd.find_first_not_of(' ');
  cmd = start == std::string::npos ? "" : cmd.substr(start);
  cmdline_.clear();
  cmd_cursor_ = 0;
  if (cmd.empty()) return;
  // The plug-in's prefixes ("quill", or several separated by ":") followed by a colon.
  size_t colon = cmd.find(':');
  if (colon != std::string::npos && plugin_.loaded()) {
    std::string prefix = cmd.substr(0, colon);
    std::string all = plugin_.menus().command_prefix;
    size_t pos = 0;
    while (!prefix.empty() && pos <= all.size()) {
      size_t next = all.find(':', pos);
      if (next == std::string::npos) next = all.size();
      if (strcasecmp(all.substr(pos, next - pos).c_str(), prefix.c_str()) == 0) {
        std::string rest = cmd.substr(colon + 1);
        OpenPluginIn(active_, OPEN_COMMANDLINE, reinterpret_cast<intptr_t>(rest.c_str()));
        return;
      }
      pos = next + 1;
    }
  }
  if (cmd == "cd" || cmd.rfind("cd ", 0) == 0) {
    std::string dir = cmd.size() > 3 ? cmd.substr(3) : "~";
    const char* home = std::getenv("HOME");
    if (!dir.empty() && dir[0] == '~' && home) dir = home + dir.substr(1);
    Panel& p = panels_[active_];
    std::string base = p.is_plugin() ? panels_[1 - active_].dir : p.dir;
    if (dir[0] != '/') dir = JoinPath(base, dir);
    char resolved[PATH_MAX];
    struct stat st;
    if (realpath(dir.c_str(), resolved) && stat(resolved, &st) == 0 && S_ISDIR(st.st_mode)) {
      if (p.is_plugin()) ClosePluginPanel(active_);
      OpenFileDir(active_, resolved);
    } else {
      const char* lines[] = {"Error", "Cannot change to the folder", dir.c_str(), "OK"};
      Message(FMSG_WARNING, lines, 4, 1);
    }
    return;
  }
  const char* lines[] = {"Command line", "Only \"cd\" and the plug-in's prefix are run here:",
                         cmd.c_str(), "OK"};
  Message(FMSG_WARNING, lines, 4, 1);
}

void Host::DisksMenu(int side) {
  std::vector<FarMenuItem> items;
  const char* home = std::getenv("HOME");
  items.push_back(MenuItem("&/  Root", !panels_[side].is_plugin()));
  items.push_back(MenuItem("&~  Home"));
  const PluginMenus& m = plugin_.menus();
  for (size_t i = 0; i < m.disk_menu.size(); ++i) {
    // The plug-in's hot-key digit, as FAR shows it in front of the entry.
    std::string hot = m.disk_numbers[i] > 0 && m.disk_numbers[i] <= 9
                          ? "&" + std::to_string(m.disk_numbers[i])
                          : " ";
    items.push_back(MenuItem(hot + "  " + m.disk_menu[i], panels_[side].is_plugin() && i == 0));
  }
  if (panels_[side].is_plugin()) items[0].Selected = 0;
  int choice = Menu(-1, -1, 0, FMENU_WRAPMODE, side == 0 ? "Left" : "Right", nullptr, nullptr,
                    nullptr, items.data(), static_cast<int>(items.size()));
  if (choice < 0) return;
  if (choice < 2) {
    std::string dir = choice == 0 ? "/" : (home && *home ? home : "/");
    if (panels_[side].is_plugin()) ClosePluginPanel(side);
    OpenFileDir(side, dir);
    active_ = side;
    return;
  }
  if (OpenPluginIn(side, OPEN_DISKMENU, choice - 2)) active_ = side;
}

void Host::PluginsMenu() {
  const PluginMenus& m = plugin_.menus();
  if (m.plugin_menu.empty()) return;
  std::vector<FarMenuItem> items;
  for (const std::string& s : m.plugin_menu) items.push_back(MenuItem(s));
  int choice = Menu(-1, -1, 0, FMENU_WRAPMODE | FMENU_AUTOHIGHLIGHT, "Plugin commands", nullptr,
                    nullptr, nullptr, items.data(), static_cast<int>(items.size()));
  if (choice >= 0) OpenPluginIn(active_, OPEN_PLUGINSMENU, choice);
}

void Host::ConfigMenu() {
  const PluginMenus& m = plugin_.menus();
  if (m.config_menu.empty() || !plugin_.fn().Configure) return;
  std::vector<FarMenuItem> items;
  for (const std::string& s : m.config_menu) items.push_back(MenuItem(s));
  int choice = Menu(-1, -1, 0, FMENU_WRAPMODE | FMENU_AUTOHIGHLIGHT, "Plugins configuration",
                    nullptr, nullptr, nullptr, items.data(), static_cast<int>(items.size()));
  if (choice < 0) return;
  if (plugin_.fn().Configure(choice)) {
    // Settings such as the disks-menu entry may have changed.
    plugin_.RefreshInfo();
    for (int side = 0; side < 2; ++side) {
      if (panels_[side].is_plugin()) Reread(side, true);
    }
  }
}

void Host::CopyMove(bool move) {
  Panel& src = panels_[active_];
  Panel& dst = panels_[1 - active_];
  std::vector<PanelEntry*> chosen = SelectionOrCurrent(src);
  if (chosen.empty()) return;
  std::vector<PluginPanelItem> items;
  std::vector<std::vector<char*>> custom(chosen.size());
  for (size_t i = 0; i < chosen.size(); ++i) items.push_back(MakeItem(*chosen[i], custom[i]));
  const int count = static_cast<int>(items.size());
  const auto& fn = plugin_.fn();
  if (src.is_plugin() && dst.is_plugin()) {
    const char* lines[] = {"Copy", "Copying between two plug-in panels is not supported", "OK"};
    Message(FMSG_WARNING, lines, 3, 1);
    return;
  }
  if (src.is_plugin()) {
    if (!fn.GetFiles) return;
    char dest[NM];
    std::snprintf(dest, sizeof dest, "%s", dst.dir.c_str());
    int ok = fn.GetFiles(src.plugin(), items.data(), count, move ? 1 : 0, dest, 0);
    FinishCloseRequests();
    Reread(active_, ok != 1);
    Reread(1 - active_, true);
    return;
  }
  if (dst.is_plugin()) {
    if (!fn.PutFiles) return;
    // The plug-in reads the files relative to the working directory, as FAR's is the source
    // panel's directory.
    if (chdir(src.dir.c_str()) != 0) return;
    int ok = fn.PutFiles(dst.plugin(), items.data(), count, move ? 1 : 0, 0);
    FinishCloseRequests();
    Reread(active_, ok != 1);
    Reread(1 - active_, true);
    return;
  }
  // Two file panels: the host copies itself.
  std::string question = std::string(move ? "Move " : "Copy ") +
                         (count == 1 ? "\"" + chosen[0]->name + "\"" : std::to_string(count) + " items") +
                         " to";
  const char* lines[] = {move ? "Rename/Move" : "Copy", question.c_str(), dst.dir.c_str(),
                         move ? "Move" : "Copy", "Cancel"};
  if (Message(0, lines, 5, 2) != 0) return;
  namespace fs = std::filesystem;
  for (PanelEntry* e : chosen) {
    std::error_code ec;
    fs::path from = JoinPath(src.dir, e->name), to = JoinPath(dst.dir, e->name);
    if (move) {
      fs::rename(from, to, ec);
    } else {
      fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    }
    if (ec) {
      std::string msg = ec.message();
      const char* err[] = {"Error", from.c_str(), msg.c_str(), "OK"};
      Message(FMSG_WARNING, err, 4, 1);
      break;
    }
    e->selected = false;
  }
  Reread(active_, true);
  Reread(1 - active_, true);
}

void Host::DeleteItems() {
  Panel& p = panels_[active_];
  std::vector<PanelEntry*> chosen = SelectionOrCurrent(p);
  if (chosen.empty()) return;
  if (p.is_plugin()) {
    if (!plugin_.fn().DeleteFiles) return;
    std::vector<PluginPanelItem> items;
    std::vector<std::vector<char*>> custom(chosen.size());
    for (size_t i = 0; i < chosen.size(); ++i) items.push_back(MakeItem(*chosen[i], custom[i]));
    int ok = plugin_.fn().DeleteFiles(p.plugin(), items.data(), static_cast<int>(items.size()), 0);
    FinishCloseRequests();
    Reread(active_, ok != 1);
    return;
  }
  std::string what = chosen.size() == 1 ? "\"" + chosen[0]->name + "\""
                                        : std::to_string(chosen.size()) + " items";
  std::string question = "Do you wish to delete " + what;
  const char* lines[] = {"Delete", question.c_str(), "Delete", "Cancel"};
  if (Message(FMSG_WARNING, lines, 4, 2) != 0) return;
  for (PanelEntry* e : chosen) {
    std::error_code ec;
    std::filesystem::remove_all(JoinPath(p.dir, e->name), ec);
    if (ec) {
      std::string msg = ec.message();
      const char* err[] = {"Error", e->name.c_str(), msg.c_str(), "OK"};
      Message(FMSG_WARNING, err, 4, 1);
      break;
    }
  }
  Reread(active_, false);
}

void Host::MakeFolder() {
  Panel& p = panels_[active_];
  if (p.is_plugin()) {
    if (!plugin_.fn().MakeDirectory) return;
    char name[NM] = "";
    int r = plugin_.fn().MakeDirectory(p.plugin(), name, 0);
    FinishCloseRequests();
    if (!panels_[active_].is_plugin()) return;
    Reread(active_, true);
    if (r == 1) {
      name[NM - 1] = '\0';
      int i = panels_[active_].Find(name);
      if (i >= 0) panels_[active_].current = i;
    }
    return;
  }
  FarDialogItem items[4];
  std::memset(items, 0, sizeof items);
  items[0] = FarDialogItem{DI_DOUBLEBOX, 3, 1, 68, 6, 0, {0}, 0, 0, "Make folder"};
  items[1] = FarDialogItem{DI_TEXT, 5, 2, 0, 0, 0, {0}, 0, 0, "Create the folder"};
  items[2] = FarDialogItem{DI_EDIT, 5, 3, 66, 0, 1, {0}, 0, 0, ""};
  items[3] = FarDialogItem{DI_BUTTON, 0, 5, 0, 0, 0, {0}, DIF_CENTERGROUP, 1, "OK"};
  int r = Dialog(-1, -1, 72, 8, items, 4);
  if (r < 0 || items[2].Data[0] == '\0') return;
  std::string name = items[2].Data;
  if (mkdir(JoinPath(p.dir, name).c_str(), 0777) != 0) {
    std::string msg = std::strerror(errno);
    const char* err[] = {"Error", "Cannot create the folder", name.c_str(), msg.c_str(), "OK"};
    Message(FMSG_WARNING, err, 5, 1);
    return;
  }
  Reread(active_, true);
  int i = panels_[active_].Find(name);
  if (i >= 0) panels_[active_].current = i;
}

void Host::ViewEdit(bool edit) {
  Panel& p = panels_[active_];
  const PanelEntry* e = p.Current();
  if (p.is_plugin() || !e || e->is_dir()) return;
  const char* env = std::getenv(edit ? "EDITOR" : "PAGER");
  std::string program = env && *env ? env : (edit ? "vi" : "less");
  std::string path = JoinPath(p.dir, e->name);
  if (fe_.RunExternal(program, path) < 0) {
    const char* lines[] = {"Error", "Cannot run", program.c_str(), "OK"};
    Message(FMSG_WARNING, lines, 4, 1);
  }
  Reread(active_, true);
}

}  // namespace qb::host
