#include "shared/dialog/items.h"

#include <cstring>

#include "shared/dialog/dialog_host.h"
#include "shared/dialog/text_cut.h"

namespace qb::dlg {

DlgItem::DlgItem(int type, int l, int t, int r, int b, DWORD f, const char* txt)
    : left(l), top(t), right(r), bottom(b), flags(f), text(txt), type_(type) {}

void DlgItem::FillBase(FarDialogItem* rec) const {
  rec->Type = type_;
  rec->X1 = left;
  rec->Y1 = top;
  rec->X2 = right;
  rec->Y2 = bottom;
  rec->Focus = 0;
  rec->Selected = 0;
  rec->Flags = flags;
  rec->DefaultButton = 0;
  CopyCut(rec->Data, sizeof(rec->Data), text);
}

void DlgItem::Fill(FarDialogItem* rec) {
  FillBase(rec);
}
bool DlgItem::Validate(const FarDialogItem&) {
  return true;
}
void DlgItem::Store(const FarDialogItem&) {}

// ---- Box, text, button ------------------------------------------------------------------------

DlgBox::DlgBox(bool dbl, int l, int t, int r, int b, DWORD f, const char* txt)
    : DlgItem(dbl ? DI_DOUBLEBOX : DI_SINGLEBOX, l, t, r, b, f, txt) {}
DlgBox::DlgBox(bool dbl, int l, int t, int r, int b, DWORD f, int message)
    : DlgBox(dbl, l, t, r, b, f, HostMsg(message)) {}

DlgText::DlgText(int l, int t, DWORD f, const char* txt) : DlgItem(DI_TEXT, l, t, 0, 0, f, txt) {}
DlgText::DlgText(int l, int t, DWORD f, int message) : DlgText(l, t, f, HostMsg(message)) {}

DlgButton::DlgButton(int l, int t, DWORD f, bool is_default, const char* txt)
    : DlgItem(DI_BUTTON, l, t, 0, 0, f, txt), default_(is_default) {}
DlgButton::DlgButton(int l, int t, DWORD f, bool is_default, int message)
    : DlgButton(l, t, f, is_default, HostMsg(message)) {}

void DlgButton::Fill(FarDialogItem* rec) {
  FillBase(rec);
  rec->DefaultButton = default_ ? 1 : 0;
}

// ---- Check boxes and radio buttons -------------------------------------------------------------

DlgCheckBox::DlgCheckBox(int l, int t, DWORD f, const char* txt, int* variable)
    : DlgItem(DI_CHECKBOX, l, t, 0, 0, f, txt), variable_(variable) {}
DlgCheckBox::DlgCheckBox(int l, int t, DWORD f, int message, int* variable)
    : DlgCheckBox(l, t, f, HostMsg(message), variable) {}

void DlgCheckBox::Fill(FarDialogItem* rec) {
  FillBase(rec);
  rec->Selected = variable_ != nullptr ? *variable_ : 0;
}

void DlgCheckBox::Store(const FarDialogItem& rec) {
  if (variable_ == nullptr) return;
  if (flags & DIF_3STATE) {
    *variable_ = rec.Selected;
  } else {
    *variable_ = rec.Selected != 0 ? 1 : 0;
  }
}

DlgFlagCheckBox::DlgFlagCheckBox(int l, int t, DWORD f, const char* txt, int* variable,
                                 uint32_t mask)
    : DlgItem(DI_CHECKBOX, l, t, 0, 0, f, txt), variable_(variable), mask_(mask) {}
DlgFlagCheckBox::DlgFlagCheckBox(int l, int t, DWORD f, int message, int* variable, uint32_t mask)
    : DlgFlagCheckBox(l, t, f, HostMsg(message), variable, mask) {}

void DlgFlagCheckBox::Fill(FarDialogItem* rec) {
  FillBase(rec);
  uint32_t bits = variable_ != nullptr ? static_cast<uint32_t>(*variable_) : 0;
  rec->Selected = static_cast<int>(bits & mask_);
}

void DlgFlagCheckBox::Store(const FarDialogItem& rec) {
  if (variable_ == nullptr) return;
  uint32_t bits = static_cast<uint32_t>(*variable_);
  bits = rec.Selected != 0 ? (bits | mask_) : (bits & ~mask_);
  *variable_ = static_cast<int>(bits);
}

DlgRadioButton::DlgRadioButton(int l, int t, DWORD f, const char* txt, int* variable, int value)
    : DlgItem(DI_RADIOBUTTON, l, t, 0, 0, f, txt), variable_(variable), value_(value) {}
DlgRadioButton::DlgRadioButton(int l, int t, DWORD f, int message, int* variable, int value)
    : DlgRadioButton(l, t, f, HostMsg(message), variable, value) {}

void DlgRadioButton::Fill(FarDialogItem* rec) {
  FillBase(rec);
  rec->Selected = variable_ != nullptr && *variable_ == value_ ? 1 : 0;
}

void DlgRadioButton::Store(const FarDialogItem& rec) {
  if (variable_ != nullptr && rec.Selected != 0) *variable_ = value_;
}

// ---- Edit lines ---------------------------------------------------------------------------------

DlgEdit::DlgEdit(int l, int t, int r, DWORD f, const char* history,
                 std::unique_ptr<DlgBinding> binding, int type)
    : DlgItem(type, l, t, r, 0, f, nullptr), history_(history), binding_(std::move(binding)) {}

void DlgEdit::Fill(FarDialogItem* rec) {
  FillBase(rec);
  rec->Flags = flags | DIF_EDITEXPAND;
  if (history_ != nullptr) {
    rec->Flags |= DIF_HISTORY;
    rec->History = history_;
  }
  if (binding_ != nullptr) binding_->Fill(rec);
}

bool DlgEdit::Validate(const FarDialogItem& rec) {
  return binding_ == nullptr || binding_->Validate(rec);
}

void DlgEdit::Store(const FarDialogItem& rec) {
  if (binding_ != nullptr) binding_->Store(rec);
}

// ---- Combo box ----------------------------------------------------------------------------------

DlgComboBox::DlgComboBox(int l, int t, int r, DWORD f, int* index, const char* const* texts,
                         int count)
    : DlgEdit(l, t, r, f, nullptr, nullptr, DI_COMBOBOX), index_(index) {
  if (texts != nullptr && count > 0) {
    entries_.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      FarListItem& e = entries_[static_cast<size_t>(i)];
      std::memset(&e, 0, sizeof(e));
      CopyCut(e.Text, sizeof(e.Text), texts[i]);
    }
  }
  list_.ItemsNumber = static_cast<int>(entries_.size());
  list_.Items = entries_.empty() ? nullptr : entries_.data();
}

