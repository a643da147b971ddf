// What the field types share when they write their fields as vCard properties and make fields of
// the properties of a card (the interface's WriteVCard and ReadVCard). The main library does the
// syntax; these helpers only read and write the parts a field type deals in.
//
// A one-line field's comment (the text after its last "#") travels as the property's X-LABEL
// parameter. Reading also takes the label of the group ("item1.X-ABLabel", as Apple and Google
// write it), so that "item1.TEL:..." with "item1.X-ABLabel:Office" becomes "...#Office".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sdk/fieldtype.h"

namespace qb::fieldtype::vcard {

inline constexpr char kLabelParam[] = "X-LABEL";

// A one-line field's text split at its last "#".
struct OneLine {
  std::string value;
  std::string comment;
  bool has_comment = false;
};
OneLine SplitOneLine(const std::string& text);

// One parameter of a property to write.
struct Param {
  std::string name;
  std::string value;
};

// Writes one property through the main library's writer.
void Write(const VCardWriter* writer, const char* name, const std::vector<Param>& params,
           const std::vector<std::string>& components);
// Writes a one-line field as one property: the value, and the comment as X-LABEL.
void WriteOneLine(const VCardWriter* writer, const char* name, std::vector<Param> params,
                  const std::string& text);

// The first value of parameter name, or null.
const char* ParamOf(const VCardProperty& prop, const char* name);
// Whether some TYPE value equals type, letters compared without regard to case.
bool HasType(const VCardProperty& prop, const char* type);
bool SameText(const char* a, const char* b);
bool StartsWithText(const std::string& text, const char* prefix);

// The label of property index: its X-LABEL parameter, else the X-ABLabel of its group (Apple's
// "_$!<Mobile>!$_" read as "Mobile"). False when it has none.
bool LabelOf(const VCardProperty* card, uint32_t count, uint32_t index, std::string* label);
// Whether property index is an X-ABLabel whose group also holds a property named name: the
// label that LabelOf gives to that property.
bool IsGroupLabelOf(const VCardProperty* card, uint32_t count, uint32_t index, const char* name);

// The text of a one-line field made of property index's value and its label (LabelOf, else a
// TYPE of home or work): "value#label", or the value alone.
std::string OneLineText(const VCardProperty* card, uint32_t count, uint32_t index,
                        const std::string& value);

// Hands out a text field: the text and its zero byte on the main library's heap. VCARD_FIELD, or
// VCARD_NOT_MINE when memory runs out.
int TextField(const std::string& text, FieldTypeId type, void** new_data, uint32_t* new_size,
              FieldTypeId* new_type);

}  // namespace qb::fieldtype::vcard
