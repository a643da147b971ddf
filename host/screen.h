// The screen model: a grid of character cells with console colours that the host draws into and a
// front end (terminal or headless) presents. Nothing here knows about terminals.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb::host {

// The sixteen console colours, with their console numbers.
enum Color : uint8_t {
  kBlack = 0,
  kBlue = 1,
  kGreen = 2,
  kCyan = 3,
  kRed = 4,
  kMagenta = 5,
  kBrown = 6,
  kLightGray = 7,
  kDarkGray = 8,
  kLightBlue = 9,
  kLightGreen = 10,
  kLightCyan = 11,
  kLightRed = 12,
  kLightMagenta = 13,
  kYellow = 14,
  kWhite = 15,
};

struct Cell {
  char32_t ch = U' ';
  uint8_t fg = kLightGray;
  uint8_t bg = kBlack;
  // The right half of a double-width character drawn in the cell to the left; presenters skip it.
  bool continuation = false;
  bool operator==(const Cell&) const = default;
};

// Display width of a character in cells: 0 for combining marks and controls, 2 for wide (CJK,
// fullwidth) characters, else 1.
int CharWidth(char32_t ch);
// Decodes UTF-8; invalid bytes come back as U+FFFD one byte at a time.
std::u32string DecodeUtf8(std::string_view text);
std::string EncodeUtf8(std::u32string_view text);
// Display width of a UTF-8 text.
int TextWidth(std::string_view utf8);
// The longest prefix of a UTF-8 text that fits in `cols` cells, cut at a character boundary.
std::string_view FitText(std::string_view utf8, int cols);

class Screen {
 public:
  Screen(int cols, int rows);

  int cols() const { return cols_; }
  int rows() const { return rows_; }
  void Resize(int cols, int rows);  // contents are cleared

  Cell& at(int x, int y) { return cells_[static_cast<size_t>(y) * cols_ + x]; }
  const Cell& at(int x, int y) const { return cells_[static_cast<size_t>(y) * cols_ + x]; }

  void Fill(int x, int y, int w, int h, char32_t ch, uint8_t fg, uint8_t bg);
  // Draws UTF-8 text from (x, y), at most max_cols cells (-1: to the right edge), cut at a
  // character; a wide character that would not fit whole is replaced by a space. Returns the
  // number of cells used. Never writes outside the screen.
  int Text(int x, int y, std::string_view utf8, uint8_t fg, uint8_t bg, int max_cols = -1);

  void SetCursor(int x, int y, bool visible) {
    cursor_x_ = x;
    cursor_y_ = y;
    cursor_visible_ = visible;
  }
  int cursor_x() const { return cursor_x_; }
  int cursor_y() const { return cursor_y_; }
  bool cursor_visible() const { return cursor_visible_; }

  // The screen as UTF-8 text, one line per row without trailing blanks, each ended by "\n".
  std::string ToText() const;

 private:
  int cols_, rows_;
  std::vector<Cell> cells_;
  int cursor_x_ = 0, cursor_y_ = 0;
  bool cursor_visible_ = false;
};

}  // namespace qb::host
