// The host's service table for tests: PluginStartupInfo filled with callbacks that record what the
// plug-in asks for (dialogs, menus, message boxes, panel control) and answer from a script. This is
// how dialogs, messages and menus are tested without a screen.
//
// The table's functions are plain C pointers, so they reach the host made last that is still
// alive; a host that goes hands the table back to the one before it.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "sdk/far.h"

namespace qb::test {

// Plays the user's part in one showing of a dialog: may change the items (typing, ticking) and
// returns the index of the closing item, or -1 for Esc.
using DialogAnswer = std::function<int(FarDialogItem* items, int count)>;

class ScriptedHost {
 public:
  struct DialogCall {
    int x1, y1, x2, y2;
    std::string help;
    std::vector<FarDialogItem> items;  // as the plug-in handed them in, before the answer
    std::vector<std::string> lines;    // the items' texts, the same
    bool ex = false;
  };
  struct MessageCall {
    DWORD flags;
    std::string help;
    std::vector<std::string> lines;  // a null line is "<null>"
    int buttons;
  };
  struct MenuCall {
    DWORD flags;
    std::string title;
    std::string help;
    std::vector<std::string> lines;  // the items' texts
  };

  explicit ScriptedHost(const std::string& module_name = "/plugins/Quillbox.so",
                        int module_number = 7);
  virtual ~ScriptedHost();
  ScriptedHost(const ScriptedHost&) = delete;
  ScriptedHost& operator=(const ScriptedHost&) = delete;

  // Empties the scripts and what was recorded, and puts view_mode back.
  void Reset();

  PluginStartupInfo info;

  // GetMsg's answers; any other number answers missing_msg.
  std::map<int, std::string> msgs;
  const char* missing_msg = nullptr;
  std::vector<int> msg_module_numbers;

  // Scripts: an empty dialog script answers Esc, an empty menu script Esc (-1), an empty message
  // script 0.
  std::deque<DialogAnswer> dialog_answers;
  std::deque<int> menu_answers;
  // The break key that ends each menu: the index in the menu's break keys, taken one per menu
  // that has break keys (none left: no break key, -1).
  std::deque<int> menu_break_codes;
  std::deque<int> message_answers;

  std::vector<DialogCall> dialogs;
  std::vector<MessageCall> messages;
  std::vector<MenuCall> menus;

  // Panel control: every call as (command, the view mode for FCTL_SETVIEWMODE, else 0). Without
  // a handler, FCTL_GETPANELINFO reports view_mode and every call answers 1.
  std::vector<std::pair<int, int>> controls;
  int view_mode = 2;
  std::function<int(int command, void* param)> control;

  // Answers: type text into item `index` and close on item `close`; close on `close`.
  static DialogAnswer Type(int index, std::string text, int close);
  static DialogAnswer Close(int close);
  // Types the texts into the edit lines in order and presses the accepting button (the next to
  // last item, as the dialog builder lays out OK and Cancel); Esc.
  static DialogAnswer Accept(std::vector<std::string> texts);
  static DialogAnswer Cancel();

 private:
  static ScriptedHost* Current();
  static int RunDialog(bool ex, int x1, int y1, int x2, int y2, const char* help,
                       FarDialogItem* items, int count);
  static int DialogThunk(int, int x1, int y1, int x2, int y2, const char* help,
                         FarDialogItem* items, int count);
  static int DialogExThunk(int, int x1, int y1, int x2, int y2, const char* help,
                           FarDialogItem* items, int count, DWORD, DWORD, FARWINDOWPROC, long);
  static int MessageThunk(int, DWORD flags, const char* help, const char* const* lines, int n,
                          int buttons);
  static int MenuThunk(int, int, int, int, DWORD flags, const char* title, const char*,
                       const char* help, const int*, int* break_code, const FarMenuItem* items,
                       int n);
  static int ControlThunk(HANDLE, int command, void* param);
  static const char* GetMsgThunk(int module, int n);

  ScriptedHost* previous_ = nullptr;
  static inline ScriptedHost* current_ = nullptr;
};

}  // namespace qb::test
