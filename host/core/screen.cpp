// The screen model and the UTF-8 / display-width helpers every part of the UI measures text with.
#include "host/screen.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/codepage/codepage.h"

namespace qb::host {

namespace {

struct Range {
  char32_t first, last;
};

// Combining marks and other zero-width characters (general categories Mn, Me, Cf and the
// Hangul medial/final jamo), the ranges a terminal draws as zero columns.
constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F},   {0x0483, 0x0489},   {0x0591, 0x05BD},   {0x05BF, 0x05BF},
    {0x05C1, 0x05C2},   {0x05C4, 0x05C5},   {0x05C7, 0x05C7},   {0x0600, 0x0605},
    {0x0610, 0x061A},   {0x061C, 0x061C},   {0x064B, 0x065F},   {0x0670, 0x0670},
    {0x06D6, 0x06DD},   {0x06DF, 0x06E4},   {0x06E7, 0x06E8},   {0x06EA, 0x06ED},
    {0x070F, 0x070F},   {0x0711, 0x0711},   {0x0730, 0x074A},   {0x07A6, 0x07B0},
    {0x07EB, 0x07F3},   {0x07FD, 0x07FD},   {0x0816, 0x0819},   {0x081B, 0x0823},
    {0x0825, 0x0827},   {0x0829, 0x082D},   {0x0859, 0x085B},   {0x0890, 0x0891},
    {0x0898, 0x089F},   {0x08CA, 0x0902},   {0x093A, 0x093A},   {0x093C, 0x093C},
    {0x0941, 0x0948},   {0x094D, 0x094D},   {0x0951, 0x0957},   {0x0962, 0x0963},
    {0x0981, 0x0981},   {0x09BC, 0x09BC},   {0x09C1, 0x09C4},   {0x09CD, 0x09CD},
    {0x09E2, 0x09E3},   {0x09FE, 0x09FE},   {0x0A01, 0x0A02},   {0x0A3C, 0x0A3C},
    {0x0A41, 0x0A51},   {0x0A70, 0x0A71},   {0x0A75, 0x0A75},   {0x0A81, 0x0A82},
    {0x0ABC, 0x0ABC},   {0x0AC1, 0x0AC8},   {0x0ACD, 0x0ACD},   {0x0AE2, 0x0AE3},
    {0x0AFA, 0x0AFF},   {0x0B01, 0x0B01},   {0x0B3C, 0x0B3C},   {0x0B3F, 0x0B3F},
    {0x0B41, 0x0B44},   {0x0B4D, 0x0B4D},   {0x0B55, 0x0B56},   {0x0B62, 0x0B63},
    {0x0B82, 0x0B82},   {0x0BC0, 0x0BC0},   {0x0BCD, 0x0BCD},   {0x0C00, 0x0C00},
    {0x0C04, 0x0C04},   {0x0C3C, 0x0C3C},   {0x0C3E, 0x0C40},   {0x0C46, 0x0C56},
    {0x0C62, 0x0C63},   {0x0C81, 0x0C81},   {0x0CBC, 0x0CBC},   {0x0CBF, 0x0CBF},
    {0x0CC6, 0x0CC6},   {0x0CCC, 0x0CCD},   {0x0CE2, 0x0CE3},   {0x0D00, 0x0D01},
    {0x0D3B, 0x0D3C},   {0x0D41, 0x0D44},   {0x0D4D, 0x0D4D},   {0x0D62, 0x0D63},
    {0x0D81, 0x0D81},   {0x0DCA, 0x0DCA},   {0x0DD2, 0x0DD6},   {0x0E31, 0x0E31},
    {0x0E34, 0x0E3A},   {0x0E47, 0x0E4E},   {0x0EB1, 0x0EB1},   {0x0EB4, 0x0EBC},
    {0x0EC8, 0x0ECE},   {0x0F18, 0x0F19},   {0x0F35, 0x0F35},   {0x0F37, 0x0F37},
    {0x0F39, 0x0F39},   {0x0F71, 0x0F7E},   {0x0F80, 0x0F84},   {0x0F86, 0x0F87},
    {0x0F8D, 0x0FBC},   {0x0FC6, 0x0FC6},   {0x102D, 0x1030},   {0x1032, 0x1037},
    {0x1039, 0x103A},   {0x103D, 0x103E},   {0x1058, 0x1059},   {0x105E, 0x1060},
    {0x1071, 0x1074},   {0x1082, 0x1082},   {0x1085, 0x1086},   {0x108D, 0x108D},
    {0x109D, 0x109D},   {0x1160, 0x11FF},   {0x135D, 0x135F},   {0x1712, 0x1714},
    {0x1732, 0x1733},   {0x1752, 0x1753},   {0x1772, 0x1773},   {0x17B4, 0x17B5},
    {0x17B7, 0x17BD},   {0x17C6, 0x17C6},   {0x17C9, 0x17D3},   {0x17DD, 0x17DD},
    {0x180B, 0x180F},   {0x1885, 0x1886},   {0x18A9, 0x18A9},   {0x1920, 0x1922},
    {0x1927, 0x1928},   {0x1932, 0x1932},   {0x1939, 0x193B},   {0x1A17, 0x1A18},
    {0x1A1B, 0x1A1B},   {0x1A56, 0x1A56},   {0x1A58, 0x1A60},   {0x1A62, 0x1A62},
    {0x1A65, 0x1A6C},   {0x1A73, 0x1A7F},   {0x1AB0, 0x1ACE},   {0x1B00, 0x1B03},
    {0x1B34, 0x1B34},   {0x1B36, 0x1B3A},   {0x1B3C, 0x1B3C},   {0x1B42, 0x1B42},
    {0x1B6B, 0x1B73},   {0x1B80, 0x1B81},   {0x1BA2, 0x1BA5},   {0x1BA8, 0x1BA9},
    {0x1BAB, 0x1BAD},   {0x1BE6, 0x1BE6},   {0x1BE8, 0x1BE9},   {0x1BED, 0x1BED},
    {0x1BEF, 0x1BF1},   {0x1C2C, 0x1C33},   {0x1C36, 0x1C37},   {0x1CD0, 0x1CD2},
    {0x1CD4, 0x1CE0},   {0x1CE2, 0x1CE8},   {0x1CED, 0x1CED},   {0x1CF4, 0x1CF4},
    {0x1CF8, 0x1CF9},   {0x1DC0, 0x1DFF},   {0x200B, 0x200F},   {0x202A, 0x202E},
    {0x2060, 0x2064},   {0x2066, 0x206F},   {0x20D0, 0x20F0},   {0x2CEF, 0x2CF1},
    {0x2D7F, 0x2D7F},   {0x2DE0, 0x2DFF},   {0x302A, 0x302D},   {0x3099, 0x309A},
    {0xA66F, 0xA672},   {0xA674, 0xA67D},   {0xA69E, 0xA69F},   {0xA6F0, 0xA6F1},
    {0xA802, 0xA802},   {0xA806, 0xA806},   {0xA80B, 0xA80B},   {0xA825, 0xA826},
    {0xA82C, 0xA82C},   {0xA8C4, 0xA8C5},   {0xA8E0, 0xA8F1},   {0xA8FF, 0xA8FF},
    {0xA926, 0xA92D},   {0xA947, 0xA951},   {0xA980, 0xA982},   {0xA9B3, 0xA9B3},
    {0xA9B6, 0xA9B9},   {0xA9BC, 0xA9BD},   {0xA9E5, 0xA9E5},   {0xAA29, 0xAA2E},
    {0xAA31, 0xAA32},   {0xAA35, 0xAA36},   {0xAA43, 0xAA43},   {0xAA4C, 0xAA4C},
    {0xAA7C, 0xAA7C},   {0xAAB0, 0xAAB0},   {0xAAB2, 0xAAB4},   {0xAAB7, 0xAAB8},
    {0xAABE, 0xAABF},   {0xAAC1, 0xAAC1},   {0xAAEC, 0xAAED},   {0xAAF6, 0xAAF6},
    {0xABE5, 0xABE5},   {0xABE8, 0xABE8},   {0xABED, 0xABED},   {0xD7B0, 0xD7FF},
    {0xFB1E, 0xFB1E},   {0xFE00, 0xFE0F},   {0xFE20, 0xFE2F},   {0xFEFF, 0xFEFF},
    {0xFFF9, 0xFFFB},   {0x101FD, 0x101FD}, {0x102E0, 0x102E0}, {0x10376, 0x1037A},
    {0x10A01, 0x10A0F}, {0x10A38, 0x10A3F}, {0x10AE5, 0x10AE6}, {0x10D24, 0x10D27},
    {0x10EAB, 0x10EAC}, {0x10F46, 0x10F50}, {0x11001, 0x11001}, {0x11038, 0x11046},
    {0x1107F, 0x11081}, {0x110B3, 0x110B6}, {0x110B9, 0x110BA}, {0x11100, 0x11102},
    {0x11127, 0x1112B}, {0x1112D, 0x11134}, {0x11173, 0x11173}, {0x11180, 0x11181},
    {0x111B6, 0x111BE}, {0x1D167, 0x1D169}, {0x1D173, 0x1D182}, {0x1D185, 0x1D18B},
    {0x1D1AA, 0x1D1AD}, {0x1D242, 0x1D244}, {0x1E000, 0x1E02A}, {0x1E130, 0x1E136},
    {0x1E2EC, 0x1E2EF}, {0x1E8D0, 0x1E8D6}, {0x1E944, 0x1E94A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F}, {0xE0100, 0xE01EF},
};

