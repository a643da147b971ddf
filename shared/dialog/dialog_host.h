// The host services the dialog builder calls: one table per library. Each library that carries the
// builder hands it its own copy of the host's service table at start-up, so that item texts given
// by number come from that library's messages and dialogs run under its module number.
#pragma once

#include "sdk/far.h"

namespace qb::dlg {

// The table the builder uses from now on (not copied: it must outlive every dialog). Null detaches
// the builder; dialogs then show nothing and Run returns -1.
void SetHost(const PluginStartupInfo* info);
const PluginStartupInfo* Host();

// The host's text of message n for this library, or null without a host or text.
const char* HostMsg(int n);

// Title and button of the builder's own error box (shown when a number is out of range). Set by
// number through the host's GetMsg when the library starts; the empty text until then.
void SetErrorTexts(int title_msg, int button_msg);
void SetErrorTexts(const char* title, const char* button);
const char* ErrorTitle();
const char* ErrorButton();

}  // namespace qb::dlg
