#include "host/core/panel_commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "host/core/command_line.h"
#include "host/core/host.h"
#include "host/core/host_text.h"
#include "platform/codepage/codepage.h"
#include "platform/paths/paths.h"

namespace qb::host {

namespace {

FarMenuItem MenuItem(const std::string& text, bool selected = false) {
  FarMenuItem item;
  std::memset(&item, 0, sizeof item);
  codepage::CopyUtf8Into(text, item.Text, sizeof item.Text);
  item.Selected = selected ? 1 : 0;
  return item;
}

}  // namespace

std::vector<PanelEntry*> PanelCommands::SelectionOrCurrent(Panel& p) {
  std::vector<PanelEntry*> out;
  for (PanelEntry& e : p.entries) {
    if (e.selected && !e.dots) out.push_back(&e);
  }
  if (out.empty() && p.Current() && !p.Current()->dots) out.push_back(&p.entries[p.current]);
  return out;
}

void PanelCommands::EnterCurrent() {
  PanelSet& panels = host_.panels();
  const PluginEntryPoints& fn = host_.plugin().fn();
  const int active = panels.active();
  Panel& p = panels[active];
  const PanelEntry* e = p.Current();
  if (!e) return;
  if (!p.is_plugin()) {
    if (e->dots) {
      std::string left = LastComponent(p.dir);
      panels.OpenFileDir(active, ParentDir(p.dir), left);
    } else if (e->is_dir()) {
      panels.OpenFileDir(active, JoinPath(p.dir, e->name));
    }
    return;
  }
  if (!e->is_dir() || !fn.SetDirectory) return;
  const bool up = e->dots;
  std::string name = up ? ".." : e->name;
  std::string old_dir = p.state.cur_dir;
  int ok = fn.SetDirectory(p.plugin(), name.c_str(), 0);
  panels.FinishCloseRequests();
  Panel& q = panels[active];
  if (!q.is_plugin()) return;
  if (!ok) {
    panels.ReadPluginPanel(q, true);
    return;
  }
  panels.ReadPluginPanel(q, false);
  int focus = up ? q.Find(LastComponent(old_dir)) : -1;
  q.current = focus >= 0 ? focus : 0;
  q.top = 0;
}

void PanelCommands::GoUp() {
  Panel& p = host_.panels().active_panel();
  if (p.Current() && !p.entries.empty() && p.entries[0].dots) {
    p.current = 0;
    EnterCurrent();
  }
}

void PanelCommands::CopyNames() {
  std::string text;
  for (PanelEntry* e : SelectionOrCurrent(host_.panels().active_panel())) {
    if (!text.empty()) text += "\n";
    text += e->name;
  }
  if (!text.empty()) host_.SetClipboard(text);
}

void PanelCommands::RunCommand(const std::string& line) {
  PanelSet& panels = host_.panels();
  const int active = panels.active();
  const PluginModule& plugin = host_.plugin();
  Command cmd = ParseCommand(line, plugin.loaded() ? plugin.menus().command_prefix : "");
  switch (cmd.kind) {
    case Command::kNone:
      return;
    case Command::kPlugin:
      panels.OpenPluginIn(active, OPEN_COMMANDLINE, reinterpret_cast<intptr_t>(cmd.arg.c_str()));
      return;
    case Command::kChangeDir: {
      std::string dir = cmd.arg;
      const char* home = std::getenv("HOME");
      if (!dir.empty() && dir[0] == '~' && home) dir = home + dir.substr(1);
      Panel& p = panels[active];
      std::string base = p.is_plugin() ? panels[1 - active].dir : p.dir;
      if (dir[0] != '/') dir = JoinPath(base, dir);
      char resolved[PATH_MAX];
      struct stat st;
      if (realpath(dir.c_str(), resolved) && stat(resolved, &st) == 0 && S_ISDIR(st.st_mode)) {
        if (p.is_plugin()) panels.ClosePluginPanel(active);
        panels.OpenFileDir(active, resolved);
      } else {
        const char* lines[] = {Text(HostText::kError), Text(HostText::kCannotChangeFolder),
                               dir.c_str(), Text(HostText::kOk)};
        host_.Message(FMSG_WARNING, lines, 4, 1);
      }
      return;
    }
    case Command::kOther: {
      const char* lines[] = {Text(HostText::kCommandLine), Text(HostText::kOnlyCdRuns),
                             cmd.arg.c_str(), Text(HostText::kOk)};
      host_.Message(FMSG_WARNING, lines, 4, 1);
      return;
    }
  }
}

void PanelCommands::DisksMenu(int side) {
  PanelSet& panels = host_.panels();
  std::vector<FarMenuItem> items;
  const char* home = std::getenv("HOME");
  items.push_back(MenuItem("&/  Root", !panels[side].is_plugin()));
  items.push_back(MenuItem("&~  Home"));
  const PluginMenus& m = host_.plugin().menus();
  for (size_t i = 0; i < m.disk_menu.size(); ++i) {
    // The plug-in's hot-key digit, as FAR shows it in front of the entry.
    std::string hot = m.disk_numbers[i] > 0 && m.disk_numbers[i] <= 9
                          ? "&" + std::to_string(m.disk_numbers[i])
                          : " ";
    items.push_back(MenuItem(hot + "  " + m.disk_menu[i], panels[side].is_plugin() && i == 0));
  }
  if (panels[side].is_plugin()) items[0].Selected = 0;
  int choice = host_.Menu(-1, -1, 0, FMENU_WRAPMODE,
                          side == 0 ? Text(HostText::kLeft) : Text(HostText::kRight), nullptr,
                          nullptr, nullptr, items.data(), static_cast<int>(items.size()));
  if (choice < 0) return;
  if (choice < 2) {
    std::string dir = choice == 0 ? "/" : (home && *home ? home : "/");
    if (panels[side].is_plugin()) panels.ClosePluginPanel(side);
    panels.OpenFileDir(side, dir);
    panels.Activate(side);
    return;
  }
  if (panels.OpenPluginIn(side, OPEN_DISKMENU, choice - 2)) panels.Activate(side);
}

void PanelCommands::PluginsMenu() {
  PanelSet& panels = host_.panels();
  const PluginMenus& m = host_.plugin().menus();
  if (m.plugin_menu.empty()) return;
  std::vector<FarMenuItem> items;
  for (const std::string& s : m.plugin_menu) items.push_back(MenuItem(s));
  int choice =
      host_.Menu(-1, -1, 0, FMENU_WRAPMODE | FMENU_AUTOHIGHLIGHT, Text(HostText::kPluginCommands),
                 nullptr, nullptr, nullptr, items.data(), static_cast<int>(items.size()));
  if (choice >= 0) panels.OpenPluginIn(panels.active(), OPEN_PLUGINSMENU, choice);
}

void PanelCommands::ConfigMenu() {
  PanelSet& panels = host_.panels();
  const PluginMenus& m = host_.plugin().menus();
  if (m.config_menu.empty() || !host_.plugin().fn().Configure) return;
  std::vector<FarMenuItem> items;
  for (const std::string& s : m.config_menu) items.push_back(MenuItem(s));
  int choice = host_.Menu(-1, -1, 0, FMENU_WRAPMODE | FMENU_AUTOHIGHLIGHT,
                          Text(HostText::kPluginsConfiguration), nullptr, nullptr, nullptr,
                          items.data(), static_cast<int>(items.size()));
  if (choice < 0) return;
  if (host_.plugin().fn().Configure(choice)) {
    // Settings such as the disks-menu entry may have changed.
    host_.plugin().RefreshInfo();
    for (int side = 0; side < 2; ++side) {
      if (panels[side].is_plugin()) panels.Reread(side, true);
    }
  }
}

void PanelCommands::CopyMove(bool move) {
  PanelSet& panels = host_.panels();
  Panel& src = panels[panels.active()];
  Panel& dst = panels[1 - panels.active()];
  std::vector<PanelEntry*> chosen = SelectionOrCurrent(src);
  if (chosen.empty()) return;
  std::vector<PluginPanelItem> items;
  std::vector<std::vector<char*>> custom(chosen.size());
  for (size_t i = 0; i < chosen.size(); ++i) items.push_back(MakeItem(*chosen[i], custom[i]));
  const int count = static_cast<int>(items.size());
  const auto& fn = host_.plugin().fn();
  if (src.is_plugin() && dst.is_plugin()) {
    CopyBetweenPlugins(src, dst, items, move);
    return;
  }
  // A plug-in without the copying calls cannot exchange items with the disk: said, not ignored.
  const char* title = move ? Text(HostText::kRenameMove) : Text(HostText::kCopy);
  if (src.is_plugin() && !fn.GetFiles) {
    const char* lines[] = {title, Text(HostText::kPluginCannotGet), Text(HostText::kOk)};
    host_.Message(FMSG_WARNING, lines, 3, 1);
    return;
  }
  if (dst.is_plugin() && !fn.PutFiles) {
    const char* lines[] = {title, Text(HostText::kPluginCannotPut), Text(HostText::kOk)};
    host_.Message(FMSG_WARNING, lines, 3, 1);
    return;
  }
  if (src.is_plugin()) {
    char dest[NM];
    codepage::CopyUtf8Into(dst.dir, dest, sizeof dest);
    int ok = fn.GetFiles(src.plugin(), items.data(), count, move ? 1 : 0, dest, 0);
    panels.FinishCloseRequests();
    panels.Reread(panels.active(), ok != 1);
    panels.Reread(1 - panels.active(), true);
    return;
  }
  if (dst.is_plugin()) {
    // The plug-in reads the files relative to the working directory, as FAR's is the source
    // panel's directory.
    if (chdir(src.dir.c_str()) != 0) return;
    int ok = fn.PutFiles(dst.plugin(), items.data(), count, move ? 1 : 0, 0);
    panels.FinishCloseRequests();
    panels.Reread(panels.active(), ok != 1);
    panels.Reread(1 - panels.active(), true);
    return;
  }
  // Two file panels: the host copies itself.
  const std::string what =
      count == 1 ? "\"" + chosen[0]->name + "\"" : Format(HostText::kItems, count);
  const std::string question =
      Format(move ? HostText::kMoveQuestion : HostText::kCopyQuestion, what.c_str());
  const char* lines[] = {Text(move ? HostText::kRenameMove : HostText::kCopy), question.c_str(),
                         dst.dir.c_str(), Text(move ? HostText::kMove : HostText::kCopy),
                         Text(HostText::kCancel)};
  if (host_.Message(0, lines, 5, 2) != 0) return;
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
      const char* err[] = {Text(HostText::kError), from.c_str(), msg.c_str(), Text(HostText::kOk)};
      host_.Message(FMSG_WARNING, err, 4, 1);
      break;
    }
    src.Select(*e, false);
  }
  panels.Reread(panels.active(), true);
  panels.Reread(1 - panels.active(), true);
}

