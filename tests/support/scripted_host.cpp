#include "tests/support/scripted_host.h"

#include <cstdio>
#include <cstring>

namespace qb::test {

ScriptedHost::ScriptedHost(const std::string& module_name, int module_number) {
  std::memset(&info, 0, sizeof(info));
  info.StructSize = sizeof(info);
  std::snprintf(info.ModuleName, sizeof info.ModuleName, "%s", module_name.c_str());
  info.ModuleNumber = module_number;
  info.RootKey = "Software\\Far\\Plugins";
  info.Menu = &MenuThunk;
  info.Dialog = &DialogThunk;
  info.DialogEx = &DialogExThunk;
  info.Message = &MessageThunk;
  info.Control = &ControlThunk;
  info.GetMsg = &GetMsgThunk;
  previous_ = current_;
  current_ = this;
}

ScriptedHost::~ScriptedHost() {
  if (current_ == this) current_ = previous_;
}

void ScriptedHost::Reset() {
  msg_module_numbers.clear();
  dialog_answers.clear();
  menu_answers.clear();
  menu_break_codes.clear();
  message_answers.clear();
  dialogs.clear();
  messages.clear();
  menus.clear();
  controls.clear();
  view_mode = 2;
}

DialogAnswer ScriptedHost::Type(int index, std::string text, int close) {
  return [index, text, close](FarDialogItem* items, int) {
    std::strncpy(items[index].Data, text.c_str(), sizeof(items[index].Data) - 1);
    items[index].Data[sizeof(items[index].Data) - 1] = '\0';
    return close;
  };
}

DialogAnswer ScriptedHost::Close(int close) {
  return [close](FarDialogItem*, int) { return close; };
}

DialogAnswer ScriptedHost::Accept(std::vector<std::string> texts) {
  return [texts](FarDialogItem* items, int count) {
    std::size_t next = 0;
    for (int i = 0; i < count && next < texts.size(); ++i) {
      if (items[i].Type != DI_EDIT) continue;
      std::snprintf(items[i].Data, sizeof items[i].Data, "%s", texts[next++].c_str());
    }
    return count - 2;
  };
}

DialogAnswer ScriptedHost::Cancel() {
  return [](FarDialogItem*, int) { return -1; };
}

ScriptedHost* ScriptedHost::Current() {
  if (current_ == nullptr) {
    std::fprintf(stderr, "a host service was called with no ScriptedHost alive\n");
    std::abort();
  }
  return current_;
}

int ScriptedHost::RunDialog(bool ex, int x1, int y1, int x2, int y2, const char* help,
                            FarDialogItem* items, int count) {
  ScriptedHost& h = *Current();
  DialogCall call{x1, y1, x2, y2, help ? help : "", {items, items + count}, {}, ex};
  for (int i = 0; i < count; ++i) call.lines.push_back(items[i].Data);
  h.dialogs.push_back(std::move(call));
  if (h.dialog_answers.empty()) return -1;
  DialogAnswer answer = std::move(h.dialog_answers.front());
  h.dialog_answers.pop_front();
  return answer(items, count);
}

int ScriptedHost::DialogThunk(int, int x1, int y1, int x2, int y2, const char* help,
                              FarDialogItem* items, int count) {
  return RunDialog(false, x1, y1, x2, y2, help, items, count);
}

int ScriptedHost::DialogExThunk(int, int x1, int y1, int x2, int y2, const char* help,
                                FarDialogItem* items, int count, DWORD, DWORD, FARWINDOWPROC,
                                long) {
  return RunDialog(true, x1, y1, x2, y2, help, items, count);
}

int ScriptedHost::MessageThunk(int, DWORD flags, const char* help, const char* const* lines, int n,
                               int buttons) {
  ScriptedHost& h = *Current();
  MessageCall call{flags, help ? help : "", {}, buttons};
  for (int i = 0; i < n; ++i) call.lines.push_back(lines[i] ? lines[i] : "<null>");
  h.messages.push_back(std::move(call));
  if (h.message_answers.empty()) return 0;
  const int r = h.message_answers.front();
  h.message_answers.pop_front();
  return r;
}

int ScriptedHost::MenuThunk(int, int, int, int, DWORD flags, const char* title, const char*,
                            const char* help, const int* break_keys, int* break_code,
                            const FarMenuItem* items, int n) {
  ScriptedHost& h = *Current();
  MenuCall call{flags, title ? title : "", help ? help : "", {}};
  for (int i = 0; i < n; ++i) call.lines.push_back(items[i].Text);
  h.menus.push_back(std::move(call));
  if (break_code != nullptr) *break_code = -1;
  if (break_keys != nullptr && break_code != nullptr && !h.menu_break_codes.empty()) {
    *break_code = h.menu_break_codes.front();
    h.menu_break_codes.pop_front();
  }
  if (h.menu_answers.empty()) return -1;
  const int r = h.menu_answers.front();
  h.menu_answers.pop_front();
  return r;
}

int ScriptedHost::ControlThunk(HANDLE, int command, void* param) {
  ScriptedHost& h = *Current();
  int value = 0;
  if (command == FCTL_SETVIEWMODE && param) value = *static_cast<int*>(param);
  h.controls.emplace_back(command, value);
  if (h.control) return h.control(command, param);
  if (command == FCTL_GETPANELINFO && param) static_cast<PanelInfo*>(param)->ViewMode = h.view_mode;
  return 1;
}

const char* ScriptedHost::GetMsgThunk(int module, int n) {
  ScriptedHost& h = *Current();
  h.msg_module_numbers.push_back(module);
  auto it = h.msgs.find(n);
  return it == h.msgs.end() ? h.missing_msg : it->second.c_str();
}

}  // namespace qb::test
