#include "platform/registry/registry.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/paths/paths.h"
#include "platform/registry/reg_file.h"
#include "platform/registry/reg_tree.h"

// The Windows names below are global; what they are made of is the registry's own.
using namespace qb::registry;

namespace {

// The longest key name and value name, as on Windows.
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;

// The path behind a handle; false for a handle that is not an open key.
bool PathOf(HKEY key, std::string* path) {
  if (key == HKEY_CURRENT_USER) {
    path->clear();
    return true;
  }
  if (key == nullptr || key->magic != kRegKeyMagic || key->path == nullptr) return false;
  *path = key->path;
  return true;
}

// Names end up as lines of the file: no control characters, and not longer than Windows allows.
bool NameIsValid(std::string_view name, std::size_t maxLength = kMaxKeyNameLength) {
  if (name.size() > maxLength) return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

bool PathIsValid(std::string_view path) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (!NameIsValid(path.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

HKEY NewHandle(const std::string& path) {
  auto* handle = static_cast<RegKeyHandle*>(std::malloc(sizeof(RegKeyHandle)));
  if (handle == nullptr) return nullptr;
  handle->path = static_cast<char*>(std::malloc(path.size() + 1));
  if (handle->path == nullptr) {
    std::free(handle);
    return nullptr;
  }
  std::memcpy(handle->path, path.c_str(), path.size() + 1);
  handle->magic = kRegKeyMagic;
  return handle;
}

// The full path of key\subKey, checked; false when the handle or the name is not usable.
LSTATUS FullPath(HKEY key, const char* subKey, std::string* full) {
  std::string base;
  if (!PathOf(key, &base)) return ERROR_INVALID_HANDLE;
  *full = NormalizePath(qb::JoinKeyPath(base, subKey ? subKey : ""));
  return PathIsValid(*full) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

// A value's bytes as the caller sees them: strings with their terminating zero.
std::vector<uint8_t> Visible(const RegValue& v) {
  std::vector<uint8_t> bytes = v.data;
  if (v.type == REG_SZ) bytes.push_back(0);
  return bytes;
}

}  // namespace

LSTATUS RegCreateKeyExA(HKEY key, const char* subKey, HKEY* result, DWORD* disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::string full;
  if (LSTATUS status = FullPath(key, subKey, &full); status != ERROR_SUCCESS) return status;
  bool created = false;
  if (ReadRegistry().Find(full) == nullptr) {
    LSTATUS status = ModifyRegistry([&](RegTree& tree, bool* changed) {
      tree.Create(full, &created);
      *changed = created;
      return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
  }
  HKEY handle = NewHandle(full);
  if (handle == nullptr) return ERROR_WRITE_FAULT;
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = handle;
  return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExA(HKEY key, const char* subKey, HKEY* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::string full;
  if (LSTATUS status = FullPath(key, subKey, &full); status != ERROR_SUCCESS) return status;
  if (ReadRegistry().Find(full) == nullptr) return ERROR_FILE_NOT_FOUND;
  HKEY handle = NewHandle(full);
  if (handle == nullptr) return ERROR_WRITE_FAULT;
  *result = handle;
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  if (key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  std::string path;
  if (!PathOf(key, &path)) return ERROR_INVALID_HANDLE;
  key->magic = 0;
  std::free(key->path);
  key->path = nullptr;
  std::free(key);
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, uint8_t* data,
                         DWORD* dataSize) {
  std::string path;
  if (!PathOf(key, &path)) return ERROR_INVALID_HANDLE;
  if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
  RegTree tree = ReadRegistry();
  const RegKey* k = tree.Find(path);
  if (k == nullptr) return ERROR_KEY_DELETED;
  const RegValue* v = k->FindValue(valueName ? valueName : "");
  if (v == nullptr) return ERROR_FILE_NOT_FOUND;
  std::vector<uint8_t> bytes = Visible(*v);
  if (type) *type = v->type;
  if (dataSize == nullptr) return ERROR_SUCCESS;
  DWORD need = static_cast<DWORD>(bytes.size());
  if (data != nullptr) {
    if (*dataSize < need) {
      *dataSize = need;
      return ERROR_MORE_DATA;
    }
    if (need > 0) std::memcpy(data, bytes.data(), need);
  }
  *dataSize = need;
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY key, const char* valueName, DWORD type, const void* data,
                       DWORD dataSize) {
  std::string path;
  if (!PathOf(key, &path)) return ERROR_INVALID_HANDLE;
  std::string name = valueName ? valueName : "";
  if (!NameIsValid(name, kMaxValueNameLength) || (data == nullptr && dataSize > 0)) {
    return ERROR_INVALID_PARAMETER;
  }
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::vector<uint8_t> stored(bytes, bytes + dataSize);
  if (type == REG_SZ) {
    auto zero = std::find(stored.begin(), stored.end(), 0);
    stored.erase(zero, stored.end());
  }
  return ModifyRegistry([&](RegTree& tree, bool* changed) -> LSTATUS {
    RegKey* k = tree.Find(path);
    if (k == nullptr) return ERROR_KEY_DELETED;
    RegValue* v = k->FindValue(name);
    if (v == nullptr) {
      k->values.push_back(RegValue{name, type, stored});
      *changed = true;
    } else if (v->type != type || v->data != stored) {
      v->type = type;
      v->data = stored;
      *changed = true;
    }
    return ERROR_SUCCESS;
  });
}

LSTATUS RegDeleteValueA(HKEY key, const char* valueName) {
  std::string path;
  if (!PathOf(key, &path)) return ERROR_INVALID_HANDLE;
  std::string name = valueName ? valueName : "";
  return ModifyRegistry([&](RegTree& tree, bool* changed) -> LSTATUS {
    RegKey* k = tree.Find(path);
    if (k == nullptr) return ERROR_KEY_DELETED;
    RegValue* v = k->FindValue(name);
    if (v == nullptr) return ERROR_FILE_NOT_FOUND;
    k->values.erase(k->values.begin() + (v - k->values.data()));
    *changed = true;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize) {
  std::string path;
  if (!PathOf(key, &path)) return ERROR_INVALID_HANDLE;
  if (name == nullptr || nameSize == nullptr) return ERROR_INVALID_PARAMETER;
  RegTree tree = ReadRegistry();
  if (tree.Find(path) == nullptr) return ERROR_KEY_DELETED;
  std::vector<std::string> names = tree.SubKeyNames(path);
  if (index >= names.size()) return ERROR_NO_MORE_ITEMS;
  const std::string& found = names[index];
  if (*nameSize < found.size() + 1) {
    *nameSize = static_cast<DWORD>(found.size() + 1);
    return ERROR_MORE_DATA;
  }
  std::memcpy(name, found.c_str(), found.size() + 1);
  *nameSize = static_cast<DWORD>(found.size());
  return ERROR_SUCCESS;
}

LSTATUS RegDeleteKeyA(HKEY key, const char* subKey) {
  if (subKey == nullptr || NormalizePath(subKey).empty()) return ERROR_INVALID_PARAMETER;
  std::string full;
  if (LSTATUS status = FullPath(key, subKey, &full); status != ERROR_SUCCESS) return status;
  return ModifyRegistry([&](RegTree& tree, bool* changed) -> LSTATUS {
    if (!tree.Remove(full)) return ERROR_FILE_NOT_FOUND;
    *changed = true;
    return ERROR_SUCCESS;
  });
}

namespace qb::registry {

LSTATUS SetString(HKEY key, const char* valueName, const std::string& text) {
  return RegSetValueExA(key, valueName, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

LSTATUS SetDword(HKEY key, const char* valueName, DWORD value) {
  uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                      static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return RegSetValueExA(key, valueName, REG_DWORD, bytes, sizeof bytes);
}

LSTATUS SetBinary(HKEY key, const char* valueName, const void* data, DWORD size) {
  return RegSetValueExA(key, valueName, REG_BINARY, data, size);
}

std::optional<std::string> QueryString(HKEY key, const char* valueName) {
  // One read of the file, so that size and contents belong together.
  std::string path;
  if (!PathOf(key, &path)) return std::nullopt;
  RegTree tree = ReadRegistry();
  const RegKey* k = tree.Find(path);
  const RegValue* v = k ? k->FindValue(valueName ? valueName : "") : nullptr;
  if (v == nullptr || v->type != REG_SZ) return std::nullopt;
  return std::string(v->data.begin(), v->data.end());
}

std::optional<DWORD> QueryDword(HKEY key, const char* valueName) {
  DWORD type = 0;
  uint8_t bytes[4];
  DWORD size = sizeof bytes;
  if (RegQueryValueExA(key, valueName, &type, bytes, &size) != ERROR_SUCCESS || type != REG_DWORD ||
      size != 4) {
    return std::nullopt;
  }
  return static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 |
         static_cast<DWORD>(bytes[2]) << 16 | static_cast<DWORD>(bytes[3]) << 24;
}

}  // namespace qb::registry
