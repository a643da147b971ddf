#include "host/core/key_dispatcher.h"

#include <algorithm>

#include "host/core/find_dialog.h"
#include "host/core/host.h"
#include "host/core/panel_layout.h"
#include "host/core/quick_search.h"

namespace qb::host {

void KeyDispatcher::HandleKey(const Event& ev) {
  // A command being typed takes Enter and the editing keys before the plug-in sees them.
  if (!host_.command_line().empty() && ev.vk != VK_TAB && CommandLineKey(ev)) return;
  if (PassToPlugin(ev)) return;
  if (QuickSearch::Opens(ev)) {
    QuickSearch search(host_, host_.panels().active());
    if (const std::optional<Event> next = search.Run(ev)) {
      if (next->kind == Event::kMouse) {
        HandleClick(*next);
      } else {
        HandleKey(*next);
      }
    }
    return;
  }
  if (PanelKey(ev)) return;
  if (ev.ch >= 0x20 && (ev.control & (PKF_CONTROL | PKF_ALT)) == 0) CommandLineKey(ev);
}

bool KeyDispatcher::CommandLineKey(const Event& ev) {
  CommandLine& line = host_.command_line();
  switch (line.Key(ev)) {
    case CommandLine::kNotMine:
      return false;
    case CommandLine::kEnter:
      commands_.RunCommand(line.Take());
      return true;
    case CommandLine::kEdited:
      return true;
  }
  return false;
}

bool KeyDispatcher::PassToPlugin(const Event& ev) {
  PanelSet& panels = host_.panels();
  const PluginEntryPoints& fn = host_.plugin().fn();
  Panel& p = panels.active_panel();
  if (!p.is_plugin() || !fn.ProcessKey || ev.vk == 0) return false;
  int handled = fn.ProcessKey(p.plugin(), ev.vk, ev.control);
  panels.FinishCloseRequests();
  if (panels.active_panel().is_plugin()) panels.RefreshPluginState(panels.active_panel());
  return handled != 0;
}

bool KeyDispatcher::PanelKey(const Event& ev) {
  PanelSet& panels = host_.panels();
  const int active = panels.active();
  Panel& p = panels[active];
  const unsigned c = ev.control;
  const PanelLayout layout(host_.screen());
  const int page = layout.ItemsPerPage(p);
  const int rows = layout.ItemRows();
  const int n = static_cast<int>(p.entries.size());
  if (c == 0) {
    switch (ev.vk) {
      case VK_TAB:
        panels.Activate(1 - active);
        return true;
      case VK_UP:
        p.current = std::max(0, p.current - 1);
        return true;
      case VK_DOWN:
        p.current = std::min(n - 1, p.current + 1);
        return true;
      case VK_LEFT:
        p.current = std::max(0, p.current - rows);
        return true;
      case VK_RIGHT:
        p.current = std::min(n - 1, p.current + rows);
        return true;
      case VK_PRIOR:
        p.current = std::max(0, p.current - page + 1);
        return true;
      case VK_NEXT:
        p.current = std::min(n - 1, p.current + page - 1);
        return true;
      case VK_HOME:
        p.current = 0;
        return true;
      case VK_END:
        p.current = std::max(0, n - 1);
        return true;
      case VK_INSERT:
        if (p.Current()) {
          PanelEntry& e = p.entries[p.current];
          if (!e.dots) p.Select(e, !e.selected);
          p.current = std::min(n - 1, p.current + 1);
        }
        return true;
      case VK_RETURN:
        commands_.EnterCurrent();
        return true;
      case VK_F3:
      case VK_F4:
        commands_.ViewEdit(ev.vk == VK_F4);
        return true;
      case VK_F5:
      case VK_F6:
        commands_.CopyMove(ev.vk == VK_F6);
        return true;
      case VK_F7:
        commands_.MakeFolder();
        return true;
      case VK_F8:
      case VK_DELETE:
        commands_.DeleteItems();
        return true;
      case VK_F9:
        commands_.ConfigMenu();
        return true;
      case VK_F10:
        host_.Quit();
        return true;
      case VK_F11:
        commands_.PluginsMenu();
        return true;
      default:
        break;
    }
  }
  if (c == PKF_SHIFT && ev.vk == VK_DELETE) {
    commands_.DeleteItems();
    return true;
  }
  if (c == PKF_ALT && ev.vk == VK_F7) {
    FindDialog(host_).Run();
    return true;
  }
  if (c == PKF_ALT && (ev.vk == VK_F1 || ev.vk == VK_F2)) {
    commands_.DisksMenu(ev.vk == VK_F1 ? 0 : 1);
    return true;
  }
  if (c != PKF_CONTROL) return false;
  if (ev.vk >= '0' && ev.vk <= '9') {
    panels.SetViewMode(active, ev.vk - '0');
    return true;
  }
  switch (ev.vk) {
    case 'R':
      panels.Reread(active, true);
      if (!panels[1 - active].is_plugin()) panels.Reread(1 - active, true);
      return true;
    case VK_PRIOR:
      commands_.GoUp();
      return true;
    case VK_INSERT:
      commands_.CopyNames();
      return true;
    default:
      break;
  }
  static const int kSortKeys[][2] = {{VK_F3, SM_NAME},  {VK_F4, SM_EXT},      {VK_F5, SM_MTIME},
                                     {VK_F6, SM_SIZE},  {VK_F7, SM_UNSORTED}, {VK_F8, SM_CTIME},
                                     {VK_F9, SM_ATIME}, {VK_F10, SM_DESCR}};
  for (const auto& k : kSortKeys) {
    if (ev.vk != k[0]) continue;
    // The same key again turns the order round.
    p.sort_order = p.sort_mode == k[1] ? !p.sort_order : 0;
    p.sort_mode = k[1];
    std::string cur = p.Current() ? p.Current()->name : "";
    panels.Sort(p);
    int i = p.Find(cur);
    if (i >= 0) p.current = i;
    return true;
  }
  return false;
}

void KeyDispatcher::HandleClick(const Event& ev) {
  const PanelLayout layout(host_.screen());
  if (ev.y < 0 || ev.y >= layout.PanelHeight()) return;
  const int side = layout.SideAt(ev.x);
  if (side < 0) return;
  PanelSet& panels = host_.panels();
  panels.Activate(side);
  Panel& p = panels[side];
  const int rows = layout.ItemRows();
  const int row = ev.y - 2;  // below the frame and the column titles
  if (row < 0 || row >= rows) return;
  const int group = host_.renderer().GroupAt(side, ev.x);
  if (group < 0) return;
  int index = p.top + group * rows + row;
  if (index < static_cast<int>(p.entries.size())) p.current = index;
}

}  // namespace qb::host
