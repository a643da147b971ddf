#include "fieldtypes/date/date_field.h"

#include <cstdio>
#include <cstring>

#include "sdk/services.h"

namespace qb::date {

namespace {

int32_t ReadNumber(const uint8_t* bytes, uint32_t size, uint32_t offset) {
  if (size < offset + 4) return 0;
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | bytes[offset + static_cast<uint32_t>(i)];
  return static_cast<int32_t>(value);
}

void WriteNumber(uint8_t* at, int32_t number) {
  const auto value = static_cast<uint32_t>(number);
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The zero-terminated text at offset (ending at size when unterminated); *next is where the
// following text starts, or size when this one had no terminator.
std::string ReadText(const uint8_t* bytes, uint32_t size, uint32_t offset, uint32_t* next) {
  if (offset >= size) {
    *next = size;
    return {};
  }
  const char* start = reinterpret_cast<const char*>(bytes + offset);
  const size_t length = strnlen(start, size - offset);
  *next = offset + static_cast<uint32_t>(length) + (offset + length < size ? 1 : 0);
  return std::string(start, length);
}

bool IsContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

DateField ParseDateField(const void* data, uint32_t size) {
  DateField field;
  if (data == nullptr) return field;
  const auto* bytes = static_cast<const uint8_t*>(data);
  field.day = ReadNumber(bytes, size, 0);
  field.month = ReadNumber(bytes, size, 4);
  field.year = ReadNumber(bytes, size, 8);
  field.kind = ReadNumber(bytes, size, 12);
  uint32_t next = 16;
  field.name = ReadText(bytes, size, next, &next);
  field.text = ReadText(bytes, size, next, &next);
  return field;
}

void* StoreDateField(const DateField& field, uint32_t* size) {
  const size_t total = 18 + field.name.size() + field.text.size();
  auto* bytes = static_cast<uint8_t*>(Malloc(static_cast<uint32_t>(total)));
  if (bytes == nullptr) return nullptr;
  WriteNumber(bytes, field.day);
  WriteNumber(bytes + 4, field.month);
  WriteNumber(bytes + 8, field.year);
  WriteNumber(bytes + 12, field.kind);
  uint8_t* at = bytes + 16;
  std::memcpy(at, field.name.c_str(), field.name.size() + 1);
  at += field.name.size() + 1;
  std::memcpy(at, field.text.c_str(), field.text.size() + 1);
  if (size != nullptr) *size = static_cast<uint32_t>(total);
  return bytes;
}

std::string CutBytes(const std::string& text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  size_t cut = max_bytes;
  while (cut > 0 && IsContinuation(text[cut])) --cut;
  return text.substr(0, cut);
}

std::string CutChars(const std::string& text, size_t max_chars) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsContinuation(text[i])) continue;
    if (chars == max_chars) return text.substr(0, i);
    ++chars;
  }
  return text;
}

std::string Format(const char* format, std::initializer_list<FormatArg> args) {
  std::string out;
  if (format == nullptr) return out;
  auto next = args.begin();
  const char* p = format;
  while (*p != '\0') {
    if (*p != '%') {
      out += *p++;
      continue;
    }
    if (p[1] == '%') {
      out += '%';
      p += 2;
      continue;
    }
    // A place: "%", flags, width, precision, then the conversion.
    const char* q = p + 1;
    while (*q != '\0' && std::strchr("-+ #0", *q) != nullptr) ++q;
    while (*q >= '0' && *q <= '9') ++q;
    if (*q == '.') {
      ++q;
      while (*q >= '0' && *q <= '9') ++q;
    }
    const bool fits =
        next != args.end() && ((*q == 'd' && std::holds_alternative<int>(*next)) ||
                               (*q == 's' && std::holds_alternative<const char*>(*next)));
    if (!fits || q - p > 12) {
      out += *p++;
      continue;
    }
    const std::string place(p, static_cast<size_t>(q - p));
    char piece[64];
    if (*q == 'd') {
      std::snprintf(piece, sizeof piece, (place + "d").c_str(), std::get<int>(*next));
      out += piece;
    } else {
      const char* text =
          std::holds_alternative<const char*>(*next) ? std::get<const char*>(*next) : nullptr;
      out += text != nullptr ? text : "";
    }
    ++next;
    p = q + 1;
  }
  return out;
}

char* HeapText(const std::string& text) {
  char* copy = static_cast<char*>(Malloc(static_cast<uint32_t>(text.size() + 1)));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

}  // namespace qb::date
