// One line of text being edited: the command line and every edit field of a dialog. It owns the
// text and the cursor, applies the editing keys, and keeps the cursor in view of a field of a
// given width. Drawing and what Enter or Escape mean are the owner's.
#pragma once

#include <cstddef>
#include <string>

#include "host/frontend.h"

namespace qb::host {

struct LineEditorOptions {
  // UTF-8 bytes the text may take: typing that would pass the limit is refused and a longer text
  // given to SetText is cut at a character. 0: no limit.
  size_t max_bytes = 0;
  // > 0: a fixed-width field of that many characters. A longer text given to SetText is cut;
  // once the field is full, typing overwrites, and past the end it overwrites the last character.
  int fixed_width = 0;
  // A template, one position per character: '9' and 'N' take a digit or blank, '#' also '+' and
  // '-', 'A' and 'a' a letter or blank, 'X' anything; every other character is a literal the text
  // keeps at its place. The cursor skips the literals and deleting blanks a place.
  std::u32string mask{};
  // The text can't be changed; the cursor still moves.
  bool read_only = false;
};

class LineEditor {
 public:
  LineEditor() = default;
  explicit LineEditor(LineEditorOptions options) : options_(std::move(options)) {}

  // Replaces the text (cut to the limits, shaped by the mask) and puts the cursor at its end, or
  // on the first editable place of a mask; the view goes back to the start. With a mask, a text
  // that already has the mask's literals is taken place by place ("12:34"), any other one fills
  // the editable places in turn ("1234").
  void SetText(const std::u32string& text);
  void SetText(std::string_view utf8);
  const std::u32string& text() const { return text_; }
  std::string Utf8() const;
  bool empty() const { return text_.empty(); }

  size_t cursor() const { return cursor_; }
  // Moves the cursor, at most to the end of the text.
  void SetCursor(size_t cursor);

  // Applies an editing key: Left, Right, Home, End, Backspace, Del, Ctrl+Y (clears) and the
  // characters typed without Ctrl or Alt (Shift is fine). True when the key is one of these, even
  // where it changes nothing (Left at the start, typing into a full or read-only field); false
  // for every other key, which is then the owner's.
  bool Key(const Event& ev);

  // Keeps the cursor inside a field `width` cells wide, moving the first character shown as
  // little as it must from where it was. With `secret` the text shows as one '*' per character.
  // Returns the cells between the first character shown and the cursor.
  int ScrollIntoView(int width, bool secret = false);
  // Shows the text from its first character again.
  void ScrollToStart() { scroll_ = 0; }
  // Index of the first character shown.
  size_t scroll() const { return scroll_; }

 private:
  bool Editable(size_t pos) const;
  void Insert(char32_t ch);
  void Backspace();
  void Delete();
  void Clear();

  LineEditorOptions options_;
  std::u32string text_;
  size_t cursor_ = 0;
  size_t scroll_ = 0;
};

}  // namespace qb::host
