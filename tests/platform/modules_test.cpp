#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/modules/directory.h"
#include "platform/modules/module.h"
#include "tests/support/temp_dir.h"

namespace qb {
namespace {

TEST(Module, LoadsFindsByExactNameAndFrees) {
  Module module(QB_TEST_MODULE_PATH);
  ASSERT_TRUE(module.loaded()) << module.error();
  auto answer = module.FindAs<int (*)()>("QbTestAnswer");
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(module.Find("qbtestanswer"), nullptr);  // entry point names are exact
  EXPECT_EQ(module.Find("QbTestAnswe"), nullptr);
  // Calls into its dependency work, but the dependency's entry points are not the library's.
  EXPECT_EQ(module.FindAs<int (*)()>("QbTestCallsDependency")(), 8);
  EXPECT_EQ(module.Find("QbDependencyOnly"), nullptr);
  Module moved = std::move(module);
  EXPECT_FALSE(module.loaded());
  EXPECT_TRUE(moved.loaded());
  moved.Free();
  EXPECT_FALSE(moved.loaded());
  EXPECT_EQ(moved.Find("QbTestAnswer"), nullptr);
}

TEST(Module, ReportsAFailedLoad) {
  Module missing("/nonexistent/Nothing.qbl");
  EXPECT_FALSE(missing.loaded());
  EXPECT_FALSE(missing.error().empty());
  EXPECT_EQ(missing.Find("QbTestAnswer"), nullptr);

  test::TempDir dir("qb-module");
  std::string fake = dir / "Fake.qbl";
  std::ofstream(fake) << "not a library";
  Module bad(fake);
  EXPECT_FALSE(bad.loaded());
  EXPECT_FALSE(bad.error().empty());
}

TEST(Pattern, MatchesStarAndQuestionMarkWithoutRegardToCase) {
  struct Case {
    const char* name;
    const char* pattern;
    bool matches;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"Phone.qbl", "*.qbl", true},
           {"PHONE.QBL", "*.qbl", true},
           {".qbl", "*.qbl", true},
           {"Phone.qbl.bak", "*.qbl", false},
           {"Phone.qb", "*.qbl", false},
           {"Main.lng", "*.ln?", true},
           {"Main.LNR", "*.ln?", true},
           {"Main.ln", "*.ln?", false},
           {"Main.lngx", "*.ln?", false},
           {"Main.ln\xC3\xBC", "*.ln?", true},  // "?" takes a whole character
           {"a.b.c", "*.*.?", true},
           {"aXbXc", "a*b*c", true},
           {"abcab", "*ab*ac", false},
           {"", "*", true},
           {"", "?", false},
           // Non-ASCII letters compare exactly.
           {"\xC3\xBC.qbl", "\xC3\x9C.qbl", false},
       }) {
    EXPECT_EQ(MatchesPattern(c.name, c.pattern), c.matches) << c.name << " ~ " << c.pattern;
  }
}

TEST(Directory, ListsMatchingFilesSortedByteWise) {
  test::TempDir dir("qb-dir");
  std::string d = dir.root().string();
  for (const char* name : {"b.qbl", "A.QBL", "a.qbl", "Z.qbl", "notes.txt", "\xC3\xA4.qbl"}) {
    std::ofstream(d + "/" + name) << "x";
  }
  mkdir((d + "/dir.qbl").c_str(), 0700);
  symlink((d + "/b.qbl").c_str(), (d + "/link.qbl").c_str());
  symlink((d + "/missing").c_str(), (d + "/dangling.qbl").c_str());

  int error = -1;
  auto names = ListFiles(d, "*.qbl", &error);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(names, (std::vector<std::string>{"A.QBL", "Z.qbl", "a.qbl", "b.qbl", "link.qbl",
                                             "\xC3\xA4.qbl"}));
  EXPECT_EQ(ListFiles(d + "/", "*.TXT"), std::vector<std::string>{"notes.txt"});

  names = ListFiles(d + "/nothing-here", "*", &error);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(error, ENOENT);
}

TEST(Directory, JoinsWithOneSlash) {
  EXPECT_EQ(JoinPath("/a/b", "c"), "/a/b/c");
  EXPECT_EQ(JoinPath("/a/b/", "c"), "/a/b/c");
  EXPECT_EQ(JoinPath("", "c"), "c");
}

}  // namespace
}  // namespace qb
