// The host's own texts (menus, boxes, the key bar's default labels) in the interface language:
// read through the language store from QuillboxHost*.lng beside the program, module "Host", with
// the English texts built in for a program without its files.
#pragma once

#include <string>

namespace qb::host {

enum class HostText : int {
  kOk,
  kCancel,
  kError,
  kCopy,
  kMove,
  kRenameMove,
  kDelete,
  kCopyPluginToPlugin,
  kPluginCannotGet,
  kPluginCannotPut,
  kCopyQuestion,
  kMoveQuestion,
  kItems,
  kDeleteQuestion,
  kMakeFolder,
  kCreateTheFolder,
  kCannotCreateFolder,
  kCannotRun,
  kCannotChangeFolder,
  kCommandLine,
  kOnlyCdRuns,
  kLeft,
  kRight,
  kPluginCommands,
  kPluginsConfiguration,
  kPluginNotLoaded,
  kKeyView,
  kKeyEdit,
  kKeyCopy,
  kKeyRenMov,
  kKeyMkFold,
  kKeyDelete,
  kKeyConfMn,
  kKeyQuit,
  kKeyPlugin,
  kKeyLeft,
  kKeyRight,
  kUp,
  kFolder,
  kColumnName,
  kColumnDescription,
  kColumnSize,
  kColumnDate,
  kColumnTime,
  kColumnOwner,
  kKeyFind,
  kCount
};

// Loads the host's language files from dir (ends with "/") in the language; again replaces them.
void LoadHostTexts(const std::string& dir, const std::string& language);

// Text n; never null.
const char* Text(HostText n);

// Text n with its printf places filled.
std::string Format(HostText n, ...);

}  // namespace qb::host
