// The tests an item must pass to be found: name, type, size and date, the
// wildcard match under them, and the byte scan of the content search.
#include <gtest/gtest.h>

#include <string>

#include "search/content_scan.h"
#include "search/item_tests.h"
#include "search/wildcard.h"
#include "tests/search/search_test_files.h"

namespace {

struct MatchCase {
    const wchar_t* pattern;
    const wchar_t* name;
    bool matches;
};

void ExpectMatches(const MatchCase* cases, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        EXPECT_EQ(cases[i].matches, WildcardMatch(cases[i].name, cases[i].pattern))
            << "pattern '" << testing::PrintToString(std::wstring(cases[i].pattern)) << "' name '"
            << testing::PrintToString(std::wstring(cases[i].name)) << "'";
    }
}

TEST(Wildcard, PlainStarsAndQuestionMarks) {
    const MatchCase cases[] = {
        {L"*.txt", L"A.TXT", true},
        {L"*.txt", L"a.txt.bak", false},
        {L"*", L"", true},
        {L"", L"a", false},
        {L"a*b*c", L"aXbYc", true},
        {L"a*b*c", L"aXbYcZ", false},
        {L"a*b*c", L"acb", false},
        {L"*ab*ab", L"xabyab", true},   // the first `ab` is not the last
        {L"a?c", L"ac", false},
        {L"**a**", L"bab", true},
        {L"abc", L"abcd", false},
    };
    ExpectMatches(cases, ARRAYSIZE(cases));
}

// A trailing `?` or `.` on a name without an extension is matched the way
// short names were: `.` stands for "no extension", `?` for "at most one more".
TEST(Wildcard, ShortNameTail) {
    const MatchCase cases[] = {
        {L"*.", L"readme", true},
        {L"*.", L"a.txt", false},
        {L"abc?", L"abc", true},
        {L"abc?", L"abcd", true},
        {L"abc?", L"abcde", false},
        {L"abc.", L"abcd", false},
        {L"abc.", L"abc.", true},        // the name has a dot: no tail
        {L"abc?*", L"abcdefg", true},    // the cut tail is longer than one character
        {L"abc.*", L"abcdefg", false},   // ... but begins with a dot
        {L"*abc?", L"xabcd", true},      // the segment takes the cut `?` back
        {L"*abc?", L"xabcde", false},
        {L"*readme.*", L"README", true}, // what the name test makes of `README.`
        {L"a??", L"a", false},           // only the last `?` is cut
        {L"a??", L"ab", true},
    };
    ExpectMatches(cases, ARRAYSIZE(cases));
}

TEST(NameTypeAndSizeTests, NameIsASubstringUnlessStarredTypeAnyOfTheList) {
    EXPECT_TRUE(PassesNameTest(L"", L"whatever"));
    EXPECT_TRUE(PassesNameTest(L"ABC", L"xabcx.txt"));
    EXPECT_TRUE(PassesNameTest(L"README.", L"README"));
    EXPECT_TRUE(PassesNameTest(L"b?d", L"abcde"));   // `?` still one character
    EXPECT_FALSE(PassesNameTest(L"b?d", L"abde"));

    EXPECT_TRUE(PassesTypeTest(L"", L"a.bin"));
    EXPECT_TRUE(PassesTypeTest(L"*.htm|*.html", L"index.HTML"));
    EXPECT_FALSE(PassesTypeTest(L"*.htm|*.html", L"htm"));
    EXPECT_TRUE(PassesTypeTest(L"*.jpg||*.png", L"x.png"));   // an empty entry matches nothing
    EXPECT_FALSE(PassesTypeTest(L"*.jpg|", L"x"));
}

TEST(NameTypeAndSizeTests, SizeInKilobytes) {
    EXPECT_TRUE(PassesSizeTest(0, 5, 1));       // sizeType 0: everything
    EXPECT_TRUE(PassesSizeTest(1, 1, 1024));    // minimum
    EXPECT_FALSE(PassesSizeTest(1, 1, 1023));
    EXPECT_FALSE(PassesSizeTest(1, 1, -5));     // a size past 2 GB reads negative
    EXPECT_TRUE(PassesSizeTest(2, 1, 1024));    // maximum
    EXPECT_FALSE(PassesSizeTest(2, 1, 1025));
    EXPECT_FALSE(PassesSizeTest(2, 0, 0));      // maximum 0 KB finds nothing
    EXPECT_FALSE(PassesSizeTest(2, 999999, 0x7FFFFFFF));
    EXPECT_TRUE(PassesSizeTest(2, -1, 100000));   // a negative limit passes everything
}

constexpr LONG kBetween = 0, kPreviousMonths = 1, kPreviousDays = 2;

