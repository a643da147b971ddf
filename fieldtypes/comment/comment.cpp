// Comment.qbl: a free note about the contact, in several lines. Everything it shows and edits is
// the main library's multi-line text handling.
#include <cstring>

#include "shared/fieldtype/field_type.h"
#include "shared/fieldtype/vcard_field.h"

const qb::fieldtype::FieldType qb::fieldtype::kFieldType = {
    .module = "Comment",
    .token = "C",
    .new_id = FTID_COMMENT,
    .block = 0x10100,
    .flags = FTF_MULTIPLE,
    .shape = Shape::kMultiLine,
    .edit_help = "Comment_EditDlg",
};

// A note is the card's NOTE, line breaks and all.
extern "C" QB_EXPORT void WriteVCard(const void* data, uint32_t size, FieldTypeId type,
                                     const VCardWriter* writer) {
  const auto field = qb::fieldtype::ReadField(data, size, type);
  qb::fieldtype::vcard::Write(writer, "NOTE", {}, {field.text});
}

extern "C" QB_EXPORT int ReadVCard(const VCardProperty* card, uint32_t count, uint32_t index,
                                   void** new_data, uint32_t* new_size, FieldTypeId* new_type) {
  (void)count;
  if (std::strcmp(card[index].Name, "NOTE") != 0) return VCARD_NOT_MINE;
  return qb::fieldtype::vcard::TextField(card[index].Value, FTID_COMMENT, new_data, new_size,
                                         new_type);
}
