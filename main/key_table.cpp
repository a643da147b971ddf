#include "main/key_table.h"

#include "main/compact.h"
#include "main/field_ops.h"
#include "main/folder_ops.h"
#include "main/plugin_state.h"
#include "main/text_export.h"
#include "main/vcard.h"

namespace qb::main {

namespace {

constexpr unsigned kNone = 0;

int FolderKey(BookPanel& panel, int key, unsigned state) {
  switch (key) {
    case VK_F4:
      if (state != PKF_SHIFT) return 0;
      // The new record is listed and under the cursor once it is made.
      CreateRecord(panel, nullptr);
      return 1;
    case VK_F3:
      if (state != PKF_ALT) return 0;
      EditFolderDescription(panel);
      return 1;
    case VK_F6:
      if (state == PKF_SHIFT) {
        RenameItem(panel);
        return 1;
      }
      if (state != PKF_ALT) return 0;
      panel.SetPassword();
      return 1;
    case VK_F5:
      if (state == PKF_SHIFT) {
        ExportVCardKey(panel);
        return 1;
      }
      if (state != PKF_ALT) return 0;
      ExportText(panel);
      return 1;
    case VK_F7:
      if (state != PKF_SHIFT) return 0;
      ScanMenu(panel);
      return 1;
    default:
      return 0;
  }
}

int RecordKey(BookPanel& panel, int key, unsigned state) {
  switch (key) {
    case VK_F4:
      if (state == PKF_SHIFT) {
        // AddField puts the cursor on the new field itself: a reread here would move it to the
        // first item of the same name.
        AddField(panel);
        return 1;
      }
      return state == kNone ? EditField(panel, true) : 0;
    case VK_F3:
      return state == kNone ? EditField(panel, false) : 0;
    case VK_F5:
      if (state != PKF_ALT) return 0;
      MoveFieldToFront(panel);
      return 1;
    case VK_INSERT:
      if (state != PKF_CONTROL || !State().settings.own_ctrl_ins) return 0;
      return CopyFieldText(panel);
    case VK_RETURN:
      return state == kNone ? FieldAction(panel) : 0;
    default:
      return 0;
  }
}

// Whether the key may be one of the panel's own: the others (cursor keys, selection, typing) go
// back to the host without the book being opened.
bool MayBeOwnKey(bool in_record, int key, unsigned state) {
  switch (key) {
    case VK_F3:
      return state == PKF_ALT || (in_record && state == kNone);
    case VK_F4:
      return state == PKF_SHIFT || (in_record && state == kNone);
    case VK_F5:
      return state == PKF_ALT || (!in_record && state == PKF_SHIFT);
    case VK_F6:
      return !in_record && (state == PKF_SHIFT || state == PKF_ALT);
    case VK_F7:
      return !in_record && state == PKF_SHIFT;
    case VK_INSERT:
      return in_record && state == PKF_CONTROL;
    case VK_RETURN:
      return in_record && state == kNone;
    default:
      return false;
  }
}

}  // namespace

int ProcessKey(BookPanel& panel, int key, unsigned int control_state) {
  // Compaction opens the book itself and keeps it from the copy until the copy has taken its
  // name; the panel's acquisition would hold the folders and the record it copies.
  if (key == VK_F3 && control_state == PKF_SHIFT) {
    CompactBook(panel);
    return 1;
  }
  if (!MayBeOwnKey(panel.in_record(), key, control_state)) return 0;
  BookLock lock(panel);
  if (!lock.ok()) return 0;
  return panel.in_record() ? RecordKey(panel, key, control_state)
                           : FolderKey(panel, key, control_state);
}

}  // namespace qb::main
