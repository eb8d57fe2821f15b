#include "base/DateTime.h"

#include <cmath>

namespace {

constexpr double kMsPerDay = 86400000.0;

constexpr bool Leap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days from 0001-01-01 (day 0) to the given date, proleptic Gregorian.
constexpr int64_t DaysFromCivil(int y, int m, int d) {
    constexpr int before[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    int64_t yy = y - 1;
    int64_t days = yy * 365 + yy / 4 - yy / 100 + yy / 400 + before[m - 1] + (d - 1);
    if (m > 2 && Leap(y)) days += 1;
    return days;
}

// A compile-time constant, so that other files' static initialisers may
// already encode dates.
constexpr int64_t kEpoch = DaysFromCivil(1899, 12, 30);

}  // namespace

bool IsLeapYear(int year) {
    return Leap(year);
}

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool IsValidDateParts(const DateParts& p) {
    return p.year >= 1 && p.year <= 9999 && p.month >= 1 && p.month <= 12 && p.day >= 1 &&
           p.day <= DaysInMonth(p.year, p.month) && p.hour >= 0 && p.hour < 24 && p.minute >= 0 &&
           p.minute < 60 && p.second >= 0 && p.second < 60 && p.millisecond >= 0 &&
           p.millisecond < 1000;
}

TDateTime EncodeDateTime(const DateParts& p) {
    double days = static_cast<double>(DaysFromCivil(p.year, p.month, p.day) - kEpoch);
    double time = (p.hour * 3600000.0 + p.minute * 60000.0 + p.second * 1000.0 + p.millisecond) / kMsPerDay;
    // Before day 0 the fraction still counts forward from midnight, but the
    // sign of the whole value is negative: -1.25 is 29 Dec 1899 06:00.
    return days >= 0 ? days + time : days - time;
}

DateParts DecodeDateTime(TDateTime t) {
    DateParts p;
    if (!std::isfinite(t) || std::fabs(t) > 3.0e6) return p;
    double whole = std::trunc(t);
    double frac = std::fabs(t - whole);
    int64_t ms = static_cast<int64_t>(std::llround(frac * kMsPerDay));
    int64_t day = static_cast<int64_t>(whole);
    if (ms >= 86400000) {  // rounding reached the next midnight
        ms -= 86400000;
        day += t >= 0 ? 1 : -1;
    }
    // Civil date from a day count (Howard Hinnant's algorithm, days since 1970).
    int64_t z = day + kEpoch - DaysFromCivil(1970, 1, 1) + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = yoe + era * 400;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    p.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    p.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    p.year = static_cast<int>(p.month <= 2 ? y + 1 : y);
    p.hour = static_cast<int>(ms / 3600000);
    p.minute = static_cast<int>(ms / 60000 % 60);
    p.second = static_cast<int>(ms / 1000 % 60);
    p.millisecond = static_cast<int>(ms % 1000);
    return p;
}

int DayOfWeek(TDateTime t) {
    // Day 0 (30 Dec 1899) was a Saturday.
    int64_t day = static_cast<int64_t>(std::floor(t < 0 ? std::trunc(t) : t));
    int64_t dow = (day + 6) % 7;
    if (dow < 0) dow += 7;
    return static_cast<int>(dow);
}