void PanelCommands::CopyBetweenPlugins(Panel& src, Panel& dst, std::vector<PluginPanelItem>& items,
                                       bool move) {
  PanelSet& panels = host_.panels();
  const auto& fn = host_.plugin().fn();
  if (!fn.GetFiles || !fn.PutFiles) return;
  namespace fs = std::filesystem;
  // The files pass through a folder of the host's own, which goes again whatever happens.
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec) base = "/tmp";
  std::string pattern = (base / "quillbox-copy-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    std::string msg = std::strerror(errno);
    const char* err[] = {"Error", "Cannot create a temporary folder", msg.c_str(), "OK"};
    host_.Message(FMSG_WARNING, err, 4, 1);
    return;
  }
  const std::string temp = pattern;
  const HANDLE from = src.plugin(), to = dst.plugin();
  char dest[NM];
  codepage::CopyUtf8Into(temp, dest, sizeof dest);
  int ok = fn.GetFiles(from, items.data(), static_cast<int>(items.size()), 0, dest, OPM_SILENT);
  panels.FinishCloseRequests();
  if (ok == 1 && panels[1 - panels.active()].is_plugin() &&
      panels[1 - panels.active()].plugin() == to) {
    std::vector<PanelEntry> got;
    for (const fs::directory_entry& e : fs::directory_iterator(temp, ec)) {
      struct stat st;
      if (stat(e.path().c_str(), &st) != 0) continue;
      PanelEntry entry;
      entry.find = FindDataOf(st);
      entry.name = e.path().filename().string();
      entry.name.resize(codepage::Utf8CutPoint(entry.name, NM - 1));
      got.push_back(std::move(entry));
    }
    std::vector<PluginPanelItem> put;
    std::vector<std::vector<char*>> custom(got.size());
    for (size_t i = 0; i < got.size(); ++i) put.push_back(MakeItem(got[i], custom[i]));
    char here[PATH_MAX];
    const bool have_here = getcwd(here, sizeof here) != nullptr;
    ok = 0;
    if (chdir(temp.c_str()) == 0) {
      ok = put.empty() ? 1 : fn.PutFiles(to, put.data(), static_cast<int>(put.size()), 0, 0);
      if (have_here && chdir(here) != 0) {
        // Every path the host keeps is absolute: a working directory it cannot go back to
        // changes nothing it does.
      }
    }
    panels.FinishCloseRequests();
    // A move takes the items out of the source only once they are in the target.
    if (ok == 1 && move && fn.DeleteFiles && panels[panels.active()].is_plugin() &&
        panels[panels.active()].plugin() == from) {
      fn.DeleteFiles(from, items.data(), static_cast<int>(items.size()), OPM_SILENT);
      panels.FinishCloseRequests();
    }
  }
  fs::remove_all(temp, ec);
  panels.Reread(panels.active(), ok != 1);
  panels.Reread(1 - panels.active(), true);
}

