// What the host needs from a front end: present a screen, deliver input events, let time pass.
// The terminal front end reads a real terminal; the headless one plays a script.
#pragma once

#include <cstdint>
#include <string>

#include "host/screen.h"

namespace qb::host {

struct Event {
  enum Kind { kNone, kKey, kResize, kMouse, kQuit };
  Kind kind = kNone;
  // kKey: a Windows virtual key code and PKF_ control state; ch is the character typed (0 for keys
  // that type none, such as F4 or Ctrl+letter). Letters come as 'A'..'Z' in vk with ch the
  // character as typed.
  int vk = 0;
  unsigned control = 0;
  char32_t ch = 0;
  // kResize: the new size. kMouse: the cell clicked (left button).
  int x = 0, y = 0;
};

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;
  // Current size in cells.
  virtual int cols() const = 0;
  virtual int rows() const = 0;
  // Shows the screen (whole; the front end may diff).
  virtual void Present(const Screen& screen) = 0;
  // Waits for the next event at most timeout_ms milliseconds (-1: no limit). Returns kNone on
  // timeout. The headless front end returns kQuit at the end of its script.
  virtual Event Wait(int timeout_ms) = 0;
  // The next event that has already arrived, without waiting and without letting time pass;
  // kNone when there is none. Long work looks at the keyboard this way between two steps.
  virtual Event Poll() { return Event{}; }
  // Milliseconds on the front end's clock (the headless one advances it with "wait").
  virtual int64_t NowMs() const = 0;
  // The front end puts the text on the system clipboard where it can (the host keeps its own copy).
  virtual void SetClipboard(const std::string& text) { (void)text; }
  // Runs a program on the real terminal (pager, editor): the screen is suspended and restored.
  // `program` is a command line (split into words, no shell), or "pager" / "editor" for the
  // user's choice ($PAGER; $VISUAL, $EDITOR) with the usual fallbacks (less, more; nano, vi).
  // `file` is added as the last argument. Returns the program's exit status, or -1 when it
  // could not run.
  virtual int RunExternal(const std::string& program, const std::string& file) {
    (void)program;
    (void)file;
    return -1;
  }
};

}  // namespace qb::host
