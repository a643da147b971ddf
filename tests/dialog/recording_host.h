// A host service table that records what the plug-in asks of it and answers from a script: the
// way to test dialogs, message boxes and menus without a screen. One recording host is current at
// a time (the table's functions are plain C pointers).
#pragma once

#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sdk/far.h"

namespace qb::test {

class RecordingHost {
 public:
  struct DialogCall {
    int x1, y1, x2, y2;
    std::string help;
    std::vector<FarDialogItem> items;  // as the plug-in handed them in, before the script ran
    bool ex = false;
  };
  struct MessageCall {
    DWORD flags;
    std::string help;
    std::vector<std::string> lines;
    int buttons;
  };
  struct MenuCall {
    DWORD flags;
    std::string title;
    std::string help;
    std::vector<std::string> items;
  };
  // Plays the user's part in one showing of a dialog: may change the records (typing, ticking)
  // and returns the index of the closing item, or -1 for Esc.
  using DialogStep = std::function<int(FarDialogItem* items, int count)>;

  RecordingHost() {
    std::memset(&info, 0, sizeof(info));
    info.StructSize = sizeof(info);
    std::strcpy(info.ModuleName, "/plugins/Quillbox.so");
    info.ModuleNumber = 7;
    info.RootKey = "Software\\Far\\Plugins";
    info.Menu = &MenuThunk;
    info.Dialog = &DialogThunk;
    info.DialogEx = &DialogExThunk;
    info.Message = &MessageThunk;
    info.GetMsg = &GetMsgThunk;
    current_ = this;
  }
  ~RecordingHost() {
    if (current_ == this) current_ = nullptr;
  }
  RecordingHost(const RecordingHost&) = delete;
  RecordingHost& operator=(const RecordingHost&) = delete;

  PluginStartupInfo info;
  std::map<int, std::string> msgs;  // GetMsg answers; others are null
  std::deque<DialogStep> dialog_script;  // empty: Esc
  std::deque<int> message_results;       // empty: 0
  std::deque<int> menu_results;          // empty: -1 (Esc)
  std::vector<DialogCall> dialogs;
  std::vector<MessageCall> messages;
  std::vector<MenuCall> menus;
  std::vector<int> msg_module_numbers;

  // A step that types text into item `index` and closes on item `close`.
  static DialogStep Type(int index, std::string text, int close) {
    return [index, text, close](FarDialogItem* items, int) {
      std::strncpy(items[index].Data, text.c_str(), sizeof(items[index].Data) - 1);
      items[index].Data[sizeof(items[index].Data) - 1] = '\0';
      return close;
    };
  }
  static DialogStep Close(int close) {
    return [close](FarDialogItem*, int) { return close; };
  }

 private:
  static inline RecordingHost* current_ = nullptr;

  static int RunDialog(bool ex, int x1, int y1, int x2, int y2, const char* help,
                       FarDialogItem* items, int count) {
    RecordingHost& h = *current_;
    h.dialogs.push_back({x1, y1, x2, y2, help ? help : "", {items, items + count}, ex});
    if (h.dialog_script.empty()) return -1;
    DialogStep step = std::move(h.dialog_script.front());
    h.dialog_script.pop_front();
    return step(items, count);
  }
  static int DialogThunk(int, int x1, int y1, int x2, int y2, const char* help,
                         FarDialogItem* items, int count) {
    return RunDialog(false, x1, y1, x2, y2, help, items, count);
  }
  static int DialogExThunk(int, int x1, int y1, int x2, int y2, const char* help,
                           FarDialogItem* items, int count, DWORD, DWORD, FARWINDOWPROC, long) {
    return RunDialog(true, x1, y1, x2, y2, help, items, count);
  }
  static int MessageThunk(int, DWORD flags, const char* help, const char* const* lines, int n,
                          int buttons) {
    RecordingHost& h = *current_;
    MessageCall call{flags, help ? help : "", {}, buttons};
    for (int i = 0; i < n; ++i) call.lines.push_back(lines[i] ? lines[i] : "<null>");
    h.messages.push_back(call);
    if (h.message_results.empty()) return 0;
    int r = h.message_results.front();
    h.message_results.pop_front();
    return r;
  }
  static int MenuThunk(int, int, int, int, DWORD flags, const char* title, const char*,
                       const char* help, const int*, int* break_code, const FarMenuItem* items,
                       int n) {
    RecordingHost& h = *current_;
    MenuCall call{flags, title ? title : "", help ? help : "", {}};
    for (int i = 0; i < n; ++i) call.items.push_back(items[i].Text);
    h.menus.push_back(call);
    if (break_code != nullptr) *break_code = -1;
    if (h.menu_results.empty()) return -1;
    int r = h.menu_results.front();
    h.menu_results.pop_front();
    return r;
  }
  static const char* GetMsgThunk(int module, int n) {
    RecordingHost& h = *current_;
    h.msg_module_numbers.push_back(module);
    auto it = h.msgs.find(n);
    return it == h.msgs.end() ? nullptr : it->second.c_str();
  }
};

}  // namespace qb::test
