// The language store: file format, sections and runs, and the fallback between languages.
#include "shared/lang/lang_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/temp_dir.h"

namespace qb::lang {
namespace {

using ::testing::IsNull;

std::string Text(const char* s) {
  return s == nullptr ? "<null>" : s;
}

// A store built from the given files, with the given current language.
struct Store {
  explicit Store(std::initializer_list<std::string_view> files, const char* language = "English") {
    store.SetCurrentLanguage(language);
    for (std::string_view f : files) store.AddFile(f);
  }
  std::string operator()(int n, const char* module = nullptr) const {
    return Text(store.Get(n, module));
  }
  LangStore store;
};

// Each message number of the main module against its text ("<null>" for none).
void ExpectTexts(const Store& get, std::initializer_list<std::pair<int, const char*>> texts) {
  for (const auto& [n, text] : texts) EXPECT_EQ(get(n), text) << "message " << n;
}

TEST(LangStoreFormat, MainModuleAndNamedModuleWithOffsetRun) {
  Store get(
      {".Language=English,English (English)\n"
       "\"OK\"\n"
       "\"Cancel\"\n"
       ".Module=Comment\n"
       "\"Comment\"\n"
       ".Offset=10\n"
       "\"Ten\"\n"});
  EXPECT_EQ(get(0), "OK");
  EXPECT_EQ(get(1), "Cancel");
  EXPECT_EQ(get(2), "<null>");
  EXPECT_EQ(get(0, "Comment"), "Comment");
  EXPECT_EQ(get(10, "Comment"), "Ten");
  EXPECT_EQ(get(1, "Comment"), "<null>");
  EXPECT_EQ(get(-1, "Comment"), "<null>");
  EXPECT_EQ(get.store.Languages(), std::vector<std::string>{"English"});
}

TEST(LangStoreFormat, LineEndsGiveTheSameTexts) {
  const char* lf = ".Language=English\n\"a\"\n\n  \"b\"\n\"c\"";
  const char* crlf = ".Language=English\r\n\"a\"\r\n\r\n  \"b\"\r\n\"c\"\r\n";
  const char* cut = ".Language=English\r\n\"a\"\r\n\r\n  \"b\"\r\n\"c\"\r";  // CR at the very end
  for (const char* file : {lf, crlf, cut}) {
    SCOPED_TRACE(file);
    Store get({file});
    EXPECT_EQ(get(0), "a");
    EXPECT_EQ(get(1), "b");
    EXPECT_EQ(get(2), "c");  // the last line, also without a line feed
    EXPECT_EQ(get(3), "<null>");
  }
  // Only one carriage return belongs to the break; a second one is the message's last character.
  Store get({".Language=English\r\n\"a\r\r\n\"b\"\r\r\n"});
  EXPECT_EQ(get(0), "a\r");
  EXPECT_EQ(get(1), "b\"\r");
}

TEST(LangStoreFormat, QuotesAndBlanks) {
  Store get(
      {".Language=English\n"
       "  \"%d items\"\n"
       "\t\"%d items\n"
       "\"\n"
       "\"\"\n"
       "\"say \"hi\"\"\n"
       "   \t \n"  // blanks only: skipped, numbering goes on
       "x  keep =this= \n"
       " .Module=NotADirective\n"});
  ExpectTexts(get, {
                       {0, "%d items"},
                       {1, "%d items"},
                       {2, ""},
                       {3, ""},
                       {4, "say \"hi\""},
                       {5, "  keep =this= "},
                       {6, "Module=NotADirective"},
                       {7, "<null>"},
                   });
  EXPECT_EQ(get(0, "NotADirective"), "<null>");
}

TEST(LangStoreFormat, DirectiveNamesAndValues) {
  Store get(
      {".LANGUAGE=English\n"
       ".module=Comment\n"
       ".unknown=1\n"
       ".no equals sign\n"
       "\"c0\"\n"
       ".MODULE=A=B\n"  // only the first "=" splits
       "\"ab0\"\n"
       ".Module= Spaced\n"  // the value is not trimmed
       "\"s0\"\n"
       ".Module =Blank\n"  // the name ends in a blank: not a module line
       "\"s1\"\n"});
  EXPECT_EQ(get(0, "Comment"), "c0");
  EXPECT_EQ(get(0, "A=B"), "ab0");
  EXPECT_EQ(get(0, " Spaced"), "s0");
  EXPECT_EQ(get(1, " Spaced"), "s1");
  EXPECT_EQ(get(0, "Spaced"), "<null>");
  EXPECT_EQ(get(0, "Blank"), "<null>");
}

TEST(LangStoreFormat, ModuleNamesIgnoreCase) {
  Store get({".Language=English\n.Module=Comment\n\"c\"\n"});
  EXPECT_EQ(get(0, "comment"), "c");
  EXPECT_EQ(get(0, "COMMENT"), "c");
  EXPECT_EQ(get(0), "<null>");  // a named module is not the main module
  EXPECT_EQ(get(0, "Comments"), "<null>");
}

TEST(LangStoreRuns, OffsetOpensARun) {
  Store get({".Language=English\n.Module=Comment\n.Offset=5\n\"five\"\n\"six\"\n"});
  EXPECT_EQ(get(5, "Comment"), "five");
  EXPECT_EQ(get(6, "Comment"), "six");
  EXPECT_EQ(get(0, "Comment"), "<null>");
  EXPECT_EQ(get(7, "Comment"), "<null>");
}

TEST(LangStoreRuns, GapsOverlapsSignsAndBadValues) {
  Store get(
      {".Language=English\n"
       "\"zero\"\n"
       ".Offset=-3\n\"minus three\"\n"
       ".Offset=+100\n\"hundred\"\n\"hundred one\"\n"
       ".Offset=0\n\"shadowed\"\n"               // overlaps run 0: the earlier run answers
       ".Offset=  200 kinds\n\"two hundred\"\n"  // a number, then anything
       ".Offset=abc\n\"continues\"\n"            // no number: the run before goes on
       ".Offset=99999999999\n\"also continues\"\n"
       ".Offset=2147483647\n\"max\"\n\"past max\"\n"
       ".Offset=-2147483648\n\"min\"\n"});
  ExpectTexts(get, {
                       {0, "zero"},
                       {-3, "minus three"},
                       {-2, "<null>"},
                       {100, "hundred"},
                       {101, "hundred one"},
                       {1, "<null>"},
                       {200, "two hundred"},
                       {201, "continues"},
                       {202, "also continues"},
                       {INT_MAX, "max"},
                       {INT_MIN, "min"},
                       {INT_MIN + 1, "<null>"},
                   });
}

TEST(LangStoreSections, TwoLanguagesInOneFile) {
  const char* file =
      ".Language=English,English\n"
      "\"Yes\"\n"
      ".Module=Comment\n"
      "\"Comment\"\n"
      ".Language=Russian,Russian (Русский)\n"  // ends the Comment section, begins Russian's main
      "\"Да\"\n"
      ".Module=Comment\n"
      "\"Комментарий\"\n";
  Store english({file});
  EXPECT_EQ(english(0), "Yes");
  EXPECT_EQ(english(1), "<null>");  // "Да" went to Russian, not into English's main module
  EXPECT_EQ(english(0, "Comment"), "Comment");
  Store russian({file}, "russian");
  EXPECT_EQ(russian(0), "Да");
  EXPECT_EQ(russian(0, "Comment"), "Комментарий");
  EXPECT_EQ(russian.store.Languages(), (std::vector<std::string>{"English", "Russian"}));
}

TEST(LangStoreSections, SecondModuleLineBeginsASectionOfTheSameLanguage) {
  Store get({".Language=English\n.Module=A\n\"a\"\n.Module=B\n\"b\"\n"}, "English");
  EXPECT_EQ(get(0, "A"), "a");
  EXPECT_EQ(get(0, "B"), "b");
  EXPECT_EQ(get(1, "A"), "<null>");
}

TEST(LangStoreSections, SectionsBeforeAnyLanguageAreDropped) {
  Store get({"\"orphan\"\n.Module=Early\n\"early\"\n.Language=English\n\"main\"\n"});
  EXPECT_EQ(get(0), "main");
  EXPECT_EQ(get(0, "Early"), "<null>");
  // The language of one file does not carry over into the next.
  Store two({".Language=Russian\n\"ru\"\n", ".Module=Next\n\"n\"\n"});
  EXPECT_EQ(two(0, "Next"), "<null>");
}

TEST(LangStoreSections, FirstSectionOfAModuleIsFinal) {
  Store get({".Language=English\n.Module=Pager\n\"p0\"\n",
             ".Language=english\n.Module=PAGER\n\"other\"\n\"p1\"\n"});
  EXPECT_EQ(get(0, "Pager"), "p0");
  EXPECT_EQ(get(1, "Pager"), "<null>");  // the later section is not consulted
}

TEST(LangStoreFallback, WholeModuleMissingFallsBackNumberMissingDoesNot) {
  const char* english =
      ".Language=English\n\"OK\"\n.Module=Pager\n\"Pager\"\n.Offset=7\n\"seven\"\n";
  Store without_pager({english, ".Language=Russian\n\"Да\"\n"}, "Russian");
  EXPECT_EQ(without_pager(0, "Pager"), "Pager");
  EXPECT_EQ(without_pager(7, "Pager"), "seven");
  EXPECT_EQ(without_pager(0), "Да");
  Store with_pager({english, ".Language=Russian\n.Module=Pager\n\"Пейджер\"\n"}, "Russian");
  EXPECT_EQ(with_pager(0, "Pager"), "Пейджер");
  EXPECT_EQ(with_pager(7, "Pager"), "<null>");
  // Russian has no main module here: that whole module falls back to English.
  EXPECT_EQ(with_pager(0), "OK");
}

TEST(LangStoreFallback, UnknownLanguageThenEnglishThenFirst) {
  Store no_english({".Language=German\n\"Ja\"\n", ".Language=Russian\n.Module=X\n\"x\"\n"},
                   "French");
  EXPECT_EQ(no_english(0), "Ja");           // neither French nor English: the first language
  EXPECT_EQ(no_english(0, "X"), "<null>");  // the first language lacks X: no further search
  Store with_english({".Language=German\n\"Ja\"\n", ".Language=ENGLISH\n\"Yes\"\n"}, "French");
  EXPECT_EQ(with_english(0), "Yes");
}

TEST(LangStoreFallback, GetInLooksInOneLanguageOnly) {
  Store both({".Language=English\n\"OK\"\n\"Cancel\"\n", ".Language=Russian\n\"Да\"\n"}, "Russian");
  EXPECT_STREQ(both.store.GetIn("russian", 0, nullptr), "Да");
  EXPECT_THAT(both.store.GetIn("Russian", 1, nullptr), IsNull());
  EXPECT_STREQ(both.store.GetIn("English", 1, nullptr), "Cancel");
  EXPECT_THAT(both.store.GetIn("English", 0, "Pager"), IsNull());
  EXPECT_THAT(both.store.GetIn("German", 0, nullptr), IsNull());
  EXPECT_THAT(LangStore().GetIn("English", 0, nullptr), IsNull());
}

TEST(LangStoreFallback, EmptyOrUnloadedStoreGivesNull) {
  LangStore store;
  EXPECT_FALSE(store.loaded());
  EXPECT_THAT(store.Get(0, nullptr), IsNull());
  store.AddFile("");
  EXPECT_TRUE(store.loaded());
  EXPECT_THAT(store.Get(0, nullptr), IsNull());
  EXPECT_TRUE(store.Languages().empty());
}

TEST(LangStoreFallback, NumbersOfAModule) {
  Store get(
      {".Language=English\n\"a\"\n\"b\"\n.Offset=1\n\"c\"\n.Offset=-1\n\"d\"\n"
       ".Module=M\n.Offset=100\n\"m\"\n"});
  EXPECT_EQ(get.store.Numbers("english", nullptr), (std::vector<int32_t>{-1, 0, 1}));
  EXPECT_EQ(get.store.Numbers("English", "m"), (std::vector<int32_t>{100}));
  EXPECT_TRUE(get.store.Numbers("Russian", nullptr).empty());
}

// A temporary directory to put language files in.
class LangDir : public qb::test::TempDir {
 public:
  LangDir() : TempDir("qb_lang") {}
  void Write(const std::string& name, const std::string& contents) const {
    std::ofstream(path() + name, std::ios::binary) << contents;
  }
};

TEST(LangStoreLoad, ReadsEveryLanguageFileInNameOrder) {
  LangDir dir;
  dir.Write("b.lng", ".Language=English\n.Module=Shared\n\"from b\"\n");
  dir.Write("A.LNG", ".Language=English\n.Module=Shared\n\"from A\"\n.Module=Upper\n\"u\"\n");
  dir.Write("c.lnx", ".Language=English\n.Module=X\n\"x\"\n");
  dir.Write("d.ln", ".Language=English\n.Module=D\n\"no\"\n");
  dir.Write("e.lngg", ".Language=English\n.Module=E\n\"no\"\n");
  dir.Write("f.ln\xD1\x8F", ".Language=English\n.Module=F\n\"one letter\"\n");
  dir.Write("empty.lng", "");
  mkdir((dir.path() + "sub.lng").c_str(), 0700);
  mkfifo((dir.path() + "pipe.lng").c_str(), 0600);  // skipped, without waiting for a writer
  LangStore store;
  EXPECT_TRUE(store.Load(dir.path(), "English"));
  EXPECT_EQ(Text(store.Get(0, "Shared")), "from A");  // "A.LNG" sorts before "b.lng"
  EXPECT_EQ(Text(store.Get(0, "Upper")), "u");
  EXPECT_EQ(Text(store.Get(0, "X")), "x");
  EXPECT_EQ(Text(store.Get(0, "F")), "one letter");
  EXPECT_THAT(store.Get(0, "D"), IsNull());
  EXPECT_THAT(store.Get(0, "E"), IsNull());
}

TEST(LangStoreLoad, LoadingTwiceIsLoadingOnce) {
  LangDir dir;
  dir.Write("q.lng", ".Language=English\n\"OK\"\n.Language=Russian\n\"Да\"\n");
  LangStore store;
  ASSERT_TRUE(store.Load(dir.path(), "Russian"));
  ASSERT_TRUE(store.Load(dir.path(), "Russian"));
  EXPECT_EQ(store.Languages(), (std::vector<std::string>{"English", "Russian"}));
  EXPECT_EQ(store.Numbers("Russian", nullptr), std::vector<int32_t>{0});
  EXPECT_EQ(Text(store.Get(0, nullptr)), "Да");
  EXPECT_EQ(store.Numbers("English", nullptr), std::vector<int32_t>{0});
  store.Clear();
  EXPECT_FALSE(store.loaded());
  EXPECT_THAT(store.Get(0, nullptr), IsNull());
}

TEST(LangStoreLoad, MissingOrEmptyDirectoryLeavesAnEmptyLoadedStore) {
  LangDir dir;
  LangStore store;
  EXPECT_FALSE(store.Load(dir.path(), "English"));
  EXPECT_TRUE(store.loaded());
  EXPECT_FALSE(store.Load(dir.path() + "missing/", "English"));
  EXPECT_TRUE(store.loaded());
  EXPECT_THAT(store.Get(0, nullptr), IsNull());
}

}  // namespace
}  // namespace qb::lang
