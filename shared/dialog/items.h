// Dialog items: each describes itself as one host FarDialogItem, checks what the user left in that
// record, and stores it into the program's variable. Items given a message number take its text
// from the host's messages of this library when they are made; items given a text keep the
// pointer, not a copy, so the text must outlive the dialog.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sdk/far.h"
#include "shared/dialog/bindings.h"

namespace qb::dlg {

class DlgItem {
 public:
  virtual ~DlgItem() = default;
  DlgItem(const DlgItem&) = delete;
  DlgItem& operator=(const DlgItem&) = delete;

  // Writes the item's host record (the record is cleared first by the caller).
  virtual void Fill(FarDialogItem* rec);
  // Checks what the user left in the record; false keeps the dialog open on this item.
  virtual bool Validate(const FarDialogItem& rec);
  // Copies the user's result from the record into the program's variable.
  virtual void Store(const FarDialogItem& rec);

  int left;
  int top;
  int right;
  int bottom;
  DWORD flags;
  const char* text;  // not owned; null shows as the empty text

 protected:
  DlgItem(int type, int left, int top, int right, int bottom, DWORD flags, const char* text);
  // The base record: type, coordinates, flags, Data = the text cut to the host's 511 bytes.
  void FillBase(FarDialogItem* rec) const;

  int type_;
};

class DlgBox : public DlgItem {
 public:
  DlgBox(bool double_box, int left, int top, int right, int bottom, DWORD flags, const char* text);
  DlgBox(bool double_box, int left, int top, int right, int bottom, DWORD flags, int message);
};

class DlgText : public DlgItem {
 public:
  DlgText(int left, int top, DWORD flags, const char* text);
  DlgText(int left, int top, DWORD flags, int message);
};

class DlgButton : public DlgItem {
 public:
  DlgButton(int left, int top, DWORD flags, bool is_default, const char* text);
  DlgButton(int left, int top, DWORD flags, bool is_default, int message);
  void Fill(FarDialogItem* rec) override;

 private:
  bool default_;
};

// A check box bound to a signed 32-bit variable. A three-state box (DIF_3STATE) stores the state
// as it is (0, 1 or 2); an ordinary one stores 1 for any checked state and 0 otherwise.
class DlgCheckBox : public DlgItem {
 public:
  DlgCheckBox(int left, int top, DWORD flags, const char* text, int* variable);
  DlgCheckBox(int left, int top, DWORD flags, int message, int* variable);
  void Fill(FarDialogItem* rec) override;
  void Store(const FarDialogItem& rec) override;

 private:
  int* variable_;
};

// A check box that shows and sets the bits of a mask in a variable, leaving its other bits alone.
class DlgFlagCheckBox : public DlgItem {
 public:
  DlgFlagCheckBox(int left, int top, DWORD flags, const char* text, int* variable, uint32_t mask);
  DlgFlagCheckBox(int left, int top, DWORD flags, int message, int* variable, uint32_t mask);
  void Fill(FarDialogItem* rec) override;
  void Store(const FarDialogItem& rec) override;

 private:
  int* variable_;
  uint32_t mask_;
};

// One radio button of a group: selected when the variable holds its value; sets it when chosen.
// The first button of a group carries DIF_GROUP.
class DlgRadioButton : public DlgItem {
 public:
  DlgRadioButton(int left, int top, DWORD flags, const char* text, int* variable, int value);
  DlgRadioButton(int left, int top, DWORD flags, int message, int* variable, int value);
  void Fill(FarDialogItem* rec) override;
  void Store(const FarDialogItem& rec) override;

 private:
  int* variable_;
  int value_;
};

// An edit line (DI_EDIT, DI_PSWEDIT or DI_FIXEDIT). It always carries DIF_EDITEXPAND, and
// DIF_HISTORY with the history name when one is given. Its value comes from the binding; without
// one the line starts empty and nothing is stored.
class DlgEdit : public DlgItem {
 public:
  DlgEdit(int left, int top, int right, DWORD flags, const char* history,
          std::unique_ptr<DlgBinding> binding, int type = DI_EDIT);
  void Fill(FarDialogItem* rec) override;
  bool Validate(const FarDialogItem& rec) override;
  void Store(const FarDialogItem& rec) override;

 private:
  const char* history_;
  std::unique_ptr<DlgBinding> binding_;
};

// A combo box with its own copy of the list (entries cut to the host's 127 bytes). Bound to an
// index variable, it preselects that entry (entry 0 when the index is out of range) and stores the
// index of the first entry whose text equals the result exactly, or -1 when none does. Without an
// index variable it behaves as a plain edit line without a binding.
class DlgComboBox : public DlgEdit {
 public:
  DlgComboBox(int left, int top, int right, DWORD flags, int* index, const char* const* texts,
              int count);
  DlgComboBox(int left, int top, int right, DWORD flags, int* index,
              const std::vector<const char*>& texts);
  void Fill(FarDialogItem* rec) override;
  bool Validate(const FarDialogItem& rec) override;
  void Store(const FarDialogItem& rec) override;

  const FarList& list() const { return list_; }

 private:
  int* index_;
  std::vector<FarListItem> entries_;
  FarList list_{};
};

}  // namespace qb::dlg
