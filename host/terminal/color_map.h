// How the sixteen console colours of the screen model become curses colours.
#pragma once

namespace qb::host {

// The curses rendering of one console foreground/background pair.
struct CursesColor {
  short pair = 0;  // colour pair number; pair 0 is the terminal's white on black
  short fg = 0;    // curses colour numbers that pair is initialised with
  short bg = 0;
  bool bold = false;  // stands in for a bright foreground on 8-colour terminals
};

// The terminal's colour capacity, as curses reports it after start_color().
struct ColorCapacity {
  int colors = 0;  // COLORS
  int pairs = 0;   // COLOR_PAIRS
};

// Maps console colours (0..15, blue = 1, red = 4 as on the console) to a pair. With 16 colours
// and 256 pairs every combination has its own pair; otherwise colours fold to the 8 basic ones
// and bright foregrounds are drawn bold (bright backgrounds lose their brightness). The pair of
// light gray on black is always pair 0, which curses cannot redefine. Returns pair 0 and no bold
// when the terminal has fewer than 8 colours or 64 pairs.
CursesColor MapColor(int console_fg, int console_bg, ColorCapacity capacity);

// The curses colour number of a console colour (console order is BGR, curses' RGB).
short CursesColorOf(int console_color, bool sixteen);

}  // namespace qb::host
