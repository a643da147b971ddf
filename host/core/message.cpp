// The message service: a framed box of lines with a row of buttons, red for warnings. A message
// without buttons is drawn and left on the screen until the next key.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "host/core/host.h"
#include "host/core/widgets.h"

namespace qb::host {

namespace {

class MessageWindow : public Window {
 public:
  std::string title;
  std::vector<std::string> lines;  // "\x01" alone: a separator
  std::vector<HotText> buttons;
  int focus = 0;
  bool warning = false, left_align = false;
  int x = 0, y = 0, w = 0, h = 0;
  int want_w = 0, want_h = 0;
  bool down = false;  // FMSG_DOWN: below the middle
  int top = 0;        // first line shown when the box is taller than the screen

  // Lines that fit between the frame and the buttons.
  int VisibleLines() const { return std::max(0, h - 4 - (buttons.empty() ? 0 : 1)); }
  int MaxTop() const { return std::max(0, static_cast<int>(lines.size()) - VisibleLines()); }

  colors::Pair base() const { return warning ? colors::kWarning : colors::kDialog; }

  // Size and place on a screen of this size: again at every draw, so that a message shown while
  // the terminal is resized stays centred.
  void Place(const Screen& s) {
    w = std::min(want_w, s.cols());
    h = std::min(want_h, s.rows());
    x = (s.cols() - w) / 2;
    y = down ? std::max(0, s.rows() - h - 3) : (s.rows() - h) / 2;
  }

