// The dynamic symbol table of a shared library as its file holds it.
#pragma once

#include <set>
#include <string>

namespace qb::test {

struct DynamicSymbols {
  bool read = false;                // the file is an ELF64 object with a dynamic symbol table
  std::set<std::string> defined;    // global, weak and unique symbols the library defines
  std::set<std::string> undefined;  // the ones it leaves for the loader to bind
};

DynamicSymbols ReadDynamicSymbols(const std::string& path);

// An exports list as qb_plugin_library reads it: C names as they are, C++ names after "c++:"
// (a pattern on the demangled name, "*" matching any text). Blank lines and "#" lines are skipped.
struct ExportsList {
  std::set<std::string> c_names;
  std::set<std::string> cxx_patterns;
};
ExportsList ReadExportsList(const std::string& path);

// Whether a defined symbol is one the list names: by its C name, or by its demangled name.
bool Listed(const ExportsList& list, const std::string& symbol);
// The demangled name of a C++ symbol; the name itself for any other.
std::string Demangle(const std::string& symbol);
// Glob match with "*" only.
bool MatchPattern(const std::string& pattern, const std::string& text);

}  // namespace qb::test
