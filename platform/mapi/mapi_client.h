// The mail library as the field types reach it: MAPI32.so, looked up by name in the plug-in
// directory for each mail and released right after it, so that a test's recording double there is
// the one that mails.
#pragma once

#include <cstdint>
#include <string>

#include "sdk/mapi.h"

namespace qb::mapi {

// MAPISendMail(no session, no parent window, message, flags) of the mail library in `directory`
// (ending in "/"), loaded for this call only. MAPI_E_FAILURE when the library or its entry point
// is missing; *found, when given, tells whether the call was made.
uint32_t SendThroughMailLibrary(const std::string& directory, MapiMessage* message, uint32_t flags,
                                bool* found = nullptr);

}  // namespace qb::mapi
