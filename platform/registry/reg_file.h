// The registry file on disk: reading it as it is, and changing it by atomic replacement under an
// exclusive lock (see registry.h for the promises).
#pragma once

#include <functional>

#include "platform/registry/reg_tree.h"
#include "platform/registry/registry.h"

namespace qb::registry {

// The tree the file holds now: empty when there is no file or it is damaged.
RegTree ReadRegistry();

// One change as a transaction: change() sees the freshly read tree, edits it and tells through
// *changed whether anything differs. The file is replaced only when change() returns
// ERROR_SUCCESS with *changed set; the result is change()'s, or the error of writing the file.
LSTATUS ModifyRegistry(const std::function<LSTATUS(RegTree& tree, bool* changed)>& change);

}  // namespace qb::registry
