#include <gtest/gtest.h>

#include "common/item_time.h"
#include "search/item_tests.h"

namespace {

SYSTEMTIME Local(WORD year, WORD month, WORD day, WORD hour = 12, WORD minute = 0,
                 WORD second = 0, WORD ms = 0) {
    SYSTEMTIME st = {};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = second;
    st.wMilliseconds = ms;
    return st;
}

double Time(WORD year, WORD month, WORD day, WORD hour = 12, WORD minute = 0, WORD second = 0,
            WORD ms = 0) {
    double t = 0;
    EXPECT_TRUE(LocalSystemTimeToTime(Local(year, month, day, hour, minute, second, ms), &t));
    return t;
}

SearchCriteria DateCriteria(LONG timeType) {
    SearchCriteria c;
    c.considerFileDates = 1;
    c.dateType = 0;
    c.timeType = timeType;
    return c;
}

// Checks the modification time alone (dateType 0).
bool Passes(const SearchCriteria& c, double modified, const SYSTEMTIME& now) {
    return PassesDateTest(c, 0, 0, modified, now);
}

TEST(DateTest, PreviousDaysByTheLocalCalendar) {
    SearchCriteria c = DateCriteria(2);
    c.days = 1;
    const SYSTEMTIME now = Local(2027, 3, 15, 0, 0, 0, 1);
    EXPECT_TRUE(Passes(c, Time(2027, 3, 15, 0, 0), now));
    EXPECT_TRUE(Passes(c, Time(2027, 3, 15, 23, 59, 59, 999), now));   // later today
    EXPECT_TRUE(Passes(c, Time(2027, 3, 14, 0, 0), now));               // yesterday
    EXPECT_TRUE(Passes(c, Time(2027, 3, 14, 23, 59), now));
    EXPECT_FALSE(Passes(c, Time(2027, 3, 13, 23, 59, 59, 999), now));  // the day before
    EXPECT_FALSE(Passes(c, Time(2027, 3, 16, 0, 0), now));              // tomorrow, never
    EXPECT_FALSE(Passes(c, 0, now));                                    // unknown time
    c.days = 0;
    EXPECT_TRUE(Passes(c, Time(2027, 3, 15, 8, 0), now));
    EXPECT_FALSE(Passes(c, Time(2027, 3, 14, 23, 0), now));
    // Across a month end and a leap day.
    c.days = 2;
    EXPECT_TRUE(Passes(c, Time(2028, 2, 28), Local(2028, 3, 1)));
    EXPECT_FALSE(Passes(c, Time(2028, 2, 27), Local(2028, 3, 1)));
}

TEST(DateTest, PreviousMonths) {
    SearchCriteria c = DateCriteria(1);
    c.months = 1;
    const SYSTEMTIME now = Local(2027, 3, 15);
    EXPECT_TRUE(Passes(c, Time(2027, 2, 20), now));    // one month
    EXPECT_FALSE(Passes(c, Time(2027, 2, 10), now));   // day before the 15th: two months
    EXPECT_TRUE(Passes(c, Time(2027, 2, 15), now));    // same day of month: one month
    EXPECT_TRUE(Passes(c, Time(2027, 3, 1), now));
    EXPECT_FALSE(Passes(c, Time(2027, 3, 15, 12, 0, 1), now));   // a second after now
    // Across the year end, and month ends of different lengths.
    EXPECT_TRUE(Passes(c, Time(2026, 12, 31), Local(2027, 1, 31)));
    EXPECT_FALSE(Passes(c, Time(2026, 12, 30), Local(2027, 1, 31)));
    EXPECT_TRUE(Passes(c, Time(2027, 1, 31), Local(2027, 2, 28)));
    c.months = 0;
    EXPECT_TRUE(Passes(c, Time(2027, 3, 15, 9), now));
    EXPECT_FALSE(Passes(c, Time(2027, 3, 20), Local(2027, 3, 21)));
    EXPECT_FALSE(Passes(c, Time(2027, 2, 28), Local(2027, 3, 1)));
    EXPECT_FALSE(Passes(c, 0, now));
}

TEST(DateTest, BetweenWholeDays) {
    SearchCriteria c = DateCriteria(0);
    c.lowerDate = Local(2027, 3, 9, 17, 30);    // the times of day do not count
    c.higherDate = Local(2027, 3, 10, 6, 0);
    const SYSTEMTIME now = Local(2030, 1, 1);
    EXPECT_TRUE(Passes(c, Time(2027, 3, 9, 0, 0), now));
    EXPECT_TRUE(Passes(c, Time(2027, 3, 10, 23, 59, 59, 999), now));
    EXPECT_FALSE(Passes(c, Time(2027, 3, 8, 23, 59, 59, 999), now));
    EXPECT_FALSE(Passes(c, Time(2027, 3, 11, 0, 0), now));
    EXPECT_FALSE(Passes(c, 0, now));
    c.lowerDate = Local(2027, 2, 31);   // an impossible date never passes
    EXPECT_FALSE(Passes(c, Time(2027, 3, 9), now));
}

TEST(DateTest, DateTypePicksTheTime) {
    SearchCriteria c = DateCriteria(2);
    c.days = 0;
    const SYSTEMTIME now = Local(2027, 3, 15);
    const double today = Time(2027, 3, 15, 9), old = Time(2020, 1, 1);
    c.dateType = 0;
    EXPECT_TRUE(PassesDateTest(c, old, old, today, now));
    EXPECT_FALSE(PassesDateTest(c, today, today, old, now));
    c.dateType = 1;
    EXPECT_TRUE(PassesDateTest(c, today, old, old, now));
    c.dateType = 2;
    EXPECT_TRUE(PassesDateTest(c, old, today, old, now));
    EXPECT_FALSE(PassesDateTest(c, today, old, today, now));
    c.considerFileDates = 0;
    EXPECT_TRUE(PassesDateTest(c, 0, 0, 0, now));
}

}  // namespace
