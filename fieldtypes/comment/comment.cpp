// Comment.qbl: a free note about the contact, in several lines. Everything it shows and edits is
// the main library's multi-line text handling.
#include "shared/fieldtype/field_type.h"

const qb::fieldtype::FieldType qb::fieldtype::kFieldType = {
    .module = "Comment",
    .token = "C",
    .new_id = FTID_COMMENT,
    .block = 0x10100,
    .flags = FTF_MULTIPLE,
    .shape = Shape::kMultiLine,
    .edit_help = "Comment_EditDlg",
};
