#include "fieldtypes/netmail/fido_address.h"

#include <optional>

namespace qb::netmail {
namespace {

// A part of an address: digits only, empty is 0, at most 65535. A number that would not fit is
// refused rather than wrapped, which would name some other node.
std::optional<uint16_t> ReadPart(std::string_view part) {
  uint32_t value = 0;
  for (char c : part) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - '0');
    if (value > 0xFFFF) return std::nullopt;
  }
  return static_cast<uint16_t>(value);
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

bool ParseAddress(std::string_view text, FidoAddress* address) {
  if (address == nullptr) return false;
  text = text.substr(0, text.find('#'));
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (text.empty()) return false;

  FidoAddress result = *address;
  if (const size_t colon = text.find(':'); colon != std::string_view::npos) {
    const auto zone = ReadPart(text.substr(0, colon));
    if (!zone) return false;
    result.zone = *zone;
    text.remove_prefix(colon + 1);
  }
  if (const size_t slash = text.find('/'); slash != std::string_view::npos) {
    if (slash != 0) {
      const auto net = ReadPart(text.substr(0, slash));
      if (!net) return false;
      result.net = *net;
    }
    text.remove_prefix(slash + 1);
  }
  std::string_view node = text, point;
  if (const size_t dot = text.find('.'); dot != std::string_view::npos) {
    node = text.substr(0, dot);
    point = text.substr(dot + 1);
  }
  const auto node_value = ReadPart(node);
  const auto point_value = ReadPart(point);
  if (!node_value || !point_value) return false;
  result.node = *node_value;
  result.point = *point_value;
  *address = result;
  return true;
}

std::string FormatAddress(const FidoAddress& address) {
  std::string text = std::to_string(address.zone) + ":" + std::to_string(address.net) + "/" +
                     std::to_string(address.node);
  if (address.point != 0) text += "." + std::to_string(address.point);
  return text;
}

std::string FileBoxName(const FidoAddress& address) {
  static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
  std::string name;
  auto put = [&name](uint32_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i) name += kDigits[(value >> (5 * i)) & 31u];
  };
  put(address.zone, 2);
  put(address.net, 3);
  put(address.node, 3);
  name += '.';
  put(address.point, 2);
  return name;
}

}  // namespace qb::netmail
