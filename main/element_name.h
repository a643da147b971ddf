// Element names: how a text typed in or shown by the panel becomes the name of a folder (storage)
// or record (stream) in the book, and back.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qb::main {

// The longest element name handed to the storage layer, in UTF-16 code units. The compound-file
// format accepts far fewer; a longer name is refused there with its own failure code.
inline constexpr std::size_t kMaxElementNameUnits = 260;

// True for the ten characters an element name never holds: : \ / ! | < > " ? *
bool IsReservedNameChar(char c);

// Replaces each of : \ / ! | < > " ? * by "_". Names typed by the user and names read back from
// the book both pass through this, so what the panel shows is what can be typed to reach it.
std::string ReplaceReservedChars(std::string_view text);

// The element name of a console-code-page text: reserved characters replaced, widened to UTF-16
// and cut at kMaxElementNameUnits. A text that is not valid in the code page, and "..", give an
// empty name, which the storage layer refuses.
std::u16string ElementName(std::string_view text);

// The panel text of an element name read from the book: narrowed to the console code page with
// the reserved characters replaced, cut to max_bytes at a character boundary. Code units that
// have no character (a lone surrogate) show as "_".
std::string DisplayName(std::u16string_view name, std::size_t max_bytes);

}  // namespace qb::main
