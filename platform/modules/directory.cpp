#include "platform/modules/directory.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/codepage/codepage.h"

namespace qb {
namespace {

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool MatchesPattern(std::string_view name, std::string_view pattern) {
  // Iterative wildcard match with one backtrack point (the last "*"): linear in practice and
  // never recursive, whatever the pattern.
  std::size_t n = 0, p = 0;
  std::size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      n += codepage::Utf8SequenceLength(name, n);
      ++p;
    } else if (p < pattern.size() && FoldAscii(pattern[p]) == FoldAscii(name[n])) {
      ++n;
      ++p;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      starN += codepage::Utf8SequenceLength(name, starN);
      n = starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string> ListFiles(const std::string& dir, std::string_view pattern, int* error) {
  std::vector<std::string> names;
  if (error) *error = 0;
  std::unique_ptr<DIR, int (*)(DIR*)> stream(opendir(dir.empty() ? "." : dir.c_str()), closedir);
  if (!stream) {
    if (error) *error = errno;
    return names;
  }
  while (dirent* entry = readdir(stream.get())) {
    std::string_view name = entry->d_name;
    if (name == "." || name == ".." || !MatchesPattern(name, pattern)) continue;
    if (entry->d_type != DT_REG) {
      // Unknown types and links: ask the file system, following links.
      if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK) continue;
      struct stat st {};
      if (stat(JoinPath(dir, name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    }
    names.emplace_back(name);
  }
  std::sort(names.begin(), names.end());  // std::string compares bytes as unsigned char
  return names;
}

}  // namespace qb
