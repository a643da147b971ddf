// services.h compiles on its own as C++, including the overloads with C++ linkage.
#include <type_traits>

#include "sdk/services.h"

// Resolving each overload in an unevaluated context checks every declaration without needing
// the main library at link time.
static_assert(std::is_same_v<decltype(static_cast<void (*)(const char*, const char*)>(ShowError)),
                             void (*)(const char*, const char*)>);
static_assert(std::is_same_v<decltype(static_cast<void (*)(int, const char*)>(ShowError)),
                             void (*)(int, const char*)>);
static_assert(std::is_same_v<
              decltype(static_cast<void (*)(const char*, const char*, const char*)>(ShowError)),
              void (*)(const char*, const char*, const char*)>);
static_assert(std::is_same_v<decltype(static_cast<void (*)(const char*, const char*, const char*,
                                                           const char*)>(ShowError)),
                             void (*)(const char*, const char*, const char*, const char*)>);
static_assert(std::is_same_v<decltype(OpenRegKey(nullptr, nullptr)), HKEY>);
static_assert(std::is_same_v<decltype(&CloseRegKey), void (*)(HKEY)>);
static_assert(std::is_same_v<decltype(Malloc(0u)), void*>);

bool QbSdkServicesDeclared() {
  return true;
}
