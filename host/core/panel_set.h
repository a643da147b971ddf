// The host's two panels and which of them is active: reading a directory of the disk or a
// plug-in's listing into a panel, sorting it, and opening and closing plug-in panels.
#pragma once

#include <cstdint>
#include <string>

#include "host/core/panel.h"
#include "host/core/plugin_module.h"

namespace qb::host {

class PanelSet {
 public:
  explicit PanelSet(PluginModule& plugin) : plugin_(plugin) {}

  Panel& operator[](int side) { return panels_[side]; }
  const Panel& operator[](int side) const { return panels_[side]; }
  int active() const { return active_; }
  void Activate(int side) { active_ = side; }
  Panel& active_panel() { return panels_[active_]; }

  // Shows a directory of the disk on `side` (a fresh panel in view mode 2), with the cursor on
  // focus_name when it is there.
  void OpenFileDir(int side, const std::string& dir, const std::string& focus_name = "");
  // Reads the panel's items again (the plug-in's listing or the directory), keeping the cursor
  // on the same name; selected names stay selected with keep_selection.
  void Reread(int side, bool keep_selection);
  void ReadPluginPanel(Panel& p, bool keep_selection);
  // Sorts by the panel's mode and order (the plug-in's Compare first, where it has one), folders
  // first and ".." on top.
  void Sort(Panel& p);

  // Asks the plug-in for a panel (OpenPlugin) and shows it on `side`, closing the plug-in panel
  // that was there. While OpenPlugin runs, `side` is active so that its Control calls address
  // it. False, with the panels as they were, when the plug-in gives none.
  bool OpenPluginIn(int side, int open_from, intptr_t item);
  // Closes the plug-in panel on `side` and shows the directory it asked for with
  // FCTL_CLOSEPLUGIN, or else the one it was opened on.
  void ClosePluginPanel(int side);
  // Closes the panels whose plug-in asked for it during the call that just returned.
  void FinishCloseRequests();
  // Copies what GetOpenPluginInfo says now into the panel.
  void RefreshPluginState(Panel& p);
  // The side showing this plug-in panel; the active one when none does.
  int SideOf(HANDLE plugin) const;
  // View modes are 0 to 9; other numbers are ignored.
  void SetViewMode(int side, int mode);

 private:
  void ReadFileDir(Panel& p);
  // Sort, with the plug-in's Compare given the items it listed (listed[i] is the entry after the
  // ".." one, if any, at i) instead of records made anew; null: made anew.
  void SortListed(Panel& p, const PluginPanelItem* listed);

  PluginModule& plugin_;
  Panel panels_[2];
  int active_ = 0;
};

}  // namespace qb::host
