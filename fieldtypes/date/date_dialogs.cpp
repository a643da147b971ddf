// The edit dialog of a Date field and the library's configuration dialog.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fieldtypes/date/date_state.h"
#include "shared/dialog/dialog.h"
#include "shared/fieldtype/field_type.h"

namespace qb::date {

namespace {

using dlg::DlgBuilder;
using dlg::DlgCheckBox;
using dlg::DlgComboBox;
using dlg::DlgEdit;
using dlg::DlgIntBinding;
using dlg::DlgRadioButton;
using dlg::DlgStrBinding;
using dlg::DlgText;

// The main module's range error, by number through the host.
constexpr int kRangeError = 11;

std::unique_ptr<DlgIntBinding> Number(int* value, int min, int max) {
  return std::make_unique<DlgIntBinding>(value, min, max, kRangeError, nullptr);
}

// The host's table is bigger than the first FAR versions' (336 bytes) when it can show a list
// inside a dialog; only then, and only when dates show the month other than as a number, is the
// month picked from a list.
bool ListLayout() {
  return fieldtype::HostInfo().StructSize > 336 && St().settings.show_month != 0;
}

// A heap (C heap, as the string bindings use) copy of text, or null for the empty text.
char* WorkingCopy(const std::string& text) {
  if (text.empty()) return nullptr;
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

// Values from a book are not trusted: what the dialog starts from lies within its ranges.
int Clamp(int value, int min, int max) {
  return std::min(std::max(value, min), max);
}

}  // namespace

int EditDate(const void* data, uint32_t size, void** new_data, uint32_t* new_size,
             uint32_t* new_type) {
  DateState& s = St();
  DateField field;
  if (data != nullptr) {
    field = ParseDateField(data, size);
    field.day = Clamp(field.day, 1, 31);
    field.month = Clamp(field.month, 1, 12);
    field.year = Clamp(field.year, 1, 9999);
  } else {
    field.day = 1;
    field.month = 1;
    field.year = 1980;
    field.kind = 0;
  }
  int day = field.day;
  int month = field.month;
  int month_index = field.month - 1;
  int year = field.year;
  int kind = field.kind;
  char* name = WorkingCopy(field.name);
  char* text = WorkingCopy(field.text);

  const bool list = ListLayout();
  const int count = static_cast<int>(s.kinds.size());
  DlgBuilder dlg(60, count + 12, "Date_EditDlg");
  dlg.AddFrame(Msg(0));
  dlg.Make<DlgText>(5, 3, 0u, Msg(50));
  dlg.Make<DlgEdit>(10, 3, list ? 12 : 15, 0u, nullptr, Number(&day, 1, 31));
  dlg.Make<DlgText>(list ? 15 : 20, 3, 0u, Msg(51));
  if (list) {
    std::vector<const char*> months(12);
    for (int m = 0; m < 12; ++m)
      months[static_cast<size_t>(m)] = s.settings.show_month == 1
                                           ? kRomanMonths[m]
                                           : s.months[s.settings.show_month - 2][m].c_str();
    // A drop-down list: the month can only be one of the twelve.
    dlg.Make<DlgComboBox>(22, 3, 35, DIF_DROPDOWNLIST, &month_index, months);
  } else {
    dlg.Make<DlgEdit>(27, 3, 32, 0u, nullptr, Number(&month, 1, 12));
  }
  dlg.Make<DlgText>(37, 3, 0u, Msg(52));
  dlg.Make<DlgEdit>(43, 3, 48, 0u, nullptr, Number(&year, 1, 9999));
  for (int k = 0; k < count; ++k) {
    dlg.Make<DlgRadioButton>(5, 5 + k, k == 0 ? DIF_GROUP : 0u,
                             s.kinds[static_cast<size_t>(k)].name.c_str(), &kind, k);
  }
  dlg.Make<DlgRadioButton>(5, 5 + count, count == 0 ? DIF_GROUP : 0u, Msg(53), &kind, kOwnKind);
  dlg.Make<DlgEdit>(18, 5 + count, 53, 0u, nullptr, std::make_unique<DlgStrBinding>(&name));
  dlg.Make<DlgText>(5, 6 + count, 0u, Msg(54));
  dlg.Make<DlgEdit>(18, 6 + count, 53, 0u, nullptr, std::make_unique<DlgStrBinding>(&text));
  dlg.AddButtons(0, 1);
  const bool accepted = dlg.Run() == 0;

  int result = 0;
  if (accepted && new_data != nullptr) {
    // A text matching none of the entries (another host may let one be typed) keeps the month.
    if (list) month = month_index >= 0 && month_index < 12 ? month_index + 1 : field.month;
    // Two-digit years: 00 to 69 are this century's, 70 to 99 the last one's.
    if (year < 70) year += 2000;
    if (year < 100) year += 1900;
    DateField made;
    made.day = day;
    made.month = month;
    made.year = year;
    made.kind = kind;
    made.name = name != nullptr ? name : "";
    made.text = text != nullptr ? text : "";
    uint32_t stored = 0;
    if (void* bytes = StoreDateField(made, &stored)) {
      *new_data = bytes;
      if (new_size != nullptr) *new_size = stored;
      if (new_type != nullptr) *new_type = kDateId;
      result = 1;
    }
  }
  std::free(name);
  std::free(text);
  return result;
}

int Configure() {
  Settings values = St().settings;
  DlgBuilder dlg(60, 18, "Date_Config");
  dlg.AddFrame(Msg(0));
  dlg.Make<DlgText>(5, 3, 0u, Msg(55));
  for (int style = 0; style < 4; ++style) {
    dlg.Make<DlgRadioButton>(5, 4 + style, style == 0 ? DIF_GROUP : 0u, Msg(56 + style),
                             &values.show_month, style);
  }
  dlg.Make<DlgCheckBox>(5, 9, 0u, Msg(60), &values.check_coming_soon);
  // The range the setting is read back with: a longer window would be forgotten at the next
  // start.
  dlg.Make<DlgEdit>(29, 9, 34, 0u, nullptr, Number(&values.days_before, 0, 365));
  dlg.Make<DlgText>(36, 9, 0u, Msg(61));
  dlg.Make<DlgCheckBox>(5, 10, 0u, Msg(62), &values.check_once_a_day);
  dlg.Make<DlgText>(5, 12, 0u, Msg(63));
  dlg.Make<DlgEdit>(30, 12, 35, 0u, nullptr, Number(&values.hour_shift, -24, 24));
  dlg.Make<DlgText>(37, 12, 0u, Msg(64));
  dlg.AddButtons(0, 1);
  if (dlg.Run() != 0) return 0;
  St().settings = values;
  return 1;
}

}  // namespace qb::date
