// vCard files: their syntax, read and written without knowing what any property means.
//
// Reading takes what phones, address books and CardDAV tools write: vCard 2.1, 3.0 and 4.0,
// CRLF or LF, a byte-order mark (UTF-8 or UTF-16), folded lines (also folded inside a UTF-8
// character), 2.1's QUOTED-PRINTABLE with its soft line breaks, CHARSET (converted to UTF-8),
// bare 2.1 parameters ("TEL;CELL:"), groups ("item1.TEL"), quoted parameter values, the
// escapes "\n", "\,", "\;" and "\\", and several cards in one file. Every text that comes out
// is valid UTF-8 (what cannot be read as such becomes U+FFFD).
//
// The reader takes files from anywhere: a logical line longer than kMaxLineBytes, a property with
// more than kMaxParams parameters or more than kMaxComponents components is dropped (and
// counted); a card with more than kMaxProperties properties is skipped whole. A card nested in
// another is skipped with everything in it, the outer card keeps the rest. Memory stays within a
// few times the file's size.
//
// Writing is vCard 3.0: UTF-8, CRLF, lines folded at 75 octets without splitting a character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qb::main::vcard {

inline constexpr std::size_t kMaxLineBytes = 8u << 20;
inline constexpr std::size_t kMaxParams = 64;
inline constexpr std::size_t kMaxComponents = 64;
inline constexpr std::size_t kMaxProperties = 4096;
// Larger files are not read at all.
inline constexpr std::size_t kMaxFileBytes = std::size_t{1} << 30;

struct Param {
  std::string name;   // upper case; a bare 2.1 parameter comes as TYPE (or ENCODING, CHARSET)
  std::string value;  // unquoted, one value per parameter
};

struct Property {
  std::string group;  // "item1" of "item1.TEL", or ""
  std::string name;   // upper case
  std::vector<Param> params;
  std::string raw;    // the value decoded (quoted-printable, charset) with its escapes kept
  std::string value;  // the value with its escapes undone
  std::vector<std::string> components;  // split at unescaped ";", escapes undone

  // The first value of parameter name (upper case), or null.
  const std::string* ParamValue(std::string_view name) const;
  // Whether some TYPE value equals type, letters compared without regard to case.
  bool HasType(std::string_view type) const;
  // The value split at unescaped ",", escapes undone (CATEGORIES, NICKNAME).
  std::vector<std::string> ListValues() const;
};

struct Card {
  std::vector<Property> properties;
};

// What reading a file gave besides its cards.
struct ReadReport {
  std::size_t skipped_cards = 0;  // cards that could not be read
  // Properties dropped while reading, by name: binary ones (PHOTO, LOGO, SOUND, KEY, anything
  // base64-encoded) and those beyond the limits above.
  std::map<std::string, std::size_t> dropped;
};

// Reads every card of the file's bytes, handing each to each as soon as it is read (so that only
// one card at a time is held, however many the file has).
void ReadCards(std::string_view bytes, ReadReport* report, const std::function<void(Card&)>& each);
// The same, gathered.
std::vector<Card> ReadCards(std::string_view bytes, ReadReport* report);

// Whether the bytes start like a vCard file: after a byte-order mark and blank lines,
// "BEGIN:VCARD" without regard to case.
bool LooksLikeVCard(std::string_view head);

// The text with every byte sequence that is not UTF-8 replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// Builds cards as vCard 3.0 text.
class CardWriter {
 public:
  void Begin();
  void End();
  // One property: name and parameter names are taken as they are when they are made of letters,
  // digits and "-" (else the property is left out and false returned); each component is
  // escaped and they are joined with ";". Consecutive parameters of one name share it
  // ("TYPE=cell,voice").
  bool Add(std::string_view name, const std::vector<Param>& params,
           const std::vector<std::string>& components);
  // A property whose value is written as it is (already escaped, as a list of CATEGORIES).
  bool AddRaw(std::string_view name, const std::vector<Param>& params, std::string_view value);
  const std::string& text() const { return out_; }
  std::string& text() { return out_; }

 private:
  void Line(const std::string& line);
  std::string out_;
};

// A component as a vCard 3.0 text value: "\", ",", ";" and line breaks escaped.
std::string EscapeText(std::string_view text);

}  // namespace qb::main::vcard
