#include "host/core/panel_renderer.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>

#include "host/core/colors.h"
#include "host/core/host_text.h"
#include "host/core/panel_layout.h"
#include "platform/time/clock.h"

namespace qb::host {

namespace {

std::string FormatSize(const PanelEntry& e) {
  if (e.dots) return Text(HostText::kUp);
  if (e.is_dir()) return Text(HostText::kFolder);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(e.size()));
  return buf;
}

std::string FormatTime(const FILETIME& ft, bool date) {
  const uint64_t ticks = clock::FileTimeToTicks(ft);
  if (ticks == 0) return "";
  time_t t = static_cast<time_t>(clock::TicksToUnixSeconds(ticks));
  struct tm tm;
  if (!localtime_r(&t, &tm)) return "";
  char buf[32];
  std::strftime(buf, sizeof buf, date ? "%d.%m.%y" : "%H:%M", &tm);
  return buf;
}

std::string CellText(const PanelEntry& e, const std::string& type) {
  if (type.empty()) return "";
  switch (type[0]) {
    case 'N':
      return e.name;
    case 'Z':
      return e.description ? *e.description : "";
    case 'O':
      return e.owner() ? *e.owner() : "";
    case 'S':
      return FormatSize(e);
    case 'D':
      return FormatTime(e.find.ftLastWriteTime, true);
    case 'T':
      return FormatTime(e.find.ftLastWriteTime, false);
    case 'C':
      if (type.size() >= 2 && type[1] >= '0' && type[1] <= '9') {
        size_t n = static_cast<size_t>(type[1] - '0');
        if (n < e.custom().size()) return e.custom()[n];
      }
      return "";
    default:
      return "";
  }
}

// Widths of the columns in `inner` cells, separators included between them.
std::vector<int> LayOut(const std::vector<ColumnSpec>& cols, int inner) {
  std::vector<int> w(cols.size(), 0);
  if (cols.empty()) return w;
  int fixed = static_cast<int>(cols.size()) - 1;
  int zeros = 0;
  for (const ColumnSpec& c : cols) {
    fixed += c.width;
    zeros += c.width == 0 ? 1 : 0;
  }
  int rest = std::max(0, inner - fixed);
  int given = 0;
  int zi = 0;
  for (size_t i = 0; i < cols.size(); ++i) {
    if (cols[i].width > 0) {
      w[i] = cols[i].width;
    } else {
      ++zi;
      int share = zeros ? rest * zi / zeros - given : 0;
      given += share;
      w[i] = share;
    }
  }
  // Fixed widths that overflow the panel are cut from the right.
  int total = static_cast<int>(cols.size()) - 1;
  for (int& x : w) {
    x = std::max(0, std::min(x, inner - total));
    total += x;
  }
  return w;
}

// The columns a panel this narrow can show usefully. The name column keeps at least kNameMin
// cells: the other columns give up cells from the right, down to kOtherMin each, and those that
// still do not fit are left out, the rightmost first.
std::vector<ColumnSpec> FitColumns(std::vector<ColumnSpec> cols, int inner) {
  constexpr int kNameMin = 12, kOtherMin = 8;
  auto is_name = [](const ColumnSpec& c) { return !c.type.empty() && c.type[0] == 'N'; };
  auto name_at = std::find_if(cols.begin(), cols.end(), is_name);
  if (name_at == cols.end()) return cols;
  const std::size_t name = static_cast<std::size_t>(name_at - cols.begin());
  // A name column asked to be narrower keeps that width as its aim.
  const int want = std::min({kNameMin, inner, cols[name].width > 0 ? cols[name].width : kNameMin});
  const std::vector<int> w = LayOut(cols, inner);
  int need = want - w[name];
  // Columns asked to be narrower than kOtherMin keep their width; the others shrink.
  for (std::size_t i = cols.size(); need > 0 && i-- > 0;) {
    if (i == name || cols[i].width <= kOtherMin) continue;
    const int take = std::min(need, cols[i].width - kOtherMin);
    cols[i].width -= take;
    need -= take;
  }
  std::vector<ColumnSpec> shown;
  std::vector<int> now = LayOut(cols, inner);
  for (std::size_t i = 0; i < cols.size(); ++i) {
    const int usable = cols[i].width > 0 ? std::min(cols[i].width, kOtherMin) : kOtherMin;
    if (i == name || now[i] >= usable) shown.push_back(cols[i]);
  }
  // Leaving a column out widens the flexible ones: the name may now be wide enough.
  while (shown.size() > 1) {
    const std::vector<int> fit = LayOut(shown, inner);
    std::size_t at = 0;
    while (!is_name(shown[at])) ++at;
    if (fit[at] >= want) break;
    // The rightmost column that is not the name.
    const std::size_t drop = at + 1 < shown.size() ? shown.size() - 1 : at - 1;
    shown.erase(shown.begin() + static_cast<long>(drop));
  }
  return shown;
}

bool IsRightAligned(const std::string& type) {
  return !type.empty() && type[0] == 'S';
}

void DrawCell(Screen& s, int x, int y, int width, const std::string& text, bool right,
              colors::Pair c) {
  if (width <= 0) return;
  s.Fill(x, y, width, 1, U' ', c.fg, c.bg);
  std::string_view fit = FitText(text, width);
  int tw = TextWidth(fit);
  s.Text(right ? x + width - tw : x, y, fit, c.fg, c.bg, width);
}

void DrawFrame(Screen& s, int x0, int w, int h) {
  const colors::Pair frame = colors::kPanelFrame;
  s.Fill(x0, 0, w, h, U' ', frame.fg, frame.bg);
  for (int x = x0 + 1; x < x0 + w - 1; ++x) {
    s.at(x, 0) = Cell{U'═', frame.fg, frame.bg};
    s.at(x, h - 1) = Cell{U'═', frame.fg, frame.bg};
    s.at(x, h - 3) = Cell{U'─', frame.fg, frame.bg};
  }
  for (int y = 1; y < h - 1; ++y) {
    s.at(x0, y) = Cell{U'║', frame.fg, frame.bg};
    s.at(x0 + w - 1, y) = Cell{U'║', frame.fg, frame.bg};
  }
  s.at(x0, 0) = Cell{U'╔', frame.fg, frame.bg};
  s.at(x0 + w - 1, 0) = Cell{U'╗', frame.fg, frame.bg};
  s.at(x0, h - 1) = Cell{U'╚', frame.fg, frame.bg};
  s.at(x0 + w - 1, h - 1) = Cell{U'╝', frame.fg, frame.bg};
  s.at(x0, h - 3) = Cell{U'╟', frame.fg, frame.bg};
  s.at(x0 + w - 1, h - 3) = Cell{U'╢', frame.fg, frame.bg};
}

}  // namespace

