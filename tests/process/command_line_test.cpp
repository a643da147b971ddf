#include <gtest/gtest.h>

#include "platform/process/process.h"

namespace qb::process {
namespace {

using Words = std::vector<std::string>;

TEST(SplitCommandLine, BlanksAndTabsSeparateWordsAndQuotesGroupThem) {
  EXPECT_EQ(SplitCommandLine("  notepad\treadme.txt  more "),
            (Words{"notepad", "readme.txt", "more"}));
  EXPECT_EQ(SplitCommandLine(R"(prog "a b" c"d e"f "")"), (Words{"prog", "a b", "cd ef", ""}));
  EXPECT_EQ(SplitCommandLine("   "), Words{});
  EXPECT_EQ(SplitCommandLine(""), Words{});
}

TEST(SplitCommandLine, TheProgramNameKeepsBackslashesAndEndsAtItsClosingQuote) {
  EXPECT_EQ(SplitCommandLine(R"("C:\Program Files\x.exe" -a)"),
            (Words{R"(C:\Program Files\x.exe)", "-a"}));
  EXPECT_EQ(SplitCommandLine(R"(a\"b c)"), (Words{R"(a\"b)", "c"}));
  EXPECT_EQ(SplitCommandLine(R"("unclosed name)"), (Words{"unclosed name"}));
}

TEST(SplitCommandLine, BackslashesCountOnlyBeforeAQuote) {
  EXPECT_EQ(SplitParameters(R"(a\\b \"x\" \\"y z" 3\\\"q)"),
            (Words{R"(a\\b)", R"("x")", R"(\y z)", R"(3\"q)"}));
  EXPECT_EQ(SplitParameters(R"("say ""hi""" end)"), (Words{R"(say "hi")", "end"}));
  EXPECT_EQ(SplitParameters(R"(trailing\)"), (Words{R"(trailing\)"}));
}

TEST(SplitCommandLine, ShellSyntaxIsPlainText) {
  EXPECT_EQ(SplitCommandLine("echo $(touch x);rm `id` | y > z"),
            (Words{"echo", "$(touch", "x);rm", "`id`", "|", "y", ">", "z"}));
  EXPECT_EQ(SplitParameters("'a b'"), (Words{"'a", "b'"}));
}

}  // namespace
}  // namespace qb::process
