// The headless front end: plays a script of events instead of reading a terminal, keeps the last
// screen it was shown, and lets time pass only when the script says so.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "host/frontend.h"

namespace qb::host {

struct ScriptStep {
  enum Kind { kKey, kText, kScreen, kClipboard, kWait, kSize };
  Kind kind = kKey;
  Event key;               // kKey: a key, or a click ("click X Y")
  std::u32string text;     // kText
  int64_t ms = 0;          // kWait
  int cols = 0, rows = 0;  // kSize
  int line = 0;            // 1-based line in the script, for messages
};

// Parses a script: one event a line (a key by FAR's name, "text WORDS", "click X Y", "screen",
// "clipboard", "wait MS", "size COLSxROWS"); blank lines and lines starting with "#" are skipped.
// On a line it does not understand it returns false with `error` naming the line.
bool ParseScript(const std::string& script, std::vector<ScriptStep>* steps, std::string* error);

class HeadlessFrontEnd : public FrontEnd {
 public:
  // "screen" and "clipboard" steps print to out.
  HeadlessFrontEnd(int cols, int rows, std::vector<ScriptStep> steps, std::ostream& out);

  int cols() const override { return cols_; }
  int rows() const override { return rows_; }
  void Present(const Screen& screen) override;
  Event Wait(int timeout_ms) override;
  // The script's next key when a key (or a typed character) comes next; any other step (a wait,
  // a screen, a resize) is an event that has not arrived yet.
  Event Poll() override;
  int64_t NowMs() const override { return now_; }
  void SetClipboard(const std::string& text) override { clipboard_ = text; }

  // The screen as last presented, as text ("" before the first).
  const std::string& last_screen() const { return last_; }
  bool finished() const { return next_ >= steps_.size(); }

 private:
  int cols_, rows_;
  std::vector<ScriptStep> steps_;
  std::ostream& out_;
  size_t next_ = 0;
  size_t text_pos_ = 0;     // within a kText step
  int64_t wait_left_ = -1;  // within a kWait step; -1 when not started
  int64_t now_ = 0;
  std::string last_;
  std::string clipboard_;
};

}  // namespace qb::host
