#include "host/terminal/color_map.h"

namespace qb::host {

short CursesColorOf(int console_color, bool sixteen) {
  // Console bit 0 is blue and bit 2 red; curses has them the other way round.
  static constexpr short kBase[8] = {0, 4, 2, 6, 1, 5, 3, 7};
  short c = kBase[console_color & 7];
  if (sixteen && (console_color & 8)) c = static_cast<short>(c + 8);
  return c;
}

CursesColor MapColor(int console_fg, int console_bg, ColorCapacity capacity) {
  CursesColor out;
  if (capacity.colors < 8 || capacity.pairs < 64) return out;
  bool sixteen = capacity.colors >= 16 && capacity.pairs >= 256;
  int n = sixteen ? 16 : 8;
  out.fg = CursesColorOf(console_fg & 15, sixteen);
  out.bg = CursesColorOf(console_bg & 15, sixteen);
  out.bold = !sixteen && (console_fg & 8) != 0;
  // Numbered so that white (7) on black (0) lands on pair 0 and every other pair is distinct.
  out.pair = static_cast<short>(out.bg * n + (out.fg - 7 + n) % n);
  return out;
}

}  // namespace qb::host
