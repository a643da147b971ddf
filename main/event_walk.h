// Event walks: the field-type libraries that asked for an event visit every field below a panel's
// position (Date's reminders at start-up, for example).
#pragma once

#include <cstdint>

namespace qb::main {

class BookPanel;

// Sends event to every library (plugin -1) or to one. Libraries with FTEV_BEFORE are asked first
// and may veto the walk; the walk then visits, from the panel's position, each field whose server
// takes part, entering folders and records silently and leaving them again, so the panel ends
// where it stood; libraries with FTEV_AFTER are told when it is over.
void SendEventWalk(BookPanel& panel, uint32_t event, int plugin);

}  // namespace qb::main
