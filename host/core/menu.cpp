// The menu service: a framed list, centred or placed, with hot keys, wrap mode, a title, a
// bottom line and break keys that end the menu and say which key did.
#include <algorithm>
#include <cstring>
#include <vector>

#include "host/core/host.h"
#include "host/core/widgets.h"

namespace qb::host {

namespace {

struct MenuLine {
  HotText text;
  bool separator = false;
  bool checked = false;
};

class MenuWindow : public Window {
 public:
  std::vector<MenuLine> lines;
  std::string title, bottom;
  int current = 0, top = 0;
  int x = 0, y = 0, w = 0, h = 0;
  int want_x = -1, want_y = -1, want_w = 0, max_height = 0;  // -1: centred; 0: no limit

  int visible() const { return std::max(1, h - 2); }

  // Size and place on a screen of this size: again at every draw, so that a menu open while
  // the terminal is resized stays whole and keeps its current line in view.
  void Place(const Screen& s) {
    w = std::min(want_w, s.cols());
    int max_rows = s.rows() - 2;
    if (max_height > 0) max_rows = std::min(max_rows, max_height);
    h = std::min(std::max(static_cast<int>(lines.size()), 1) + 2, std::max(3, max_rows));
    x = want_x < 0 ? (s.cols() - w) / 2 : std::min(want_x, std::max(0, s.cols() - w));
    y = want_y < 0 ? std::max(0, (s.rows() - h) / 2) : std::min(want_y, std::max(0, s.rows() - h));
    Scroll();
  }

  void Draw(Screen& s) override {
    Place(s);
    s.Fill(x, y, w, h, U' ', colors::kMenu.fg, colors::kMenu.bg);
    DrawFrame(s, x, y, w, h, true, colors::kMenu);
    DrawFrameTitle(s, x, y, w, title, colors::kMenu);
    DrawFrameTitle(s, x, y + h - 1, w, bottom, colors::kMenu);
    for (int r = 0; r < visible(); ++r) {
      int i = top + r;
      if (i >= static_cast<int>(lines.size())) break;
      const MenuLine& l = lines[i];
      int ly = y + 1 + r;
      if (l.separator) {
        DrawSeparator(s, x, ly, w, true, EncodeUtf8(l.text.text), colors::kMenu);
        continue;
      }
      bool cur = i == current;
      colors::Pair c = cur ? colors::kMenuCurrent : colors::kMenu;
      colors::Pair hc = cur ? colors::kMenuHotKeyCurrent : colors::kMenuHotKey;
      s.Fill(x + 1, ly, w - 2, 1, U' ', c.fg, c.bg);
      if (l.checked) s.Text(x + 1, ly, "√", c.fg, c.bg, 1);
      DrawHotText(s, x + 2, ly, l.text, c, hc, w - 4);
    }
    if (top > 0) s.Text(x + w - 1, y + 1, "▲", colors::kMenu.fg, colors::kMenu.bg, 1);
    if (top + visible() < static_cast<int>(lines.size()))
      s.Text(x + w - 1, y + h - 2, "▼", colors::kMenu.fg, colors::kMenu.bg, 1);
  }

  void Scroll() {
    if (current < top) top = current;
    if (current >= top + visible()) top = current - visible() + 1;
    if (top < 0) top = 0;  // an empty menu has no current line
  }
};

bool Selectable(const MenuLine& l) {
  return !l.separator;
}

// A tab in an item's text starts a column: the text after the k-th tab of every line begins at
// the same place, one blank past the longest text before that tab ("Comment\t\t%C" and
// "Phone\t\t%P" line up their tokens). The tabs become blanks; the hot key keeps its character.
void AlignTabs(std::vector<MenuLine>& lines) {
  std::vector<std::vector<std::u32string>> parts(lines.size());
  size_t columns = 1;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::u32string& t = lines[i].text.text;
    size_t start = 0;
    for (size_t k = 0; k <= t.size(); ++k) {
      if (k == t.size() || t[k] == U'\t') {
        parts[i].push_back(t.substr(start, k - start));
        start = k + 1;
      }
    }
    if (!lines[i].separator) columns = std::max(columns, parts[i].size());
  }
  if (columns == 1) return;
  // Where each column starts, in cells.
  std::vector<int> at(columns, 0);
  for (size_t c = 1; c < columns; ++c) {
    at[c] = at[c - 1];
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].separator || parts[i].size() <= c) continue;
      at[c] = std::max(at[c], at[c - 1] + TextCells(parts[i][c - 1]) + 1);
    }
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    HotText& ht = lines[i].text;
    if (parts[i].size() == 1) continue;
    if (lines[i].separator) {  // a separator's caption is not a table row
      std::replace(ht.text.begin(), ht.text.end(), U'\t', U' ');
      continue;
    }
    std::u32string out;
    int hot = -1;
    size_t old_pos = 0;  // index of the part's first character in the text with tabs
    for (size_t c = 0; c < parts[i].size(); ++c) {
      int pad = at[c] - TextCells(out);
      if (c > 0) out.append(static_cast<size_t>(std::max(pad, 1)), U' ');
      if (ht.hot_pos >= static_cast<int>(old_pos) &&
          ht.hot_pos < static_cast<int>(old_pos + parts[i][c].size()))
        hot = static_cast<int>(out.size()) + ht.hot_pos - static_cast<int>(old_pos);
      out += parts[i][c];
      old_pos += parts[i][c].size() + 1;
    }
    ht.text = std::move(out);
    ht.hot_pos = hot;
  }
}

}  // namespace

