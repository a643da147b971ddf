// The host's interface language, which chooses among the languages of the language files.
//
// Header-only on purpose: the language store (qb_lang) stays free of the registry, and a library
// that includes this header links qb_registry itself.
#pragma once

#include <string>

#include "platform/registry/registry.h"

namespace qb::lang {

// The registry key of the host's language: root_key (the host's RootKey, below
// HKEY_CURRENT_USER) with its last component replaced by "Language". "Software\Far\Plugins" gives
// "Software\Far\Language"; a root key without "\" gives "Language".
inline std::string LanguageKeyPath(const std::string& root_key) {
  size_t slash = root_key.rfind('\\');
  return slash == std::string::npos ? "Language" : root_key.substr(0, slash + 1) + "Language";
}

// The value "Main" of that key when it is a string, else "English". The key is opened with
// create-if-missing, as the host itself opens it, so reading creates it when it is absent. A null
// root_key (no host table yet) gives "English" without touching the registry.
inline std::string CurrentLanguage(const char* root_key) {
  if (root_key == nullptr) return "English";
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, LanguageKeyPath(root_key).c_str(), &key) !=
      ERROR_SUCCESS) {
    return "English";
  }
  std::optional<std::string> language = registry::QueryString(key, "Main");
  RegCloseKey(key);
  return language ? *language : "English";
}

}  // namespace qb::lang
