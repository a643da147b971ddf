// Where the parts of the host's screen sit: the two panels side by side over every row but the
// last two, the command line on the row before the last and the key bar on the last.
#pragma once

#include <algorithm>

#include "host/core/panel.h"
#include "host/screen.h"

namespace qb::host {

struct PanelLayout {
  int cols = 1, rows = 1;

  explicit PanelLayout(const Screen& s) : cols(s.cols()), rows(s.rows()) {}

  int PanelX(int side) const { return side == 0 ? 0 : cols / 2; }
  int PanelWidth(int side) const { return side == 0 ? cols / 2 : cols - cols / 2; }
  int PanelHeight() const { return rows - 2; }
  int CommandLineRow() const { return rows - 2; }
  int KeyBarRow() const { return rows - 1; }
  // Rows of items a column shows: the panel less its frame, column titles and status line.
  int ItemRows() const { return std::max(1, rows - 2 - 5); }
  // Items one page of the panel shows: its rows in every group of names of its view mode.
  int ItemsPerPage(const Panel& p) const { return ItemRows() * NameGroups(p.ActiveMode()); }
  // The panel under column x, -1 when none.
  int SideAt(int x) const {
    int side = -1;
    for (int s = 0; s < 2; ++s) {
      if (x >= PanelX(s) && x < PanelX(s) + PanelWidth(s)) side = s;
    }
    return side;
  }
};

}  // namespace qb::host
