#include "host/core/command_line.h"

#include <strings.h>

#include <algorithm>

#include "host/core/colors.h"
#include "sdk/far.h"

namespace qb::host {

Command ParseCommand(const std::string& line, const std::string& prefixes) {
  std::string cmd = line;
  while (!cmd.empty() && cmd.back() == ' ') cmd.pop_back();
  size_t start = cmd.find_first_not_of(' ');
  cmd = start == std::string::npos ? "" : cmd.substr(start);
  if (cmd.empty()) return {};
  size_t colon = cmd.find(':');
  if (colon != std::string::npos) {
    std::string prefix = cmd.substr(0, colon);
    size_t pos = 0;
    while (!prefix.empty() && pos <= prefixes.size()) {
      size_t next = prefixes.find(':', pos);
      if (next == std::string::npos) next = prefixes.size();
      if (strcasecmp(prefixes.substr(pos, next - pos).c_str(), prefix.c_str()) == 0)
        return {Command::kPlugin, cmd.substr(colon + 1)};
      pos = next + 1;
    }
  }
  if (cmd == "cd" || cmd.rfind("cd ", 0) == 0)
    return {Command::kChangeDir, cmd.size() > 3 ? cmd.substr(3) : "~"};
  return {Command::kOther, cmd};
}

CommandLine::KeyResult CommandLine::Key(const Event& ev) {
  if ((ev.control & (PKF_CONTROL | PKF_ALT)) != 0) return kNotMine;
  if (ev.ch >= 0x20) {
    editor_.Key(ev);
    return kEdited;
  }
  if (editor_.empty()) return kNotMine;
  if (ev.vk == VK_ESCAPE) {
    editor_.SetText(std::u32string());
    return kEdited;
  }
  if (ev.vk == VK_RETURN) return kEnter;
  return editor_.Key(ev) ? kEdited : kNotMine;
}

std::string CommandLine::Take() {
  std::string text = editor_.Utf8();
  editor_.SetText(std::u32string());
  return text;
}

void CommandLine::Draw(Screen& s, int y, const std::string& prompt) {
  if (y < 0) return;
  const colors::Pair c = colors::kCommandLine;
  s.Fill(0, y, s.cols(), 1, U' ', c.fg, c.bg);
  int used = s.Text(0, y, prompt, c.fg, c.bg);
  const int room = std::max(1, s.cols() - used - 1);
  editor_.ScrollToStart();
  const int cursor_cells = editor_.ScrollIntoView(room + 1);
  s.Text(used, y, EncodeUtf8(editor_.text().substr(editor_.scroll())), c.fg, c.bg);
  s.SetCursor(std::min(used + cursor_cells, s.cols() - 1), y, true);
}

}  // namespace qb::host
