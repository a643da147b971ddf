// Any text as a registry file: reading it gives a tree or "damaged", never a crash or a hang; a
// tree that was read is written so that reading the written text gives the same tree back, and
// writing that again gives the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/registry/reg_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qb::registry;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto tree = ParseRegFile(text);
  if (!tree) return 0;
  std::string written = SerializeRegFile(*tree);
  auto again = ParseRegFile(written);
  if (!again || !(*again == *tree)) std::abort();  // what was written can't be read back
  if (SerializeRegFile(*again) != written) std::abort();
  return 0;
}
