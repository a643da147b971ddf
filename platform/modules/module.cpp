#include "platform/modules/module.h"

#include <dlfcn.h>
#include <link.h>

#include <utility>

namespace qb {

Module::Module(const std::string& path) {
  // A name without a slash would make dlopen search the library path; callers name files.
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* message = dlerror();
    error_ = message ? message : "cannot load " + path;
  }
}

Module::~Module() {
  Free();
}

Module::Module(Module&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

Module& Module::operator=(Module&& other) noexcept {
  if (this != &other) {
    Free();
    handle_ = std::exchange(other.handle_, nullptr);
    error_ = std::move(other.error_);
  }
  return *this;
}

void* Module::Find(const char* name) const {
  if (handle_ == nullptr || name == nullptr) return nullptr;
  // dlsym with a handle searches this library and then its dependencies. A field type links
  // against the main library, so an entry point the field type lacks would otherwise be found in
  // the main library; only the library's own definitions count as its entry points.
  void* symbol = dlsym(handle_, name);
  if (symbol == nullptr) return nullptr;
  struct link_map* own = nullptr;
  struct link_map* definer = nullptr;
  Dl_info info{};
  if (dlinfo(handle_, RTLD_DI_LINKMAP, &own) != 0 ||
      dladdr1(symbol, &info, reinterpret_cast<void**>(&definer), RTLD_DL_LINKMAP) == 0) {
    return nullptr;
  }
  return definer == own ? symbol : nullptr;
}

void Module::Free() {
  if (handle_ != nullptr) {
    dlclose(handle_);
    handle_ = nullptr;
  }
}

}  // namespace qb
