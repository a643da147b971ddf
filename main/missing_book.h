// The book file of the settings is not there (a disk not mounted, a file moved away): the user is
// told and decides whether the default book beside the main library is opened instead. The
// setting changes only when the user asks for that; otherwise it keeps naming the missing book, so
// that it opens again once it is back.
#pragma once

#include <string>

namespace qb::main {

// Whether the default book (default_book) may be opened in place of the missing configured one.
// Asks once per configured path and session; "always" makes default_book the BookFile setting.
// A configured path that is the default book itself needs no question.
bool MayOpenDefaultBook(const std::string& configured, const std::string& default_book);

}  // namespace qb::main