// East Asian Wide and Fullwidth characters, and the emoji presented as wide.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x23F0, 0x23F0},   {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},
    {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x2693},   {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x26CE, 0x26CE},
    {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},
    {0x2728, 0x2728},   {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},
    {0x2757, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},
    {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x2E80, 0x303E},
    {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},
    {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4},
    {0x17000, 0x18CFF}, {0x1B000, 0x1B2FF}, {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF},
    {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F202}, {0x1F210, 0x1F23B},
    {0x1F240, 0x1F248}, {0x1F250, 0x1F251}, {0x1F260, 0x1F265}, {0x1F300, 0x1F320},
    {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA},
    {0x1F3CF, 0x1F3D3}, {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E},
    {0x1F440, 0x1F440}, {0x1F442, 0x1F4FC}, {0x1F4FF, 0x1F53D}, {0x1F54B, 0x1F54E},
    {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A}, {0x1F595, 0x1F596}, {0x1F5A4, 0x1F5A4},
    {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC}, {0x1F6D0, 0x1F6D2},
    {0x1F6D5, 0x1F6D7}, {0x1F6DC, 0x1F6DF}, {0x1F6EB, 0x1F6EC}, {0x1F6F4, 0x1F6FC},
    {0x1F7E0, 0x1F7EB}, {0x1F7F0, 0x1F7F0}, {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945},
    {0x1F947, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

template <size_t N>
bool InRanges(const Range (&ranges)[N], char32_t ch) {
  const Range* it = std::upper_bound(std::begin(ranges), std::end(ranges), ch,
                                     [](char32_t c, const Range& r) { return c < r.first; });
  if (it == std::begin(ranges)) return false;
  --it;
  return ch <= it->last;
}

}  // namespace

