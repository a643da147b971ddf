// Editing folders and records from the keyboard: new folders (F7), new records (Shift+F4),
// deleting (F8), renaming (Shift+F6), folder descriptions (Alt+F3) and the scan menu (Shift+F7).
//
// Names typed by the user are made safe in place (reserved characters become "_") before they
// reach the book, so the host's buffer holds the name that was actually used. Host name buffers
// hold NM (260) bytes while an edit line gives up to 511: a longer typed name is cut to 259 bytes
// at the last whole UTF-8 character.
#pragma once

#include "main/book_panel.h"
#include "sdk/far.h"

namespace qb::main {

// F7. 1 when the folder was made or a folder of that name exists (the cursor then stands on it),
// 0 on failure, inside a record, for a name of blanks, or when the book cannot be opened; -1 when
// the user cancelled. name is the host's buffer of NM bytes; it receives the name used.
int MakeDirectory(BookPanel& panel, char* name, int op_mode);

// F8. Deletes the items (fields inside a record, else folders and records) after asking, unless
// op_mode has OPM_SILENT. 1 also when the user declines; 0 when the book cannot be opened.
int DeleteFiles(BookPanel& panel, const PluginPanelItem* items, int count, int op_mode);

// An empty record in the current folder. With no name (or an empty one) the user is asked for
// it. Leading blanks are dropped (names beginning with a blank are the book's own); a name of
// blanks makes nothing and leaves name as it was. A record of that name that exists already is
// kept as it is. On success the name used is copied back into name (a buffer of NM bytes) and the
// cursor is put on the record. Storage failures are shown to the user.
void CreateRecord(BookPanel& panel, char* name);

// Shift+F6: renames the folder or record under the cursor.
void RenameItem(BookPanel& panel);

// Alt+F3: edits the description of the folder under the cursor; an empty text removes it.
void EditFolderDescription(BookPanel& panel);

// Shift+F7: starts a scan walk for the field types that ask for it, through a menu when there is
// more than one.
void ScanMenu(BookPanel& panel);

}  // namespace qb::main
