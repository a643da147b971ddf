// A Date field's contents and the texts made from them.
//
// Stored form (little-endian): day, month, year and kind as signed 32-bit numbers, then the own
// kind name and the own reminder text, each zero-terminated; name length + text length + 18
// bytes. The older form, 0x10401, is day, month and year alone.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

namespace qb::date {

inline constexpr uint32_t kDateId = 0x10402;
inline constexpr uint32_t kOldDateId = 0x10401;
inline constexpr int32_t kOwnKind = 255;

struct DateField {
  int32_t day = 0;
  int32_t month = 0;
  int32_t year = 0;
  int32_t kind = 0;
  std::string name;  // own kind name
  std::string text;  // own reminder text
};

// What a book holds, read without trusting it: never past size; a number the data is too short
// for is 0, a text without its zero ends at the data's end, a text the data has no room for is
// empty.
DateField ParseDateField(const void* data, uint32_t size);

// The stored form in a block of the main library's heap, its size in *size; null when out of
// memory.
void* StoreDateField(const DateField& field, uint32_t* size);

// The longest start of text that has at most max_bytes bytes and ends at a whole character.
std::string CutBytes(const std::string& text, size_t max_bytes);
// The longest start of text that has at most max_chars characters.
std::string CutChars(const std::string& text, size_t max_chars);

// A format from a language file or from the user, filled without printf: each "%s" or "%d"
// (flags, width and precision allowed) takes the next argument when that argument is of its kind,
// "%%" is "%", and anything else (a place without a fitting argument among them) stays as it is
// written. A text can therefore never make
// the formatting read what was not passed.
using FormatArg = std::variant<const char*, int>;
std::string Format(const char* format, std::initializer_list<FormatArg> args);

// A heap copy of text (null when out of memory).
char* HeapText(const std::string& text);

}  // namespace qb::date
