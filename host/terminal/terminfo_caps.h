// Terminfo string capabilities of the current curses terminal. Kept apart because <term.h>
// defines every capability name as a macro, which would clash with ordinary identifiers.
#pragma once

#include <string>

namespace qb::host {

// The capability's string, or "" when the terminal lacks it.
std::string TerminfoString(const char* name);

}  // namespace qb::host
