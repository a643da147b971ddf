// Two libraries that both compile the same code, loaded into one process: each keeps its own
// state, a registry handle from one works in the other, and each exports exactly its list.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "platform/modules/module.h"
#include "platform/registry/registry.h"
#include "tests/isolation/shared_counter.h"

namespace {

struct DynamicSymbols {
  std::set<std::string> defined;
  std::set<std::string> undefined;
};

// The global and weak symbols of an ELF64 file's dynamic symbol table.
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

std::set<std::string> ListedExports() {
  std::ifstream in(QB_ISOLATION_EXPORTS);
  std::set<std::string> names;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] != '#') names.insert(line);
  }
  return names;
}

class IsolationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(a_.loaded()) << a_.error();
    ASSERT_TRUE(b_.loaded()) << b_.error();
  }
  template <class Fn>
  Fn A(const char* name) {
    return a_.FindAs<Fn>(name);
  }
  template <class Fn>
  Fn B(const char* name) {
    return b_.FindAs<Fn>(name);
  }

  qb::Module a_{QB_ISOLATION_A};
  qb::Module b_{QB_ISOLATION_B};
};

TEST_F(IsolationTest, EachLibraryKeepsItsOwnCopyOfSharedState) {
  using IntFn = int (*)();
  ASSERT_NE(A<IntFn>("IsoBump"), B<IntFn>("IsoBump"));
  EXPECT_EQ(A<IntFn>("IsoBump")(), 1);
  EXPECT_EQ(A<IntFn>("IsoBump")(), 2);
  EXPECT_EQ(A<IntFn>("IsoBump")(), 3);
  EXPECT_EQ(B<IntFn>("IsoBump")(), 1);
  // The program's own copy is a third one.
  EXPECT_EQ(qb::isolation::BumpCounter(), 1);
  EXPECT_EQ(A<IntFn>("IsoCount")(), 3003);
  EXPECT_EQ(B<IntFn>("IsoCount")(), 1001);

  EXPECT_EQ(A<IntFn>("IsoBumpInline")(), 1);
  EXPECT_EQ(A<IntFn>("IsoBumpInline")(), 2);
  EXPECT_EQ(B<IntFn>("IsoBumpInline")(), 1);
  EXPECT_EQ(qb::isolation::BumpInlineCounter(), 1);
}

TEST_F(IsolationTest, ARegistryHandleFromOneCopyWorksInAnother) {
  char pattern[] = "/tmp/qb-isolation-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  qb::registry::SetConfigDirectory(pattern);
  auto open = A<HKEY (*)(const char*)>("IsoOpenKey");
  auto set = B<int (*)(HKEY, const char*, DWORD)>("IsoSetDword");
  auto close = B<int (*)(HKEY)>("IsoClose");
  HKEY key = open("Software\\Isolation");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(set(key, "FromB", 7), ERROR_SUCCESS);
  EXPECT_EQ(close(key), ERROR_SUCCESS);
  HKEY mine = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\isolation", &mine), ERROR_SUCCESS);
  EXPECT_EQ(qb::registry::QueryDword(mine, "fromb"), 7u);
  RegCloseKey(mine);
  qb::registry::SetConfigDirectory("");
  std::filesystem::remove_all(pattern);
}

TEST_F(IsolationTest, EachLibraryExportsExactlyItsList) {
  const std::set<std::string> listed = ListedExports();
  ASSERT_EQ(listed.size(), 6u);
  for (const char* path : {QB_ISOLATION_A, QB_ISOLATION_B}) {
    DynamicSymbols symbols = ReadDynamicSymbols(path);
    EXPECT_EQ(symbols.defined, listed) << path;
    // Nothing of our own code (namespace qb, the registry calls, the entry points) is left for
    // the loader to bind to another library's copy.
    for (const std::string& name : symbols.undefined) {
      EXPECT_EQ(name.find("2qb"), std::string::npos) << path << ": " << name;
      EXPECT_NE(name.rfind("Reg", 0), 0u) << path << ": " << name;
      EXPECT_NE(name.rfind("Iso", 0), 0u) << path << ": " << name;
    }
  }
  EXPECT_EQ(a_.Find("IsoNotListed"), nullptr);
}

}  // namespace
