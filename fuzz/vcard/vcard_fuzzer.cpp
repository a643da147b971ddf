// Any byte sequence as a vCard file: the reader must stop cleanly within its limits and hand out
// only valid UTF-8; what it read, written again and read back, keeps its cards, properties and
// values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "main/vcard_syntax.h"

namespace {

using namespace qb::main::vcard;

void CheckText(const std::string& text) {
  if (ValidUtf8(text) != text) std::abort();
}

// Properties the writer writes back as they were read: not the card's own lines, not those the
// reader drops, not a name that would make the reader take the value as quoted-printable.
bool Rewritable(const Property& p) {
  return p.name != "BEGIN" && p.name != "END" && p.name != "PHOTO" && p.name != "LOGO" &&
         p.name != "SOUND" && p.name != "KEY" && p.name.find('_') == std::string::npos &&
         p.name.find("QUOTED-PRINTABLE") == std::string::npos;
}

std::string WithoutCr(std::string text) {
  std::string out;
  for (char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ReadReport report;
  const std::vector<Card> cards = ReadCards(bytes, &report);
  if (cards.size() > size) std::abort();
  CardWriter writer;
  std::vector<std::vector<const Property*>> written;
  for (const Card& card : cards) {
    if (card.properties.size() > kMaxProperties) std::abort();
    writer.Begin();
    written.emplace_back();
    for (const Property& p : card.properties) {
      if (p.name.empty() || p.params.size() > kMaxParams || p.components.size() > kMaxComponents ||
          p.components.empty()) {
        std::abort();
      }
      CheckText(p.group);
      CheckText(p.name);
      CheckText(p.value);
      for (const Param& param : p.params) CheckText(param.value);
      for (const std::string& c : p.components) CheckText(c);
      if (Rewritable(p) && writer.Add(p.name, {}, p.components)) written.back().push_back(&p);
    }
    writer.End();
  }
  const std::vector<Card> again = ReadCards(writer.text(), nullptr);
  if (again.size() != cards.size()) std::abort();
  for (std::size_t i = 0; i < again.size(); ++i) {
    // The writer's VERSION line comes first.
    const std::vector<Property>& props = again[i].properties;
    if (props.size() != written[i].size() + 1) std::abort();
    for (std::size_t k = 0; k < written[i].size(); ++k) {
      const Property& before = *written[i][k];
      const Property& after = props[k + 1];
      if (after.components.size() != before.components.size()) std::abort();
      for (std::size_t c = 0; c < after.components.size(); ++c) {
        if (after.components[c] != WithoutCr(before.components[c])) std::abort();
      }
    }
  }
  return 0;
}
