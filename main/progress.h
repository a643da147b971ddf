// How long work (a compaction, a text export) tells the user how far it has come: a message box
// without buttons, shown once the work has passed a few thousand steps and drawn again as it goes
// on, so short work shows nothing. The host's Message without buttons returns at once, as FAR's
// does, so the box costs only its drawing.
#pragma once

#include <cstdint>

namespace qb::main {

class ProgressBox {
 public:
  // panel: the host's handle of the panel the work runs for. title and text are main-module
  // messages; text takes the count of steps so far as "%ld".
  ProgressBox(void* panel, int title, int text);
  // Paints the panels over the box when it was shown.
  ~ProgressBox();
  ProgressBox(const ProgressBox&) = delete;
  ProgressBox& operator=(const ProgressBox&) = delete;

  // One more step done; draws the box when it is due.
  void Step();
  long steps() const { return steps_; }

  // Whether the user pressed Esc since the host last read the keyboard (the host's
  // QbCheckForEscape); false inside a host that does not offer it.
  static bool EscapePressed();

  // The box appears at step kShowFrom and is drawn again every kRedrawEvery steps.
  static constexpr long kShowFrom = 2000;
  static constexpr long kRedrawEvery = 500;

 private:
  void Show();

  void* panel_;
  int title_;
  int text_;
  long steps_ = 0;
  bool shown_ = false;
};

}  // namespace qb::main
