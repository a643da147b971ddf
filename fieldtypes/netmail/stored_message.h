// The FidoNet stored message ("N.msg") that carries a file attach to a node: its 190-byte header,
// the kludge lines behind it, the MSGID serial, and the choice of N in a netmail directory.
//
// Header layout (all numbers 16-bit little-endian; the texts zero-terminated within their field):
//   0 from user name (36)   36 to user name (36)   72 subject (72)   144 date and time (20)
//   164 times read   166 destination node   168 origin node   170 cost   172 origin net
//   174 destination net   176 destination zone   178 origin zone   180 destination point
//   182 origin point   184 reply to   186 attribute   188 next reply
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "fieldtypes/netmail/fido_address.h"

namespace qb::netmail {

inline constexpr size_t kHeaderSize = 190;
inline constexpr size_t kNameField = 36;     // from and to: 35 bytes and the zero
inline constexpr size_t kSubjectField = 72;  // 71 bytes and the zero
inline constexpr size_t kDateField = 20;     // 19 bytes and the zero

// Private, file attached, kill/sent, local.
inline constexpr uint16_t kAttributes = 0x0001 | 0x0010 | 0x0080 | 0x0100;

using Header = std::array<uint8_t, kHeaderSize>;

struct MessageHead {
  std::string from;     // the sender's name; cut to its field at a whole character
  std::string to;       // the addressee's name; the same
  std::string subject;  // the path of the attached file; must fit (AttachPathFits)
  std::string date;     // as DateText makes it
  FidoAddress origin;
  FidoAddress destination;
};

// Whether a path can be the subject of a file attach: at most 71 bytes, so it is never cut
// (a cut path names another file), and no blank or control character (tossers read the subject
// as a list of files separated by blanks, and write each into a line of a flow file).
bool AttachPathFits(std::string_view path);

// A header of these values. Every text is cut at its first line break and then to its field
// (at the end of a whole UTF-8 character), and the rest of the field is zero; fields the
// message does not use are zero; the attribute is kAttributes.
Header BuildHeader(const MessageHead& head);

// "03 Feb 02  04:05:06": day, month name, year of the century, two blanks, time. The month name
// is its first three characters (the field holds three); the text is at most 19 bytes.
std::string DateText(const std::tm& local, std::string_view month_name);

// The kludge lines after the header, each begun by 0x01 and ended by a carriage return: INTL
// with both addresses, FMPT when the origin has a point, TOPT when the destination has one, and
// MSGID with the origin and the serial in lower-case hexadecimal.
std::string KludgeLines(const FidoAddress& origin, const FidoAddress& destination, uint32_t serial);

// MSGID serials: the seconds of the local time counted from a fixed point, moved on by one
// whenever that is not above the last serial of this process (two messages in one second).
class SerialCounter {
 public:
  uint32_t Next(const std::tm& local);

 private:
  int32_t last_ = 0;
};

// The serial of a local time before the rule against repeats: (((((year * 365 + month * 31 +
// day) * 24 + hour) * 60 + minute) * 60 + second) - 0x76FE4F00 in 32-bit arithmetic that wraps.
uint32_t TimeSerial(const std::tm& local);

// The number at the start of a directory entry's name ("7.msg" gives 7, "readme.msg" 0), or none
// when it is above kMaxMessageNumber (such a name can be no message this library would follow).
inline constexpr uint32_t kMaxMessageNumber = 0x7FFFFFFF;
std::optional<uint32_t> LeadingNumber(std::string_view name);

// Whether a directory entry is a stored message by its name: it ends in ".msg", in any case.
bool IsMessageName(std::string_view name);

// The number of the next message among these names: one above the largest leading number of
// the message names, and never below 2, because 1.msg is where tossers keep their high-water
// mark (a message written there is never sent). None when the largest is kMaxMessageNumber.
class NextNumber {
 public:
  void See(std::string_view name);
  std::optional<uint32_t> Result() const;

 private:
  uint32_t largest_ = 0;
};

// Lists the directory (every entry, bounded in memory by one name at a time) and gives the next
// message number. None when the directory cannot be read or is full.
std::optional<uint32_t> NextMessageNumber(const std::string& directory);

// Writes the header and the kludge lines as the next message of the directory, created anew so
// that no file is ever overwritten (a number taken meanwhile moves on to the following one), and
// removed again when it cannot be written whole. The path written, or none.
std::optional<std::string> WriteMessage(const std::string& directory, const Header& header,
                                        std::string_view kludges);

}  // namespace qb::netmail
