#include "host/terminal/external_program.h"

#include <gtest/gtest.h>

#include <map>

#include "host/terminal/osc52.h"

namespace qb::host {
namespace {

using Words = std::vector<std::string>;

TEST(ExternalProgram, CommandLinesSplitLikeAShellWithoutExpansion) {
  EXPECT_EQ(SplitCommandLine("less -R"), (Words{"less", "-R"}));
  EXPECT_EQ(SplitCommandLine("  vim   -u  NONE "), (Words{"vim", "-u", "NONE"}));
  EXPECT_EQ(SplitCommandLine("'/opt/my editor/ed' \"a b\" c\\ d $HOME"),
            (Words{"/opt/my editor/ed", "a b", "c d", "$HOME"}));
  EXPECT_EQ(SplitCommandLine("x\"y\\\"z\""), (Words{"xy\"z"}));
  EXPECT_TRUE(SplitCommandLine("   ").empty());
  EXPECT_EQ(SplitCommandLine("''"), (Words{""}));
}

TEST(ExternalProgram, PagerAndEditorFallBackToCommonPrograms) {
  std::map<std::string, std::string> env = {{"PAGER", "most -s"}, {"EDITOR", ""}};
  auto getenv = [&](const char* name) -> const char* {
    auto it = env.find(name);
    return it == env.end() ? nullptr : it->second.c_str();
  };
  EXPECT_EQ(ProgramCandidates("pager", getenv),
            (std::vector<Words>{{"most", "-s"}, {"less"}, {"more"}}));
  EXPECT_EQ(ProgramCandidates("editor", getenv), (std::vector<Words>{{"nano"}, {"vi"}}));
  env["VISUAL"] = "emacs -nw";
  env["EDITOR"] = "joe";
  EXPECT_EQ(ProgramCandidates("editor", getenv),
            (std::vector<Words>{{"emacs", "-nw"}, {"joe"}, {"nano"}, {"vi"}}));
  EXPECT_EQ(ProgramCandidates("mcview --x", getenv), (std::vector<Words>{{"mcview", "--x"}}));
}

TEST(ExternalProgram, RunsTheFirstProgramThatExistsWithTheFile) {
  std::vector<Words> candidates = {{"/nonexistent/quillbox-pager"}, {"test", "-e"}};
  EXPECT_EQ(SpawnAndWait(candidates, "/"), 0);
  EXPECT_EQ(SpawnAndWait(candidates, "/nonexistent/file"), 1);
  EXPECT_EQ(SpawnAndWait({{"/nonexistent/quillbox-pager"}}, "/"), -1);
  EXPECT_EQ(SpawnAndWait({}, "/"), -1);
}

TEST(Osc52, ClipboardTextIsBase64Encoded) {
  EXPECT_EQ(Base64(""), "");
  EXPECT_EQ(Base64("f"), "Zg==");
  EXPECT_EQ(Base64("fo"), "Zm8=");
  EXPECT_EQ(Base64("foo"), "Zm9v");
  EXPECT_EQ(Base64("foob"), "Zm9vYg==");
  EXPECT_EQ(Base64("\xFF\xFE\xFD"), "//79");
  EXPECT_EQ(Osc52Sequence("Иван"), "\x1b]52;c;0JjQstCw0L0=\x07");
}

}  // namespace
}  // namespace qb::host
