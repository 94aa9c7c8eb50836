#include <gtest/gtest.h>

#include <random>

#include "common/formatting.h"
#include "common/item_time.h"
#include "common/paths.h"

// The test prefix runs with an English (United States) user locale.

TEST(FormatByteSize, ExamplesUnitBoundariesAndTruncation) {
    struct Case { uint64_t size; const wchar_t* text; } cases[] = {
        {0, L"0 bytes"}, {1, L"1 byte"}, {2, L"2 bytes"}, {999, L"999 bytes"},
        {1000, L"0.98 KB"}, {1023, L"1 KB"}, {1024, L"1 KB"}, {1536, L"1.5 KB"},
        {10240, L"10 KB"}, {1023999, L"1,000 KB"}, {1024000, L"0.98 MB"},
        {1048576, L"1 MB"}, {1048575999, L"1,000 MB"}, {1048576000, L"0.98 GB"},
        {1073741824, L"1 GB"}, {1073741824000ULL, L"0.98 TB"}, {1099511627776ULL, L"1 TB"},
        {256000ULL << 32, L"0.98 PB"}, {1ULL << 50, L"1 PB"},
        // Hundredths round half up; above ten units the decimals are dropped, not rounded.
        {1029, L"1 KB"}, {1030, L"1.01 KB"}, {1126, L"1.1 KB"}, {10291, L"10 KB"},
        {13302, L"12.9 KB"}, {1048565514ULL, L"999 MB"}, {UINT64_MAX, L"16,384 PB"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatByteSize(c.size), c.text) << c.size;
}

TEST(FormatNumber, GroupsDigitsAndKeepsSign) {
    EXPECT_EQ(FormatNumber(999), L"999");
    EXPECT_EQ(FormatNumber(1234567), L"1,234,567");
    EXPECT_EQ(FormatNumber(-1234567), L"-1,234,567");
    EXPECT_EQ(FormatNumber(INT64_MAX), L"9,223,372,036,854,775,807");
}

namespace {
double MakeTime(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s, WORD ms) {
    SYSTEMTIME st = {};
    st.wYear = y; st.wMonth = mo; st.wDay = d;
    st.wHour = h; st.wMinute = mi; st.wSecond = s; st.wMilliseconds = ms;
    double t = 0;
    EXPECT_TRUE(LocalSystemTimeToTime(st, &t));
    return t;
}
}  // namespace

TEST(FormatDateTime, MidnightShowsDateAloneOnlyInLongForm) {
    double midnight = MakeTime(2024, 3, 5, 0, 0, 0, 0);
    EXPECT_EQ(FormatDateTime(midnight, false, false, false), L"Tuesday, March 5, 2024");
    EXPECT_EQ(FormatDateTime(midnight, true, false, false), L"3/5/2024 12:00:00 AM");
    EXPECT_EQ(FormatDateTime(midnight, true, true, false), L"3/5/2024 12:00 AM");
    EXPECT_EQ(FormatDateTime(midnight, true, false, true), L"3/5/2024");
    double t = MakeTime(2024, 3, 5, 14, 7, 9, 0);
    EXPECT_EQ(FormatDateTime(t, false, false, false), L"Tuesday, March 5, 2024, 2:07:09 PM");
    EXPECT_EQ(FormatDateTime(MakeTime(2024, 3, 5, 0, 0, 0, 1), false, true, false),
              L"Tuesday, March 5, 2024, 12:00 AM")
        << "one millisecond past midnight is not midnight";
    EXPECT_EQ(FormatDateTime(0, true, false, false), L"");
}

TEST(TimeConversions, RoundTripWithinOneMillisecond) {
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> days(1.0, 80000.0);   // 1900 .. 2119
    for (int i = 0; i < 20000; ++i) {
        double t = days(rng);
        FILETIME ft;
        ASSERT_TRUE(TimeToFileTime(t, &ft));
        double back = 0;
        ASSERT_TRUE(FileTimeToTime(ft, &back));
        EXPECT_NEAR(back, t, 1.0 / 86400000.0) << t;
        double again = 0;
        FILETIME ft2;
        ASSERT_TRUE(TimeToFileTime(back, &ft2));
        ASSERT_TRUE(FileTimeToTime(ft2, &again));
        EXPECT_EQ(again, back) << "a converted time is stable";
    }
}

TEST(TimeConversions, ZeroIsUnknownAndLocalTimesRoundTrip) {
    FILETIME ft = {1, 1};
    ASSERT_TRUE(TimeToFileTime(0, &ft));
    EXPECT_EQ(ft.dwLowDateTime | ft.dwHighDateTime, 0u);
    double t = 5;
    ASSERT_TRUE(FileTimeToTime(FILETIME{}, &t));
    EXPECT_EQ(t, 0);
    SYSTEMTIME st;
    memset(&st, 0xff, sizeof st);
    ASSERT_TRUE(TimeToLocalSystemTime(0, &st));
    EXPECT_EQ(st.wYear + st.wMonth + st.wDay + st.wHour + st.wMilliseconds, 0);
    EXPECT_FALSE(LocalSystemTimeToTime(SYSTEMTIME{}, &t)) << "all zeros is no date";
    EXPECT_FALSE(TimeToFileTime(-1e9, &ft)) << "before 1601";

    EXPECT_EQ(FormatItemTime(MakeTime(2001, 12, 31, 23, 59, 59, 999)), L"2001/12/31/23/59/59/999");
    EXPECT_NEAR(MakeTime(1899, 12, 30, 12, 0, 0, 0), 0.5, 1e-9);
}

TEST(ItemTimeText, FormatsAndParsesSevenFields) {
    EXPECT_EQ(FormatItemTime(0), L"0/0/0/0/0/0/0");
    double t = MakeTime(2020, 2, 29, 8, 5, 3, 45);
    EXPECT_EQ(FormatItemTime(t), L"2020/2/29/8/5/3/45");
    double back = 0;
    ASSERT_TRUE(ParseItemTime(L"2020/2/29/8/5/3/45", &back));
    EXPECT_NEAR(back, t, 1e-9);
    ASSERT_TRUE(ParseItemTime(L" 2020/+2/29x/8/5/3/45", &back)) << "fields read leniently";
    EXPECT_NEAR(back, t, 1e-9);
    ASSERT_TRUE(ParseItemTime(L"0/0/0/0/0/0/0", &back));
    EXPECT_EQ(back, 0) << "a time that does not convert is unknown";
    EXPECT_FALSE(ParseItemTime(L"2020/2/29/8/5/3", &back));
    EXPECT_FALSE(ParseItemTime(L"2020/2/29/8/5/3/45/1", &back));
    EXPECT_FALSE(ParseItemTime(L"", &back));
}

TEST(Ymd, FormatAndStrictParse) {
    SYSTEMTIME st = {};
    st.wYear = 7; st.wMonth = 3; st.wDay = 9;
    EXPECT_EQ(FormatYmd(st), L"0007/03/09");
    WORD y, m, d;
    ASSERT_TRUE(ParseYmd(L"2024/02/31", &y, &m, &d));
    EXPECT_EQ(y, 2024); EXPECT_EQ(m, 2); EXPECT_EQ(d, 31);
    EXPECT_FALSE(ParseYmd(L"2024/2/031", &y, &m, &d)) << "slashes at 4 and 7";
    EXPECT_FALSE(ParseYmd(L"2024/02/1", &y, &m, &d)) << "nine characters";
    EXPECT_FALSE(ParseYmd(L"2024/13/01", &y, &m, &d));
    EXPECT_FALSE(ParseYmd(L"2024/01/32", &y, &m, &d));
    EXPECT_FALSE(ParseYmd(L"-001/01/01", &y, &m, &d));
}

TEST(LenientInteger, ReadsLikeTheTextFormatsDo) {
    EXPECT_EQ(ReadLenientInteger(L"  42abc"), 42);
    EXPECT_EQ(ReadLenientInteger(L"-17"), -17);
    EXPECT_EQ(ReadLenientInteger(L"+5"), 5);
    EXPECT_EQ(ReadLenientInteger(L"abc"), 0);
    EXPECT_EQ(ReadLenientInteger(L"1-1"), 1);
    // Only the first 20 bytes count.
    EXPECT_EQ(ReadLenientInteger(L"                   7"), 7);
    EXPECT_EQ(ReadLenientInteger(L"                    7"), 0);
    EXPECT_EQ(ReadLenientInteger(L"99999999999999999999"), INT64_MAX);
}

TEST(Paths, ParentFileNameAndDrive) {
    EXPECT_EQ(ParentPath(L"\\A:\\Data\\Photo.jpg"), L"\\A:\\Data");
    EXPECT_EQ(ParentPath(L"\\A:"), L"");
    EXPECT_EQ(ParentPath(L"A:x"), L"A:");
    EXPECT_EQ(ParentPath(L""), L"");
    EXPECT_EQ(FileNamePart(L"\\A:\\x.txt"), L"x.txt");
    EXPECT_EQ(FileNamePart(L"A:x.txt"), L"x.txt");
    EXPECT_EQ(FileNamePart(L"\\A:\\dir\\"), L"");
    EXPECT_EQ(DrivePart(L"\\A:\\x"), L"A:");
    EXPECT_EQ(DrivePart(L"B:\\x"), L"B:");
    EXPECT_EQ(DrivePart(L"\\AB\\x"), L"");
}