void PanelCommands::DeleteItems() {
  PanelSet& panels = host_.panels();
  Panel& p = panels[panels.active()];
  std::vector<PanelEntry*> chosen = SelectionOrCurrent(p);
  if (chosen.empty()) return;
  if (p.is_plugin()) {
    if (!host_.plugin().fn().DeleteFiles) return;
    std::vector<PluginPanelItem> items;
    std::vector<std::vector<char*>> custom(chosen.size());
    for (size_t i = 0; i < chosen.size(); ++i) items.push_back(MakeItem(*chosen[i], custom[i]));
    int ok = host_.plugin().fn().DeleteFiles(p.plugin(), items.data(),
                                             static_cast<int>(items.size()), 0);
    panels.FinishCloseRequests();
    panels.Reread(panels.active(), ok != 1);
    return;
  }
  const std::string what = chosen.size() == 1
                               ? "\"" + chosen[0]->name + "\""
                               : Format(HostText::kItems, static_cast<int>(chosen.size()));
  const std::string question = Format(HostText::kDeleteQuestion, what.c_str());
  const char* lines[] = {Text(HostText::kDelete), question.c_str(), Text(HostText::kDelete),
                         Text(HostText::kCancel)};
  if (host_.Message(FMSG_WARNING, lines, 4, 2) != 0) return;
  for (PanelEntry* e : chosen) {
    std::error_code ec;
    std::filesystem::remove_all(JoinPath(p.dir, e->name), ec);
    if (ec) {
      std::string msg = ec.message();
      const char* err[] = {Text(HostText::kError), e->name.c_str(), msg.c_str(),
                           Text(HostText::kOk)};
      host_.Message(FMSG_WARNING, err, 4, 1);
      break;
    }
  }
  panels.Reread(panels.active(), false);
}