DlgComboBox::DlgComboBox(int l, int t, int r, DWORD f, int* index,
                         const std::vector<const char*>& texts)
    : DlgComboBox(l, t, r, f, index, texts.data(), static_cast<int>(texts.size())) {}

void DlgComboBox::Fill(FarDialogItem* rec) {
  DlgEdit::Fill(rec);
  rec->ListItems = &list_;
  for (FarListItem& e : entries_) e.Flags = 0;
  if (index_ != nullptr && !entries_.empty()) {
    int n = static_cast<int>(entries_.size());
    int sel = (*index_ >= 0 && *index_ < n) ? *index_ : 0;
    entries_[static_cast<size_t>(sel)].Flags = LIF_SELECTED;
    // The line shows the chosen entry, so a host that reads Data sees the same as the list.
    CopyCut(rec->Data, sizeof(rec->Data), entries_[static_cast<size_t>(sel)].Text);
  }
}

bool DlgComboBox::Validate(const FarDialogItem& rec) {
  return index_ != nullptr || DlgEdit::Validate(rec);
}

void DlgComboBox::Store(const FarDialogItem& rec) {
  if (index_ == nullptr) {
    DlgEdit::Store(rec);
    return;
  }
  *index_ = -1;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (std::strncmp(entries_[i].Text, rec.Data, sizeof(rec.Data)) == 0) {
      *index_ = static_cast<int>(i);
      return;
    }
  }
}

}  // namespace qb::dlg
