// The plug-in's service table and the host's platform helpers behind it.
#pragma once

#include <string>

#include "sdk/far.h"

namespace qb::host {

// Fills the table: every service the plug-in calls, ModuleName the library's full path (cut to
// the buffer), ModuleNumber 0, RootKey "Software\Far\Plugins".
void FillStartupInfo(PluginStartupInfo& info, const std::string& module_path);

// Puts the text on the desktop's clipboard through wl-copy, xclip or xsel when a display is set.
// False when there is no display or no tool took it.
bool SystemClipboardCopy(const std::string& text);

}  // namespace qb::host
