// Splitting a command line into words as the Windows C runtime does.
#include "platform/process/process.h"

namespace qb::process {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Appends the words of `text` from `i` on, every one by the argument rule.
void SplitArguments(std::string_view text, size_t i, std::vector<std::string>& words) {
  const size_t n = text.size();
  for (;;) {
    while (i < n && IsBlank(text[i])) ++i;
    if (i >= n) return;
    std::string word;
    bool quoted = false;
    while (i < n && (quoted || !IsBlank(text[i]))) {
      char c = text[i];
      if (c == '\\') {
        size_t run = 0;
        while (i < n && text[i] == '\\') ++run, ++i;
        if (i < n && text[i] == '"') {
          word.append(run / 2, '\\');
          if (run % 2 == 1) {
            word += '"';
            ++i;
          }
          // An even run leaves the quote to the next round, where it opens or closes quoting.
        } else {
          word.append(run, '\\');
        }
        continue;
      }
      if (c == '"') {
        if (quoted && i + 1 < n && text[i + 1] == '"') {
          word += '"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      word += c;
      ++i;
    }
    words.push_back(std::move(word));
  }
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view text) {
  std::vector<std::string> words;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && IsBlank(text[i])) ++i;
  if (i >= n) return words;
  std::string program;
  if (text[i] == '"') {
    ++i;
    while (i < n && text[i] != '"') program += text[i++];
    if (i < n) ++i;  // the closing quote
  } else {
    while (i < n && !IsBlank(text[i])) program += text[i++];
  }
  words.push_back(std::move(program));
  SplitArguments(text, i, words);
  return words;
}

std::vector<std::string> SplitParameters(std::string_view parameters) {
  std::vector<std::string> words;
  SplitArguments(parameters, 0, words);
  return words;
}

}  // namespace qb::process
