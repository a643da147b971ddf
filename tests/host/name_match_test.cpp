// The searches' matching rules: letter case folded across scripts, masks with wildcards and lists.
#include "host/core/name_match.h"

#include <gtest/gtest.h>

#include <string>

namespace qb::host {
namespace {

TEST(NameMatch, LetterCaseIsFoldedInLatinGreekAndCyrillicButLettersStayApart) {
  EXPECT_TRUE(StartsWithFolded("Smith", FoldCase("sMI")));
  EXPECT_TRUE(StartsWithFolded("Иванов", FoldCase("иВА")));
  EXPECT_TRUE(StartsWithFolded("Ёлкин", FoldCase("ё")));
  EXPECT_TRUE(StartsWithFolded("Σωκράτης", FoldCase("σΩ")));
  EXPECT_TRUE(StartsWithFolded("Ærø", FoldCase("æ")));
  // A Latin C is not a Cyrillic С, and a longer prefix never matches a shorter name.
  EXPECT_FALSE(StartsWithFolded("Семья", FoldCase("C")));
  EXPECT_FALSE(StartsWithFolded("Al", FoldCase("ali")));
  EXPECT_TRUE(StartsWithFolded("anything", FoldCase("")));
  EXPECT_TRUE(ContainsFolded(FoldCase("met at the Boat show"), FoldCase("BOAT")));
  EXPECT_FALSE(ContainsFolded(FoldCase("boa t"), FoldCase("boat")));
  // Bytes that are not UTF-8 do not stop a match after them.
  EXPECT_TRUE(ContainsFolded(FoldCase(std::string("\xff\xfe tel 555", 10)), FoldCase("TEL")));
}

TEST(NameMatch, MasksTakeStarsQuestionMarksAndListsIgnoringCase) {
  EXPECT_TRUE(NameMask("*smith*").Matches("John SMITHSON"));
  EXPECT_TRUE(NameMask("*smith*").Matches("smith"));
  EXPECT_FALSE(NameMask("*smith*").Matches("smyth"));
  EXPECT_TRUE(NameMask("ann?").Matches("Anna"));
  EXPECT_FALSE(NameMask("ann?").Matches("Ann"));
  EXPECT_TRUE(NameMask("*.txt").Matches("notes.TXT"));
  EXPECT_FALSE(NameMask("*.txt").Matches("notes.txt.bak"));
  EXPECT_TRUE(NameMask("a*b*c").Matches("aXbYbZc"));
  EXPECT_FALSE(NameMask("a*b*c").Matches("aXbYcZ"));
  EXPECT_TRUE(NameMask("*ов").Matches("ИВАНОВ"));
  // Lists, blanks around a mask dropped; a list of no masks matches everything.
  EXPECT_TRUE(NameMask("*.md, *.txt").Matches("b.txt"));
  EXPECT_TRUE(NameMask("x;*.md").Matches("n.md"));
  EXPECT_FALSE(NameMask("*.md,*.txt").Matches("a.doc"));
  EXPECT_TRUE(NameMask("").Matches("any"));
  EXPECT_TRUE(NameMask(" , ").Matches("any"));
  // Many stars against a long name that does not match end quickly (no exponential backtracking).
  EXPECT_FALSE(NameMask("*a*a*a*a*a*a*a*a*a*a*b").Matches(std::string(4000, 'a')));
}

}  // namespace
}  // namespace qb::host