  void Draw(Screen& s) override {
    Place(s);
    const colors::Pair c = base();
    s.Fill(x, y, w, h, U' ', c.fg, c.bg);
    DrawFrame(s, x + 3, y + 1, w - 6, h - 2, true, c);
    DrawFrameTitle(s, x + 3, y + 1, w - 6, title, c);
    const int inner = w - 10;
    // A box taller than the screen shows what fits and scrolls (Up, Down, PgUp, PgDn, Home,
    // End); marks on the frame say that there is more.
    top = std::clamp(top, 0, MaxTop());
    const int shown = std::min(VisibleLines(), static_cast<int>(lines.size()) - top);
    if (top > 0) s.Text(x + w - 5, y + 1, "▲", c.fg, c.bg);
    if (top + shown < static_cast<int>(lines.size())) s.Text(x + w - 5, y + h - 2, "▼", c.fg, c.bg);
    for (size_t i = static_cast<size_t>(top); i < static_cast<size_t>(top + shown); ++i) {
      int ly = y + 2 + static_cast<int>(i) - top;
      if (lines[i].size() >= 1 && lines[i][0] == '\x01') {
        DrawSeparator(s, x + 3, ly, w - 6, true, lines[i].substr(1), c);
        continue;
      }
      std::string_view t = FitText(lines[i], inner);
      int tx = left_align ? x + 5 : x + 5 + (inner - TextWidth(t)) / 2;
      s.Text(tx, ly, t, c.fg, c.bg, inner);
    }
    if (buttons.empty()) return;
    int total = -1;
    for (const HotText& b : buttons) total += TextCells(b.text) + 5;
    int bx = x + (w - total) / 2;
    int by = y + h - 3;
    for (size_t i = 0; i < buttons.size(); ++i) {
      bool f = static_cast<int>(i) == focus;
      colors::Pair bc = f ? (warning ? colors::kWarningFocus : colors::kDialogFocus) : c;
      colors::Pair hc = warning ? colors::kWarningHotKey : colors::kDialogHotKey;
      if (f) hc = bc;
      int used = s.Text(bx, by, "[ ", bc.fg, bc.bg);
      used += DrawHotText(s, bx + used, by, buttons[i], bc, hc, s.cols());
      used += s.Text(bx + used, by, " ]", bc.fg, bc.bg);
      bx += used + 1;
    }
  }
};

}  // namespace

int Host::Message(DWORD flags, const char* const* items, int count, int buttons) {
  int saved_errno = errno;
  if (!items || count <= 0 || quitting_) return -1;
  buttons = std::clamp(buttons, 0, count - 1);
  if (options_.command) {
    // Without a screen the box is a few lines on standard error, and nobody presses a button.
    std::string text = "quillbox:";
    for (int i = 0; i < count - buttons; ++i) {
      if (items[i] && *items[i]) text += std::string(" ") + items[i];
    }
    std::fprintf(stderr, "%s\n", text.c_str());
    return -1;
  }
  auto m = std::make_unique<MessageWindow>();
  m->warning = (flags & FMSG_WARNING) != 0;
  m->left_align = (flags & FMSG_LEFTALIGN) != 0;
  m->title = items[0] ? items[0] : "";
  std::vector<std::string> raw;
  for (int i = 1; i < count - buttons; ++i) raw.emplace_back(items[i] ? items[i] : "");
  if (flags & FMSG_ERRORTYPE) raw.emplace_back(saved_errno ? std::strerror(saved_errno) : "");
  // Lines wider than the screen allows are wrapped at blanks (or cut where there are none). Each
  // wrapped line looks at no more of the text than fits on it, and no more than kMaxLines lines
  // are made (the box scrolls through them), so a text of any length costs a bounded amount. A
  // text cut short ends in "…".
  constexpr size_t kMaxLines = 1000;
  const int room = std::max(10, screen_.cols() - 10);
  const size_t max_lines = kMaxLines;
  bool cut = false;
  for (const std::string& line : raw) {
    if (m->lines.size() >= max_lines) {
      cut = true;
      break;
    }
    std::string_view rest = line;
    if (!rest.empty() && rest[0] == '\x01') {
      m->lines.push_back(line);
      continue;
    }
    while (m->lines.size() + 1 < max_lines) {
      const std::string_view fit = FitText(rest, room);
      if (fit.size() == rest.size()) break;
      size_t at = fit.size();
      const size_t blank = fit.rfind(' ');
      if (blank != std::string_view::npos && blank > 0) at = blank;
      m->lines.emplace_back(rest.substr(0, at));
      rest.remove_prefix(at);
      if (!rest.empty() && rest[0] == ' ') rest.remove_prefix(1);
    }
    const std::string_view last = FitText(rest, room);
    if (last.size() < rest.size()) cut = true;
    m->lines.emplace_back(last);
  }
  if (cut && !m->lines.empty() && m->lines.back().compare(0, 1, "\x01") != 0) {
    std::string& last = m->lines.back();
    last = std::string(FitText(last, room - 1)) + "\u2026";
  }
  for (int i = count - buttons; i < count; ++i) m->buttons.push_back(ParseHotText(items[i], false));

  int width = TextWidth(m->title) + 4;
  for (const std::string& l : m->lines) width = std::max(width, TextWidth(l));
  int row = -1;
  for (const HotText& b : m->buttons) row += TextCells(b.text) + 5;
  width = std::max(width, row);
  m->want_w = width + 10;
  m->want_h = static_cast<int>(m->lines.size()) + 4 + (m->buttons.empty() ? 0 : 1);
  m->down = (flags & FMSG_DOWN) != 0;
  m->Place(screen_);
  if (m->buttons.empty()) {
    ShowTransient(std::move(m));
    return -1;
  }
  PushWindow(m.get());
  int result = -1;
  const int n = static_cast<int>(m->buttons.size());
  for (;;) {
    Event ev = NextEvent();
    if (ev.kind == Event::kQuit) break;
    const unsigned c = ev.control;
    if (ev.vk == VK_ESCAPE && c == 0) break;
    if (c == 0 && (ev.vk == VK_UP || ev.vk == VK_DOWN || ev.vk == VK_PRIOR || ev.vk == VK_NEXT ||
                   ev.vk == VK_HOME || ev.vk == VK_END)) {
      const int page = std::max(1, m->VisibleLines());
      const int step = ev.vk == VK_UP      ? -1
                       : ev.vk == VK_DOWN  ? 1
                       : ev.vk == VK_PRIOR ? -page
                       : ev.vk == VK_NEXT  ? page
                       : ev.vk == VK_HOME  ? -m->MaxTop()
                                           : m->MaxTop();
      m->top = std::clamp(m->top + step, 0, m->MaxTop());
      continue;
    }
    if ((ev.vk == VK_RETURN || ev.vk == VK_SPACE) && c == 0) {
      result = m->focus;
      break;
    }
    if ((ev.vk == VK_RIGHT || ev.vk == VK_TAB) && c == 0) {
      m->focus = (m->focus + 1) % n;
      continue;
    }
    if (ev.vk == VK_LEFT || (ev.vk == VK_TAB && c == PKF_SHIFT)) {
      m->focus = (m->focus + n - 1) % n;
      continue;
    }
    if (char32_t up = HotKeyOf(ev)) {
      for (int i = 0; i < n; ++i) {
        if (m->buttons[i].hot() == up) result = i;
      }
      if (result >= 0) break;
    }
  }
  PopWindow();
  return result;
}

}  // namespace qb::host
