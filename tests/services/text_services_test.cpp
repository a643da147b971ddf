#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "main/services_text.h"
#include "platform/time/clock.h"
#include "sdk/services.h"

namespace {

// A heap text from a service, freed with the shared Free.
std::string Take(char* text) {
  EXPECT_NE(text, nullptr);
  std::string s = text != nullptr ? text : "";
  Free(text);
  return s;
}

struct Item {
  Item() {
    std::memset(&item, 0xAB, sizeof(item));  // the services must set what they promise
    item.UserData = 0x1234;
    item.Description = nullptr;
  }
  ~Item() { Free(item.Description); }
  PluginPanelItem item;
};

TEST(OneLineServices, CommentAfterTheLastHashNamesTheItem) {
  EXPECT_EQ(Take(StdOneLineMenuDescription("12345#Home", "Phone")), "Home: 12345");
  EXPECT_EQ(Take(StdOneLineMenuDescription("12345", "Phone")), "Phone: 12345");
  EXPECT_EQ(Take(StdOneLineDescription("a#b#c")), "a#b");
  EXPECT_EQ(Take(StdOneLineDescription("plain")), "plain");
  EXPECT_EQ(Take(StdOneLineDescription(nullptr)), "");
}

TEST(PanelItems, FillSetsTimesAndClearsTheRestButNotTheUserData) {
  qb::clock::SetFixedTime(1700000000);
  Item a;
  StdFillPanelItem("Comment", &a.item);
  FILETIME now = qb::clock::TicksToFileTime(qb::clock::UnixToTicks(1700000000));
  EXPECT_EQ(a.item.FindData.ftLastWriteTime.dwLowDateTime, now.dwLowDateTime);
  EXPECT_EQ(a.item.FindData.ftCreationTime.dwHighDateTime, now.dwHighDateTime);
  EXPECT_EQ(a.item.FindData.ftLastAccessTime.dwHighDateTime, now.dwHighDateTime);
  EXPECT_EQ(a.item.FindData.dwFileAttributes, 0u);
  EXPECT_EQ(a.item.FindData.nFileSizeLow, 0u);
  EXPECT_EQ(a.item.FindData.cAlternateFileName[0], '\0');
  EXPECT_STREQ(a.item.FindData.cFileName, "Comment");
  EXPECT_EQ(a.item.PackSize, 0u);
  EXPECT_EQ(a.item.Flags, 0u);
  EXPECT_EQ(a.item.Owner, nullptr);
  EXPECT_EQ(a.item.CustomColumnNumber, 0);
  EXPECT_EQ(a.item.CRC32, 0u);
  EXPECT_EQ(a.item.Reserved[1], 0u);
  EXPECT_EQ(a.item.UserData, 0x1234u);
  qb::clock::SetFixedTime(std::nullopt);
}

TEST(PanelItems, ALongCommentIsCutToTheFileNameBuffer) {
  std::string text = "v#" + std::string(400, 'c');
  Item a;
  StdOneLineToPanelItem(text.c_str(), nullptr, "Phone", &a.item);
  EXPECT_EQ(std::string(a.item.FindData.cFileName), std::string(NM - 1, 'c'));
  // Never in the middle of a character: a two-byte letter that would end at byte 260 is left out.
  std::string letters;
  for (int i = 0; i < 200; ++i) letters += "\xD0\xB4";
  Item b;
  StdOneLineToPanelItem(("v#" + letters).c_str(), nullptr, "Phone", &b.item);
  EXPECT_EQ(std::string(b.item.FindData.cFileName), letters.substr(0, NM - 2));
}

TEST(PanelItems, AHugeFieldGivesADescriptionOfWhatAColumnCanShow) {
  std::string letters;
  while (letters.size() < (1u << 20)) letters += "\xD0\xB4";  // a two-byte letter, 1 MB
  const std::string cut = letters.substr(0, qb::main::kMaxDescriptionBytes);
  Item one, multi;
  StdOneLineToPanelItem(letters.c_str(), nullptr, "Phone", &one.item);
  StdMultiLineToPanelItem((letters + "\nsecond").c_str(), " (s)", "Comment", &multi.item);
  EXPECT_EQ(std::string(one.item.Description), cut);
  EXPECT_EQ(std::string(multi.item.Description), cut + " (s)");
  EXPECT_EQ(Take(StdMultiLineDescription(letters.c_str(), nullptr)), cut);
  EXPECT_EQ(Take(StdOneLineDescription(("x" + letters).c_str())).size(),
            qb::main::kMaxDescriptionBytes - 1);  // never half a letter
  // Menu lines carry the whole text: text export writes them.
  EXPECT_EQ(Take(StdMultiLineMenuDescription(letters.c_str(), "C")), "C: " + letters);
}

// A field's text as a panel item: the comment after the last "#" names the item (on the last line
// only, for multi-line text), the rest with the suffix is its description.
struct ToPanelItem {
  const char* name;
  bool multi_line;
  const char* text;
  const char* suffix;
  const char* type_name;
  const char* item_name;
  const char* description;
};

class ToPanelItemTest : public ::testing::TestWithParam<ToPanelItem> {};

TEST_P(ToPanelItemTest, NamesTheItemAndDescribesIt) {
  const ToPanelItem& c = GetParam();
  Item a;
  (c.multi_line ? StdMultiLineToPanelItem : StdOneLineToPanelItem)(c.text, c.suffix, c.type_name,
                                                                   &a.item);
  EXPECT_STREQ(a.item.FindData.cFileName, c.item_name);
  EXPECT_STREQ(a.item.Description, c.description);
}

INSTANTIATE_TEST_SUITE_P(
    TextServices, ToPanelItemTest,
    ::testing::Values(
        ToPanelItem{"OneLineComment", false, "a#b#c", nullptr, "Phone", "c", "a#b"},
        ToPanelItem{"OneLineSuffix", false, "12345", " (work)", "Phone", "Phone", "12345 (work)"},
        ToPanelItem{"LastLineComment", true, "Street 1\nTown #work", nullptr, "Address", "work",
                    "Street 1"},
        ToPanelItem{"HashOnAnEarlierLine", true, "Street #1\nTown", nullptr, "Address", "Address",
                    "Street #1"},
        ToPanelItem{"OneLineOfMany", true, "One line #note", "!", "Comment", "note", "One line !"}),
    [](const ::testing::TestParamInfo<ToPanelItem>& info) { return std::string(info.param.name); });

TEST(MultiLineServices, ShortFormIsTheFirstLineOrTheValue) {
  EXPECT_EQ(Take(StdMultiLineDescription("first\nsecond\nthird", nullptr)), "first");
  EXPECT_EQ(Take(StdMultiLineDescription("first\r\nsecond", nullptr)), "first\r");
  EXPECT_EQ(Take(StdMultiLineDescription("\nsecond", nullptr)), "");
  EXPECT_EQ(Take(StdMultiLineDescription("value#comment", " x")), "value x");
  EXPECT_EQ(Take(StdMultiLineMenuDescription("Main st. 1\nTown", "Address")),
            "Address: Main st. 1");
  EXPECT_EQ(Take(GetFirstLine("a\r\nb")), "a");
  EXPECT_EQ(Take(GetFirstLine("abc")), "abc");
  EXPECT_EQ(Take(GetFirstLine("\nabc")), "");
}

TEST(MultiLineServices, SplitKeepsInnerEmptyLinesAndDropsAnEmptyTail) {
  using qb::main::SplitLines;
  EXPECT_EQ(SplitLines("a\r\n\nb\n"), (std::vector<std::string_view>{"a", "", "b"}));
  EXPECT_EQ(SplitLines("\nx"), (std::vector<std::string_view>{"", "x"}));
  EXPECT_TRUE(SplitLines("").empty());
  EXPECT_EQ(SplitLines("a\rb"), (std::vector<std::string_view>{"a\rb"}));
  char unterminated[3] = {'a', 'b', 'c'};
  EXPECT_EQ(qb::main::FieldText(unterminated, 2), "ab");
}

std::string Saved(const char* type, std::string text) {
  char* buf = nullptr;
  size_t len = 0;
  FILE* out = open_memstream(&buf, &len);
  StdSaveMultiLine(type, out, text.data());
  std::fclose(out);
  std::string s(buf, len);
  std::free(buf);
  return s;
}

TEST(MultiLineServices, SaveWritesTheTypeAndTabbedLines) {
  EXPECT_EQ(Saved("Comment", "a\r\nb"), "Comment:\n\ta\n\tb\n");
  EXPECT_EQ(Saved("Address", "Street 1\nTown\n"), "Address:\n\tStreet 1\n\tTown\n");
  EXPECT_EQ(Saved("Comment", ""), "Comment:\n");
  std::string text = "x\ny";
  char* buf = nullptr;
  size_t len = 0;
  FILE* out = open_memstream(&buf, &len);
  StdSaveMultiLine("T", out, text.data());
  std::fclose(out);
  std::free(buf);
  EXPECT_EQ(text, std::string("x\ny"));  // the caller's text is left whole
}

}  // namespace
