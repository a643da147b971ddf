// Fields of the open record, from the keyboard: adding one of a chosen type (Shift+F4), editing
// and viewing through its field type (F4, F3), its action (Enter), copying texts to the clipboard
// (Ctrl+Ins) and moving a field to the front of the record (Alt+F5). The main library never reads
// a field's bytes: it hands them to the field type that serves the field and stores what comes
// back. Every change is written to the record before the call returns.
#pragma once

#include "main/book_panel.h"

namespace qb::main {

// Shift+F4: a field of the type chosen from the menu, created through the type's editor. A type
// that allows one field per record refuses a second one with an error box.
void AddField(BookPanel& panel);

// F4 (edit true) and F3 (edit false). 1 when handled; 0 on the ".." item or for a type without an
// editor, so the host does its own F3 or F4. A view never changes the record.
int EditField(BookPanel& panel, bool edit);

// Enter: the type's action on the current field. 0 on the ".." item or for a type without one.
int FieldAction(BookPanel& panel);

// Ctrl+Ins: the texts of the selected fields, in the host's order and joined by "\r\n" (or the
// current field's text) on the clipboard. 0 on the ".." item without a selection. The clipboard
// is left alone when no field gives a text.
int CopyFieldText(BookPanel& panel);

// Alt+F5: moves the current field in front of the record's first field; the fields before it move
// one place back. The cursor follows the field.
void MoveFieldToFront(BookPanel& panel);

}  // namespace qb::main
