// The terminal front end: the host shown full-screen in a real terminal through ncursesw.
#pragma once

#include <memory>

#include "host/frontend.h"

namespace qb::host {

// Takes over the terminal on standard input and output (alternate screen, raw keys, mouse
// reporting where the terminal offers it) until the returned object is destroyed; the terminal is
// also restored when the process ends by exit(), std::terminate or a fatal signal.
// SIGINT, SIGTERM and SIGHUP make Wait() return Event::kQuit (and keep returning it), so the host
// leaves through its normal path and its plug-ins can save their settings.
// Returns nullptr, after a message on stderr, when standard input or output is not a terminal or
// the terminal type is unknown. Only one terminal front end may exist at a time.
std::unique_ptr<FrontEnd> MakeTerminalFrontEnd();

}  // namespace qb::host
