// Quick search: FAR's small search line under a panel. Alt with a character opens it; each
// character typed then (with Alt or without) moves the cursor to the first item whose name starts
// with the text, letter case ignored; a character no name continues with is refused.
// Ctrl+Enter goes on to the next item that matches (Ctrl+Shift+Enter back), Backspace takes the
// last character off, Esc closes the line, and any other key closes it and then does what it
// does on the panel.
#pragma once

#include <optional>
#include <string>

#include "host/core/host.h"

namespace qb::host {

class QuickSearch : public Window {
 public:
  QuickSearch(Host& host, int side) : host_(host), side_(side) {}

  // The character an event types into the search: the character itself, or else the letter or
  // digit held with Alt; 0 when the event types none (or holds Ctrl).
  static char32_t CharOf(const Event& ev);
  // Whether this key opens the search line on a panel: Alt (without Ctrl) and a character.
  static bool Opens(const Event& ev);

  // Runs the line from the key that opened it until a key closes it. Returns that key when the
  // panel is to handle it next, nothing when the line used it (Esc) or the program is ending.
  std::optional<Event> Run(const Event& first);

  void Draw(Screen& s) override;

 private:
  // Puts the cursor on the first matching item at or after `from` going forward (back when
  // step is -1), wrapping round; false, with the cursor left, when none matches.
  bool Seek(const std::u32string& text, int from, int step);

  Host& host_;
  int side_;
  std::u32string text_;  // as typed
};

}  // namespace qb::host
