#include "tests/support/elf_symbols.h"

#include <cxxabi.h>
#include <elf.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace qb::test {

DynamicSymbols ReadDynamicSymbols(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  DynamicSymbols result;
  if (image.size() < sizeof(Elf64_Ehdr)) return result;
  Elf64_Ehdr header;
  std::memcpy(&header, image.data(), sizeof header);
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64) {
    return result;
  }
  auto section = [&](std::size_t i) {
    Elf64_Shdr s;
    std::memcpy(&s, image.data() + header.e_shoff + i * header.e_shentsize, sizeof s);
    return s;
  };
  for (std::size_t i = 0; i < header.e_shnum; ++i) {
    Elf64_Shdr dynsym = section(i);
    if (dynsym.sh_type != SHT_DYNSYM) continue;
    result.read = true;
    Elf64_Shdr strings = section(dynsym.sh_link);
    for (std::size_t k = 1; k < dynsym.sh_size / sizeof(Elf64_Sym); ++k) {
      Elf64_Sym sym;
      std::memcpy(&sym, image.data() + dynsym.sh_offset + k * sizeof sym, sizeof sym);
      int binding = ELF64_ST_BIND(sym.st_info);
      if (binding != STB_GLOBAL && binding != STB_WEAK && binding != STB_GNU_UNIQUE) continue;
      std::string name = image.data() + strings.sh_offset + sym.st_name;
      (sym.st_shndx == SHN_UNDEF ? result.undefined : result.defined).insert(name);
    }
  }
  return result;
}

ExportsList ReadExportsList(const std::string& path) {
  std::ifstream in(path);
  ExportsList list;
  for (std::string line; std::getline(in, line);) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    line = line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
    if (line[0] == '#') continue;
    if (line.rfind("c++:", 0) == 0)
      list.cxx_patterns.insert(line.substr(4));
    else
      list.c_names.insert(line);
  }
  return list;
}

std::string Demangle(const std::string& symbol) {
  int status = 0;
  char* text = abi::__cxa_demangle(symbol.c_str(), nullptr, nullptr, &status);
  if (status != 0 || text == nullptr) return symbol;
  std::string result = text;
  std::free(text);
  return result;
}

bool MatchPattern(const std::string& pattern, const std::string& text) {
  std::size_t p = 0, t = 0, star = std::string::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && pattern[p] == text[t]) {
      ++p;
      ++t;
    } else if (star != std::string::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool Listed(const ExportsList& list, const std::string& symbol) {
  if (list.c_names.count(symbol)) return true;
  const std::string demangled = Demangle(symbol);
  if (demangled == symbol) return false;
  for (const std::string& pattern : list.cxx_patterns) {
    if (MatchPattern(pattern, demangled)) return true;
  }
  return false;
}

}  // namespace qb::test