TEST(DateTest, PreviousDaysAndMonthsByTheLocalCalendar) {
    struct Case {
        LONG timeType;
        LONG amount;   // days or months
        SYSTEMTIME now;
        double modified;
        bool passes;
    };
    const SYSTEMTIME midnight = LocalDate(2027, 3, 15, 0, 0, 0, 1);
    const SYSTEMTIME noon = LocalDate(2027, 3, 15);
    const Case cases[] = {
        {kPreviousDays, 1, midnight, LocalTime(2027, 3, 15, 23, 59, 59, 999), true},
        {kPreviousDays, 1, midnight, LocalTime(2027, 3, 14, 0, 0), true},   // yesterday
        {kPreviousDays, 1, midnight, LocalTime(2027, 3, 13, 23, 59, 59, 999), false},
        {kPreviousDays, 1, midnight, LocalTime(2027, 3, 16, 0, 0), false},   // tomorrow, never
        {kPreviousDays, 1, midnight, 0, false},                             // unknown time
        {kPreviousDays, 0, midnight, LocalTime(2027, 3, 14, 23, 0), false},
        // Across a month end and a leap day.
        {kPreviousDays, 2, LocalDate(2028, 3, 1), LocalTime(2028, 2, 28), true},
        {kPreviousDays, 2, LocalDate(2028, 3, 1), LocalTime(2028, 2, 27), false},

        {kPreviousMonths, 1, noon, LocalTime(2027, 2, 10), false},   // before the 15th: two
        {kPreviousMonths, 1, noon, LocalTime(2027, 2, 15), true},    // same day of month: one
        {kPreviousMonths, 1, noon, LocalTime(2027, 3, 15, 12, 0, 1), false},   // after now
        // Across the year end, and month ends of different lengths.
        {kPreviousMonths, 1, LocalDate(2027, 1, 31), LocalTime(2026, 12, 31), true},
        {kPreviousMonths, 1, LocalDate(2027, 1, 31), LocalTime(2026, 12, 30), false},
        {kPreviousMonths, 1, LocalDate(2027, 2, 28), LocalTime(2027, 1, 31), true},
        {kPreviousMonths, 0, noon, LocalTime(2027, 3, 15, 9), true},
        {kPreviousMonths, 0, LocalDate(2027, 3, 21), LocalTime(2027, 3, 20), false},
    };
    for (const Case& test : cases) {
        SearchCriteria c;
        c.considerFileDates = 1;
        c.timeType = test.timeType;
        (test.timeType == kPreviousDays ? c.days : c.months) = test.amount;
        EXPECT_EQ(test.passes, PassesDateTest(c, 0, 0, test.modified, test.now))
            << "case " << &test - cases;
    }
}

TEST(DateTest, BetweenWholeDays) {
    SearchCriteria c;
    c.considerFileDates = 1;
    c.timeType = kBetween;
    c.lowerDate = LocalDate(2027, 3, 9, 17, 30);    // the times of day do not count
    c.higherDate = LocalDate(2027, 3, 10, 6, 0);
    const SYSTEMTIME now = LocalDate(2030, 1, 1);
    EXPECT_TRUE(PassesDateTest(c, 0, 0, LocalTime(2027, 3, 9, 0, 0), now));
    EXPECT_TRUE(PassesDateTest(c, 0, 0, LocalTime(2027, 3, 10, 23, 59, 59, 999), now));
    EXPECT_FALSE(PassesDateTest(c, 0, 0, LocalTime(2027, 3, 8, 23, 59, 59, 999), now));
    EXPECT_FALSE(PassesDateTest(c, 0, 0, LocalTime(2027, 3, 11, 0, 0), now));
    EXPECT_FALSE(PassesDateTest(c, 0, 0, 0, now));
    c.lowerDate = LocalDate(2027, 2, 31);   // an impossible date never passes
    EXPECT_FALSE(PassesDateTest(c, 0, 0, LocalTime(2027, 3, 9), now));
}

TEST(DateTest, DateTypePicksTheTime) {
    SearchCriteria c;
    c.considerFileDates = 1;
    c.timeType = kPreviousDays;
    c.days = 0;
    const SYSTEMTIME now = LocalDate(2027, 3, 15);
    const double today = LocalTime(2027, 3, 15, 9), old = LocalTime(2020, 1, 1);
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

bool Contains(const std::string& block, const std::string& pattern) {
    return ContainsBytes(block.data(), block.size(), pattern.data(), pattern.size());
}

TEST(ContentScan, FindsThePatternAnywhere) {
    EXPECT_TRUE(Contains("abxx", "ab"));
    EXPECT_FALSE(Contains("a", "ab"));
    EXPECT_FALSE(Contains("abc", ""));
    EXPECT_TRUE(Contains(std::string("zz\0z", 4), std::string("\0z", 2)));
    // First and last byte alike, middle not: keep looking.
    EXPECT_TRUE(Contains("axxb-ayyb-axyb", "axyb"));
    EXPECT_FALSE(Contains("axxb-ayyb", "axyb"));
    EXPECT_TRUE(Contains("aaab", "aab"));         // overlapping start
    EXPECT_TRUE(Contains("abcabd", "abd"));       // at the very last offset
    EXPECT_FALSE(Contains("abcab", "abd"));
    EXPECT_FALSE(Contains("abcd", "abcdd"));      // a byte longer
    EXPECT_TRUE(Contains("\xff\xfe\x80", "\xfe\x80"));   // bytes above 0x7F compare as bytes
}

TEST(ContentScan, FoldsByTheAnsiCodePage) {
    std::string block = "xAbx XAB";
    FoldAnsiCase(&block[0], block.size());
    EXPECT_EQ("xabx xab", block);
    // Zero bytes in a file do not end the folding.
    std::string binary("A\0B\0C", 5);
    FoldAnsiCase(&binary[0], binary.size());
    EXPECT_EQ(std::string("a\0b\0c", 5), binary);

    std::string ansi = ToAnsi(L"\x00c4rger");
    if (GetACP() == 1252) {
        EXPECT_EQ("\xc4rger", ansi);
        FoldAnsiCase(&ansi[0], ansi.size());
        EXPECT_EQ("\xe4rger", ansi);
    }
}

}  // namespace
