// Draws a panel: its frame, column titles, the items in the columns of its view mode (several
// groups of names side by side where the mode repeats its columns), the status line for the
// current item, the title and the count of selected items. It remembers where each column went,
// so that a click can be mapped back to an item.
#pragma once

#include <vector>

#include "host/core/panel.h"
#include "host/screen.h"

namespace qb::host {

class PanelRenderer {
 public:
  // Draws panel `side` in its place on the screen. Only the active panel shows its cursor and
  // has its title highlighted. The panel's cursor and first item are first kept inside its page.
  void Draw(Screen& s, int side, Panel& p, bool active);

  // The group of names (0: the first) whose column, or the separator right of it, was drawn at
  // column x when panel `side` was drawn last; -1 when none was.
  int GroupAt(int side, int x) const;

 private:
  struct ColumnSpan {
    int x0, x1, group;  // [x0, x1)
  };
  std::vector<ColumnSpan> spans_[2];
};

}  // namespace qb::host
