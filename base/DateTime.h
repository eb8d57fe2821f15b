#pragma once
// Date-time as the program stores and compares it: local time, whole part =
// days since 30 December 1899, fraction = time of day. Portable.
#include <cstdint>

using TDateTime = double;

struct DateParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
// Year 1..9999, month 1..12, day within the month, time fields in range.
bool IsValidDateParts(const DateParts& p);
TDateTime EncodeDateTime(const DateParts& p);
DateParts DecodeDateTime(TDateTime t);
// 0 = Sunday ... 6 = Saturday.
int DayOfWeek(TDateTime t);
