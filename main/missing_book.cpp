#include "main/missing_book.h"

#include "main/main_text.h"
#include "main/message_numbers.h"
#include "main/plugin_state.h"

namespace qb::main {

bool MayOpenDefaultBook(const std::string& configured, const std::string& default_book) {
  PluginState& state = State();
  if (configured.empty() || configured == default_book) return true;
  if (state.default_book_for == configured) return true;
  const PluginStartupInfo& info = state.info;
  if (info.Message == nullptr) return false;
  const char* lines[] = {
      MainText(msg::kWarning),         MainText(msg::kBookMissing),       configured.c_str(),
      MainText(msg::kOpenDefaultBook), MainText(msg::kAlwaysDefaultBook), MainText(msg::kCancel)};
  const int chosen = info.Message(info.ModuleNumber, FMSG_WARNING, "BookMissing", lines, 6, 3);
  if (chosen == 0) {
    // For this session only: the setting still names the missing book.
    state.default_book_for = configured;
    return true;
  }
  if (chosen == 1) {
    state.settings.book_file = default_book;
    return true;
  }
  return false;
}

}  // namespace qb::main
