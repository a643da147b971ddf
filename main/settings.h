// The main library's settings under HKEY_CURRENT_USER\<RootKey>\Quillbox, and the configuration
// the host's configuration command opens. Settings are read once at start-up, changed in memory
// (configuration dialog, panel view modes, the book's fallback file) and written once at exit.
#pragma once

#include <optional>
#include <string>

namespace qb::main {

// Reads every setting into State().settings. A missing value, one of another registry type or a
// number out of its range reads as the default. The book file's default is the main library's
// directory followed by "Quillbox.Dat". Refreshes the user name of the HostServices block.
void ReadSettings();

// Writes every setting (strings as strings, numbers as 32-bit numbers). False when the key could
// not be opened or a value could not be written.
bool WriteSettings();

// Hands the host's table of State().info to this library's dialog builder, with the error box
// texts (msg::kErrorTitle and msg::kOk). Called at start-up once the table is copied; the
// services call it again when a dialog is about to run, so it is safe to call at any time.
void AttachDialogBuilder();

// The configuration menu, its entries and the configuration dialog. Returns non-zero when
// anything changed. The entry point Configure calls it.
int ConfigureMenu();

// The main library's configuration dialog. True when the user accepted it.
bool ConfigurationDialog();

// The menu of field types that have a description token. The chosen type's token with its "%"
// ("%C"), or nothing on Esc.
std::optional<std::string> TokenMenu();

}  // namespace qb::main
