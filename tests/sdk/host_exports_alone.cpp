// host_exports.h compiles on its own as C++; the function types are plain C function types.
#include <cstdint>
#include <type_traits>

#include "sdk/host_exports.h"

static_assert(
    std::is_same_v<PFN_QbSetTimer, uintptr_t (*)(uint32_t, void (*)(uintptr_t, uint32_t))>);
static_assert(std::is_same_v<PFN_QbKillTimer, int (*)(uintptr_t)>);
static_assert(std::is_same_v<PFN_QbSetClipboard, int (*)(const char*)>);

bool QbSdkHostExportsDeclared() {
  return true;
}
