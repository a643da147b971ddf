// Each library's exports list against the dynamic symbol table of the library as built, both
// ways: every listed name is defined there, and nothing else of ours is.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/elf_symbols.h"

namespace qb::test {
namespace {

struct Library {
  std::string file;
  std::string exports;
};

struct Manifest {
  std::vector<Library> libraries;
  std::vector<std::string> field_types;
};

Manifest ReadManifest() {
  Manifest manifest;
  std::ifstream in(QB_EXPORTS_MANIFEST);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> parts;
    std::stringstream fields(line);
    for (std::string part; std::getline(fields, part, '\t');) parts.push_back(part);
    if (parts.size() == 3 && parts[0] == "library")
      manifest.libraries.push_back({parts[1], parts[2]});
    if (parts.size() == 2 && parts[0] == "fieldtype") manifest.field_types.push_back(parts[1]);
  }
  return manifest;
}

// Symbols every shared object defines whatever its list says: the toolchain's own.
bool Toolchain(const std::string& symbol) {
  return symbol == "_init" || symbol == "_fini" || symbol.rfind("__", 0) == 0 ||
         symbol.rfind("_edata", 0) == 0 || symbol == "_end" || symbol == "__bss_start";
}

TEST(ExportsTest, EveryFieldTypeIsChecked) {
  const Manifest manifest = ReadManifest();
  ASSERT_FALSE(manifest.field_types.empty()) << QB_EXPORTS_MANIFEST;
  std::set<std::string> files;
  for (const Library& lib : manifest.libraries) files.insert(lib.file);
  for (const std::string& type : manifest.field_types) EXPECT_TRUE(files.count(type)) << type;
  bool main_library = false;
  for (const std::string& file : files)
    main_library |= file.size() >= 12 && file.compare(file.size() - 12, 12, "/Quillbox.so") == 0;
  EXPECT_TRUE(main_library);
}

TEST(ExportsTest, EachLibraryExportsExactlyItsList) {
  const Manifest manifest = ReadManifest();
  ASSERT_GE(manifest.libraries.size(), 3u);
  for (const Library& lib : manifest.libraries) {
    SCOPED_TRACE(lib.file);
    const ExportsList list = ReadExportsList(lib.exports);
    const DynamicSymbols symbols = ReadDynamicSymbols(lib.file);
    ASSERT_TRUE(symbols.read);
    // Listed, so defined.
    for (const std::string& name : list.c_names)
      EXPECT_TRUE(symbols.defined.count(name)) << lib.exports << " lists " << name;
    for (const std::string& pattern : list.cxx_patterns) {
      bool found = false;
      for (const std::string& symbol : symbols.defined)
        found |= Demangle(symbol) != symbol && MatchPattern(pattern, Demangle(symbol));
      EXPECT_TRUE(found) << lib.exports << " lists c++:" << pattern;
    }
    // Defined, so listed.
    for (const std::string& symbol : symbols.defined) {
      if (Toolchain(symbol)) continue;
      EXPECT_TRUE(Listed(list, symbol)) << "exported but not listed: " << Demangle(symbol);
    }
  }
}

TEST(ExportsTest, PatternsMatchAsTheLinkerDoes) {
  struct Case {
    const char* pattern;
    const char* text;
    bool matches;
  };
  for (const Case& c :
       std::initializer_list<Case>{{"ShowError*", "ShowError(int, char const*)", true},
                                   {"*", "", true},
                                   {"a*b*c", "aXbYc", true},
                                   {"a*b*c", "aXbY", false},
                                   {"ShowError", "ShowError(int)", false}}) {
    EXPECT_EQ(MatchPattern(c.pattern, c.text), c.matches) << c.pattern << " ~ " << c.text;
  }
}

}  // namespace
}  // namespace qb::test
