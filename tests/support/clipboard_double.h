// The host program's clipboard for tests that run field types in the test program itself: the
// program defines QbSetClipboard, which the main library's StringToClipboard finds among the
// program's symbols (link with ENABLE_EXPORTS), and it keeps the last text handed to it.
#pragma once

#include <string>

namespace qb::test {

inline constexpr char kClipboardUntouched[] = "<untouched>";

// The last text put on the clipboard; kClipboardUntouched until something is, and a test may set
// it back.
std::string& RecordedClipboard();

}  // namespace qb::test
