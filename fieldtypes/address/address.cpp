// Address.qbl: the contact's postal address, in several lines. Everything it shows and edits is
// the main library's multi-line text handling.
#include <cstring>
#include <string>
#include <vector>

#include "shared/fieldtype/field_type.h"
#include "shared/fieldtype/vcard_field.h"

const qb::fieldtype::FieldType qb::fieldtype::kFieldType = {
    .module = "Address",
    .token = "A",
    .new_id = FTID_ADDRESS,
    .block = 0x10300,
    .flags = FTF_MULTIPLE,
    .shape = Shape::kMultiLine,
    .edit_help = "Address_EditDlg",
};

namespace {

namespace vc = qb::fieldtype::vcard;

bool Named(const VCardProperty& prop, const char* name) {
  return std::strcmp(prop.Name, name) == 0;
}

bool SameGroup(const VCardProperty& a, const VCardProperty& b) {
  return a.Group && b.Group && *a.Group && std::strcmp(a.Group, b.Group) == 0;
}

// The TYPE values of a property, in order, as one text.
std::string Types(const VCardProperty& prop) {
  std::string types;
  for (uint32_t i = 0; i < prop.ParamCount; ++i) {
    if (std::strcmp(prop.Params[i].Name, "TYPE") == 0) {
      for (const char* c = prop.Params[i].Value; *c; ++c) {
        types += static_cast<char>(*c >= 'A' && *c <= 'Z' ? *c - 'A' + 'a' : *c);
      }
      types += ',';
    }
  }
  return types;
}

// A LABEL belongs to an ADR of its group, or else (3.0, ungrouped) to one of the same types.
bool Companions(const VCardProperty& adr, const VCardProperty& label) {
  if (SameGroup(adr, label)) return true;
  return (!adr.Group || !*adr.Group) && (!label.Group || !*label.Group) &&
         Types(adr) == Types(label);
}

// The lines of a structured address: post box, extended address, street; postal code and city;
// region; country.
std::string ComposeAddress(const VCardProperty& adr) {
  auto part = [&](uint32_t i) -> std::string {
    return i < adr.ComponentCount ? adr.Components[i] : "";
  };
  bool only_street = !part(2).empty();
  for (uint32_t i = 0; i < adr.ComponentCount; ++i) {
    if (i != 2 && adr.Components[i][0] != '\0') only_street = false;
  }
  // What this program writes: the whole text as the street.
  if (only_street) return part(2);
  std::vector<std::string> lines;
  for (uint32_t i : {0u, 1u, 2u}) {
    if (!part(i).empty()) lines.push_back(part(i));
  }
  std::string city = part(5);
  if (!part(3).empty()) city = city.empty() ? part(3) : city + " " + part(3);
  if (!city.empty()) lines.push_back(city);
  if (!part(4).empty()) lines.push_back(part(4));
  if (!part(6).empty()) lines.push_back(part(6));
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

}  // namespace

// The address is written as the street of an ADR, so that its lines stay as they are.
extern "C" QB_EXPORT void WriteVCard(const void* data, uint32_t size, FieldTypeId type,
                                     const VCardWriter* writer) {
  const auto field = qb::fieldtype::ReadField(data, size, type);
  vc::Write(writer, "ADR", {}, {"", "", field.text, "", "", "", ""});
}

extern "C" QB_EXPORT int ReadVCard(const VCardProperty* card, uint32_t count, uint32_t index,
                                   void** new_data, uint32_t* new_size, FieldTypeId* new_type) {
  const VCardProperty& prop = card[index];
  if (Named(prop, "ADR")) {
    // The label as the exporter formatted it, where there is one (4.0's parameter, 3.0's LABEL).
    std::string text;
    if (const char* label = vc::ParamOf(prop, "LABEL")) text = label;
    for (uint32_t i = 0; text.empty() && i < count; ++i) {
      if (Named(card[i], "LABEL") && Companions(prop, card[i])) text = card[i].Value;
    }
    if (text.empty()) text = ComposeAddress(prop);
    if (text.empty()) return VCARD_CONSUMED;
    return vc::TextField(text, FTID_ADDRESS, new_data, new_size, new_type);
  }
  if (Named(prop, "LABEL")) {
    for (uint32_t i = 0; i < count; ++i) {
      if (Named(card[i], "ADR") && Companions(card[i], prop)) return VCARD_CONSUMED;
    }
    return vc::TextField(prop.Value, FTID_ADDRESS, new_data, new_size, new_type);
  }
  return VCARD_NOT_MINE;
}
