#include "shared/dialog/int_text.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace qb::dlg {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// What one form made of the text: no digits where they belong, a value, or a number too large.
enum class Read { kNone, kValue, kTooLarge };

// A hexadecimal conversion as the C library's "%x" reads it: blanks, a sign, an optional "0x".
Read ReadHex(const char* p, int* out) {
  while (IsBlank(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigit(p[2]) >= 0) p += 2;
  if (HexDigit(*p) < 0) return Read::kNone;
  uint64_t value = 0;
  for (; HexDigit(*p) >= 0; ++p) {
    value = value * 16 + static_cast<uint64_t>(HexDigit(*p));
    if (value > 0xFFFFFFFFull) return Read::kTooLarge;
  }
  uint32_t bits = static_cast<uint32_t>(value);
  if (negative) bits = 0u - bits;
  *out = static_cast<int>(static_cast<int32_t>(bits));
  return Read::kValue;
}

Read ReadDecimal(const char* p, int* out) {
  while (IsBlank(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (*p < '0' || *p > '9') return Read::kNone;
  int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > 2147483648LL) return Read::kTooLarge;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return Read::kTooLarge;
  *out = static_cast<int>(value);
  return Read::kValue;
}

}  // namespace

std::optional<int> ReadIntText(const char* text) {
  if (text == nullptr) text = "";
  int value = 0;
  Read r = Read::kNone;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) r = ReadHex(text + 2, &value);
  if (r == Read::kNone) r = ReadDecimal(text, &value);
  if (r == Read::kNone && text[0] == '$') r = ReadHex(text + 1, &value);
  if (r == Read::kValue) return value;
  if (r == Read::kTooLarge) return std::nullopt;
  // Nothing at all to read (the empty text, or blanks) counts as 0.
  const char* p = text;
  while (IsBlank(*p)) ++p;
  if (*p == '\0') return 0;
  return std::nullopt;
}

void FormatRange(char* out, int size, const char* format, int min, int max) {
  if (out == nullptr || size <= 0) return;
  if (format == nullptr) format = "";
  std::string text;
  int places = 0;
  for (const char* p = format; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 'd') {
      text += places == 0 ? std::to_string(min) : places == 1 ? std::to_string(max) : "";
      ++places;
      ++p;
    } else if (p[0] == '%' && p[1] == '%') {
      text += '%';
      ++p;
    } else {
      text += *p;
    }
  }
  std::snprintf(out, static_cast<size_t>(size), "%s", text.c_str());
}

}  // namespace qb::dlg