void PanelRenderer::Draw(Screen& s, int side, Panel& p, bool active) {
  const PanelLayout layout(s);
  const int x0 = layout.PanelX(side), w = layout.PanelWidth(side), h = layout.PanelHeight();
  if (w < 4 || h < 6) return;
  const colors::Pair frame = colors::kPanelFrame;
  DrawFrame(s, x0, w, h);

  const int inner = w - 2;
  const int rows = layout.ItemRows();
  ViewMode mode = p.ActiveMode();
  const int groups = NameGroups(mode);
  p.ClampCursor(rows * groups);
  if (groups == 1) mode.columns = FitColumns(mode.columns, inner);
  std::vector<int> widths = LayOut(mode.columns, inner);
  const size_t per_group = mode.columns.size() / groups;

  int x = x0 + 1;
  spans_[side].clear();
  for (size_t ci = 0; ci < mode.columns.size(); ++ci) {
    const ColumnSpec& col = mode.columns[ci];
    int cw = widths[ci];
    // A column and the separator on its right belong to its group of names (for clicks).
    spans_[side].push_back(
        ColumnSpan{x, x + cw + 1, per_group ? static_cast<int>(ci / per_group) : 0});
    // Column title, centred.
    std::string_view title = FitText(col.title, cw);
    s.Text(x + (cw - TextWidth(title)) / 2, 1, title, colors::kPanelColumnTitle.fg,
           colors::kPanelColumnTitle.bg, cw);
    size_t group = per_group ? ci / per_group : 0;
    for (int r = 0; r < rows; ++r) {
      int index = p.top + static_cast<int>(group) * rows + r;
      if (index >= static_cast<int>(p.entries.size())) break;
      const PanelEntry& e = p.entries[index];
      bool cur = active && index == p.current;
      colors::Pair c = e.selected   ? (cur ? colors::kPanelSelectedCursor : colors::kPanelSelected)
                       : cur        ? colors::kPanelCursor
                       : e.is_dir() ? colors::kPanelFolder
                                    : colors::kPanelText;
      DrawCell(s, x, 2 + r, cw, CellText(e, col.type), IsRightAligned(col.type), c);
    }
    x += cw;
    if (ci + 1 < mode.columns.size()) {
      for (int y = 1; y < h - 3; ++y) s.at(x, y) = Cell{U'│', frame.fg, frame.bg};
      s.at(x, 0) = Cell{U'╤', frame.fg, frame.bg};
      s.at(x, h - 3) = Cell{U'┴', frame.fg, frame.bg};
      ++x;
    }
  }

  // Status line: the current item by the mode's status columns.
  if (const PanelEntry* e = p.Current()) {
    std::vector<int> sw = LayOut(mode.status, inner);
    int sx = x0 + 1;
    for (size_t ci = 0; ci < mode.status.size(); ++ci) {
      DrawCell(s, sx, h - 2, sw[ci], CellText(*e, mode.status[ci].type),
               IsRightAligned(mode.status[ci].type), colors::kPanelText);
      sx += sw[ci] + 1;
    }
  }

  // Title in the top frame.
  std::string title = " " + p.Title() + " ";
  std::string_view fit = FitText(title, inner);
  colors::Pair tc = active ? colors::kPanelTitleActive : colors::kPanelTitle;
  s.Text(x0 + (w - TextWidth(fit)) / 2, 0, fit, tc.fg, tc.bg);

  int selected = p.SelectedCount();
  if (selected > 0) {
    std::string info = " " + std::to_string(selected) + " selected ";
    std::string_view f = FitText(info, inner);
    s.Text(x0 + (w - TextWidth(f)) / 2, h - 1, f, colors::kPanelSelected.fg,
           colors::kPanelSelected.bg);
  }
}

int PanelRenderer::GroupAt(int side, int x) const {
  for (const ColumnSpan& span : spans_[side]) {
    if (x >= span.x0 && x < span.x1) return span.group;
  }
  return -1;
}

}  // namespace qb::host
