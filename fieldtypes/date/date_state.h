// The Date library's state, one object for the process: its settings, the month names and kinds
// from the language files, and the reminder clock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fieldtypes/date/calendar.h"
#include "fieldtypes/date/date_field.h"
#include "shared/fieldtype/field_type.h"

namespace qb::date {

inline constexpr const char* kModule = "Date";

inline constexpr const char* kRomanMonths[12] = {"I",   "II",   "III", "IV", "V",  "VI",
                                                 "VII", "VIII", "IX",  "X",  "XI", "XII"};

struct Settings {
  int show_month = 1;         // date style: 0 numeric, 1 Roman month, 2 and 3 month names
  int check_coming_soon = 1;  // reminders on the automatic walks
  int check_once_a_day = 1;   // automatic reminders at most once a (reminders') day
  int hour_shift = 0;         // the hour a new day begins at
  int last_checked = 0;       // adjusted day number of the last completed walk
  int days_before = 7;        // how far ahead a date is announced
};

struct Kind {
  std::string name;      // message 100 + k
  std::string reminder;  // message 200 + k, a format with one "%s"
};

struct DateState {
  Settings settings;
  // Copies of the language texts, taken at start-up.
  std::string months[2][12];  // messages 1-12 and 13-24
  std::vector<Kind> kinds;    // at most 101
  ReminderClock clock;        // all 0 until the first walk
};

DateState& St();

// Message n of the Date module, and of the main module ("" when the language files lack it).
using fieldtype::MainMsg;
using fieldtype::Msg;

// The date as the current style shows it: "??" stands for a day, month or year that is out of
// its range. At most 51 characters.
std::string DateText(const DateField& field);
// The kind's name and reminder format: the own ones for kind 255 (the type name for an own kind
// without a name), messages 99 and 199 for an index beyond the list.
std::string KindName(const DateField& field);
std::string KindReminder(const DateField& field);

// The dialogs (date_dialogs.cpp). EditDate returns 1 when accepted with the new field in the
// outputs; Configure 1 when accepted.
int EditDate(const void* data, uint32_t size, void** new_data, uint32_t* new_size,
             uint32_t* new_type);
int Configure();

}  // namespace qb::date
