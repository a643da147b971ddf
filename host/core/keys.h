// Keys by FAR's names ("Enter", "CtrlPgUp", "AltF6", "ShiftF4") and back, for scripts, break keys
// and the key bar.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/frontend.h"

namespace qb::host {

// A key event from a FAR key name with optional Ctrl, Alt and Shift prefixes in any order.
// Letters give vk 'A'..'Z' and type the lower-case letter unless a modifier is held (Shift types
// the capital). "Ctrl", "Alt", "Shift" alone (or combined, "CtrlShift") are modifier-only events
// (vk VK_CONTROL, VK_MENU or VK_SHIFT), which show that layer of the key bar. A character beyond
// ASCII ("AltЖ") has no key code and carries only the character.
std::optional<Event> ParseKeyName(std::string_view name);

// The event a typed character makes: letters and digits carry their key code, other characters
// carry only the character.
Event CharEvent(char32_t ch);

// FAR's name of a key ("CtrlShiftF4"); for diagnostics.
std::string KeyName(int vk, unsigned control);

bool IsModifierKey(int vk);

}  // namespace qb::host
