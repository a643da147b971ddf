// Date.qbl: anniversaries (birthdays, name days and the like) with reminders. The field shows
// its date in one of four styles and names its kind; on the host's walks (a panel opens, the
// host starts, the user asks for a scan) every date whose next anniversary is near is announced
// in a message box.
#include <cstdio>
#include <cstring>

#include "fieldtypes/date/date_state.h"
#include "platform/time/clock.h"
#include "shared/dialog/dialog.h"
#include "shared/fieldtype/field_type.h"

namespace qb::date {

namespace {

// The panel item's name is FAR's file name: NM bytes with the terminator.
constexpr size_t kPanelName = NM - 1;
constexpr size_t kDateTextChars = 51;
constexpr size_t kReminderChars = 255;
constexpr size_t kDateLineChars = 31;
constexpr size_t kExportChars = 1023;

struct SettingRange {
  const char* name;
  int Settings::*value;
  int def, min, max;
};

// In the order they are read and written.
constexpr SettingRange kSettings[] = {
    {"ShowMonth", &Settings::show_month, 1, 0, 3},
    {"CheckComingSoon", &Settings::check_coming_soon, 1, 0, 1},
    {"CheckOnceADay", &Settings::check_once_a_day, 1, 0, 1},
    {"HourShift", &Settings::hour_shift, 0, -24, 24},
    {"LastChecked", &Settings::last_checked, 0, 0, 365},
    {"DaysBefore", &Settings::days_before, 7, 0, 365},
};

void Startup(HKEY settings) {
  DateState& s = St();
  for (const SettingRange& setting : kSettings)
    s.settings.*setting.value =
        RegReadNumber(settings, setting.name, setting.def, setting.min, setting.max);
  dlg::SetHost(&fieldtype::HostInfo());
  dlg::SetErrorTexts(13, 0);
  for (int m = 0; m < 12; ++m) {
    s.months[0][m] = Msg(1 + m);
    s.months[1][m] = Msg(13 + m);
  }
  s.kinds.clear();
  for (int k = 0; k <= 100; ++k) {
    const char* name = CommonGetMsgEx(100 + k, kModule);
    const char* reminder = CommonGetMsgEx(200 + k, kModule);
    if (name == nullptr || reminder == nullptr) break;
    s.kinds.push_back({name, reminder});
  }
  s.clock = ReminderClock{};
}

void Exit(HKEY settings) {
  DateState& s = St();
  for (const SettingRange& setting : kSettings)
    RegWriteNumber(settings, setting.name, s.settings.*setting.value);
  s.kinds.clear();
  s.kinds.shrink_to_fit();
}

char* Description(const fieldtype::Field& f) {
  return HeapText(DateText(ParseDateField(f.data, f.size)));
}

std::string MenuLine(const fieldtype::Field& f) {
  const DateField field = ParseDateField(f.data, f.size);
  return KindName(field) + ": " + DateText(field);
}

char* MenuDescription(const fieldtype::Field& f) {
  return HeapText(MenuLine(f));
}

void PanelItem(PluginPanelItem* item, const fieldtype::Field& f) {
  const DateField field = ParseDateField(f.data, f.size);
  const uintptr_t user_data = item->UserData;
  std::memset(item, 0, sizeof *item);
  item->UserData = user_data;
  const FILETIME now = clock::NowFileTime();
  item->FindData.ftCreationTime = now;
  item->FindData.ftLastAccessTime = now;
  item->FindData.ftLastWriteTime = now;
  item->FindData.nFileSizeLow = f.size;
  const std::string name = CutBytes(KindName(field), kPanelName);
  std::memcpy(item->FindData.cFileName, name.c_str(), name.size() + 1);
  item->Description = HeapText(DateText(field));
}

char* TextData(const fieldtype::Field& f) {
  const DateField field = ParseDateField(f.data, f.size);
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "%d %d %d %d\n", field.day, field.month, field.year,
                field.kind);
  return HeapText(CutChars(numbers + field.name + "\n" + field.text, kExportChars));
}

void WriteTextFile(FILE* file, const fieldtype::Field& f) {
  std::fprintf(file, "%s\n", MenuLine(f).c_str());
}

int Edit(const fieldtype::Field& f, void** new_data, uint32_t* new_size, FieldTypeId* new_type,
         int edit) {
  if (edit != 0) return EditDate(f.data, f.size, new_data, new_size, new_type);
  const PluginStartupInfo& host = fieldtype::HostInfo();
  if (host.Message == nullptr) return 1;
  const std::string date = DateText(ParseDateField(f.data, f.size));
  const char* lines[] = {Msg(0), date.c_str(), MainMsg(0)};
  host.Message(host.ModuleNumber, 0, "Date_ViewMsg", lines, 3, 1);
  return 1;
}

// Announces one field when its next anniversary is within the window.
void CheckField(const void* data, uint32_t size) {
  const DateState& s = St();
  const DateField field = ParseDateField(data, size);
  // A day or month out of range names no day of the year: there is nothing to announce.
  if (DayNumber(field.day, field.month, s.clock.year == 0 ? 2001 : s.clock.year) == 0) return;
  const Anniversary next = NextAnniversary(s.clock, field.day, field.month);
  if (next.days_left > s.settings.days_before) return;
  const PluginStartupInfo& host = fieldtype::HostInfo();
  if (host.Message == nullptr) return;
  const HostServices* services = fieldtype::Services();
  const char* record = services != nullptr ? services->CurrentRecord : nullptr;
  const std::string reminder = KindReminder(field);
  const std::string who = CutChars(
      Format(reminder.c_str(), {record != nullptr ? record : "<unknown>"}), kReminderChars);
  const std::string date = DateText(field);
  std::string when;
  if (next.from_today == 0)
    when = Format(Msg(66), {date.c_str()});
  else if (next.from_today == 1)
    when = Format(Msg(67), {date.c_str()});
  else
    when = Format(Msg(68), {date.c_str(), next.days_left});
  when = CutChars(when, kDateLineChars);
  const char* lines[] = {Msg(65), who.c_str(), when.c_str(), MainMsg(0)};
  host.Message(host.ModuleNumber, 0, "Date_NotificationMsg", lines, 4, 1);
}

}  // namespace

