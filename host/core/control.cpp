// The Control service: what the plug-in asks of the panels and the command line.
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/core/host.h"
#include "host/core/panel_layout.h"
#include "platform/codepage/codepage.h"
#include "sdk/panel_items.h"

namespace qb::host {

namespace {

// The panel's state without the item records (FCTL_GETPANELSHORTINFO).
void FillShortInfo(const Panel& p, bool focus, FarRect rect, PanelInfo* info) {
  std::memset(info, 0, sizeof *info);
  info->PanelType = PTYPE_FILEPANEL;
  info->Plugin = p.is_plugin() ? 1 : 0;
  info->PanelRect = rect;
  info->ItemsNumber = static_cast<int>(p.entries.size());
  info->SelectedItemsNumber = p.SelectedCount();
  info->CurrentItem = p.current;
  info->TopPanelItem = p.top;
  info->Visible = 1;
  info->Focus = focus ? 1 : 0;
  info->ViewMode = p.view_mode;
  ViewMode mode = p.ActiveMode();
  std::string types, widths;
  for (size_t i = 0; i < mode.columns.size(); ++i) {
    if (i) {
      types += ',';
      widths += ',';
    }
    types += mode.columns[i].type;
    widths += std::to_string(mode.columns[i].width);
  }
  codepage::CopyUtf8Into(types, info->ColumnTypes, sizeof info->ColumnTypes);
  codepage::CopyUtf8Into(widths, info->ColumnWidths, sizeof info->ColumnWidths);
  codepage::CopyUtf8Into(p.is_plugin() ? p.state.cur_dir : p.dir, info->CurDir,
                         sizeof info->CurDir);
  info->SortMode = p.sort_mode;
}

// The panel's state for FCTL_GETPANELINFO: the item records point into copies the panel keeps
// until the next such call.
void FillPanelInfo(Panel& p, bool focus, FarRect rect, PanelInfo* info) {
  FillShortInfo(p, focus, rect, info);
  const size_t n = p.entries.size();
  p.info_custom.assign(p.SelectedCount() > 0 ? n * 2 : n + 1, {});
  p.info_items.clear();
  p.info_selected.clear();
  p.info_items.reserve(n);
  for (size_t i = 0; i < n; ++i) p.info_items.push_back(MakeItem(p.entries[i], p.info_custom[i]));
  if (p.SelectedCount() > 0) {
    p.info_selected.reserve(static_cast<size_t>(p.SelectedCount()));
    for (size_t i = 0; i < n; ++i) {
      if (p.entries[i].selected)
        p.info_selected.push_back(MakeItem(p.entries[i], p.info_custom[n + i]));
    }
  } else if (p.Current()) {
    p.info_selected.push_back(MakeItem(p.entries[p.current], p.info_custom[n]));
  }
  info->PanelItems = p.info_items.empty() ? nullptr : p.info_items.data();
  info->ItemsNumber = static_cast<int>(p.info_items.size());
  info->SelectedItems = p.info_selected.empty() ? nullptr : p.info_selected.data();
  info->SelectedItemsNumber = static_cast<int>(p.info_selected.size());
}

// FCTL_GETPANELITEM: one item by its place or its name; its record lives in the panel's copies
// like those of FCTL_GETPANELINFO.
int FillItem(Panel& p, PanelItemRequest* request) {
  std::memset(&request->Item, 0, sizeof request->Item);
  request->ItemsNumber = static_cast<int>(p.entries.size());
  if (request->Name) request->Index = p.Find(request->Name);
  const int i = request->Index;
  if (i < 0 || i >= static_cast<int>(p.entries.size())) return 0;
  p.info_custom.assign(1, {});
  request->Item = MakeItem(p.entries[static_cast<size_t>(i)], p.info_custom[0]);
  return 1;
}

}  // namespace

int Host::Control(HANDLE plugin, int command, void* param) {
  int side = panels_.SideOf(plugin);
  int other = 1 - side;
  switch (command) {
    case FCTL_CLOSEPLUGIN: {
      Panel& p = panels_[side];
      if (!p.is_plugin()) return 0;
      // The plug-in is inside one of its own calls: the panel closes once that call returns.
      p.close_requested = true;
      p.close_dir = param ? static_cast<const char*>(param) : "";
      return 1;
    }
    case FCTL_GETPANELINFO:
    case FCTL_GETANOTHERPANELINFO:
    case FCTL_GETPANELSHORTINFO:
    case FCTL_GETANOTHERPANELSHORTINFO:
      if (!param) return 0;
      {
        const bool own = command == FCTL_GETPANELINFO || command == FCTL_GETPANELSHORTINFO;
        const int which = own ? side : other;
        const PanelLayout layout(screen_);
        const int x = layout.PanelX(which), w = layout.PanelWidth(which);
        const FarRect rect{x, 0, x + w - 1, screen_.rows() - 3};
        auto* info = static_cast<PanelInfo*>(param);
        if (command == FCTL_GETPANELINFO || command == FCTL_GETANOTHERPANELINFO) {
          FillPanelInfo(panels_[which], which == panels_.active(), rect, info);
        } else {
          FillShortInfo(panels_[which], which == panels_.active(), rect, info);
        }
        return 1;
      }
    case FCTL_GETPANELITEM:
    case FCTL_GETANOTHERPANELITEM:
      if (!param) return 0;
      return FillItem(panels_[command == FCTL_GETPANELITEM ? side : other],
                      static_cast<PanelItemRequest*>(param));
    case FCTL_UPDATEPANEL:
    case FCTL_UPDATEANOTHERPANEL:
      panels_.Reread(command == FCTL_UPDATEPANEL ? side : other, param != nullptr);
      return 1;
    case FCTL_REDRAWPANEL:
    case FCTL_REDRAWANOTHERPANEL: {
      // The panels are painted over a message without buttons that was left on the screen.
      transient_.reset();
      Panel& p = panels_[command == FCTL_REDRAWPANEL ? side : other];
      if (param) {
        const auto* r = static_cast<const PanelRedrawInfo*>(param);
        int n = static_cast<int>(p.entries.size());
        if (r->CurrentItem >= 0 && r->CurrentItem < n) p.current = r->CurrentItem;
        if (r->TopPanelItem >= 0 && r->TopPanelItem < n) p.top = r->TopPanelItem;
        p.ClampCursor(PanelLayout(screen_).ItemsPerPage(p));
      }
      return 1;
    }
    case FCTL_SETANOTHERPANELDIR: {
      if (!param) return 0;
      const char* dir = static_cast<const char*>(param);
      Panel& p = panels_[other];
      if (p.is_plugin()) {
        if (!plugin_.fn().SetDirectory) return 0;
        int ok = plugin_.fn().SetDirectory(p.plugin(), dir, 0);
        panels_.Reread(other, false);
        panels_.FinishCloseRequests();
        return ok ? 1 : 0;
      }
      struct stat st;
      if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) return 0;
      char resolved[PATH_MAX];
      panels_.OpenFileDir(other, realpath(dir, resolved) ? resolved : dir);
      return 1;
    }
    case FCTL_GETCMDLINE:
      if (!param) return 0;
      // The caller's buffer holds 1024 bytes, as FAR promises for this command.
      codepage::CopyUtf8Into(cmdline_.text(), static_cast<char*>(param), 1024);
      return 1;
    case FCTL_SETCMDLINE:
      cmdline_.SetText(param ? static_cast<const char*>(param) : "");
      return 1;
    case FCTL_SETSELECTION:
    case FCTL_SETANOTHERSELECTION: {
      if (!param) return 0;
      const auto* info = static_cast<const PanelInfo*>(param);
      Panel& p = panels_[command == FCTL_SETSELECTION ? side : other];
      for (int i = 0;
           info->PanelItems && i < info->ItemsNumber && i < static_cast<int>(p.entries.size());
           ++i) {
        p.entries[i].selected =
            (info->PanelItems[i].Flags & PPIF_SELECTED) != 0 && !p.entries[i].dots;
      }
      p.CountSelected();
      return 1;
    }
    case FCTL_SETVIEWMODE:
    case FCTL_SETANOTHERVIEWMODE: {
      // FAR passes a pointer to the mode; a plain number 0..9 in the pointer is taken as well.
      uintptr_t v = reinterpret_cast<uintptr_t>(param);
      int mode = v < 16 ? static_cast<int>(v) : *static_cast<const int*>(param);
      if (mode < 0 || mode > 9) return 0;
      panels_.SetViewMode(command == FCTL_SETVIEWMODE ? side : other, mode);
      return 1;
    }
    default:
      return 0;
  }
}

}  // namespace qb::host
