// One of two libraries built from this same file; each carries its own copy of the shared code
// and of the registry layer, and exports only the entry points of exports.txt.
#include "platform/registry/registry.h"
#include "tests/isolation/shared_counter.h"

extern "C" {

__attribute__((visibility("default"))) int IsoBump() {
  return qb::isolation::BumpCounter();
}
__attribute__((visibility("default"))) int IsoCount() {
  return qb::isolation::Counter() * 1000 + qb::isolation::Tally::total;
}
__attribute__((visibility("default"))) int IsoBumpInline() {
  return qb::isolation::BumpInlineCounter();
}
__attribute__((visibility("default"))) HKEY IsoOpenKey(const char* path) {
  HKEY key = nullptr;
  return RegCreateKeyExA(HKEY_CURRENT_USER, path, &key) == ERROR_SUCCESS ? key : nullptr;
}
__attribute__((visibility("default"))) int IsoSetDword(HKEY key, const char* name, DWORD value) {
  return qb::registry::SetDword(key, name, value);
}
__attribute__((visibility("default"))) int IsoClose(HKEY key) {
  return RegCloseKey(key);
}
// Visible to the compiler but not in the export list: the version script must hide it.
__attribute__((visibility("default"))) int IsoNotListed() {
  return 1;
}
}
