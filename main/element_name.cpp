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
  auto narrow = codepage::Utf16ToOem(name);
  std::string text;
  if (narrow) {
    text = std::move(*narrow);
  } else {
    // A lone surrogate: convert the rest unit by unit so the name still shows.
    for (std::size_t i = 0; i < name.size(); ++i) {
      std::size_t len = 1;
      if (name[i] >= 0xD800 && name[i] <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
          name[i + 1] <= 0xDFFF) {
        len = 2;
      }
      auto part = codepage::Utf16ToOem(name.substr(i, len));
      text += part ? *part : std::string("_");
      i += len - 1;
    }
  }
  text = ReplaceReservedChars(text);
  text.resize(codepage::Utf8CutPoint(text, max_bytes));
  return text;
}

}  // namespace qb::main
