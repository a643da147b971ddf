// The common body of a text field type (*.qbl): every entry point whose work the main library's
// standard services already do, compiled into each field-type library (a private copy each, like
// the dialog builder).
//
// How a new field type is made:
//   1. A folder fieldtypes/<name>/ with one source, an exports.txt listing the entry points the
//      type offers, and a CMakeLists.txt that builds <Name>.qbl from the source and the objects
//      of qb_fieldtype, linked against the main library.
//   2. The source defines kFieldType below: the type's constants (language module, token,
//      identifiers, flags, shape, help topic, settings key) and, only where the type differs
//      from the standard of its shape, a hook. A type whose hooks are all null is finished.
//   3. Entry points that only some types have (DoSomething, SendFile, ConfigurePlugin, OnEnter,
//      Upgrade) are written in the type's source as plain extern "C" QB_EXPORT functions; they
//      reach the host's table, the services block, the type name and the field text through the
//      functions of this header.
//   4. A type whose contents are not a text (a date, say) sets the hooks that replace the text's
//      standard wholesale: description, menu_description, panel_item, text_data, edit and
//      write_text_file; ReadField still cuts the Field's text, but such a type reads data/size.
//
// What the common body exports (each library's exports.txt decides which become visible):
// GetAddressPluginInfo, SetStartupInfo, SetQBStartupInfo, CheckID, GetDescription,
// GetMenuDescription, GetPanelItem, EditContents, WriteTextData, WriteTextFile and ExitFAR.
//
// Field contents are a zero-terminated text (after text_offset bytes of the type's own) whose size
// counts the terminator. Data read from a book need not be terminated, so every entry point works
// on a terminated copy cut at the field's size.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "sdk/far.h"
#include "sdk/fieldtype.h"
#include "sdk/services.h"

namespace qb::fieldtype {

// Which family of the main library's standard services shows, edits and exports the text.
enum class Shape {
  kOneLine,    // everything after the last "#" is the comment; single-line editor
  kMultiLine,  // lines; only a "#" on the last line starts a comment; multi-line editor
};

// One field as an entry point received it.
struct Field {
  const void* data;  // as passed in (null for an empty field)
  uint32_t size;
  FieldTypeId type;
  std::string text;  // the text part, cut at the size and at its first zero byte
};

struct FieldType {
  // ---- Constants (those without a default must be given) ----
  const char* module;                // language module; its message 0 is the type name
  const char* fixed_name = nullptr;  // the type name when module is null (no language texts)
  const char* token;                 // the description token
  FieldTypeId new_id;                // identifier of the fields the edit dialog writes
  FieldTypeId block;                 // CheckID claims block to block + 0xFF
  uint32_t flags;                    // FieldTypeInfo flags (FTF_MULTIPLE, FTEV_*)
  Shape shape;
  const char* edit_help;               // help topic of the edit dialog
  const char* settings_key = nullptr;  // registry sub-key below the main library's key
  uint32_t text_offset = 0;            // bytes of the type's own before the text

  // ---- Behaviour that differs from the standard; null takes the standard ----

  // Called by SetStartupInfo after the host's table is copied, and by ExitFAR; settings is the
  // type's key (OpenRegKey under the host's RootKey), null when it could not be opened or the
  // type has no settings_key. The common body closes it.
  void (*startup)(HKEY settings) = nullptr;
  void (*exit)(HKEY settings) = nullptr;
  // Appended to the panel item's description; empty for none.
  std::string (*panel_suffix)(const Field& field) = nullptr;
  // A heap text for GetDescription (standard: the value, or the first line).
  char* (*description)(const Field& field) = nullptr;
  // The whole of EditContents. The standard: one-line types view or edit the line and set
  // *new_type only when an edit is accepted, viewing counts as shown (1); multi-line types set
  // *new_type before editing whatever the outcome and return the editor's result.
  int (*edit)(const Field& field, void** new_data, uint32_t* new_size, FieldTypeId* new_type,
              int edit) = nullptr;
  // The field's part of a text export. Standard: one-line types write the menu line, multi-line
  // types the type name and each line after a tab.
  void (*write_text_file)(FILE* file, const Field& field) = nullptr;
  // A heap text for GetMenuDescription (standard: the shape's menu line with the type name).
  char* (*menu_description)(const Field& field) = nullptr;
  // The whole of GetPanelItem (standard: the shape's panel item, with panel_suffix).
  void (*panel_item)(PluginPanelItem* item, const Field& field) = nullptr;
  // A heap text for WriteTextData (standard: a copy of the field's text).
  char* (*text_data)(const Field& field) = nullptr;
};

// Defined by each field-type library, once.
extern const FieldType kFieldType;

// The host's table as SetStartupInfo copied it (all zero before).
const PluginStartupInfo& HostInfo();
// The main library's block, or null before SetQBStartupInfo.
const HostServices* Services();
// The type name, looked up afresh each time (the language store may be reloaded); the empty text
// when the language files lack it.
const char* TypeName();
// Message n of the type's language module, or "" when the language files lack it (or the type
// has no module).
const char* Msg(int n);
// Message n of the main module (the accepting and cancelling buttons, the error title ...), or "".
const char* MainMsg(int n);
// The field an entry point received.
Field ReadField(const void* data, uint32_t size, FieldTypeId type);
// A copy of text on the main library's heap (the one behind Free, and the one the dialog builder's
// text bindings take), or null when there is no memory.
char* HeapCopy(const std::string& text);
// text with every "<x>" and "<X>" of it (x the letter given in lower case) replaced by value. The
// search goes on behind each inserted value, so a value that itself holds a placeholder is
// inserted once and the replacement always ends.
std::string FillPlaceholders(const std::string& text, char letter, const std::string& value);
// A text from outside (a vCard value) made fit for a one-line field: line breaks and tabs become
// blanks, outer blanks go; as a comment, also every "#", which would move the comment's start.
std::string OneLineText(const std::string& text, bool comment);
// The directory of the main library with its "/": where the libraries a type loads by name lie
// (the telephony and mail libraries), so that a test's doubles there are found first. Empty when
// it cannot be told.
std::string PluginDirectory();

}  // namespace qb::fieldtype
