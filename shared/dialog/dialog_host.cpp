#include "shared/dialog/dialog_host.h"

#include <string>

namespace qb::dlg {
namespace {

struct HostState {
  const PluginStartupInfo* info = nullptr;
  // Copies: the texts of a language store may be emptied and reloaded while the library lives.
  std::string error_title;
  std::string error_button;
};

HostState& St() {
  static HostState state;
  return state;
}

}  // namespace

void SetHost(const PluginStartupInfo* info) {
  St().info = info;
}

const PluginStartupInfo* Host() {
  return St().info;
}

const char* HostMsg(int n) {
  const PluginStartupInfo* info = St().info;
  if (info == nullptr || info->GetMsg == nullptr) return nullptr;
  return info->GetMsg(info->ModuleNumber, n);
}

void SetErrorTexts(int title_msg, int button_msg) {
  SetErrorTexts(HostMsg(title_msg), HostMsg(button_msg));
}

void SetErrorTexts(const char* title, const char* button) {
  St().error_title = title != nullptr ? title : "";
  St().error_button = button != nullptr ? button : "";
}

const char* ErrorTitle() {
  return St().error_title.c_str();
}
const char* ErrorButton() {
  return St().error_button.c_str();
}

}  // namespace qb::dlg