void PanelCommands::MakeFolder() {
  PanelSet& panels = host_.panels();
  Panel& p = panels[panels.active()];
  if (p.is_plugin()) {
    if (!host_.plugin().fn().MakeDirectory) return;
    char name[NM] = "";
    int r = host_.plugin().fn().MakeDirectory(p.plugin(), name, 0);
    panels.FinishCloseRequests();
    if (!panels[panels.active()].is_plugin()) return;
    panels.Reread(panels.active(), true);
    if (r == 1) {
      name[NM - 1] = '\0';
      int i = panels[panels.active()].Find(name);
      if (i >= 0) panels[panels.active()].current = i;
    }
    return;
  }
  FarDialogItem items[4];
  std::memset(items, 0, sizeof items);
  items[0] = FarDialogItem{DI_DOUBLEBOX, 3, 1, 68, 6, 0, {0}, 0, 0, ""};
  items[1] = FarDialogItem{DI_TEXT, 5, 2, 0, 0, 0, {0}, 0, 0, ""};
  items[2] = FarDialogItem{DI_EDIT, 5, 3, 66, 0, 1, {0}, 0, 0, ""};
  items[3] = FarDialogItem{DI_BUTTON, 0, 5, 0, 0, 0, {0}, DIF_CENTERGROUP, 1, ""};
  codepage::CopyUtf8Into(Text(HostText::kMakeFolder), items[0].Data, sizeof items[0].Data);
  codepage::CopyUtf8Into(Text(HostText::kCreateTheFolder), items[1].Data, sizeof items[1].Data);
  codepage::CopyUtf8Into(Text(HostText::kOk), items[3].Data, sizeof items[3].Data);
  int r = host_.Dialog(-1, -1, 72, 8, items, 4);
  if (r < 0 || items[2].Data[0] == '\0') return;
  std::string name = items[2].Data;
  if (mkdir(JoinPath(p.dir, name).c_str(), 0777) != 0) {
    std::string msg = std::strerror(errno);
    const char* err[] = {Text(HostText::kError), Text(HostText::kCannotCreateFolder), name.c_str(),
                         msg.c_str(), Text(HostText::kOk)};
    host_.Message(FMSG_WARNING, err, 5, 1);
    return;
  }
  panels.Reread(panels.active(), true);
  int i = panels[panels.active()].Find(name);
  if (i >= 0) panels[panels.active()].current = i;
}

void PanelCommands::ViewEdit(bool edit) {
  PanelSet& panels = host_.panels();
  Panel& p = panels[panels.active()];
  const PanelEntry* e = p.Current();
  if (p.is_plugin() || !e || e->is_dir()) return;
  const char* env = std::getenv(edit ? "EDITOR" : "PAGER");
  std::string program = env && *env ? env : (edit ? "vi" : "less");
  std::string path = JoinPath(p.dir, e->name);
  if (host_.front_end().RunExternal(program, path) < 0) {
    const char* lines[] = {Text(HostText::kError), Text(HostText::kCannotRun), program.c_str(),
                           Text(HostText::kOk)};
    host_.Message(FMSG_WARNING, lines, 4, 1);
  }
  panels.Reread(panels.active(), true);
}

}  // namespace qb::host
