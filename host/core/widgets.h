// Drawing helpers the menus, dialogs and message boxes share: frames and texts with a hot key
// ("&Save" shows "Save" with the S highlighted).
#pragma once

#include <string>

#include "host/core/colors.h"
#include "host/frontend.h"
#include "host/screen.h"

namespace qb::host {

struct HotText {
  std::u32string text;  // without the "&"
  int hot_pos = -1;     // index into text of the highlighted character, -1 when none
  // The hot key as an upper-case character, 0 when none.
  char32_t hot() const;
};

// Hot keys compare in upper case: ASCII letters are folded, other characters stay as they are.
char32_t HotKeyCase(char32_t c);
// The hot key an event presses, in upper case: the character typed, or else the letter or digit
// held with Alt; 0 when none.
char32_t HotKeyOf(const Event& ev);

// "&&" is a literal ampersand; with show_amp every "&" is shown as it is.
HotText ParseHotText(const char* text, bool show_amp);
int TextCells(const std::u32string& text);

// Draws the text from x, at most max_cols cells; returns the cells used.
int DrawHotText(Screen& s, int x, int y, const HotText& t, colors::Pair normal, colors::Pair hot,
                int max_cols);

void DrawFrame(Screen& s, int x, int y, int w, int h, bool double_line, colors::Pair c);
// A title centred on the frame's top line, with a blank on either side.
void DrawFrameTitle(Screen& s, int x, int y, int w, const std::string& title, colors::Pair c);
// A horizontal separator across a frame (╟───╢ or ├───┤), with an optional centred text.
void DrawSeparator(Screen& s, int x, int y, int w, bool double_frame, const std::string& text,
                   colors::Pair c);

}  // namespace qb::host
