#include "main/progress.h"

#include <dlfcn.h>

#include <cstdio>

#include "main/messages.h"
#include "main/plugin_state.h"
#include "sdk/host_exports.h"

namespace qb::main {

ProgressBox::ProgressBox(void* panel, int title, int text)
    : panel_(panel), title_(title), text_(text) {}

ProgressBox::~ProgressBox() {
  const PluginStartupInfo& host = State().info;
  if (shown_ && host.Control) host.Control(panel_, FCTL_REDRAWPANEL, nullptr);
}

void ProgressBox::Step() {
  ++steps_;
  if (steps_ >= kShowFrom && (steps_ - kShowFrom) % kRedrawEvery == 0) Show();
}

void ProgressBox::Show() {
  const PluginStartupInfo& host = State().info;
  if (!host.Message) return;
  char line[256];
  std::snprintf(line, sizeof line, Msg(text_), steps_);
  const char* lines[] = {Msg(title_), line};
  host.Message(host.ModuleNumber, 0, nullptr, lines, 2, 0);
  shown_ = true;
}

bool ProgressBox::EscapePressed() {
  // Looked up once: the host program does not change while the library is loaded.
  static const auto check =
      reinterpret_cast<PFN_QbCheckForEscape>(dlsym(RTLD_DEFAULT, QB_CHECK_FOR_ESCAPE_NAME));
  return check && check() != 0;
}

}  // namespace qb::main
