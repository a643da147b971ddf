// The REGEDIT4 text format of the registry file:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Far\Plugins\Quillbox]
//   "BookFile"="/home/me/Quillbox.Dat"
//   "MaxLines"=dword:0000000a
//   "Key"=hex:01,02
//   @="default value"
//
// Written with CRLF line ends, as Windows' registry editor writes and reads it. Read leniently
// where nothing can be misread: LF or CRLF, blank lines, ";" comments, a UTF-8 byte-order mark,
// hex lists continued over lines with a trailing "\", hex(<type>): for any other type, and the
// deletion forms [-key] and "name"=- applied in order. Anything else makes the whole file
// unreadable, so that it is kept aside rather than half understood.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/registry/reg_tree.h"

namespace qb::registry {

// The tree the text describes, or nothing when it is damaged or not in the format. An empty text
// is an empty tree.
std::optional<RegTree> ParseRegFile(std::string_view text);

std::string SerializeRegFile(const RegTree& tree);

}  // namespace qb::registry