int Host::Menu(int x, int y, int max_height, DWORD flags, const char* title, const char* bottom,
               const int* break_keys, int* break_code, const FarMenuItem* items, int count) {
  if (break_code) *break_code = -1;
  // A menu with no items still waits for its break keys (Ins on an empty list adds the first
  // entry); without break keys there is nothing to choose.
  const bool has_break_keys = break_keys != nullptr && break_keys[0] != 0;
  if (count < 0 || (count > 0 && !items) || quitting_) return -1;
  if (count == 0 && !has_break_keys) return -1;
  MenuWindow m;
  m.title = title ? title : "";
  m.bottom = bottom ? bottom : "";
  const bool show_amp = (flags & FMENU_SHOWAMPERSAND) != 0;
  m.current = -1;
  int width = 0;
  for (int i = 0; i < count; ++i) {
    MenuLine l;
    char text[sizeof items[i].Text + 1];
    std::memcpy(text, items[i].Text, sizeof items[i].Text);
    text[sizeof items[i].Text] = '\0';  // a full buffer without terminator is cut, not overrun
    l.text = ParseHotText(text, show_amp);
    l.separator = items[i].Separator != 0;
    l.checked = items[i].Checked != 0;
    if (items[i].Selected && !l.separator && m.current < 0) m.current = i;
    m.lines.push_back(std::move(l));
  }
  AlignTabs(m.lines);
  for (const MenuLine& l : m.lines) width = std::max(width, TextCells(l.text.text));
  if (flags & (FMENU_AUTOHIGHLIGHT | FMENU_REVERSEAUTOHIGHLIGHT)) {
    // Lines without a hot key of their own get the first character no other line uses.
    std::u32string used;
    for (const MenuLine& l : m.lines) {
      if (l.text.hot()) used.push_back(l.text.hot());
    }
    auto assign = [&](MenuLine& l) {
      if (l.separator || l.text.hot_pos >= 0) return;
      for (size_t k = 0; k < l.text.text.size(); ++k) {
        char32_t c = l.text.text[k];
        if (c == U' ' || c == U'.' || c == U'-') continue;
        char32_t up = HotKeyCase(c);
        if (used.find(up) != std::u32string::npos) continue;
        l.text.hot_pos = static_cast<int>(k);
        used.push_back(up);
        return;
      }
    };
    if (flags & FMENU_REVERSEAUTOHIGHLIGHT) {
      for (auto it = m.lines.rbegin(); it != m.lines.rend(); ++it) assign(*it);
    } else {
      for (MenuLine& l : m.lines) assign(l);
    }
  }
  if (m.current < 0) {
    for (int i = 0; i < count; ++i) {
      if (Selectable(m.lines[i])) {
        m.current = i;
        break;
      }
    }
  }
  if (m.current < 0 && count > 0) return -1;  // only separators
  width = std::max({width + 4, TextWidth(m.title) + 6, TextWidth(m.bottom) + 6, 10});
  m.want_w = width;
  m.want_x = x;
  m.want_y = y;
  m.max_height = max_height;
  m.Place(screen_);
  const bool wrap = (flags & FMENU_WRAPMODE) != 0;

  auto move = [&](int delta) {
    int i = m.current;
    for (int step = 0; step < count; ++step) {
      int next = i + delta;
      if (next < 0 || next >= count) {
        if (!wrap) return;
        next = (next + count) % count;
      }
      i = next;
      if (Selectable(m.lines[i])) {
        m.current = i;
        m.Scroll();
        return;
      }
    }
  };
  auto jump = [&](int to, int dir) {
    if (count == 0) return;
    to = std::clamp(to, 0, count - 1);
    while (to >= 0 && to < count && !Selectable(m.lines[to])) to += dir;
    if (to >= 0 && to < count) {
      m.current = to;
      m.Scroll();
    }
  };

  PushWindow(&m);
  int result = -1;
  for (;;) {
    Event ev = NextEvent();
    if (ev.kind == Event::kQuit) break;
    if (break_keys) {
      int code = ev.vk | static_cast<int>(ev.control << 16);
      int k = 0;
      for (; break_keys[k] != 0; ++k) {
        if (break_keys[k] == code) break;
      }
      if (break_keys[k] != 0) {
        if (break_code) *break_code = k;
        result = m.current;
        break;
      }
    }
    const unsigned c = ev.control;
    if (c == 0 || c == PKF_SHIFT) {
      if (ev.vk == VK_ESCAPE) break;
      if (ev.vk == VK_RETURN) {
        result = m.current;
        break;
      }
      if (ev.vk == VK_UP) {
        move(-1);
        continue;
      }
      if (ev.vk == VK_DOWN) {
        move(1);
        continue;
      }
      if (ev.vk == VK_HOME) {
        jump(0, 1);
        continue;
      }
      if (ev.vk == VK_END) {
        jump(count - 1, -1);
        continue;
      }
      if (ev.vk == VK_PRIOR) {
        jump(m.current - m.visible() + 1, 1);
        continue;
      }
      if (ev.vk == VK_NEXT) {
        jump(m.current + m.visible() - 1, -1);
        continue;
      }
    }
    // Hot keys: the character typed, or Alt with the letter.
    if (char32_t up = HotKeyOf(ev)) {
      int hit = -1;
      for (int i = 0; i < count; ++i) {
        if (!m.lines[i].separator && m.lines[i].text.hot() == up) {
          hit = i;
          break;
        }
      }
      if (hit >= 0) {
        m.current = hit;
        result = hit;
        break;
      }
    }
  }
  PopWindow();
  return result;
}

}  // namespace qb::host
