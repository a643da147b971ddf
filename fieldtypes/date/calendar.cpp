#include "fieldtypes/date/calendar.h"

namespace qb::date {

namespace {

constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

}  // namespace

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DayNumber(int day, int month, int year) {
  if (day < 1 || day > 31 || month < 1 || month > 12) return 0;
  int number = day;
  for (int m = 1; m < month; ++m)
    number += m == 2 ? (IsLeapYear(year) ? 29 : 28) : kMonthDays[m - 1];
  return number;
}

int HourAdjustment(int hour_shift, int local_hour) {
  if (hour_shift >= 1 && hour_shift <= 24) return local_hour < hour_shift ? -1 : 0;
  if (hour_shift <= -1 && hour_shift >= -24) return local_hour >= 24 + hour_shift ? 1 : 0;
  return 0;
}

ReminderClock ReadClock(const std::tm& local, int hour_shift) {
  ReminderClock clock;
  clock.year = local.tm_year + 1900;
  clock.today = DayNumber(local.tm_mday, local.tm_mon + 1, clock.year);
  const int adjustment = HourAdjustment(hour_shift, local.tm_hour);
  clock.adjusted = clock.today + adjustment;
  clock.year_length = DayNumber(31, 12, clock.year) + adjustment;
  return clock;
}

Anniversary NextAnniversary(const ReminderClock& clock, int day, int month) {
  int b = DayNumber(day, month, clock.year);
  // Already past this year: the next one is in the coming year.
  if (b < clock.adjusted) b += clock.year_length;
  return {b - clock.adjusted, b - clock.today};
}

}  // namespace qb::date
