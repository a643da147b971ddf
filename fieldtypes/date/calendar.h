// The calendar of the reminders: day numbers within a year by the Gregorian rule, and the clock
// that says which day "today" is when a new day may begin at an hour other than midnight.
#pragma once

#include <ctime>

namespace qb::date {

// Divisible by 4 and not by 100, or divisible by 400.
bool IsLeapYear(int year);

// The day's number within the year: 1 January is 1, 31 December 365 or 366. February has 29 or
// 28 days by the rule for year, so 29 February of a common year counts as 1 March (60). Day must
// be 1 to 31 and month 1 to 12; anything else gives 0.
int DayNumber(int day, int month, int year);

// How many days the reminders' day lies from the calendar's at the given local hour. A shift of 1
// to 24 starts the day at that hour: before it, it is still yesterday (-1; 24 means all day). A
// shift of -1 to -24 starts the day that many hours before midnight: from hour 24 + shift on, it
// is already tomorrow (+1). 0, and anything outside -24 to 24, is midnight (0).
int HourAdjustment(int hour_shift, int local_hour);

// The reminders' view of the day, taken before each walk.
struct ReminderClock {
  int year = 0;         // the calendar year now
  int today = 0;        // today's day number
  int adjusted = 0;     // today's day number moved by the hour adjustment
  int year_length = 0;  // the day number of 31 December, moved by the same adjustment
};

ReminderClock ReadClock(const std::tm& local, int hour_shift);

// Days from the reminders' day until the field's next anniversary (day and month valid), and
// whether that anniversary is the calendar's today or tomorrow.
struct Anniversary {
  int days_left = 0;   // from the adjusted day; never negative
  int from_today = 0;  // from the calendar's today (the "today" and "tomorrow" lines use it)
};

Anniversary NextAnniversary(const ReminderClock& clock, int day, int month);

}  // namespace qb::date
