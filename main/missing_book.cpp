#include "main/missing_book.h"

#include <filesystem>
#include <system_error>

#include "main/main_text.h"
#include "main/message_numbers.h"
#include "main/plugin_state.h"

namespace qb::main {

MissingBook ChooseMissingBook(const std::string& configured, const std::string& default_book) {
  PluginState& state = State();
  if (configured.empty() || configured == default_book) return MissingBook::kDefault;
  std::error_code error;
  const std::filesystem::path directory = std::filesystem::path(configured).parent_path();
  if (std::filesystem::is_directory(directory.empty() ? "." : directory, error))
    return MissingBook::kCreate;
  if (state.default_book_for == configured) return MissingBook::kDefault;
  const PluginStartupInfo& info = state.info;
  if (info.Message == nullptr) return MissingBook::kNone;
  const char* lines[] = {
      MainText(msg::kWarning),         MainText(msg::kBookMissing),       configured.c_str(),
      MainText(msg::kOpenDefaultBook), MainText(msg::kAlwaysDefaultBook), MainText(msg::kCancel)};
  const int chosen = info.Message(info.ModuleNumber, FMSG_WARNING, "BookMissing", lines, 6, 3);
  if (chosen == 0) {
    // For this session only: the setting still names the missing book.
    state.default_book_for = configured;
    return MissingBook::kDefault;
  }
  if (chosen == 1) {
    state.settings.book_file = default_book;
    return MissingBook::kDefault;
  }
  return MissingBook::kNone;
}

}  // namespace qb::main
