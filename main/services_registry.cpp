// Registry keys for the field-type libraries and what they read and write in them, over this
// system's registry layer. The main library reads its own numbers through RegReadNumber too, so
// a setting of any library reads by the same rule.
#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "main/book_format.h"
#include "platform/codepage/codepage.h"
#include "platform/paths/paths.h"
#include "platform/registry/registry.h"
#include "sdk/services.h"

namespace {

// A name that, once its separators are dropped, names no sub-key at all.
bool NamesNoSubKey(const char* name) {
  return name == nullptr || name[std::strspn(name, "\\")] == '\0';
}

}  // namespace

extern "C" {

HKEY OpenRegKey(const char* root, const char* subkey) {
  const std::string path =
      qb::JoinKeyPath(qb::JoinKeyPath(root != nullptr ? root : "", qb::main::kRegistryKey),
                      subkey != nullptr ? subkey : "");
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), &key) != ERROR_SUCCESS) return nullptr;
  return key;
}

void CloseRegKey(HKEY key) {
  if (key != nullptr) RegCloseKey(key);
}

int32_t RegReadNumber(HKEY key, const char* name, int32_t def, int32_t min, int32_t max) {
  if (key == nullptr) return def;
  std::optional<DWORD> stored = qb::registry::QueryDword(key, name);
  if (!stored) return def;
  auto value = static_cast<int32_t>(*stored);
  return value >= min && value <= max ? value : def;
}

size_t RegReadText(HKEY key, const char* name, const char* def, char* out, size_t capacity) {
  std::optional<std::string> stored;
  if (key != nullptr) stored = qb::registry::QueryString(key, name);
  std::string_view text = stored ? std::string_view(*stored) : std::string_view(def ? def : "");
  text = text.substr(0, text.find('\0'));  // a text ends at its first zero byte
  if (out == nullptr || capacity == 0) return text.size();
  size_t n = qb::codepage::Utf8CutPoint(text, capacity - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return n;
}

int RegWriteNumber(HKEY key, const char* name, int32_t value) {
  if (key == nullptr) return 0;
  return qb::registry::SetDword(key, name, static_cast<DWORD>(value)) == ERROR_SUCCESS ? 1 : 0;
}

int RegWriteText(HKEY key, const char* name, const char* text) {
  if (key == nullptr || text == nullptr) return 0;
  return qb::registry::SetString(key, name, text) == ERROR_SUCCESS ? 1 : 0;
}

HKEY RegOpenSubKey(HKEY key, const char* name, int create) {
  if (key == nullptr || NamesNoSubKey(name)) return nullptr;
  HKEY sub = nullptr;
  LSTATUS status = create != 0 ? RegCreateKeyExA(key, name, &sub) : RegOpenKeyExA(key, name, &sub);
  return status == ERROR_SUCCESS ? sub : nullptr;
}

int RegEnumSubKey(HKEY key, uint32_t index, char* out, size_t capacity) {
  if (key == nullptr) return -1;
  // The layer wants a buffer; a caller asking only for the length lends it a byte.
  char probe[1];
  const bool lent = out == nullptr || capacity == 0;
  char* buffer = lent ? probe : out;
  DWORD size = lent ? 1 : capacity > UINT32_MAX ? UINT32_MAX : static_cast<DWORD>(capacity);
  LSTATUS status = RegEnumKeyExA(key, index, buffer, &size);
  if (status == ERROR_MORE_DATA) {
    if (!lent) *out = '\0';
    --size;  // it counted the terminator the name needs
  } else if (status != ERROR_SUCCESS) {
    return -1;
  }
  return size > INT_MAX ? -1 : static_cast<int>(size);
}

int RegDeleteSubKey(HKEY key, const char* name) {
  if (key == nullptr || NamesNoSubKey(name)) return 0;
  return RegDeleteKeyA(key, name) == ERROR_SUCCESS ? 1 : 0;
}

}  // extern "C"