int CharWidth(char32_t ch) {
  if (ch == 0) return 0;
  if (ch < 0x20 || (ch >= 0x7F && ch < 0xA0)) return 0;
  if (ch < 0x300) return 1;
  if (InRanges(kZeroWidth, ch)) return 0;
  if (InRanges(kWide, ch)) return 2;
  return 1;
}

std::u32string DecodeUtf8(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    int len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
      min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
      min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
      min = 0x10000;
    }
    bool ok = len > 0 && i + len <= n;
    for (int k = 1; ok && k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) {
        ok = false;
      } else {
        cp = (cp << 6) | (cc & 0x3F);
      }
    }
    if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    out.push_back(cp);
    i += len;
  }
  return out;
}

std::string EncodeUtf8(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t cp : text) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

namespace {

// Decodes one character at `i`, returning it and advancing `i` (invalid bytes: U+FFFD, one byte).
char32_t NextChar(std::string_view text, size_t& i) {
  // Decoding at most four bytes keeps the rules in one place (DecodeUtf8).
  size_t avail = std::min<size_t>(4, text.size() - i);
  unsigned char c = static_cast<unsigned char>(text[i]);
  size_t want = c < 0x80             ? 1
                : (c & 0xE0) == 0xC0 ? 2
                : (c & 0xF0) == 0xE0 ? 3
                : (c & 0xF8) == 0xF0 ? 4
                                     : 1;
  if (want > avail) want = 1;
  std::u32string one = DecodeUtf8(text.substr(i, want));
  if (one.size() == 1 && one[0] != 0xFFFD) {
    i += want;
    return one[0];
  }
  ++i;
  return c < 0x80 ? c : 0xFFFD;
}

}  // namespace