DateState& St() {
  static DateState state;
  return state;
}

std::string DateText(const DateField& field) {
  const DateState& s = St();
  const bool day_ok = field.day >= 1 && field.day <= 31;
  const bool month_ok = field.month >= 1 && field.month <= 12;
  const bool year_ok = field.year >= 1 && field.year <= 9999;
  char day[16] = "??";
  char month[16] = "??";
  char year[16] = "??";
  if (day_ok) std::snprintf(day, sizeof day, "%.02d", field.day);
  if (month_ok) std::snprintf(month, sizeof month, "%.02d", field.month);
  if (year_ok) std::snprintf(year, sizeof year, "%d", field.year);
  std::string text;
  const int m = month_ok ? field.month - 1 : 0;
  switch (s.settings.show_month) {
    case 1:
      text = std::string(day) + "." + (month_ok ? kRomanMonths[m] : "??") + "." + year;
      break;
    case 2:
    case 3:
      text = std::string(day) + " " + (month_ok ? s.months[s.settings.show_month - 2][m] : "??") +
             " " + year;
      break;
    default:
      text = std::string(day) + "." + month + "." + year;
      break;
  }
  return CutChars(text, kDateTextChars);
}

std::string KindName(const DateField& field) {
  const DateState& s = St();
  // An own kind left without a name is still named: an item without a name cannot be picked.
  if (field.kind == kOwnKind) return field.name.empty() ? fieldtype::TypeName() : field.name;
  if (field.kind >= 0 && static_cast<size_t>(field.kind) < s.kinds.size())
    return s.kinds[static_cast<size_t>(field.kind)].name;
  return Msg(99);
}

std::string KindReminder(const DateField& field) {
  const DateState& s = St();
  if (field.kind == kOwnKind) return field.text;
  if (field.kind >= 0 && static_cast<size_t>(field.kind) < s.kinds.size())
    return s.kinds[static_cast<size_t>(field.kind)].reminder;
  return Msg(199);
}

}  // namespace qb::date

const qb::fieldtype::FieldType qb::fieldtype::kFieldType = {
    .module = qb::date::kModule,
    .token = "D",
    .new_id = qb::date::kDateId,
    .block = 0x10400,
    .flags = FTF_MULTIPLE | FTEV_OPEN | FTEV_SCAN | FTEV_START | FTEV_BEFORE | FTEV_AFTER,
    .shape = Shape::kOneLine,
    .edit_help = "Date_EditDlg",
    .settings_key = "BirthDay",
    .text_offset = 16,
    .startup = qb::date::Startup,
    .exit = qb::date::Exit,
    .description = qb::date::Description,
    .edit = qb::date::Edit,
    .write_text_file = qb::date::WriteTextFile,
    .menu_description = qb::date::MenuDescription,
    .panel_item = qb::date::PanelItem,
    .text_data = qb::date::TextData,
};

using qb::date::St;

extern "C" {

QB_EXPORT int Upgrade(const void* data, uint32_t size, FieldTypeId type, void** new_data,
                      uint32_t* new_size, FieldTypeId* new_type) {
  if (type != qb::date::kOldDateId || new_data == nullptr) return 0;
  qb::date::DateField field = qb::date::ParseDateField(data, size < 12 ? size : 12);
  field.kind = 0;
  uint32_t stored = 0;
  void* bytes = qb::date::StoreDateField(field, &stored);
  if (bytes == nullptr) return 0;
  *new_data = bytes;
  if (new_size != nullptr) *new_size = stored;
  if (new_type != nullptr) *new_type = qb::date::kDateId;
  return 1;
}

// Before a walk the clock is read first, so that the once-a-day test compares today's day with
// the day of the last walk (and not the clock of the walk before, which on the first walk of a
// run would be 0 and equal to a never-set "LastChecked").
QB_EXPORT int OnEnter(const void* data, uint32_t size, FieldTypeId type, uint32_t event,
                      uint32_t call) {
  (void)type;
  qb::date::DateState& s = St();
  if (call == FTEV_BEFORE)
    s.clock = qb::date::ReadClock(qb::clock::NowLocal(), s.settings.hour_shift);
  // The user's own scan request always passes; the automatic walks obey the settings.
  if (event != FTEV_SCAN) {
    if (s.settings.check_coming_soon == 0) return 0;
    if (s.clock.adjusted == s.settings.last_checked && s.settings.check_once_a_day == 1) return 0;
  }
  if (call == FTEV_BEFORE) return 1;
  if (call == FTEV_AFTER) {
    s.settings.last_checked = s.clock.adjusted;
    return 1;
  }
  if (call == 0 && (event == FTEV_OPEN || event == FTEV_SCAN || event == FTEV_START))
    qb::date::CheckField(data, size);
  return 1;
}

QB_EXPORT int ConfigurePlugin(void) {
  return qb::date::Configure();
}

}  // extern "C"
