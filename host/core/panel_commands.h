// What the host's own panel keys do beyond moving the cursor: entering a folder, copying, moving
// and deleting items, making a folder, viewing and editing a file, the disks, plug-ins and
// configuration menus, and running a command from the command line. On a plug-in panel each goes
// through the plug-in's entry point; between two file panels the host does it itself.
#pragma once

#include <string>
#include <vector>

#include "host/core/panel.h"

namespace qb::host {

class Host;

class PanelCommands {
 public:
  explicit PanelCommands(Host& host) : host_(host) {}

  // Enter: into the current folder, or up on "..".
  void EnterCurrent();
  // Ctrl+PgUp: up, where the panel has "..".
  void GoUp();
  // F5 / F6.
  void CopyMove(bool move);
  // F8, Del, Shift+Del.
  void DeleteItems();
  // F7.
  void MakeFolder();
  // F3 / F4: the pager or the editor on the current file of a file panel.
  void ViewEdit(bool edit);
  // Ctrl+Ins: the names of the selected items, or of the current one, one a line.
  void CopyNames();
  // Alt+F1 / Alt+F2.
  void DisksMenu(int side);
  // F11.
  void PluginsMenu();
  // F9.
  void ConfigMenu();
  // Enter on the command line: the plug-in's prefix, "cd", or a note that nothing else runs.
  void RunCommand(const std::string& line);

 private:
  // F5/F6 between two plug-in panels: the source's GetFiles into a temporary folder of the
  // host's (silent), the target's PutFiles of what arrived there, then, for a move, the source's
  // DeleteFiles of the items (silent) once the put succeeded; the temporary folder goes at the end.
  void CopyBetweenPlugins(Panel& src, Panel& dst, std::vector<PluginPanelItem>& items, bool move);
  // The selected items of the panel, or else its current one; never "..".
  std::vector<PanelEntry*> SelectionOrCurrent(Panel& p);

  Host& host_;
};

}  // namespace qb::host
