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
#include "tests/support/scripted_host.h"
#include "tests/support/temp_dir.h"

namespace qb::edtest {

struct Field {
  uint32_t type;
  std::string data;
  bool operator==(const Field&) const = default;
};

using test::DialogAnswer;
// Types text into the edit lines in order and presses the accepting button.
inline DialogAnswer Accept(std::vector<std::string> texts) {
  return test::ScriptedHost::Accept(std::move(texts));
}
inline DialogAnswer Cancel() {
  return test::ScriptedHost::Cancel();
}

// The kit's scripted host (dialog_answers, menu_answers and message_answers script what the user
// does; dialogs, menus and messages record what was shown) with a panel behind it.
class Host : public test::ScriptedHost {
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

  // Empties the scripts and what was shown.
  std::string clipboard = "<untouched>";
  void ClearScripts();

  // The field type "name"'s log and editor.
  std::string TypeLog(const std::string& name);
  void TypeReset(const std::string& name);
  void TypeEditor(const std::string& name, int answer, const std::string& text);

  // The panel's side of FCTL_* calls.
  int OnControl(int command, void* param);

  const std::string& dir() const { return dir_; }
  std::string book() const { return dir_ + qb::main::kBookFileName; }

 private:
  Host();
  void ClosePanel();
  void FreeItems();

  test::TempDir temp_{"qb-edit"};
  std::string dir_ = temp_.path();
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
