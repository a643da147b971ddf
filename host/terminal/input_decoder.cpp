#include "host/terminal/input_decoder.h"

#include <vector>

#include "sdk/far.h"

namespace qb::host {
namespace {

constexpr char kEsc = '\x1b';

// What one parse step found at the front of the buffer.
struct Parsed {
  enum Status { kIncomplete, kEvent, kSkip };
  Status status = kIncomplete;
  size_t consumed = 0;
  Event event;
};

Parsed Incomplete() {
  return Parsed{};
}
Parsed Skip(size_t consumed) {
  return Parsed{Parsed::kSkip, consumed, Event{}};
}
Parsed Found(Event event, size_t consumed) {
  return Parsed{Parsed::kEvent, consumed, event};
}

Event Key(int vk, unsigned control = 0, char32_t ch = 0) {
  Event e;
  e.kind = Event::kKey;
  e.vk = vk;
  e.control = control;
  e.ch = ch;
  return e;
}

// xterm's modifier parameter: 1 + Shift(1) + Alt(2) + Ctrl(4) + Meta(8); Meta counts as Alt.
unsigned XtermModifiers(int param) {
  if (param < 2) return 0;
  int bits = param - 1;
  unsigned control = 0;
  if (bits & 1) control |= PKF_SHIFT;
  if (bits & 2) control |= PKF_ALT;
  if (bits & 4) control |= PKF_CONTROL;
  if (bits & 8) control |= PKF_ALT;
  return control;
}

// A typed character as Windows reports it on a US layout: the virtual key of the key that types
// it, with Shift where the character needs it.
Event CharKey(char32_t c) {
  if (c >= 'a' && c <= 'z') return Key(static_cast<int>(c - 'a' + 'A'), 0, c);
  if (c >= 'A' && c <= 'Z') return Key(static_cast<int>(c), PKF_SHIFT, c);
  if (c >= '0' && c <= '9') return Key(static_cast<int>(c), 0, c);
  if (c == ' ') return Key(VK_SPACE, 0, c);
  static constexpr struct {
    char plain, shifted;
    int vk;
  } kOem[] = {{';', ':', 0xBA},  {'=', '+', 0xBB}, {',', '<', 0xBC}, {'-', '_', 0xBD},
              {'.', '>', 0xBE},  {'/', '?', 0xBF}, {'`', '~', 0xC0}, {'[', '{', 0xDB},
              {'\\', '|', 0xDC}, {']', '}', 0xDD}, {'\'', '"', 0xDE}};
  for (const auto& k : kOem) {
    if (c == static_cast<char32_t>(k.plain)) return Key(k.vk, 0, c);
    if (c == static_cast<char32_t>(k.shifted)) return Key(k.vk, PKF_SHIFT, c);
  }
  static constexpr char kShiftedDigits[] = ")!@#$%^&*(";
  for (int d = 0; d < 10; ++d) {
    if (c == static_cast<char32_t>(kShiftedDigits[d])) return Key('0' + d, PKF_SHIFT, c);
  }
  return Key(0, 0, c);
}

// Control bytes below 0x20 and DEL.
Event ControlByteKey(unsigned char b) {
  switch (b) {
    case 0x08:  // terminals that send ^H for Backspace
    case 0x7f:
      return Key(VK_BACK);
    case 0x09:
      return Key(VK_TAB);
    case 0x0a:
    case 0x0d:
      return Key(VK_RETURN);
    case 0x00:
      return Key(VK_SPACE, PKF_CONTROL);
    case 0x1c:
      return Key(0xDC, PKF_CONTROL);  // Ctrl+Backslash
    case 0x1d:
      return Key(0xDD, PKF_CONTROL);  // Ctrl+]
    case 0x1e:
      return Key('6', PKF_CONTROL);  // Ctrl+^
    case 0x1f:
      return Key(0xBD, PKF_CONTROL);  // Ctrl+_
    default:
      return Key('A' + b - 1, PKF_CONTROL);  // Ctrl+A .. Ctrl+Z
  }
}

// One UTF-8 character; invalid bytes become U+FFFD one at a time.
Parsed ParseUtf8(std::string_view s, bool flush) {
  unsigned char b = static_cast<unsigned char>(s[0]);
  size_t len = b < 0x80             ? 1
               : (b & 0xE0) == 0xC0 ? 2
               : (b & 0xF0) == 0xE0 ? 3
               : (b & 0xF8) == 0xF0 ? 4
                                    : 0;
  if (len == 0) return Found(Key(0, 0, U'\uFFFD'), 1);
  char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
  for (size_t i = 1; i < len; ++i) {
    if (i >= s.size()) return flush ? Found(Key(0, 0, U'\uFFFD'), 1) : Incomplete();
    unsigned char cont = static_cast<unsigned char>(s[i]);
    if ((cont & 0xC0) != 0x80) return Found(Key(0, 0, U'\uFFFD'), 1);
    c = (c << 6) | (cont & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    return Found(Key(0, 0, U'\uFFFD'), 1);
  }
  return Found(CharKey(c), len);
}

// A plain byte or character (no escape sequence).
Parsed ParsePlain(std::string_view s, bool flush) {
  unsigned char b = static_cast<unsigned char>(s[0]);
  if (b < 0x20 || b == 0x7f) return Found(ControlByteKey(b), 1);
  return ParseUtf8(s, flush);
}

std::vector<int> SplitParams(std::string_view params) {
  // Sub-parameters after ':' (kitty) are ignored; an empty parameter is 0.
  std::vector<int> out;
  int value = 0;
  bool in_sub = false;
  for (char c : params) {
    if (c == ';') {
      out.push_back(value);
      value = 0;
      in_sub = false;
    } else if (c == ':') {
      in_sub = true;
    } else if (c >= '0' && c <= '9' && !in_sub) {
      if (value < 100000) value = value * 10 + (c - '0');
    }
  }
  out.push_back(value);
  return out;
}

int Param(const std::vector<int>& p, size_t i, int fallback) {
  return i < p.size() && p[i] != 0 ? p[i] : fallback;
}

// Cursor and F1..F4 keys by their final byte (CSI and SS3 share these).
int CursorKey(char final) {
  switch (final) {
    case 'A':
      return VK_UP;
    case 'B':
      return VK_DOWN;
    case 'C':
      return VK_RIGHT;
    case 'D':
      return VK_LEFT;
    case 'H':
      return VK_HOME;
    case 'F':
      return VK_END;
    case 'P':
      return VK_F1;
    case 'Q':
      return VK_F2;
    case 'R':
      return VK_F3;
    case 'S':
      return VK_F4;
    default:
      return 0;
  }
}

// The number of a "CSI n ~" key; adds Shift for F13..F20, which the Linux console and rxvt send
// for Shift+F3..Shift+F10.
int TildeKey(int n, unsigned* control) {
  switch (n) {
    case 1:
    case 7:
      return VK_HOME;
    case 2:
      return VK_INSERT;
    case 3:
      return VK_DELETE;
    case 4:
    case 8:
      return VK_END;
    case 5:
      return VK_PRIOR;
    case 6:
      return VK_NEXT;
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
      return VK_F1 + (n - 11);
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
      return VK_F6 + (n - 17);
    case 23:
      return VK_F11;
    case 24:
      return VK_F12;
    case 25:
    case 26:
      *control |= PKF_SHIFT;
      return VK_F3 + (n - 25);
    case 28:
    case 29:
      *control |= PKF_SHIFT;
      return VK_F5 + (n - 28);
    case 31:
    case 32:
    case 33:
    case 34:
      *control |= PKF_SHIFT;
      return VK_F7 + (n - 31);
    default:
      return 0;
  }
}

// A key named by its Unicode code point with xterm modifiers (CSI u, modifyOtherKeys).
Parsed CodePointKey(int code, int modifier_param, size_t consumed) {
  unsigned control = XtermModifiers(modifier_param);
  Event e;
  switch (code) {
    case 9:
      e = Key(VK_TAB);
      break;
    case 13:
      e = Key(VK_RETURN);
      break;
    case 27:
      e = Key(VK_ESCAPE);
      break;
    case 8:
    case 127:
      e = Key(VK_BACK);
      break;
    default:
      if (code < 0x20 || code > 0x10FFFF) return Skip(consumed);
      e = CharKey(static_cast<char32_t>(code));
      if (code >= 'A' && code <= 'Z') e.control = 0;  // Shift comes from the parameter
      break;
  }
  e.control |= control;
  if ((e.control & (PKF_CONTROL | PKF_ALT)) && e.vk != 0) e.ch = 0;
  if ((e.control & PKF_SHIFT) && e.ch >= 'a' && e.ch <= 'z') e.ch = e.ch - 'a' + 'A';
  return Found(e, consumed);
}

Event Mouse(int button_bits, int x, int y, bool press, bool* use) {
  *use = false;
  Event e;
  if (!press || (button_bits & 32)) return e;  // releases and motion
  int button = button_bits & ~(4 | 8 | 16);
  if (button == 0) {
    e.kind = Event::kMouse;
    e.x = x;
    e.y = y;
    *use = x >= 0 && y >= 0;
  } else if (button == 64 || button == 65) {
    e = Key(button == 64 ? VK_UP : VK_DOWN);  // the wheel scrolls as the cursor keys do
    *use = true;
  }
  return e;
}

// s starts with ESC [.
Parsed ParseCsi(std::string_view s, bool flush) {
  if (s.size() < 3) return flush ? Found(Key(0xDB, PKF_ALT, '['), 2) : Incomplete();
  // Linux console F1..F5: ESC [ [ A..E.
  if (s[2] == '[') {
    if (s.size() < 4) return flush ? Skip(3) : Incomplete();
    if (s[3] >= 'A' && s[3] <= 'E') return Found(Key(VK_F1 + (s[3] - 'A')), 4);
    return Skip(4);
  }
  // X10 mouse: ESC [ M b x y, each byte offset by 32.
  if (s[2] == 'M') {
    if (s.size() < 6) return flush ? Skip(s.size()) : Incomplete();
    bool use = false;
    Event e = Mouse(static_cast<unsigned char>(s[3]) - 32, static_cast<unsigned char>(s[4]) - 33,
                    static_cast<unsigned char>(s[5]) - 33,
                    ((static_cast<unsigned char>(s[3]) - 32) & 3) != 3, &use);
    return use ? Found(e, 6) : Skip(6);
  }
  constexpr size_t kMaxSequence = 40;
  size_t i = 2;
  bool private_marker = s[i] >= 0x3C && s[i] <= 0x3F;  // < = > ?
  char marker = private_marker ? s[i] : 0;
  if (private_marker) ++i;
  size_t params_begin = i;
  while (i < s.size() && s[i] >= 0x30 && s[i] <= 0x3F) ++i;
  size_t params_end = i;
  // rxvt ends Shift-modified keys with '$', which is otherwise an intermediate byte.
  if (i < s.size() && s[i] == '$' && params_end > params_begin && !private_marker) {
    std::vector<int> p = SplitParams(s.substr(params_begin, params_end - params_begin));
    unsigned control = PKF_SHIFT;
    int vk = TildeKey(p[0], &control);
    return vk ? Found(Key(vk, control), i + 1) : Skip(i + 1);
  }
  while (i < s.size() && s[i] >= 0x20 && s[i] <= 0x2F) ++i;
  if (i >= s.size()) {
    if (i > kMaxSequence) return Skip(i);
    return flush ? Skip(s.size()) : Incomplete();
  }
  char final = s[i];
  if (final < 0x40 || final > 0x7E) return Skip(i);  // broken sequence; the byte starts anew
  size_t consumed = i + 1;
  std::vector<int> p = SplitParams(s.substr(params_begin, params_end - params_begin));
  bool has_intermediate = i > params_end;
  if (has_intermediate) return Skip(consumed);

  if (marker == '<') {  // SGR mouse: CSI < b ; x ; y M (press) or m (release)
    if ((final != 'M' && final != 'm') || p.size() < 3) return Skip(consumed);
    bool use = false;
    Event e = Mouse(p[0], p[1] - 1, p[2] - 1, final == 'M', &use);
    return use ? Found(e, consumed) : Skip(consumed);
  }
  if (private_marker) return Skip(consumed);  // replies to queries we never make

  if (int vk = CursorKey(final)) {
    return Found(Key(vk, XtermModifiers(Param(p, 1, 1))), consumed);
  }
  switch (final) {
    case 'Z':
      return Found(Key(VK_TAB, PKF_SHIFT), consumed);
    case 'a':
    case 'b':
    case 'c':
    case 'd': {  // rxvt Shift+arrows
      static constexpr int kArrows[] = {VK_UP, VK_DOWN, VK_RIGHT, VK_LEFT};
      return Found(Key(kArrows[final - 'a'], PKF_SHIFT), consumed);
    }
    case 'u':
      return CodePointKey(p[0], Param(p, 1, 1), consumed);
    case '~':
    case '^':
    case '@': {
      if (final == '~' && p[0] == 27 && p.size() >= 3) {  // xterm modifyOtherKeys
        return CodePointKey(p[2], p[1], consumed);
      }
      unsigned control = XtermModifiers(Param(p, 1, 1));
      if (final == '^') control |= PKF_CONTROL;
      if (final == '@') control |= PKF_CONTROL | PKF_SHIFT;
      int vk = TildeKey(p[0], &control);
      return vk ? Found(Key(vk, control), consumed) : Skip(consumed);
    }
    default:
      return Skip(consumed);
  }
}

// s starts with ESC O.
Parsed ParseSs3(std::string_view s, bool flush) {
  if (s.size() < 3) return flush ? Found(Key('O', PKF_ALT | PKF_SHIFT, 'O'), 2) : Incomplete();
  size_t i = 2;
  while (i < s.size() && ((s[i] >= '0' && s[i] <= '9') || s[i] == ';')) ++i;
  if (i >= s.size()) return flush ? Skip(s.size()) : Incomplete();
  char final = s[i];
  size_t consumed = i + 1;
  std::vector<int> p = SplitParams(s.substr(2, i - 2));
  // Older xterms put the modifier right after SS3 ("SS3 2 P"), newer ones as "SS3 1;2 P".
  unsigned control = XtermModifiers(p.back());
  if (int vk = CursorKey(final)) return Found(Key(vk, control), consumed);
  if (final >= 'a' && final <= 'd') {  // rxvt Ctrl+arrows
    static constexpr int kArrows[] = {VK_UP, VK_DOWN, VK_RIGHT, VK_LEFT};
    return Found(Key(kArrows[final - 'a'], PKF_CONTROL), consumed);
  }
  // The keypad in application mode.
  if (final == 'M') return Found(Key(VK_RETURN, control), consumed);
  if (final >= 'p' && final <= 'y') return Found(CharKey(U'0' + (final - 'p')), consumed);
  switch (final) {
    case 'j':
      return Found(CharKey(U'*'), consumed);
    case 'k':
      return Found(CharKey(U'+'), consumed);
    case 'm':
      return Found(CharKey(U'-'), consumed);
    case 'n':
      return Found(CharKey(U'.'), consumed);
    case 'o':
      return Found(CharKey(U'/'), consumed);
    default:
      return (final >= 0x20 && final <= 0x7E) ? Skip(consumed) : Skip(i);
  }
}

Parsed Parse(std::string_view s, bool flush);

// s starts with ESC and holds at least two bytes: an escape sequence, or Alt plus a key.
Parsed ParseEscape(std::string_view s, bool flush) {
  if (s[1] == '[') return ParseCsi(s, flush);
  if (s[1] == 'O') return ParseSs3(s, flush);
  if (s[1] == kEsc) {
    // rxvt and the Linux console send Alt+<key> as ESC before the key's own sequence. Two
    // ESCs with nothing after them are two Esc presses.
    Parsed inner = Parse(s.substr(1), flush);
    if (inner.status == Parsed::kIncomplete) return inner;
    if (inner.status == Parsed::kEvent && inner.consumed > 1) {
      inner.event.control |= PKF_ALT;
      inner.consumed += 1;
      return inner;
    }
    return Found(Key(VK_ESCAPE), 1);
  }
  Parsed inner = ParsePlain(s.substr(1), flush);
  if (inner.status == Parsed::kIncomplete) return inner;
  if (inner.status != Parsed::kEvent) return Found(Key(VK_ESCAPE), 1);
  inner.event.control |= PKF_ALT;
  // Alt combinations type nothing; the key code names them. Characters without a key code keep
  // the character, or they could not be told apart.
  if (inner.event.vk != 0) inner.event.ch = 0;
  inner.consumed += 1;
  return inner;
}

Parsed Parse(std::string_view s, bool flush) {
  if (s.empty()) return Incomplete();
  if (s[0] != kEsc) return ParsePlain(s, flush);
  if (s.size() == 1) return flush ? Found(Key(VK_ESCAPE), 1) : Incomplete();
  return ParseEscape(s, flush);
}

}  // namespace

void InputDecoder::Feed(std::string_view bytes, int64_t now_ms) {
  if (bytes.empty()) return;
  if (!buffer_.empty() && now_ms - last_byte_ms_ >= escape_delay_ms_) expired_ = buffer_.size();
  buffer_.append(bytes);
  last_byte_ms_ = now_ms;
}

std::optional<Event> InputDecoder::Next(int64_t now_ms) {
  while (!buffer_.empty()) {
    Parsed p = expired_ > 0 ? Parse(std::string_view(buffer_).substr(0, expired_), true)
                            : Parse(buffer_, now_ms - last_byte_ms_ >= escape_delay_ms_);
    if (p.status == Parsed::kIncomplete) return std::nullopt;
    size_t used = p.consumed == 0 ? 1 : p.consumed;
    buffer_.erase(0, used);
    expired_ = expired_ > used ? expired_ - used : 0;
    if (p.status == Parsed::kEvent) return p.event;
  }
  return std::nullopt;
}

int InputDecoder::PendingMs(int64_t now_ms) const {
  if (buffer_.empty()) return -1;
  int64_t left = last_byte_ms_ + escape_delay_ms_ - now_ms;
  return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace qb::host
