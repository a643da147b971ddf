// Starting programs and opening documents, folders and URLs, with the result values of the
// Windows shell, so callers and their message tables keep those meanings.
//
// Nothing goes through a shell: a command line is split into words by the Windows rule and the
// program is started with those words as its arguments (posix_spawn). A text such as "$(touch x)",
// "a;b" or backquotes is only ever an argument.
//
// A started program
//  - runs in a session of its own with stdin, stdout and stderr on /dev/null and no other open
//    descriptor, the default signal dispositions and an empty signal mask, so it can neither draw
//    on the terminal of the caller nor receive its keyboard signals;
//  - is not waited for: an intermediate process starts it and exits at once, the caller collects
//    that intermediate by its own process id (never waitpid(-1)), and the program itself belongs to
//    init (or the nearest subreaper) from then on. No zombie is left behind and no status of the
//    caller's other children is taken. The start result travels back through a close-on-exec pipe,
//    so a caller that ignores SIGCHLD or reaps children itself still gets it.
// Documents, folders and URLs are handed to xdg-open. Its answer is awaited for a short while
// (kOpenerVerdictWait) in the intermediate process: an xdg-open that fails within that time gives
// the matching Windows value, one still running afterwards counts as success.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace qb::process {

// Windows' result values: above 32 success; 2 file not found, 3 path not found, 5 access
// denied, 8 out of memory, 11 bad format, 26 sharing violation, 27 association incomplete, 31 no
// application associated.
inline constexpr int kStarted = 42;  // what a successful start returns
inline constexpr int kFileNotFound = 2;
inline constexpr int kPathNotFound = 3;
inline constexpr int kAccessDenied = 5;
inline constexpr int kOutOfMemory = 8;
inline constexpr int kBadFormat = 11;
inline constexpr int kSharingViolation = 26;
inline constexpr int kAssociationIncomplete = 27;
inline constexpr int kNoAssociation = 31;

// The show command of the Windows calls (SW_SHOWNORMAL and friends). Programs here have no window
// the caller could place, so it is accepted and not used.
inline constexpr int kShowNormal = 1;

// How long a start through xdg-open may wait for xdg-open's verdict.
inline constexpr std::chrono::milliseconds kOpenerVerdictWait{2000};

// The open verb: a program (on PATH or by path) started directly with `parameters` split as a
// command line is split; documents, folders and URLs (http, https, ftp, mailto, tel, file and
// other "scheme:" texts naming no file) through xdg-open. A bare name is looked up on PATH only,
// as a shell does; a document or folder of that name in `directory` (the current one when empty)
// is opened. `directory`, when given, is the started program's working directory (3 when it is
// missing). `file` empty or none: 2.
int ShellExecute(const char* file, const char* parameters, const char* directory, int show);

// A whole command line, split as Windows splits one, the first word the program (on PATH or by
// path). Only programs: a document gives 5 (not executable).
int WinExec(const char* command_line, int show);

// How a program started by Spawn fared.
struct Outcome {
  int start;        // kStarted, or the value above saying why it could not be started
  bool ended;       // it ended within the wait; then exit_status is its status
  int exit_status;  // its exit status; -1 when a signal ended it or it did not end in time
};

// Starts the program argv[0] (on PATH when the name has no "/", else by its path) with exactly
// the words of argv as its arguments, none of them split or looked at, on the same terms as every
// start here, and waits at most `wait` for it to end. A program still running after the wait goes
// on detached. For callers that must hand over texts they do not control (names, subjects): each
// word arrives as one argument, whatever it holds.
Outcome Spawn(const std::vector<std::string>& argv, std::chrono::milliseconds wait);

// The splitting rule, exposed for tests and callers. The first word is the program name: up to the
// next blank or tab, or, when it starts with a double quote, up to the next double quote, with
// backslashes kept as they are. The other words follow the C runtime's rule: blanks and tabs
// separate words outside double quotes; 2n backslashes before a double quote give n backslashes
// and the quote opens or closes quoting, 2n+1 give n backslashes and a literal quote; inside
// quotes "" is a literal quote; other backslashes are literal.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

// The same rule for a parameter text (every word an argument, no program name first).
std::vector<std::string> SplitParameters(std::string_view parameters);

// For tests: the wait for xdg-open's verdict (kOpenerVerdictWait unless changed).
void SetOpenerVerdictWait(std::chrono::milliseconds wait);

}  // namespace qb::process
