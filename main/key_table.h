// The panel's own keys: the one place where Quillbox binds keys. Everything not listed is left to
// the host.
#pragma once

#include "main/book_panel.h"

namespace qb::main {

// Looks the key up with the control state compared for equality (PKF_ flags, 0 for none) and runs
// its operation with the book acquired. 1 when the key was handled, 0 when the host should handle
// it (also when the book cannot be opened).
int ProcessKey(BookPanel& panel, int key, unsigned int control_state);

}  // namespace qb::main
