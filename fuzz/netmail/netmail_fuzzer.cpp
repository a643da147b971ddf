// Any bytes as what Netmail takes from outside: an address never crashes the parser and a valid
// one reads back the same; directory names give a message number of 2 or more, or none; texts of
// any length land in the header zero-terminated within their fields, with nothing after the zero.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fieldtypes/netmail/fido_address.h"
#include "fieldtypes/netmail/stored_message.h"

namespace {

using namespace qb::netmail;

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckAddress(std::string_view text) {
  FidoAddress address{1, 2, 3, 4};
  const FidoAddress before = address;
  if (!ParseAddress(text, &address)) {
    Require(address == before);
    return;
  }
  FidoAddress again{9, 9, 9, 9};
  Require(ParseAddress(FormatAddress(address), &again) && again == address);
  Require(FileBoxName(address).size() == 11);
}

void CheckField(const Header& header, size_t offset, size_t size) {
  size_t zero = offset;
  while (zero < offset + size && header[zero] != 0) ++zero;
  Require(zero < offset + size);  // terminated within the field
  for (size_t i = zero; i < offset + size; ++i) Require(header[i] == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckAddress(input);

  // Pieces separated by line feeds: names of a directory, and the texts of a header.
  std::vector<std::string_view> pieces;
  for (size_t start = 0; start <= input.size();) {
    size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    pieces.push_back(input.substr(start, end - start));
    start = end + 1;
  }
  NextNumber next;
  for (std::string_view name : pieces) {
    next.See(name);
    CheckAddress(name);
  }
  if (const auto number = next.Result()) Require(*number >= 2 && *number <= kMaxMessageNumber);

  auto piece = [&pieces](size_t i) {
    return i < pieces.size() ? std::string(pieces[i]) : std::string();
  };
  MessageHead head{piece(0), piece(1), piece(2), piece(3), {}, {}};
  const Header header = BuildHeader(head);
  CheckField(header, 0, kNameField);
  CheckField(header, 36, kNameField);
  CheckField(header, 72, kSubjectField);
  CheckField(header, 144, kDateField);
  Require(header[186] == 0x91 && header[187] == 0x01);

  std::tm time{};
  time.tm_year = static_cast<int>(size % 300);
  time.tm_mday = 1 + static_cast<int>(size % 31);
  Require(DateText(time, input).size() <= kDateField - 1);
  if (AttachPathFits(input)) Require(input.size() <= kSubjectField - 1);
  return 0;
}
