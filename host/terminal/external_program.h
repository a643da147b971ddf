// Running the user's pager or editor on the terminal.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qb::host {

// Splits a command line into words as a shell would for simple cases: blanks separate words,
// single quotes keep everything, double quotes keep blanks, a backslash escapes the next
// character. No variables, globs or redirections.
std::vector<std::string> SplitCommandLine(std::string_view line);

// The command lines to try, in order, for a program request. "pager" means the user's pager
// ($PAGER, then less, then more); "editor" the user's editor ($VISUAL, $EDITOR, then nano, then
// vi); anything else is itself a command line. `getenv` looks up the environment (injected for
// tests); unset and empty variables are skipped.
std::vector<std::vector<std::string>> ProgramCandidates(
    std::string_view program, const std::function<const char*(const char*)>& getenv);

// Starts the first candidate that exists with `file` as its last argument (posix_spawnp, no
// shell) and waits for it. Returns its exit status (128 + signal when it was killed), or -1 when
// none could be started.
int SpawnAndWait(const std::vector<std::vector<std::string>>& candidates, const std::string& file);

}  // namespace qb::host
