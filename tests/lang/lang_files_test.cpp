// The shipped language files: every language carries the same modules with the same numbers, the
// main module runs from 0 without a gap, and texts used as formats hold the places their callers
// fill.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "shared/lang/lang_store.h"

namespace qb::lang {
namespace {

using Numbers = std::vector<int32_t>;

Numbers Range(int32_t first, int32_t last) {
  Numbers numbers;
  for (int32_t n = first; n <= last; ++n) numbers.push_back(n);
  return numbers;
}

Numbers Join(std::initializer_list<Numbers> parts) {
  Numbers all;
  for (const Numbers& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The modules and the numbers that the main library and the field types ask for.
const std::map<std::string, Numbers>& ExpectedModules() {
  static const std::map<std::string, Numbers> modules = {
      {"", Join({Range(0, 90), Range(95, 110)})},
      {"Comment", {0}},
      {"Address", {0}},
      {"Phone", Range(0, 19)},
      {"Date", Join({Range(0, 24), Range(50, 68), Range(99, 105), Range(199, 205)})},
      {"E-Mail", Range(0, 2)},
      {"Netmail", Range(0, 10)},
      {"Execute", Join({{0}, Range(100, 132)})},
      {"Pager", Range(0, 22)},
  };
  return modules;
}

// The printf conversions of a text, in order ("%%" skipped): "%s, in %d days" gives "sd".
std::string Conversions(const char* text) {
  std::string letters;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    while (*p != '\0' && std::strchr("-+ #0123456789.l", *p) != nullptr) ++p;
    if (*p == '\0') break;
    letters += *p;
  }
  return letters;
}

class ShippedFiles : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    store_.Load(QB_LANG_SOURCE_DIR, GetParam());
    ASSERT_EQ(store_.Languages(), (std::vector<std::string>{"English", "Russian"}));
  }
  const char* Get(int n, const char* module = nullptr) const {
    const char* text = store_.Get(n, module);
    return text == nullptr ? "" : text;
  }
  LangStore store_;
};

TEST_P(ShippedFiles, EveryModuleHasItsNumbersAndNoOthers) {
  std::vector<std::string> modules = store_.Modules(GetParam());
  std::vector<std::string> expected;
  for (const auto& [name, numbers] : ExpectedModules()) expected.push_back(name);
  EXPECT_THAT(modules, ::testing::UnorderedElementsAreArray(expected));
  for (const auto& [name, numbers] : ExpectedModules()) {
    SCOPED_TRACE(name);
    EXPECT_EQ(store_.Numbers(GetParam(), name.empty() ? nullptr : name.c_str()), numbers);
  }
}

TEST_P(ShippedFiles, FormatsHoldThePlacesTheirCallersFill) {
  EXPECT_EQ(Conversions(Get(11)), "dd");  // range error: minimum, maximum
  EXPECT_EQ(Conversions(Get(73)), "s");   // password title: folder name
  EXPECT_EQ(Conversions(Get(84)), "d");   // records that go with a deleted folder
  EXPECT_EQ(Conversions(Get(100)), "d");  // elements a compaction copied
  EXPECT_EQ(Conversions(Get(101)), "d");  // records an export wrote
  for (int n : {105, 106, 108}) EXPECT_EQ(Conversions(Get(n)), "d") << n;  // vCard counts
  EXPECT_EQ(Conversions(Get(66, "Date")), "s");
  EXPECT_EQ(Conversions(Get(67, "Date")), "s");
  EXPECT_EQ(Conversions(Get(68, "Date")), "sd");
  for (int n = 199; n <= 205; ++n) EXPECT_EQ(Conversions(Get(n, "Date")), "s") << n;
  // Every other text is shown as it is, or formatted with no arguments: a stray "%" would read
  // arguments that are not there.
  for (const auto& [name, numbers] : ExpectedModules()) {
    for (int32_t n : numbers) {
      bool format = (name.empty() && (n == 11 || n == 73 || n == 84 || n == 100 || n == 101 ||
                                      n == 105 || n == 106 || n == 108)) ||
                    (name == "Date" && ((n >= 66 && n <= 68) || n >= 199));
      if (!format) {
        EXPECT_EQ(Conversions(Get(n, name.empty() ? nullptr : name.c_str())), "")
            << name << " " << n;
      }
    }
  }
}

TEST_P(ShippedFiles, TextsTheCodeTakesApart) {
  // Phone's kind letters: the first four characters (UTF-8 sequences) of message 1.
  size_t characters = 0;
  for (const char* p = Get(1, "Phone"); *p != '\0'; ++p) {
    if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80) ++characters;
  }
  EXPECT_GE(characters, 4u);
  // The second month form also dates netmail headers, whose date field holds three ASCII letters.
  for (int n = 13; n <= 24; ++n) {
    std::string month = Get(n, "Date");
    EXPECT_EQ(month.size(), 3u) << n;
    for (char c : month) EXPECT_TRUE((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) << n;
  }
  // Date's kind list ends at the first gap: birthday, name day and wedding anniversary at least.
  int kinds = 0;
  while (store_.Get(100 + kinds, "Date") != nullptr && store_.Get(200 + kinds, "Date") != nullptr) {
    ++kinds;
  }
  EXPECT_GE(kinds, 3);
  // Every text is there and not empty.
  for (const auto& [name, numbers] : ExpectedModules()) {
    for (int32_t n : numbers) {
      EXPECT_STRNE(Get(n, name.empty() ? nullptr : name.c_str()), "") << name << " " << n;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, ShippedFiles, ::testing::Values("English", "Russian"));

TEST(ShippedFilesInPluginDirectory, TheBuildCopiesThemBesideTheMainLibrary) {
  const char* plugin_dir = std::getenv("QB_PLUGIN_DIR");
  if (plugin_dir == nullptr) GTEST_SKIP() << "QB_PLUGIN_DIR is not set";
  LangStore store;
  ASSERT_TRUE(store.Load(std::string(plugin_dir) + "/", "Russian"));
  EXPECT_STREQ(store.Get(0, "Comment"), "Комментарий");
  EXPECT_EQ(store.Numbers("English", nullptr), ExpectedModules().at(""));
}

}  // namespace
}  // namespace qb::lang
