// Value bindings: what connects an edit line to one of the program's variables. A binding writes
// the variable into the edit's host record before the dialog is shown, checks what the user left
// there, and writes it back when the dialog is accepted.
#pragma once

#include <cstddef>
#include <functional>
#include <utility>

#include "sdk/far.h"

namespace qb::dlg {

// Checks a text the user typed; true accepts it.
using TextCheck = std::function<bool(const char* text)>;

class DlgBinding {
 public:
  virtual ~DlgBinding() = default;
  // Writes the variable's value into the record's Data.
  virtual void Fill(FarDialogItem* rec) = 0;
  // Checks the record's Data; false keeps the dialog open on this item.
  virtual bool Validate(const FarDialogItem& rec);
  // Writes the record's Data back into the variable.
  virtual void Store(const FarDialogItem& rec) = 0;
};

// What the text bindings share: the typed text is accepted when there is no check or the check
// accepts it.
class DlgTextBinding : public DlgBinding {
 public:
  bool Validate(const FarDialogItem& rec) override;

 protected:
  explicit DlgTextBinding(TextCheck check) : check_(std::move(check)) {}

 private:
  TextCheck check_;
};

// Bound to a caller's character buffer of `size` bytes (512 unless told otherwise: a whole item
// text). Longer texts are cut to the buffer.
class DlgStrBufBinding : public DlgTextBinding {
 public:
  explicit DlgStrBufBinding(char* buffer, size_t size = sizeof(FarDialogItem::Data),
                            TextCheck check = nullptr);
  void Fill(FarDialogItem* rec) override;
  void Store(const FarDialogItem& rec) override;

 private:
  char* buffer_;
  size_t size_;
};

// Bound to a pointer variable holding a heap text (malloc heap: the one behind the main library's
// Malloc and Free) or null. Null shows as an empty line; storing frees the old text and sets a new
// heap copy of what was typed (the empty text when nothing was).
class DlgStrBinding : public DlgTextBinding {
 public:
  explicit DlgStrBinding(char** variable, TextCheck check = nullptr);
  void Fill(FarDialogItem* rec) override;
  void Store(const FarDialogItem& rec) override;

 private:
  char** variable_;
};

// Bound to a signed 32-bit variable with an accepted range. The text is read as "0x" or "0X" plus
// hexadecimal, "$" plus hexadecimal, or decimal; the empty text is 0. A value that can't be read
// or lies outside [min, max] shows an error box whose text is the range message (a format with two
// "%d" places: minimum, maximum) and keeps the dialog open.
class DlgIntBinding : public DlgBinding {
 public:
  // The range message by number, from the host's messages of this library.
  DlgIntBinding(int* variable, int min, int max, int message, const char* help_topic);
  // The range message as a text (field types pass texts from their language module).
  DlgIntBinding(int* variable, int min, int max, const char* message, const char* help_topic);
  void Fill(FarDialogItem* rec) override;
  bool Validate(const FarDialogItem& rec) override;
  void Store(const FarDialogItem& rec) override;

 private:
  int* variable_;
  int min_;
  int max_;
  const char* message_;
  const char* help_topic_;
};

}  // namespace qb::dlg
