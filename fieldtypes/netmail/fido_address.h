// FidoNet addresses (zone:net/node.point) as the Netmail field holds them, and the file box name
// that a mailer derives from one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qb::netmail {

// Every part is a 16-bit number, as the stored message header carries it.
struct FidoAddress {
  uint16_t zone = 0;
  uint16_t net = 0;
  uint16_t node = 0;
  uint16_t point = 0;

  bool operator==(const FidoAddress&) const = default;
};

// Reads an address into *address; parts the text does not name are left as they were, so a
// caller presets them (with its own zone and net, say):
//   "2:5030/999.1"  sets all four;
//   "5030/999"      keeps the zone;
//   "/999" or "999" keeps zone and net and sets the node, point 0;
//   "999.1"         keeps zone and net and sets node and point.
// The text is cut at its first "#" (the field's comment) and blanks around what is left are
// ignored. A part is decimal digits only, an empty part is 0; a part holding anything else (a
// blank inside, a sign), a number above 65535, or a text with nothing in it makes the address
// invalid: the result is false and *address is unchanged.
bool ParseAddress(std::string_view text, FidoAddress* address);

// The address as "zone:net/node.point", with ".point" only when the point is not 0.
std::string FormatAddress(const FidoAddress& address);

// The name of the address's file box directory: the zone as 2 base-32 digits, the net as 3, the
// node as 3, ".", the point as 2 (digits 0-9 then A-V, most significant first, each number taken
// by its lowest 5 bits per digit): 2:5030/999.0 is "024T60V7.00".
std::string FileBoxName(const FidoAddress& address);

}  // namespace qb::netmail
