#include "host/core/widgets.h"

#include <algorithm>
#include <cwctype>

#include "sdk/far.h"

namespace qb::host {

char32_t HotKeyCase(char32_t c) {
  return c < 0x80 ? static_cast<char32_t>(std::towupper(static_cast<wint_t>(c))) : c;
}

char32_t HotKeyOf(const Event& ev) {
  char32_t key = ev.ch;
  if (!key && (ev.control & PKF_ALT) && ev.vk >= '0' && ev.vk <= 'Z')
    key = static_cast<char32_t>(ev.vk);
  return HotKeyCase(key);
}

char32_t HotText::hot() const {
  if (hot_pos < 0 || hot_pos >= static_cast<int>(text.size())) return 0;
  return HotKeyCase(text[hot_pos]);
}

HotText ParseHotText(const char* text, bool show_amp) {
  HotText out;
  std::u32string raw = DecodeUtf8(text ? text : "");
  if (show_amp) {
    out.text = raw;
    return out;
  }
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == U'&' && i + 1 < raw.size()) {
      if (raw[i + 1] == U'&') {
        out.text.push_back(U'&');
        ++i;
        continue;
      }
      if (out.hot_pos < 0) out.hot_pos = static_cast<int>(out.text.size());
      continue;
    }
    out.text.push_back(raw[i]);
  }
  return out;
}

int TextCells(const std::u32string& text) {
  int w = 0;
  for (char32_t c : text) w += CharWidth(c);
  return w;
}

int DrawHotText(Screen& s, int x, int y, const HotText& t, colors::Pair normal, colors::Pair hot,
                int max_cols) {
  int used = 0;
  for (size_t i = 0; i < t.text.size(); ++i) {
    colors::Pair c = static_cast<int>(i) == t.hot_pos ? hot : normal;
    std::u32string one(1, t.text[i]);
    int w = CharWidth(t.text[i]);
    if (used + w > max_cols) break;
    used += s.Text(x + used, y, EncodeUtf8(one), c.fg, c.bg, max_cols - used);
  }
  return used;
}

void DrawFrame(Screen& s, int x, int y, int w, int h, bool dbl, colors::Pair c) {
  if (w < 2 || h < 2) return;
  const char32_t hz = dbl ? U'═' : U'─', vt = dbl ? U'║' : U'│';
  auto put = [&](int cx, int cy, char32_t ch) {
    if (cx >= 0 && cy >= 0 && cx < s.cols() && cy < s.rows()) s.at(cx, cy) = Cell{ch, c.fg, c.bg};
  };
  for (int i = 1; i < w - 1; ++i) {
    put(x + i, y, hz);
    put(x + i, y + h - 1, hz);
  }
  for (int j = 1; j < h - 1; ++j) {
    put(x, y + j, vt);
    put(x + w - 1, y + j, vt);
  }
  put(x, y, dbl ? U'╔' : U'┌');
  put(x + w - 1, y, dbl ? U'╗' : U'┐');
  put(x, y + h - 1, dbl ? U'╚' : U'└');
  put(x + w - 1, y + h - 1, dbl ? U'╝' : U'┘');
}

void DrawFrameTitle(Screen& s, int x, int y, int w, const std::string& title, colors::Pair c) {
  if (title.empty() || w < 5) return;
  std::string t = " " + std::string(FitText(title, w - 4)) + " ";
  int tw = TextWidth(t);
  s.Text(x + (w - tw) / 2, y, t, c.fg, c.bg);
}

void DrawSeparator(Screen& s, int x, int y, int w, bool dbl, const std::string& text,
                   colors::Pair c) {
  if (w < 2 || y < 0 || y >= s.rows()) return;
  for (int i = 0; i < w; ++i) {
    int cx = x + i;
    if (cx < 0 || cx >= s.cols()) continue;
    char32_t ch = i == 0 ? (dbl ? U'╟' : U'├') : i == w - 1 ? (dbl ? U'╢' : U'┤') : U'─';
    s.at(cx, y) = Cell{ch, c.fg, c.bg};
  }
  if (!text.empty()) DrawFrameTitle(s, x, y, w, text, c);
}

}  // namespace qb::host
