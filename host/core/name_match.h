// Matching names and texts without regard to letter case, as the panels' searches do: quick
// search by the start of a name, Find by a mask of wildcards and by a text contained. Letter case
// is folded with the book's own upper-case mapping (Latin, Greek, Cyrillic and the rest of
// Unicode's simple mappings), so "ива" finds "Иванов" as "smi" finds "Smith".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qb::host {

// The UTF-8 text as code points with letter case folded (to upper case); bytes that are not
// UTF-8 become U+FFFD, one each.
std::u32string FoldCase(std::string_view utf8);

// Whether the name starts with the folded prefix (an empty prefix starts every name).
bool StartsWithFolded(std::string_view name, std::u32string_view folded_prefix);

// Whether the folded text holds the folded needle (an empty needle is in every text).
bool ContainsFolded(std::u32string_view folded_text, std::u32string_view folded_needle);

// A mask list as Find takes it: masks separated by "," or ";", each with "*" (any run of
// characters) and "?" (any one character); blanks around a mask are dropped. A list with no
// masks matches every name.
class NameMask {
 public:
  explicit NameMask(std::string_view list);
  bool Matches(std::string_view name) const;

 private:
  std::vector<std::u32string> masks_;
};

}  // namespace qb::host
