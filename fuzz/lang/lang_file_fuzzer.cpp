// Any bytes as a language file, alone and twice over: reading never crashes, every text handed out
// is a readable zero-terminated text, and every number the store lists for a module of a language
// is answered for that language.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "shared/lang/lang_store.h"

namespace {

void Check(qb::lang::LangStore& store) {
  for (const std::string& language : store.Languages()) {
    store.SetCurrentLanguage(language);
    for (const std::string& module : store.Modules(language)) {
      const char* name = module.empty() ? nullptr : module.c_str();
      for (int32_t n : store.Numbers(language, name)) {
        const char* text = store.Get(n, name);
        if (text == nullptr) std::abort();  // listed but not answered
        volatile size_t length = std::strlen(text);
        (void)length;
      }
      // Numbers nobody lists are asked for too: a miss is null, never garbage.
      for (int n : {-1, 0, 1, 1000, INT32_MIN, INT32_MAX}) {
        if (const char* text = store.Get(n, name)) {
          volatile size_t length = std::strlen(text);
          (void)length;
        }
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  qb::lang::LangStore store;
  store.AddFile(text);
  Check(store);
  store.AddFile(text);
  Check(store);
  store.Clear();
  if (store.Get(0, nullptr) != nullptr) std::abort();
  return 0;
}
