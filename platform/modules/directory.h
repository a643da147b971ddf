// Listing the files of a directory by a name pattern, as the plug-in directory is searched for
// field types ("*.qbl") and language files ("*.ln?").
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/paths/paths.h"

namespace qb {

// Whether name matches pattern: "*" matches any run of characters (also none), "?" exactly one
// character (a whole UTF-8 sequence), anything else itself. Letters compare without regard to
// case (ASCII letters; other characters compare exactly). Unlike old DOS rules, "?" never matches
// nothing and "*.*" needs a dot.
bool MatchesPattern(std::string_view name, std::string_view pattern);

// The bare names (no directory part) of the regular files in dir (symbolic links followed) that
// match pattern, sorted byte-wise. Sub-directories never match. An unreadable or missing directory
// gives an empty list; *error, when given, receives its errno value (0 on success).
std::vector<std::string> ListFiles(const std::string& dir, std::string_view pattern,
                                   int* error = nullptr);

}  // namespace qb
