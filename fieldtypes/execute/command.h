// What an Execute field starts: the first word of its text as the file and the rest as the
// parameters, as the user wrote them.
#pragma once

#include <string>
#include <string_view>

namespace qb::execute {

// The working buffers of a start hold 259 bytes of text each; longer texts are cut there, at the
// end of a whole character.
inline constexpr size_t kBufferSize = 260;

struct Command {
  std::string file;        // the program, document or address
  std::string parameters;  // the rest of the line, blanks at its end kept
};

// The comment (after the last "#") is dropped. The first word is split off: after blanks and tabs,
// a word that opens with a double quote, an apostrophe or a backquote runs up to the next same
// character (or the end), otherwise up to the next blank or tab; blanks and tabs after it are
// skipped. A file beginning with "www." gets "http://" in front, one beginning with "ftp." gets
// "ftp://" (both compared with case: "WWW." stays as it is).
Command PrepareCommand(std::string_view field_text);

}  // namespace qb::execute
