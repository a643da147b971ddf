#include "main/storage_error.h"

#include <cstdio>
#include <vector>

#include "main/main_text.h"
#include "main/message_numbers.h"
#include "main/plugin_state.h"

namespace qb::main {

void ShowStorageError(int message, const std::string& element_name, storage::HRESULT hr) {
  const PluginStartupInfo& info = State().info;
  if (info.Message == nullptr) return;
  char code[32];
  std::snprintf(code, sizeof code, "HResult = 0x%08X", static_cast<unsigned>(hr));
  std::vector<const char*> lines;
  lines.push_back(MainText(msg::kErrorTitle));
  // A book opened for reading only refuses every change: that, not the code, is the reason.
  const bool read_only = hr == storage::STG_E_ACCESSDENIED && State().book_read_only;
  lines.push_back(MainText(read_only ? msg::kErrorReadOnlyChange : message));
  if (!element_name.empty()) lines.push_back(element_name.c_str());
  if (!read_only) lines.push_back(code);
  lines.push_back(MainText(msg::kOk));
  info.Message(info.ModuleNumber, FMSG_WARNING, "SystemError", lines.data(),
               static_cast<int>(lines.size()), 1);
}

}  // namespace qb::main
