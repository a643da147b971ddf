#include "host/core/quick_search.h"

#include <algorithm>

#include "host/core/colors.h"
#include "host/core/name_match.h"
#include "host/core/panel_layout.h"
#include "host/core/widgets.h"

namespace qb::host {

char32_t QuickSearch::CharOf(const Event& ev) {
  if (ev.kind != Event::kKey || (ev.control & PKF_CONTROL)) return 0;
  if (ev.ch >= 0x20) return ev.ch;
  // Alt combinations type nothing; the key code names the letter or digit.
  if (ev.vk >= 'A' && ev.vk <= 'Z')
    return (ev.control & PKF_SHIFT) ? static_cast<char32_t>(ev.vk)
                                    : static_cast<char32_t>(ev.vk - 'A' + 'a');
  if (ev.vk >= '0' && ev.vk <= '9') return static_cast<char32_t>(ev.vk);
  return 0;
}

bool QuickSearch::Opens(const Event& ev) {
  return ev.kind == Event::kKey && (ev.control & PKF_ALT) && !(ev.control & PKF_CONTROL) &&
         CharOf(ev) != 0;
}

bool QuickSearch::Seek(const std::u32string& text, int from, int step) {
  Panel& p = host_.panels()[side_];
  const int n = static_cast<int>(p.entries.size());
  if (n == 0) return false;
  const std::u32string folded = FoldCase(EncodeUtf8(text));
  for (int k = 0; k < n; ++k) {
    const int i = ((from + step * k) % n + n) % n;
    const PanelEntry& e = p.entries[static_cast<size_t>(i)];
    if (e.dots) continue;
    if (StartsWithFolded(e.name, folded)) {
      p.current = i;
      return true;
    }
  }
  return false;
}

std::optional<Event> QuickSearch::Run(const Event& first) {
  text_.clear();
  host_.PushWindow(this);
  std::optional<Event> pass_on;
  Event ev = first;
  for (;;) {
    Panel& p = host_.panels()[side_];
    const char32_t c = CharOf(ev);
    if (c != 0) {
      // A character is taken only when some name goes on with it.
      std::u32string longer = text_ + c;
      if (Seek(longer, 0, 1)) text_ = std::move(longer);
    } else if (ev.vk == VK_BACK && ev.control == 0) {
      if (!text_.empty()) text_.pop_back();
      if (!text_.empty()) Seek(text_, 0, 1);
    } else if (ev.vk == VK_RETURN && (ev.control & PKF_CONTROL) && !(ev.control & PKF_ALT)) {
      const int step = (ev.control & PKF_SHIFT) ? -1 : 1;
      Seek(text_, p.current + step, step);
    } else if (ev.vk == VK_ESCAPE && ev.control == 0) {
      break;
    } else if (ev.vk == VK_SHIFT || ev.vk == VK_MENU || ev.vk == VK_CONTROL) {
      // A modifier alone changes nothing.
    } else {
      pass_on = ev;
      break;
    }
    ev = host_.NextEvent();
    if (ev.kind == Event::kQuit) break;
    if (ev.kind != Event::kKey) {
      pass_on = ev;
      break;
    }
  }
  host_.PopWindow();
  return pass_on;
}

void QuickSearch::Draw(Screen& s) {
  const PanelLayout layout(s);
  const int px = layout.PanelX(side_), pw = layout.PanelWidth(side_);
  const int w = std::min(pw - 2, 30);
  // Three rows over the panel's status line, its bottom frame and the command line, as in FAR.
  const int y = layout.PanelHeight() - 2;
  if (w < 8 || y < 0) return;
  const int x = px + std::min(5, pw - w - 1);
  const colors::Pair c = colors::kDialog;
  s.Fill(x, y, w, 3, U' ', c.fg, c.bg);
  DrawFrame(s, x, y, w, 3, false, c);
  DrawFrameTitle(s, x, y, w, "Search", c);
  const int inner = w - 4;
  const std::string typed = EncodeUtf8(text_);
  // The end of a long text stays in sight.
  std::string_view shown = typed;
  while (TextWidth(shown) > inner - 1 && !shown.empty()) {
    size_t cut = 1;
    while (cut < shown.size() && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) ++cut;
    shown.remove_prefix(cut);
  }
  s.Fill(x + 2, y + 1, inner, 1, U' ', colors::kDialogEdit.fg, colors::kDialogEdit.bg);
  s.Text(x + 2, y + 1, shown, colors::kDialogEdit.fg, colors::kDialogEdit.bg, inner);
  s.SetCursor(x + 2 + TextWidth(shown), y + 1, true);
}

}  // namespace qb::host
