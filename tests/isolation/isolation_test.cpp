// Two libraries that both compile the same code, loaded into one process: each keeps its own
// state, a registry handle from one works in the other, and each exports exactly its list.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "platform/modules/module.h"
#include "platform/registry/registry.h"
#include "tests/isolation/shared_counter.h"
#include "tests/support/elf_symbols.h"
#include "tests/support/temp_dir.h"

namespace {

using qb::test::DynamicSymbols;
using qb::test::ReadDynamicSymbols;

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
  qb::test::TempDir dir("qb-isolation");
  qb::registry::SetConfigDirectory(dir.root().string());
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
