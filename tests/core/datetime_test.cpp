#include "base/DateTime.h"

#include <gtest/gtest.h>

TEST(DateTime, EncodesAndDecodesKnownDays) {
    struct Case { DateParts p; double value; } cases[] = {
        {{1899, 12, 30, 0, 0, 0, 0}, 0.0},
        {{1899, 12, 31, 6, 0, 0, 0}, 1.25},
        {{1900, 1, 1, 12, 0, 0, 0}, 2.5},
        {{2008, 5, 9, 0, 0, 0, 0}, 39577.0},
        {{1899, 12, 29, 6, 0, 0, 0}, -1.25},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(EncodeDateTime(c.p), c.value) << c.p.year << "-" << c.p.month << "-" << c.p.day;
        DateParts back = DecodeDateTime(c.value);
        EXPECT_EQ(back.year, c.p.year);
        EXPECT_EQ(back.month, c.p.month);
        EXPECT_EQ(back.day, c.p.day);
        EXPECT_EQ(back.hour, c.p.hour);
    }
}

TEST(DateTime, KeepsMillisecondsAndWeekday) {
    DateParts p{2008, 5, 9, 14, 7, 3, 999};
    DateParts back = DecodeDateTime(EncodeDateTime(p));
    EXPECT_EQ(back.minute, 7);
    EXPECT_EQ(back.second, 3);
    EXPECT_EQ(back.millisecond, 999);
    EXPECT_EQ(DayOfWeek(EncodeDateTime(p)), 5);  // a Friday
    EXPECT_EQ(DayOfWeek(0.0), 6);                // 30 Dec 1899 was a Saturday
}

TEST(DateTime, ValidatesCalendarDays) {
    EXPECT_TRUE(IsValidDateParts({2000, 2, 29, 23, 59, 59, 0}));
    EXPECT_FALSE(IsValidDateParts({1900, 2, 29, 0, 0, 0, 0}));
    EXPECT_FALSE(IsValidDateParts({2008, 13, 1, 0, 0, 0, 0}));
    EXPECT_FALSE(IsValidDateParts({2008, 1, 1, 24, 0, 0, 0}));
    EXPECT_FALSE(IsValidDateParts({0, 1, 1, 0, 0, 0, 0}));
}
