// Address.qbl: the contact's postal address, in several lines. Everything it shows and edits is
// the main library's multi-line text handling.
#include "shared/fieldtype/field_type.h"

const qb::fieldtype::FieldType qb::fieldtype::kFieldType = {
    .module = "Address",
    .token = "A",
    .new_id = FTID_ADDRESS,
    .block = 0x10300,
    .flags = FTF_MULTIPLE,
    .shape = Shape::kMultiLine,
    .edit_help = "Address_EditDlg",
};
