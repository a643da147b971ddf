// The terminal's clipboard: the OSC 52 escape sequence that xterm, tmux (with set-clipboard on),
// kitty, foot and many others use to set the system clipboard.
#pragma once

#include <string>
#include <string_view>

namespace qb::host {

std::string Base64(std::string_view bytes);
// ESC ] 52 ; c ; <base64> BEL
std::string Osc52Sequence(std::string_view text);

}  // namespace qb::host
