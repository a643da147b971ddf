// The contents of the registry file in memory: keys by path, each with its values. Names compare
// without regard to ASCII case and keep the case they were first given.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qb::registry {

struct RegValue {
  std::string name;  // "" is the default value
  uint32_t type = 0;
  // The stored bytes; for REG_SZ the text without a terminating zero.
  std::vector<uint8_t> data;
};

struct RegKey {
  std::string path;  // as first created, components joined by "\", "" for the root
  std::vector<RegValue> values;

  const RegValue* FindValue(std::string_view name) const;
  RegValue* FindValue(std::string_view name);
};

// Lower-case ASCII, with "\" mapped below every other character so that a key sorts right before
// its sub-keys and sub-keys sort by their own names.
std::string FoldPath(std::string_view path);
bool NamesEqual(std::string_view a, std::string_view b);
// path without empty components ("\\a\\\\b\\" -> "a\\b").
std::string NormalizePath(std::string_view path);

class RegTree {
 public:
  // The root key always exists.
  RegTree();

  const RegKey* Find(std::string_view path) const;
  RegKey* Find(std::string_view path);
  // The key, created with every missing key above it; *created tells whether it was new.
  RegKey& Create(std::string_view path, bool* created = nullptr);
  // Removes the key and everything below it (never the root); false when it did not exist.
  bool Remove(std::string_view path);
  // Names of the direct sub-keys, ordered without regard to case.
  std::vector<std::string> SubKeyNames(std::string_view path) const;

  // Every key, parents before children.
  template <class Fn>
  void ForEach(Fn fn) const {
    for (const auto& [fold, key] : keys_) fn(key);
  }

  bool operator==(const RegTree& other) const;

 private:
  std::map<std::string, RegKey> keys_;  // by FoldPath
};

}  // namespace qb::registry
