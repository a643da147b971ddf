// The telephony library as the field types reach it: TAPI32.so, looked up by name in the plug-in
// directory, so that a test's recording double there is the one that dials.
#pragma once

#include <string>

#include "platform/telephony/tapi32.h"

namespace qb::telephony {

// The call request of TAPI32.so in `directory` (ending in "/"), bound at the first call and kept,
// found or missing, for the life of the process (the library is never unloaded, so the entry point
// stays valid). Null when the library or its entry point is missing.
PFN_tapiRequestMakeCallA MakeCallEntry(const std::string& directory);

// Asks the telephony library of `directory` to dial `destination` for `application`, without
// called party or comment: 0 when a dialler took the call, otherwise the library's failure
// (TAPIERR_NOREQUESTRECIPIENT when there is no library).
long RequestMakeCall(const std::string& directory, const char* destination,
                     const char* application);

}  // namespace qb::telephony
