// A record's description in the panel, composed from the Description setting: each "%" with the
// letters after it names a field type by its description token and stands for that type's
// description of the record's first field of the type.
#include <cstring>

#include "main/book_panel.h"
#include "main/heap.h"
#include "main/plugin_state.h"
#include "platform/codepage/codepage.h"

namespace qb::main {

namespace {

// Descriptions are built in buffers of this many bytes, terminator included; longer ones are cut.
constexpr std::size_t kDescriptionBuffer = 1024;
constexpr std::size_t kMaxTokenLetters = 15;

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The description of the first field that the library at plugin claims; empty when there is none.
std::string TokenText(const FieldTypeSlot& slot, const Record& record) {
  for (const FieldEntry& field : record) {
    if (!slot.Claims(field.type)) continue;
    std::string text;
    if (slot.GetDescription) {
      char* described = nullptr;
      slot.GetDescription(&described, field.bytes(), field.size(), field.type);
      if (described) text = described;
      HeapFree(described);
    }
    return text;
  }
  return {};
}

}  // namespace

std::string BookPanel::ComposeDescription(const std::string& format, storage::Stream& stream) {
  if (format.empty()) return {};
  const FieldTypeHost& types = State().field_types;
  const std::string_view setting(format.data(),
                                 codepage::Utf8CutPoint(format, kDescriptionBuffer - 1));
  Record record;
  bool record_read = false;
  std::string out;
  for (std::size_t i = 0; i < setting.size();) {
    if (setting[i] != '%') {
      out += setting[i++];
      continue;
    }
    std::size_t end = i + 1;
    while (end < setting.size() && end - (i + 1) < kMaxTokenLetters &&
           IsAsciiLetter(setting[end])) {
      ++end;
    }
    const std::string_view token = setting.substr(i + 1, end - (i + 1));
    const int plugin = token.empty() ? -1 : types.WithToken(token);
    if (plugin < 0) {
      out += "???";
    } else {
      if (!record_read) {
        record = ReadRecord(stream);
        record_read = true;
      }
      out += TokenText(types.slot(plugin), record);
    }
    i = end;
  }
  out.resize(codepage::Utf8CutPoint(out, kDescriptionBuffer - 1));
  return out;
}

}  // namespace qb::main
