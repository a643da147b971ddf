#include "fieldtypes/execute/command.h"

namespace qb::execute {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Cuts text to at most kBufferSize - 1 bytes, never inside a UTF-8 sequence.
void CutToBuffer(std::string& text) {
  if (text.size() < kBufferSize) return;
  size_t end = kBufferSize - 1;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
}

bool StartsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

Command PrepareCommand(std::string_view field_text) {
  // The comment goes first, so that a long text cannot keep a piece of it.
  std::string line(field_text.substr(0, field_text.find('\0')));
  size_t hash = line.rfind('#');
  if (hash != std::string::npos) line.resize(hash);
  CutToBuffer(line);

  Command command;
  size_t i = 0;
  const size_t n = line.size();
  while (i < n && IsBlank(line[i])) ++i;
  if (i < n && (line[i] == '"' || line[i] == '\'' || line[i] == '`')) {
    const char quote = line[i++];
    size_t close = line.find(quote, i);
    size_t end = close == std::string::npos ? n : close;
    command.file = line.substr(i, end - i);
    i = close == std::string::npos ? n : close + 1;
  } else {
    size_t start = i;
    while (i < n && !IsBlank(line[i])) ++i;
    command.file = line.substr(start, i - start);
    if (i < n) ++i;  // the blank or tab that ends it
  }
  while (i < n && IsBlank(line[i])) ++i;
  command.parameters = line.substr(i);

  if (StartsWith(command.file, "www.")) command.file.insert(0, "http://");
  if (StartsWith(command.file, "ftp.")) command.file.insert(0, "ftp://");
  CutToBuffer(command.file);
  return command;
}

}  // namespace qb::execute
