// A left click on a panel: the panel becomes active and the item under the pointer current.
// (Clicks on the key bar become function keys before they get here; see Host::NextEvent.)
#include <algorithm>

#include "host/core/host.h"

namespace qb::host {

void Host::HandleClick(const Event& ev) {
  const int h = screen_.rows() - 2;  // the panels' height
  if (ev.y < 0 || ev.y >= h) return;
  int side = -1;
  for (int s = 0; s < 2; ++s) {
    if (ev.x >= PanelX(s) && ev.x < PanelX(s) + PanelWidth(s)) side = s;
  }
  if (side < 0) return;
  active_ = side;
  Panel& p = panels_[side];
  const int rows = ItemRows();
  const int row = ev.y - 2;  // below the frame and the column titles
  if (row < 0 || row >= rows) return;
  for (const ColumnSpan& span : spans_[side]) {
    if (ev.x < span.x0 || ev.x >= span.x1) continue;
    int index = p.top + span.group * rows + row;
    if (index < static_cast<int>(p.entries.size())) p.current = index;
    return;
  }
}

}  // namespace qb::host
