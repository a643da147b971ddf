// The conventions of text fields, shared by the exported text services and the edit services.
//
// Lines are separated by a line feed; a carriage return right before a line feed is not part of
// the line. In a one-line text everything after the last "#" is the comment; in a multi-line text
// only a "#" on the last line starts one.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb::main {

// A field's bytes as a text: up to the first zero byte, never past size. Null gives the empty
// text. Field data read from a book need not be terminated.
std::string_view FieldText(const void* data, size_t size);

// One-line text: the value (before the last "#", or all of it) and the comment (after it).
std::string_view OneLineValue(std::string_view text);
std::optional<std::string_view> OneLineComment(std::string_view text);

// Multi-line text: the comment after a "#" on the last line, and the short form (without a line
// feed: the value; with one: everything before the first line feed, a carriage return included).
std::optional<std::string_view> MultiLineComment(std::string_view text);
std::string_view ShortForm(std::string_view text);

// The lines of a text: each without its carriage return before the line feed; the text after the
// last line feed only when it is not empty (so the empty text has no lines).
std::vector<std::string_view> SplitLines(std::string_view text);
// The first max_lines of them; the rest of the text is not looked at.
std::vector<std::string_view> SplitLines(std::string_view text, size_t max_lines);

// The most of a field's text a panel item's description or a record's description carries: no
// panel column is wider, and a field of megabytes must not be copied into every item of a listing.
// Menu lines stay whole: text export writes them.
inline constexpr size_t kMaxDescriptionBytes = 1024;

}  // namespace qb::main
