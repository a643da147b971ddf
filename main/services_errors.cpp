// Error boxes for the field-type libraries: a warning with the error title, the given lines and the
// accepting button, under the caller's help topic.
#include <vector>

#include "main/message_numbers.h"
#include "main/plugin_state.h"
#include "sdk/services.h"

namespace {

void ShowLines(std::initializer_list<const char*> text, const char* help_topic) {
  const PluginStartupInfo& info = qb::main::State().info;
  if (info.Message == nullptr) return;
  // Texts missing from the language store go to the host as they are (null).
  std::vector<const char*> lines;
  lines.push_back(CommonGetMsgEx(qb::main::msg::kErrorTitle, nullptr));
  for (const char* line : text) lines.push_back(line);
  lines.push_back(CommonGetMsgEx(qb::main::msg::kOk, nullptr));
  info.Message(info.ModuleNumber, FMSG_WARNING, help_topic, lines.data(),
               static_cast<int>(lines.size()), 1);
}

}  // namespace

void ShowError(const char* text, const char* help_topic) {
  ShowLines({text}, help_topic);
}

void ShowError(int message, const char* help_topic) {
  ShowLines({CommonGetMsgEx(message, nullptr)}, help_topic);
}

void ShowError(const char* text1, const char* text2, const char* help_topic) {
  ShowLines({text1, text2}, help_topic);
}

void ShowError(const char* text1, const char* text2, const char* text3, const char* help_topic) {
  ShowLines({text1, text2, text3}, help_topic);
}
