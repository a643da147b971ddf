// The book file of the settings is not there. A book on a disk that is not mounted is said to be
// missing and the user decides whether the default book beside the main library opens instead.
// The setting changes only when the user asks for that; otherwise it keeps naming the missing
// book, so that it opens again once it is back.
#pragma once

#include <string>

namespace qb::main {

enum class MissingBook {
  kCreate,   // make a new book at the configured path
  kDefault,  // open (or make) the default book instead
  kNone,     // open no book
};

// What to do when the configured book file (configured) is not there. A path whose directory
// exists names a book yet to be made: it is made there. A path whose directory is gone (a disk not
// mounted) is a book that may come back: the user is asked, once per path and session, whether
// the default book (default_book) opens instead, this time or from now on ("from now on" makes
// default_book the BookFile setting). The default book itself is simply made.
MissingBook ChooseMissingBook(const std::string& configured, const std::string& default_book);

}  // namespace qb::main
