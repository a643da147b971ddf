// Structural verification of a compound file, independent of the engine's reader.
#pragma once

#include <string>
#include <vector>

#include "platform/storage/storage.h"

namespace qb::storage {

// Verifies every structural invariant of the file at `path`: header fields, FAT and DIFAT
// placement, every chain (no cycle, no sector used twice, none lost, none outside the file), the
// mini FAT likewise, directory trees (reachability, name order, red-black rules), names, times and
// sizes against chains. S_OK when all hold; otherwise STG_E_DOCFILECORRUPT (or the failure that
// stopped the check) with one line per violation in `problems`.
HRESULT CheckCompoundFile(const std::string& path, std::vector<std::string>* problems,
                          FileSystem* fs = nullptr);

}  // namespace qb::storage
