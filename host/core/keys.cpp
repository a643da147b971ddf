#include "host/core/keys.h"

#include <cctype>
#include <cstdio>

#include "host/screen.h"
#include "sdk/far.h"

namespace qb::host {

namespace {

struct Named {
  const char* name;
  int vk;
};

constexpr Named kNames[] = {
    {"Enter", VK_RETURN}, {"Esc", VK_ESCAPE}, {"Tab", VK_TAB},     {"Ins", VK_INSERT},
    {"Del", VK_DELETE},   {"Up", VK_UP},      {"Down", VK_DOWN},   {"Left", VK_LEFT},
    {"Right", VK_RIGHT},  {"Home", VK_HOME},  {"End", VK_END},     {"PgUp", VK_PRIOR},
    {"PgDn", VK_NEXT},    {"BS", VK_BACK},    {"Space", VK_SPACE},
};

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool StartsNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

}  // namespace

bool IsModifierKey(int vk) {
  return vk == VK_CONTROL || vk == VK_MENU || vk == VK_SHIFT;
}

std::optional<Event> ParseKeyName(std::string_view name) {
  unsigned control = 0;
  for (;;) {
    if (StartsNoCase(name, "Ctrl")) {
      control |= PKF_CONTROL;
      name.remove_prefix(4);
    } else if (StartsNoCase(name, "Alt")) {
      control |= PKF_ALT;
      name.remove_prefix(3);
    } else if (StartsNoCase(name, "Shift")) {
      control |= PKF_SHIFT;
      name.remove_prefix(5);
    } else {
      break;
    }
  }
  Event ev;
  ev.kind = Event::kKey;
  ev.control = control;
  if (name.empty()) {
    if (control == 0) return std::nullopt;
    ev.vk = (control & PKF_SHIFT) ? VK_SHIFT : (control & PKF_ALT) ? VK_MENU : VK_CONTROL;
    return ev;
  }
  for (const Named& n : kNames) {
    if (EqualNoCase(name, n.name)) {
      ev.vk = n.vk;
      if (n.vk == VK_SPACE && (control & (PKF_CONTROL | PKF_ALT)) == 0) ev.ch = U' ';
      return ev;
    }
  }
  if ((name[0] == 'F' || name[0] == 'f') && name.size() >= 2 && name.size() <= 3) {
    int n = 0;
    for (size_t i = 1; i < name.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(name[i]))) return std::nullopt;
      n = n * 10 + (name[i] - '0');
    }
    if (n < 1 || n > 12) return std::nullopt;
    ev.vk = VK_F1 + n - 1;
    return ev;
  }
  if (const std::u32string one = DecodeUtf8(name); one.size() == 1 && one[0] >= 0x80) {
    // A letter beyond ASCII ("AltЖ") has no key code: the terminal hands it on as the character
    // with its modifiers, and so does a script.
    ev.ch = one[0];
    return ev;
  }
  if (name.size() == 1) {
    unsigned char c = static_cast<unsigned char>(name[0]);
    if (std::isalpha(c)) {
      ev.vk = std::toupper(c);
      if ((control & (PKF_CONTROL | PKF_ALT)) == 0) {
        ev.ch = (control & PKF_SHIFT) ? std::toupper(c) : std::tolower(c);
      }
      return ev;
    }
    if (std::isdigit(c)) {
      ev.vk = c;
      if (control == 0) ev.ch = c;
      return ev;
    }
  }
  return std::nullopt;
}

Event CharEvent(char32_t ch) {
  Event ev;
  ev.kind = Event::kKey;
  ev.ch = ch;
  if (ch < 0x80 && std::isalpha(static_cast<int>(ch))) {
    ev.vk = std::toupper(static_cast<int>(ch));
    if (std::isupper(static_cast<int>(ch))) ev.control = PKF_SHIFT;
  } else if (ch >= U'0' && ch <= U'9') {
    ev.vk = static_cast<int>(ch);
  } else if (ch == U' ') {
    ev.vk = VK_SPACE;
  }
  return ev;
}

std::string KeyName(int vk, unsigned control) {
  std::string out;
  if (control & PKF_CONTROL) out += "Ctrl";
  if (control & PKF_ALT) out += "Alt";
  if (control & PKF_SHIFT) out += "Shift";
  for (const Named& n : kNames) {
    if (n.vk == vk) return out + n.name;
  }
  if (vk >= VK_F1 && vk <= VK_F12) return out + "F" + std::to_string(vk - VK_F1 + 1);
  if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return out + static_cast<char>(vk);
  if (IsModifierKey(vk)) return out;
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%02X", vk);
  return out + buf;
}

}  // namespace qb::host
