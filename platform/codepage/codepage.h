// Code pages. The console (OEM) code page and the ANSI code page are both UTF-8 here, so texts in
// either pass between them unchanged; storage element names and other wide texts are UTF-16.
//
// Every conversion takes an explicit limit and cuts a longer result at a character boundary: a
// UTF-16 result never ends in half a surrogate pair, a UTF-8 result never in part of a sequence.
// Input that is not valid in its encoding fails (std::nullopt) instead of producing replacement
// characters or partial output.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qb::codepage {

inline constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

// UTF-8 to UTF-16, at most maxUnits code units (no terminator counted). *cut, when given, tells
// whether the text was longer than the limit.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text, std::size_t maxUnits = kNoLimit,
                                          bool* cut = nullptr);
// UTF-16 to UTF-8, at most maxBytes bytes (no terminator counted). A lone surrogate fails.
std::optional<std::string> Utf16ToUtf8(std::u16string_view text, std::size_t maxBytes = kNoLimit,
                                       bool* cut = nullptr);

// UTF-16 to UTF-8 for showing a name that may not be valid UTF-16 (read from a file written
// elsewhere): a code unit that is no character (a lone surrogate) becomes `replacement`.
std::string Utf16ToUtf8Lossy(std::u16string_view text, std::string_view replacement);

// The console's and the ANSI code page's names for the same conversions.
inline std::optional<std::u16string> OemToUtf16(std::string_view text,
                                                std::size_t maxUnits = kNoLimit,
                                                bool* cut = nullptr) {
  return Utf8ToUtf16(text, maxUnits, cut);
}
inline std::optional<std::u16string> AnsiToUtf16(std::string_view text,
                                                 std::size_t maxUnits = kNoLimit,
                                                 bool* cut = nullptr) {
  return Utf8ToUtf16(text, maxUnits, cut);
}
inline std::optional<std::string> Utf16ToOem(std::u16string_view text,
                                             std::size_t maxBytes = kNoLimit, bool* cut = nullptr) {
  return Utf16ToUtf8(text, maxBytes, cut);
}
inline std::optional<std::string> Utf16ToAnsi(std::u16string_view text,
                                              std::size_t maxBytes = kNoLimit,
                                              bool* cut = nullptr) {
  return Utf16ToUtf8(text, maxBytes, cut);
}

// Widens a zero-terminated console text into a fixed buffer of capacity code units, terminator
// included (capacity 260 for element names). Returns the number of code units written without the
// terminator, or -1 when the text is not valid UTF-8 or capacity is 0; on failure the buffer holds
// an empty text (when capacity allows).
int WidenInto(const char* text, char16_t* out, std::size_t capacity);

// Console to ANSI code page into a fixed buffer of capacity bytes, terminator included (the
// OemToCharA of Windows). Both are UTF-8, so this copies, cutting at a character boundary. The
// text is copied even when it is not valid UTF-8 (a byte-wise cut then), since nothing is lost by
// passing the same bytes on. Returns the number of bytes written without the terminator.
std::size_t OemToAnsiInto(const char* text, char* out, std::size_t capacity);

// Copies text into a fixed buffer of capacity bytes, terminator included, cut at a character
// boundary (the whole text when it fits). Returns the number of bytes written without the
// terminator; nothing is written when capacity is 0. out may overlap text.
std::size_t CopyUtf8Into(std::string_view text, char* out, std::size_t capacity);

// Where a text is cut to fit maxBytes: the length of its longest prefix, at most maxBytes, that
// does not end inside a UTF-8 character. A character that does not fit goes whole; bytes that form
// no character (text that is not UTF-8) are cut at the byte. text must be the whole text (or run
// at least three bytes past maxBytes), so that the character at the limit can be seen entire.
// Every cut of UTF-8 text in the system is made here.
std::size_t Utf8CutPoint(std::string_view text, std::size_t maxBytes);

// The length of the UTF-8 character that begins at text[i] (i < text.size()): 2 to 4 for a lead
// byte followed by all its continuation bytes, 1 for ASCII and for any byte that begins no whole
// sequence (a stray continuation byte, a sequence cut off), so that any byte string can be walked.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i);

}  // namespace qb::codepage
