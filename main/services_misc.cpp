// The clipboard, first lines and registry keys for the field-type libraries.
#include <dlfcn.h>

#include <cstring>
#include <string>

#include "host/core/host_timers.h"
#include "main/book_format.h"
#include "main/heap.h"
#include "platform/paths/paths.h"
#include "platform/registry/registry.h"
#include "sdk/services.h"

namespace {

// The clipboard belongs to the host program: it exports QbSetClipboard (found in the process's
// global symbols), which returns non-zero when the text was taken. Without it there is none.

}  // namespace

extern "C" {

int StringToClipboard(const char* text) {
  if (text == nullptr) return 0;
  auto set = reinterpret_cast<PFN_QbSetClipboard>(dlsym(RTLD_DEFAULT, QB_SET_CLIPBOARD_NAME));
  if (set == nullptr) return 0;
  return set(text) != 0 ? 1 : 0;
}

char* GetFirstLine(const char* text) {
  if (text == nullptr) text = "";
  size_t n = std::strcspn(text, "\n");
  if (text[n] == '\n' && n > 0 && text[n - 1] == '\r') --n;
  return qb::main::HeapString(std::string_view(text, n));
}

HKEY OpenRegKey(const char* root, const char* subkey) {
  const std::string path =
      qb::JoinKeyPath(qb::JoinKeyPath(root != nullptr ? root : "", qb::main::kRegistryKey),
                      subkey != nullptr ? subkey : "");
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), &key) != ERROR_SUCCESS) return nullptr;
  return key;
}

}  // extern "C"
