// Turns the bytes a terminal sends into key and mouse events.
//
// Understands what xterm and its descendants send (CSI and SS3 cursor and function keys with the
// "1;m" modifier parameter, CSI n;m~ editing and function keys, CSI u and modifyOtherKeys), the
// Linux console (CSI [A..E for F1..F5, CSI 1~/4~ for Home/End, F13..F20 as Shift+F3..F10), rxvt
// ($ ^ @ suffixes for Shift, Ctrl and both; CSI a..d / SS3 a..d for Shift / Ctrl arrows), tmux
// and screen, ESC-prefixed Alt combinations, UTF-8 text, and mouse reports in SGR (1006) and
// the old X10 encodings. A lone ESC is the Esc key once no further byte has arrived within the
// escape delay.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/frontend.h"

namespace qb::host {

class InputDecoder {
 public:
  explicit InputDecoder(int escape_delay_ms = 50) : escape_delay_ms_(escape_delay_ms) {}

  // Adds bytes read from the terminal at time now_ms. Bytes that were waiting longer than the
  // escape delay are complete as they are: the new ones do not continue them, even when Next()
  // was not called in between (the process was not scheduled while the delay ran out).
  void Feed(std::string_view bytes, int64_t now_ms);

  // The next complete event, or nothing while the buffered bytes may still be the start of a
  // longer sequence. An unfinished sequence is resolved (ESC alone becomes Esc, "ESC [" becomes
  // Alt+[, a broken UTF-8 sequence U+FFFD) once escape_delay_ms passed since the last byte.
  // Sequences that are understood but mean nothing to the host are dropped.
  std::optional<Event> Next(int64_t now_ms);

  // Milliseconds until Next() would resolve an unfinished sequence; -1 when nothing is pending.
  int PendingMs(int64_t now_ms) const;

  bool empty() const { return buffer_.empty(); }

 private:
  std::string buffer_;
  size_t expired_ = 0;  // the first bytes of buffer_, resolved without waiting for more
  int64_t last_byte_ms_ = 0;
  int escape_delay_ms_;
};

}  // namespace qb::host
