// A scripted host for the editing tests. It loads Quillbox.so with the field types from a private
// plug-in directory (once per test program), shows the panel's items sorted as the host sorts
// them, answers dialogs, menus and message boxes from a script, and records what it was shown.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "main/book_format.h"
#include "sdk/far.h"

namespace qb::edtest {

struct Field {
  uint32_t type;
  std::string data;
  bool operator==(const Field&) const = default;
};

struct Shown {
  std::string help;
  std::string title;               // menus
  std::vector<std::string> lines;  // message lines, menu items or dialog items' texts
};

// A dialog answer: may change the items' Data; returns the closing item's index or -1.
using DialogAnswer = std::function<int(FarDialogItem* items, int count)>;
// Types text into the edit lines in order and presses the accepting button.
DialogAnswer Accept(std::vector<std::string> texts);
DialogAnswer Cancel();

class Host {
 public:
  // The plug-in directory: Quillbox.so, the language files and the listed field types.
  static Host& Get();

  // A fresh book (the panel is closed first); then opens the panel at the root.
  void NewBook(const std::function<void()>& build = {});
  // Book paths use "/" between folder names. MakeRecord replaces a record of that name, so a test
  // can change the book behind the panel as another program would.
  void MakeFolder(const std::string& path);
  void MakeRecord(const std::string& path, const std::vector<Field>& fields = {});
  void SetDescription(const std::string& folder, const std::string& text);

  // Reading the book back while the panel is released.
  bool HasFolder(const std::string& path);
  bool HasRecord(const std::string& path);
  std::vector<Field> ReadRecord(const std::string& path);
  // The description stream's bytes; "<none>" without one.
  std::string Description(const std::string& folder);

  // The panel.
  int Cd(const std::string& dir);
  void Reread();
  std::vector<std::string> Names() const;
  std::string CurrentName() const;
  void SetCurrent(int index) { current_ = index; }
  bool SetCurrentName(const std::string& name);
  // Selects items by their position in the panel (item 0 is "..").
  void Select(std::vector<int> indexes) { selected_ = std::move(indexes); }
  int Key(int key, unsigned state = 0);
  int MakeDirectory(char* name, int op_mode = 0);
  int Delete(std::vector<int> indexes, int op_mode = 0);

  // Scripts and what was shown.
  std::deque<DialogAnswer> dialogs;
  std::deque<int> menus;
  std::deque<int> messages;
  std::vector<Shown> shown_dialogs;
  std::vector<Shown> shown_menus;
  std::vector<Shown> shown_messages;
  std::string clipboard = "<untouched>";
  void ClearScripts();

  // The field type "name"'s log and editor.
  std::string TypeLog(const std::string& name);
  void TypeReset(const std::string& name);
  void TypeEditor(const std::string& name, int answer, const std::string& text);

  // Callbacks of the service table.
  int OnControl(int command, void* param);
  int OnMenu(const char* title, const char* help, const FarMenuItem* items, int count);
  int OnDialog(const char* help, FarDialogItem* items, int count);
  int OnMessage(const char* help, const char* const* items, int count);

  const std::string& dir() const { return dir_; }
  std::string book() const { return dir_ + qb::main::kBookFileName; }

 private:
  Host();
  void ClosePanel();
  void FreeItems();

  std::string dir_;
  void* library_ = nullptr;
  HANDLE panel_ = nullptr;
  std::vector<PluginPanelItem> items_;
  PluginPanelItem* found_ = nullptr;
  int found_count_ = 0;
  int current_ = 0;
  std::vector<int> selected_;
  std::vector<PluginPanelItem> selection_;  // what GETPANELINFO hands out
};

}  // namespace qb::edtest
