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
static_assert(std::is_same_v<decltype(&RegReadNumber),
                             int32_t (*)(HKEY, const char*, int32_t, int32_t, int32_t)>);
static_assert(std::is_same_v<decltype(&RegReadText),
                             size_t (*)(HKEY, const char*, const char*, char*, size_t)>);
static_assert(std::is_same_v<decltype(&RegWriteNumber), int (*)(HKEY, const char*, int32_t)>);
static_assert(std::is_same_v<decltype(&RegWriteText), int (*)(HKEY, const char*, const char*)>);
static_assert(std::is_same_v<decltype(&RegOpenSubKey), HKEY (*)(HKEY, const char*, int)>);
static_assert(std::is_same_v<decltype(&RegEnumSubKey), int (*)(HKEY, uint32_t, char*, size_t)>);
static_assert(std::is_same_v<decltype(&RegDeleteSubKey), int (*)(HKEY, const char*)>);
static_assert(std::is_same_v<decltype(Malloc(0u)), void*>);

bool QbSdkServicesDeclared() {
  return true;
}
