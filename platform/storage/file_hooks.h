// A seam in the real file system for tests of what happens between two processes: a call made
// after a file was opened and before its lock is taken, where another process may replace the
// file under its name.
#pragma once

#include <string>

namespace qb::storage::testing {

// Called with the path after the real file system opened it and before it locks it; null (the
// default) calls nothing. Set it before any file is opened; it is not changed while one opens.
using BeforeLockHook = void (*)(const std::string& path);
void SetBeforeLockHook(BeforeLockHook hook);

}  // namespace qb::storage::testing