int TextWidth(std::string_view utf8) {
  int width = 0;
  size_t i = 0;
  while (i < utf8.size()) width += CharWidth(NextChar(utf8, i));
  return width;
}

std::string_view FitText(std::string_view utf8, int cols) {
  if (cols <= 0) {
    // Zero-width characters at the start still fit in no cells, but an empty cut is simpler to
    // reason about for callers laying out columns.
    return utf8.substr(0, 0);
  }
  int width = 0;
  size_t i = 0;
  while (i < utf8.size()) {
    size_t at = i;
    int w = CharWidth(NextChar(utf8, i));
    if (width + w > cols) return utf8.substr(0, at);
    width += w;
  }
  return utf8;
}

size_t CopyUtf8(std::string_view utf8, char* out, size_t capacity) {
  if (capacity == 0) return 0;
  const size_t n = codepage::Utf8CutPoint(utf8, capacity - 1);
  std::memcpy(out, utf8.data(), n);
  out[n] = '\0';
  return n;
}

Screen::Screen(int cols, int rows) : cols_(std::max(cols, 1)), rows_(std::max(rows, 1)) {
  cells_.assign(static_cast<size_t>(cols_) * rows_, Cell{});
}

void Screen::Resize(int cols, int rows) {
  cols_ = std::max(cols, 1);
  rows_ = std::max(rows, 1);
  cells_.assign(static_cast<size_t>(cols_) * rows_, Cell{});
  cursor_x_ = std::min(cursor_x_, cols_ - 1);
  cursor_y_ = std::min(cursor_y_, rows_ - 1);
}

void Screen::Fill(int x, int y, int w, int h, char32_t ch, uint8_t fg, uint8_t bg) {
  int x0 = std::max(x, 0), y0 = std::max(y, 0);
  int x1 = std::min(x + w, cols_), y1 = std::min(y + h, rows_);
  int cw = CharWidth(ch);
  if (cw != 1) ch = U' ';  // a fill is one cell per character
  for (int yy = y0; yy < y1; ++yy) {
    for (int xx = x0; xx < x1; ++xx) at(xx, yy) = Cell{ch, fg, bg, false};
  }
}

int Screen::Text(int x, int y, std::string_view utf8, uint8_t fg, uint8_t bg, int max_cols) {
  if (y < 0 || y >= rows_) return 0;
  int limit = max_cols < 0 ? cols_ - x : max_cols;
  int used = 0;
  size_t i = 0;
  while (i < utf8.size() && used < limit) {
    char32_t ch = NextChar(utf8, i);
    int w = CharWidth(ch);
    if (w == 0) {
      // Combining marks attach to the character before them; a cell holds one code point, so
      // they are dropped rather than shifting the columns.
      continue;
    }
    int cx = x + used;
    if (w == 2 && used + 2 > limit) {
      if (cx >= 0 && cx < cols_) at(cx, y) = Cell{U' ', fg, bg, false};
      used += 1;
      break;
    }
    if (w == 2 && cx + 1 >= cols_ && cx < cols_) {
      if (cx >= 0) at(cx, y) = Cell{U' ', fg, bg, false};
      used += 1;
      break;
    }
    if (cx >= 0 && cx < cols_) {
      // Overwriting half of a wide character leaves its other half meaningless: blank it.
      Cell& target = at(cx, y);
      if (target.continuation && cx > 0) at(cx - 1, y).ch = U' ';
      if (!target.continuation && cx + 1 < cols_ && at(cx + 1, y).continuation && w == 1) {
        at(cx + 1, y) = Cell{U' ', at(cx + 1, y).fg, at(cx + 1, y).bg, false};
      }
      target = Cell{ch, fg, bg, false};
      if (w == 2) {
        Cell& right = at(cx + 1, y);
        if (cx + 2 < cols_ && at(cx + 2, y).continuation) at(cx + 2, y) = Cell{U' ', fg, bg, false};
        right = Cell{U' ', fg, bg, true};
      }
    }
    used += w;
  }
  return used;
}

std::string Screen::ToText() const {
  std::string out;
  for (int y = 0; y < rows_; ++y) {
    std::u32string line;
    for (int x = 0; x < cols_; ++x) {
      const Cell& c = at(x, y);
      if (c.continuation) continue;
      line.push_back(c.ch);
    }
    while (!line.empty() && line.back() == U' ') line.pop_back();
    out += EncodeUtf8(line);
    out += '\n';
  }
  return out;
}

}  // namespace qb::host
