// The command line under the panels: a prompt and one line being typed. It takes the editing keys
// while there is text, hands the typed command over on Enter, and says what a command asks for;
// running it is the key dispatcher's.
#pragma once

#include <string>

#include "host/core/line_editor.h"
#include "host/frontend.h"
#include "host/screen.h"

namespace qb::host {

// What a command typed on the line asks for.
struct Command {
  enum Kind {
    kNone,       // nothing but blanks
    kPlugin,     // one of the plug-in's prefixes and a colon: arg is what follows the colon
    kChangeDir,  // "cd" alone (arg "~") or "cd DIR" (arg DIR, as typed)
    kOther,      // anything else: arg is the command
  };
  Kind kind = kNone;
  std::string arg;
};

// Reads a command (blanks around it do not count). prefixes: the plug-in's command prefixes,
// several separated by ':' ("quill" or "qb:quill"), compared without regard to case; empty when
// no plug-in is loaded.
Command ParseCommand(const std::string& line, const std::string& prefixes);

class CommandLine {
 public:
  enum KeyResult {
    kNotMine,  // the key is for the plug-in or the panels
    kEdited,   // the key edited the line (or was an editing key that changed nothing)
    kEnter,    // Enter on a line with text: run Take()
  };
  // Characters typed without Ctrl or Alt always go to the line. The other editing keys (Left,
  // Right, Home, End, Backspace, Del), Escape (clears) and Enter are the line's only while it
  // holds text.
  KeyResult Key(const Event& ev);

  // The line's text, as FCTL_GETCMDLINE hands it out.
  std::string text() const { return editor_.Utf8(); }
  bool empty() const { return editor_.empty(); }
  // Replaces the text (FCTL_SETCMDLINE); the cursor goes to its end.
  void SetText(const std::string& text) { editor_.SetText(text); }
  // The text, leaving the line empty.
  std::string Take();

  // Draws the prompt and the text on row y, the whole width of the screen, and puts the screen's
  // cursor on the line's. A line longer than the room left shows as much of its start as keeps
  // the cursor in view.
  void Draw(Screen& s, int y, const std::string& prompt);

 private:
  LineEditor editor_;
};

}  // namespace qb::host
