// The standard faces of one-line and multi-line text fields: panel items, descriptions, menu lines
// and text export.
#include "main/services_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "main/heap.h"
#include "platform/codepage/codepage.h"
#include "platform/time/clock.h"
#include "sdk/services.h"
#include "shared/dialog/text_cut.h"

namespace qb::main {

std::string_view FieldText(const void* data, size_t size) {
  // Never a view without data: an empty view still points at a text.
  if (data == nullptr) return "";
  const char* text = static_cast<const char*>(data);
  return std::string_view(text, strnlen(text, size));
}

std::string_view OneLineValue(std::string_view text) {
  size_t hash = text.rfind('#');
  return hash == std::string_view::npos ? text : text.substr(0, hash);
}

std::optional<std::string_view> OneLineComment(std::string_view text) {
  size_t hash = text.rfind('#');
  if (hash == std::string_view::npos) return std::nullopt;
  return text.substr(hash + 1);
}

std::optional<std::string_view> MultiLineComment(std::string_view text) {
  size_t hash = text.rfind('#');
  if (hash == std::string_view::npos) return std::nullopt;
  size_t lf = text.rfind('\n');
  if (lf != std::string_view::npos && lf > hash) return std::nullopt;
  return text.substr(hash + 1);
}

std::string_view ShortForm(std::string_view text) {
  size_t lf = text.find('\n');
  if (lf == std::string_view::npos) return OneLineValue(text);
  return text.substr(0, lf);
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  return SplitLines(text, text.size() + 1);
}

std::vector<std::string_view> SplitLines(std::string_view text, size_t max_lines) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (lines.size() < max_lines) {
    size_t lf = text.find('\n', start);
    if (lf == std::string_view::npos) break;
    size_t end = lf;
    if (end > start && text[end - 1] == '\r') --end;
    lines.push_back(text.substr(start, end - start));
    start = lf + 1;
  }
  if (start < text.size() && lines.size() < max_lines) lines.push_back(text.substr(start));
  return lines;
}

}  // namespace qb::main

namespace {

using qb::main::HeapString;

std::string_view Text(const char* text) {
  return text != nullptr ? text : "";
}

// Cut to the name buffer at a character boundary, so that a long comment never ends in half a
// character.
void SetFileName(PluginPanelItem* item, std::string_view name) {
  std::string text(name.substr(0, sizeof(item->FindData.cFileName)));
  qb::dlg::CopyCut(item->FindData.cFileName, sizeof(item->FindData.cFileName), text.c_str());
}

// At most kMaxDescriptionBytes of text, cut at a character boundary.
std::string_view Bounded(std::string_view text) {
  if (text.size() <= qb::main::kMaxDescriptionBytes) return text;
  return text.substr(0, qb::codepage::Utf8CutPoint(text, qb::main::kMaxDescriptionBytes));
}

// value (bounded) + suffix (when not empty) as a new heap text.
char* WithSuffix(std::string_view value, const char* suffix) {
  std::string text(Bounded(value));
  if (suffix != nullptr) text += suffix;
  return HeapString(text);
}

}  // namespace

extern "C" {

void StdFillPanelItem(const char* type_name, PluginPanelItem* item) {
  if (item == nullptr) return;
  FILETIME now = qb::clock::NowFileTime();
  WIN32_FIND_DATA& fd = item->FindData;
  std::memset(&fd, 0, sizeof(fd));
  fd.ftCreationTime = now;
  fd.ftLastAccessTime = now;
  fd.ftLastWriteTime = now;
  SetFileName(item, Text(type_name));
  item->PackSizeHigh = 0;
  item->PackSize = 0;
  item->Flags = 0;
  item->NumberOfLinks = 0;
  item->Description = nullptr;
  item->Owner = nullptr;
  item->CustomColumnData = nullptr;
  item->CustomColumnNumber = 0;
  item->CRC32 = 0;
  item->Reserved[0] = 0;
  item->Reserved[1] = 0;
}

void StdOneLineToPanelItem(const char* text, const char* suffix, const char* type_name,
                           PluginPanelItem* item) {
  if (item == nullptr) return;
  StdFillPanelItem(type_name, item);
  std::string_view t = Text(text);
  if (auto comment = qb::main::OneLineComment(t)) SetFileName(item, *comment);
  item->Description = WithSuffix(qb::main::OneLineValue(t), suffix);
}

void StdMultiLineToPanelItem(const char* text, const char* suffix, const char* type_name,
                             PluginPanelItem* item) {
  if (item == nullptr) return;
  StdFillPanelItem(type_name, item);
  std::string_view t = Text(text);
  item->Description = WithSuffix(qb::main::ShortForm(t), suffix);
  if (auto comment = qb::main::MultiLineComment(t)) SetFileName(item, *comment);
}

char* StdOneLineDescription(const char* text) {
  return HeapString(Bounded(qb::main::OneLineValue(Text(text))));
}

char* StdMultiLineDescription(const char* text, const char* suffix) {
  return WithSuffix(qb::main::ShortForm(Text(text)), suffix);
}

char* StdOneLineMenuDescription(const char* text, const char* type_name) {
  std::string_view t = Text(text);
  std::string line;
  if (auto comment = qb::main::OneLineComment(t)) {
    line.append(*comment).append(": ").append(qb::main::OneLineValue(t));
  } else {
    line.append(Text(type_name)).append(": ").append(t);
  }
  return HeapString(line);
}

char* StdMultiLineMenuDescription(const char* text, const char* type_name) {
  std::string line(Text(type_name));
  line.append(": ").append(qb::main::ShortForm(Text(text)));
  return HeapString(line);
}

void StdSaveMultiLine(const char* type_name, FILE* out, char* text) {
  if (out == nullptr) return;
  std::fprintf(out, "%s:\n", type_name != nullptr ? type_name : "");
  // The lines are written from a view: the caller's text is left as it was.
  for (std::string_view line : qb::main::SplitLines(Text(text))) {
    std::fputc('\t', out);
    std::fwrite(line.data(), 1, line.size(), out);
    std::fputc('\n', out);
  }
}

}  // extern "C"
