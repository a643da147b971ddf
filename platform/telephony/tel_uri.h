// The tel: URI of a telephone number as a person wrote it, for handing it to the desktop's dialler.
#pragma once

#include <string>
#include <string_view>

namespace qb::telephony {

// "tel:" and the number: blanks and tabs dropped (they only group digits for the eye), the
// visual separators "-", ".", "(" and ")", digits, letters, "+", "*" and the parameter marks ";"
// and "=" (";ext=12") kept as they are, every
// other byte percent-encoded ("#" as "%23", as a URI must carry it). Empty when the number holds
// nothing but blanks.
std::string TelUri(std::string_view number);

}  // namespace qb::telephony
