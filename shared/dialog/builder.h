// DlgBuilder: a dialog put together from items, shown through the host's Dialog (or DialogEx with
// a dialog procedure), validated, and stored back into the program's variables when accepted.
//
// Typical use: make the builder, AddFrame, Add labels, edits and check boxes, AddButtons(0, 1),
// Run(); a result of 0 or more is an acceptance. Variables change only in an accepted run.
#pragma once

#include <initializer_list>
#include <memory>
#include <span>
#include <vector>

#include "sdk/far.h"
#include "shared/dialog/items.h"

namespace qb::dlg {

class DlgBuilder {
 public:
  DlgBuilder(int width, int height, const char* help_topic);
  DlgBuilder(const DlgBuilder&) = delete;
  DlgBuilder& operator=(const DlgBuilder&) = delete;
  ~DlgBuilder();

  // Appends an item; the dialog owns it from now on. Returns it for further setting.
  template <typename T>
  T* Add(std::unique_ptr<T> item) {
    T* raw = item.get();
    items_.push_back(std::move(item));
    return raw;
  }
  // Makes and appends an item of type T from the constructor arguments.
  template <typename T, typename... Args>
  T* Make(Args&&... args) {
    return Add(std::make_unique<T>(std::forward<Args>(args)...));
  }

  // A double box with the title, from column 3 to width - 4 and row 1 to height - 2 of a centred
  // dialog (of a placed one: to X2 - X1 - 1 and Y2 - Y1 - 1).
  DlgBox* AddFrame(const char* title);
  DlgBox* AddFrame(int message);
  // Two buttons centred together on row height - 4 (placed: Y2 - Y1 - 3); the first is the
  // default button and, when this is the last step, the single exit of Run().
  void AddButtons(int accept_message, int cancel_message);

  // Single exit: 0 when the dialog closed on the item before the last (the accepting button of
  // AddButtons), -1 for anything else. Stores only on 0.
  int Run();
  // Exit list: the position in `exits` of the item that closed the dialog (negative entries count
  // from the end: -1 is the last item), or -1 when it is not listed or the user escaped. Stores
  // only when the result is 0 or more.
  int Run(std::span<const int> exits);
  int Run(std::initializer_list<int> exits) {
    return Run(std::span<const int>(exits.begin(), exits.size()));
  }

  int count() const { return static_cast<int>(items_.size()); }
  DlgItem* item(int index) const { return items_[static_cast<size_t>(index)].get(); }

  int left = -1;  // X1; -1 centres the dialog
  int top = -1;   // Y1; -1 centres the dialog
  int width;      // X2; the width when centred
  int height;     // Y2; the height when centred
  int focus = 0;  // item with the focus when the dialog first opens
  const char* help_topic;
  FARWINDOWPROC dialog_proc = nullptr;
  long proc_param = 0;

 private:
  // Shows the dialog until the user closes it on an exit whose items all validate, or leaves it.
  // Returns the exit position (exits empty: single exit) or -1.
  int RunRule(bool single, std::span<const int> exits);
  int ShowOnce(std::vector<FarDialogItem>& records);

  std::vector<std::unique_ptr<DlgItem>> items_;
};

}  // namespace qb::dlg
