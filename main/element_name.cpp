#include "main/element_name.h"

#include "platform/codepage/codepage.h"

namespace qb::main {

bool IsReservedNameChar(char c) {
  switch (c) {
    case ':':
    case '\\':
    case '/':
    case '!':
    case '|':
    case '<':
    case '>':
    case '"':
    case '?':
    case '*':
      return true;
    default:
      return false;
  }
}

std::string ReplaceReservedChars(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (IsReservedNameChar(c)) c = '_';
  }
  return out;
}

std::u16string ElementName(std::string_view text) {
  // ".." means the folder above in every path the panel is given, so an element of that name
  // could never be entered, and a walk through the book would climb instead of descending.
  if (text == "..") return {};
  auto wide = codepage::OemToUtf16(ReplaceReservedChars(text), kMaxElementNameUnits);
  return wide ? *wide : std::u16string();
}

std::string DisplayName(std::u16string_view name, std::size_t max_bytes) {
  // A lone surrogate still shows, as "_", so the rest of the name can be read.
  std::string text = codepage::Utf16ToUtf8Lossy(name, "_");
  text = ReplaceReservedChars(text);
  text.resize(codepage::Utf8CutPoint(text, max_bytes));
  return text;
}

}  // namespace qb::main
