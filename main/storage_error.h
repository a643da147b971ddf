// The storage error box: what the book operations show when the compound file refuses a step.
#pragma once

#include <string>

#include "platform/storage/storage.h"

namespace qb::main {

// A warning box under the help topic "SystemError": the error title (main-module text 13), the
// step's main-module text, the element name when there is one, "HResult = 0x%08X" with the failure
// code, and the accepting button (text 0). Nothing is shown when the host gave no service table.
void ShowStorageError(int message, const std::string& element_name, storage::HRESULT hr);

}  // namespace qb::main
