// Small pieces the editing keys share: the host's view of the panel, putting the cursor on an item
// by name, the storage error box, and making typed names safe for the book.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "main/book_panel.h"
#include "platform/storage/storage.h"
#include "sdk/far.h"

namespace qb::main {

// Replaces each of : \ / ! | < > " ? * by "_", in place, up to the terminator or size bytes.
void SanitizeName(char* text, std::size_t size);

// Cuts text to at most max_bytes without splitting a UTF-8 character.
void CutToBytes(std::string* text, std::size_t max_bytes);

// The storage error box (help topic "SystemError"): the main-module text of message, the name when
// there is one, and "HResult = 0x%08X". Returns code.
storage::HRESULT ReportStorageError(storage::HRESULT code, int message, const std::string& name);

// The host's view of the panel (FCTL_GETPANELINFO). False when the host gives none. The items
// stay valid until the next Control call for this panel.
bool ReadPanelInfo(BookPanel& panel, PanelInfo* info);

// The host's view of the panel without its items (FCTL_GETPANELSHORTINFO; from FCTL_GETPANELINFO
// where the host lacks it): counts, current and top item, view mode, directory. PanelItems and
// SelectedItems are null. False when the host gives none.
bool ReadPanelState(BookPanel& panel, PanelInfo* info);

// The item under the host's cursor, copied out of the host's records (which the next Control call
// may replace); its name ends within cFileName. False without items.
bool ReadCurrentItem(BookPanel& panel, PluginPanelItem* item);

// Whether the host's selection holds items the user selected (without a selection the host
// reports the current item there).
bool HasSelection(const PanelInfo& info);

// The field tag of a field item, or null for the ".." item and anything else without one.
const FieldTag* TagOf(const PluginPanelItem& item);

// A tag for the field at index of the record, with these type and contents.
FieldTag MakeFieldTag(FieldTypeId type, int index, int plugin, const void* data, uint32_t size);

// The field the tag was made for, from the open record. When the place at the tag's index now
// holds another field (another program changed the record after the panel listed it), or none,
// shows the error box, rereads the panel and returns false: the caller changes nothing.
bool FieldOfTag(BookPanel& panel, const FieldTag& tag, FieldEntry* field);

// Rereads the panel (keeping its selection) and gives the index of the first item for which
// matches holds, or -1.
int FindPanelItem(BookPanel& panel, const std::function<bool(const PluginPanelItem&)>& matches);
// Rereads the panel once (keeping its selection) and makes the first item called exactly name
// (bytes compared, case counts) the current one; with no such item the panel is only redrawn.
void PlaceCursor(BookPanel& panel, const std::string& name);

}  // namespace qb::main
