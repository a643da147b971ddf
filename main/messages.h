// The main library's language store: the texts behind CommonGetMsgEx and the main module's own
// texts. Loaded by SetStartupInfo, emptied by ExitFAR as its last step; a lookup before loading
// loads it. Only the host's thread calls here.
#pragma once

#include <string>

namespace qb::main {

// Reads every language file of module_dir (ends with "/") into the store, replacing what was
// there; language is the host's interface language (see shared/lang/current_language.h).
void LoadMessages(const std::string& module_dir, const std::string& language);

// Empties the store. Every text handed out before is invalid afterwards.
void FreeMessages();

// Main-module text n; never null: an empty text when the language files lack it.
const char* Msg(int n);

}  // namespace qb::main
