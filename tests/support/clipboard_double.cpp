#include "tests/support/clipboard_double.h"

namespace qb::test {

std::string& RecordedClipboard() {
  static std::string text = kClipboardUntouched;
  return text;
}

}  // namespace qb::test

extern "C" __attribute__((visibility("default"))) int QbSetClipboard(const char* text) {
  qb::test::RecordedClipboard() = text != nullptr ? text : "";
  return 1;
}
