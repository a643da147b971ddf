// The main module's message numbers are named twice: as constants in main/message_numbers.h, which
// the code uses, and in the table of lang/MESSAGES.md, which says where each text is shown. Both
// must name the same numbers the same way, and the shipped files must hold every one of them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "shared/lang/lang_store.h"

namespace qb::lang {
namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" `");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" `") - first + 1);
}

// Number -> name from the main module's table: "| 16, 17 | `kA`, `kB` | ..." or "| 4-8 | ... |".
// A row whose numbers and names do not pair up is reported and left out.
std::map<int, std::string> DocumentedNames() {
  std::map<int, std::string> names;
  const std::string text = ReadText(QB_LANG_SOURCE_DIR "MESSAGES.md");
  const size_t begin = text.find("## Main module");
  const size_t end = text.find("\n## ", begin + 1);
  EXPECT_NE(begin, std::string::npos) << "MESSAGES.md has no main module section";
  if (begin == std::string::npos) return names;
  for (const std::string& line : Split(text.substr(begin, end - begin), '\n')) {
    const std::vector<std::string> cells = Split(line, '|');
    if (cells.size() < 4 || cells[1].find_first_of("0123456789") == std::string::npos) continue;
    std::vector<int> numbers;
    for (const std::string& part : Split(cells[1], ',')) {
      const size_t dash = part.find('-');
      const int first = std::stoi(part);
      const int last = dash == std::string::npos ? first : std::stoi(part.substr(dash + 1));
      for (int n = first; n <= last; ++n) numbers.push_back(n);
    }
    const std::vector<std::string> row_names = Split(cells[2], ',');
    if (row_names.size() != numbers.size()) {
      ADD_FAILURE() << "numbers and names do not pair up in: " << line;
      continue;
    }
    for (size_t i = 0; i < numbers.size(); ++i) {
      EXPECT_TRUE(names.emplace(numbers[i], Trim(row_names[i])).second)
          << numbers[i] << " stands in the table twice";
    }
  }
  return names;
}

// Number -> name from the header's "inline constexpr int kName = N;" lines.
std::map<int, std::string> DeclaredNames() {
  std::map<int, std::string> names;
  const std::string text = ReadText(QB_LANG_SOURCE_DIR "../main/message_numbers.h");
  const std::regex constant(R"(inline constexpr int (k\w+) = (\d+);)");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), constant);
       it != std::sregex_iterator(); ++it) {
    const int n = std::stoi((*it)[2]);
    EXPECT_TRUE(names.emplace(n, (*it)[1]).second) << n << " has two names in the header";
  }
  return names;
}

TEST(MessageNumbers, TheHeaderAndTheTableNameTheSameNumbersAlike) {
  const std::map<int, std::string> declared = DeclaredNames();
  ASSERT_FALSE(declared.empty());
  EXPECT_EQ(declared, DocumentedNames());
}

TEST(MessageNumbers, EveryLanguageHoldsEveryNamedNumberAndNoOther) {
  LangStore store;
  store.Load(QB_LANG_SOURCE_DIR, "English");
  std::vector<int32_t> named;
  for (const auto& [n, name] : DeclaredNames()) named.push_back(n);
  for (const std::string& language : store.Languages()) {
    EXPECT_EQ(store.Numbers(language, nullptr), named) << language;
  }
}

}  // namespace
}  // namespace qb::lang
