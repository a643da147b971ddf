#include "host/core/name_match.h"

#include <algorithm>

#include "host/screen.h"
#include "platform/storage/storage.h"

namespace qb::host {

namespace {

char32_t FoldChar(char32_t c) {
  return c <= 0xFFFF ? storage::UpperCodeUnit(static_cast<char16_t>(c)) : c;
}

// Wildcard match of folded code points, "*" by backtracking to the last star only: linear enough
// for names, and never exponential.
bool WildMatch(std::u32string_view mask, std::u32string_view name) {
  size_t m = 0, n = 0;
  size_t star = std::u32string_view::npos, resume = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == U'?' || mask[m] == name[n])) {
      ++m;
      ++n;
    } else if (m < mask.size() && mask[m] == U'*') {
      star = m++;
      resume = n;
    } else if (star != std::u32string_view::npos) {
      m = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == U'*') ++m;
  return m == mask.size();
}

}  // namespace

std::u32string FoldCase(std::string_view utf8) {
  std::u32string text = DecodeUtf8(utf8);
  for (char32_t& c : text) c = FoldChar(c);
  return text;
}

bool StartsWithFolded(std::string_view name, std::u32string_view folded_prefix) {
  const std::u32string folded = FoldCase(name);
  return std::u32string_view(folded).substr(0, folded_prefix.size()) == folded_prefix;
}

bool ContainsFolded(std::u32string_view folded_text, std::u32string_view folded_needle) {
  return folded_text.find(folded_needle) != std::u32string_view::npos;
}

NameMask::NameMask(std::string_view list) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find_first_of(",;", start);
    if (end == std::string_view::npos) end = list.size();
    std::string_view mask = list.substr(start, end - start);
    while (!mask.empty() && mask.front() == ' ') mask.remove_prefix(1);
    while (!mask.empty() && mask.back() == ' ') mask.remove_suffix(1);
    if (!mask.empty()) masks_.push_back(FoldCase(mask));
    start = end + 1;
  }
}

bool NameMask::Matches(std::string_view name) const {
  if (masks_.empty()) return true;
  const std::u32string folded = FoldCase(name);
  return std::any_of(masks_.begin(), masks_.end(),
                     [&](const std::u32string& mask) { return WildMatch(mask, folded); });
}

}  // namespace qb::host
