#include "main/messages.h"

#include <dlfcn.h>

#include <new>

#include "main/plugin_state.h"
#include "platform/paths/paths.h"
#include "sdk/services.h"
#include "shared/lang/current_language.h"
#include "shared/lang/lang_store.h"

namespace qb::main {
namespace {

lang::LangStore& Store() {
  static lang::LangStore store;
  return store;
}

constexpr char kBuiltInEnglish[] =
#include "main/builtin_english.inc"
    ;

// The English file as it was built in; never emptied while the library is loaded.
const lang::LangStore& BuiltIn() {
  static lang::LangStore store;
  if (!store.loaded()) store.AddFile(std::string_view(kBuiltInEnglish, sizeof kBuiltInEnglish - 1));
  return store;
}

// The text in the host's language; what that language's file lacks, in English from the English
// file, then as built in. A damaged or incomplete file therefore never leaves a box without its
// text, nor turns an English interface into another language. Only a module that no English text
// knows (a field type with a language file of its own) takes the store's fallback to the first
// language loaded.
const char* Lookup(int n, const char* module) {
  const lang::LangStore& store = Store();
  if (const char* text = store.GetIn(store.current_language(), n, module)) return text;
  if (const char* text = store.GetIn("English", n, module)) return text;
  if (const char* text = BuiltIn().GetIn("English", n, module)) return text;
  return store.Get(n, module);
}

// The directory of Quillbox.so with its trailing "/": the one SetStartupInfo recorded, or, for a
// lookup that comes before it, the directory this library was loaded from.
std::string ModuleDirectory() {
  if (!State().module_dir.empty()) return State().module_dir;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&CommonGetMsgEx), &info) != 0 && info.dli_fname != nullptr) {
    return DirectoryPart(info.dli_fname);
  }
  return "";
}

}  // namespace

void LoadMessages(const std::string& module_dir, const std::string& language) {
  try {
    Store().Load(module_dir, language);
  } catch (const std::bad_alloc&) {
    // Out of memory half-way: keep nothing rather than a partial store; the next lookup tries
    // again.
    Store().Clear();
  }
}

void FreeMessages() {
  Store().Clear();
}

const char* Msg(int n) {
  const char* text = CommonGetMsgEx(n, nullptr);
  return text != nullptr ? text : "";
}

}  // namespace qb::main

// Exported to the field types: nothing may be thrown out of it.
extern "C" const char* CommonGetMsgEx(int n, const char* module) {
  using qb::main::State;
  try {
    if (!qb::main::Store().loaded()) {
      qb::main::LoadMessages(qb::main::ModuleDirectory(),
                             qb::lang::CurrentLanguage(State().info.RootKey));
    }
    return qb::main::Lookup(n, module);
  } catch (...) {
    return nullptr;
  }
}
