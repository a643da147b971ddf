#include "host/terminal/terminfo_caps.h"

#include <ncursesw/curses.h>
#include <ncursesw/term.h>

namespace qb::host {

std::string TerminfoString(const char* name) {
  char* value = tigetstr(const_cast<char*>(name));
  if (value == nullptr || value == reinterpret_cast<char*>(-1)) return {};
  return value;
}

}  // namespace qb::host
