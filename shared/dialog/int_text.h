// Reading a whole number from what the user typed into an integer edit line.
#pragma once

#include <optional>

namespace qb::dlg {

// The text is tried as "0x" + hexadecimal, "0X" + hexadecimal, decimal and "$" + hexadecimal, in
// this order; the first that reads a value wins (text after the number is ignored). Blanks may
// stand before the digits and before a decimal number. Hexadecimal reads up to 32 bits and gives
// their signed value; a decimal number must fit in 32 signed bits. The empty text (or blanks) is
// 0. Nothing when no form reads a value.
std::optional<int> ReadIntText(const char* text);

// Formats a range message with two "%d" places (minimum, maximum) into at most `size - 1` bytes.
// Only "%d" and "%%" are expanded; any other "%" sequence is copied as it stands, so a message
// text can never make the formatter read arguments that are not there.
void FormatRange(char* out, int size, const char* format, int min, int max);

}  // namespace qb::dlg
