#include <gtest/gtest.h>

#include "search/item_tests.h"
#include "search/wildcard.h"

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
        {L"*.txt", L"a.txt", true},
        {L"*.txt", L"A.TXT", true},
        {L"*.TXT", L"a.txt", true},
        {L"*.txt", L"a.txt.bak", false},
        {L"*.txt", L"README", false},
        {L"*", L"", true},
        {L"*", L"anything.at.all", true},
        {L"", L"", true},
        {L"", L"a", false},
        {L"a*", L"ab", true},
        {L"a*", L"ba", false},
        {L"a*b*c", L"aXbYc", true},
        {L"a*b*c", L"aXbYcZ", false},
        {L"a*b*c", L"acb", false},
        {L"*ab*ab", L"xabyab", true},
        {L"*ab*ab", L"xab", false},
        {L"a?c", L"abc", true},
        {L"a?c", L"ac", false},
        {L"a?c.txt", L"abc.txt", true},
        {L"*a?c*", L"xxabcxx", true},
        {L"**a**", L"bab", true},
        {L"abc", L"abc", true},
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
        {L"abc.", L"abc", true},
        {L"abc.", L"abcd", false},
        {L"abc.", L"abc.", true},        // the name has a dot: no tail
        {L"abc?*", L"abcdefg", true},    // the cut tail is longer than one character
        {L"abc.*", L"abcdefg", false},   // ... but begins with a dot
        {L"*abc?", L"xabcd", true},      // the segment takes the cut `?` back
        {L"*abc?", L"xabc", true},
        {L"*abc?", L"xabcde", false},
        {L"*abc?*", L"xabcdzz", true},
        {L"*readme.*", L"README", true}, // what the name test makes of `README.`
        {L"a??", L"a", false},           // only the last `?` is cut
        {L"a??", L"ab", true},
        {L"?", L"", true},
        {L"?", L"ab", false},
    };
    ExpectMatches(cases, ARRAYSIZE(cases));
}

TEST(NameTest, SubstringUnlessStarred) {
    EXPECT_TRUE(PassesNameTest(L"", L"whatever"));
    EXPECT_TRUE(PassesNameTest(L"abc", L"xabcx.txt"));
    EXPECT_TRUE(PassesNameTest(L"ABC", L"xabcx.txt"));
    EXPECT_FALSE(PassesNameTest(L"abd", L"xabcx.txt"));
    EXPECT_TRUE(PassesNameTest(L"a*", L"ab"));
    EXPECT_FALSE(PassesNameTest(L"a*", L"ba"));
    EXPECT_FALSE(PassesNameTest(L"*.txt", L"README"));
    EXPECT_TRUE(PassesNameTest(L"README.", L"README"));
    EXPECT_TRUE(PassesNameTest(L"b?d", L"abcde"));   // `?` still one character
    EXPECT_FALSE(PassesNameTest(L"b?d", L"abde"));
}

TEST(TypeTest, AnyPatternOfTheList) {
    EXPECT_TRUE(PassesTypeTest(L"", L"a.bin"));
    EXPECT_TRUE(PassesTypeTest(L"*", L"a.bin"));
    EXPECT_TRUE(PassesTypeTest(L"*.htm|*.html", L"index.HTML"));
    EXPECT_TRUE(PassesTypeTest(L"*.htm|*.html", L"index.htm"));
    EXPECT_FALSE(PassesTypeTest(L"*.htm|*.html", L"index.txt"));
    EXPECT_FALSE(PassesTypeTest(L"*.htm|*.html", L"htm"));
    EXPECT_TRUE(PassesTypeTest(L"*.jpg||*.png", L"x.png"));   // an empty entry matches nothing
    EXPECT_FALSE(PassesTypeTest(L"*.jpg|", L"x"));
}

TEST(SizeTest, Table) {
    // sizeType 0: everything.
    EXPECT_TRUE(PassesSizeTest(0, 0, 0));
    EXPECT_TRUE(PassesSizeTest(0, 5, 1));
    // Minimum.
    EXPECT_TRUE(PassesSizeTest(1, 1, 1024));
    EXPECT_FALSE(PassesSizeTest(1, 1, 1023));
    EXPECT_TRUE(PassesSizeTest(1, 0, 1));
    EXPECT_FALSE(PassesSizeTest(1, 0, 0));
    EXPECT_FALSE(PassesSizeTest(1, 1, -5));    // a size past 2 GB reads negative
    // Maximum.
    EXPECT_TRUE(PassesSizeTest(2, 1, 1024));
    EXPECT_FALSE(PassesSizeTest(2, 1, 1025));
    EXPECT_FALSE(PassesSizeTest(2, 0, 0));     // maximum 0 KB finds nothing
    EXPECT_TRUE(PassesSizeTest(2, 999999, 1023998976));
    EXPECT_FALSE(PassesSizeTest(2, 999999, 0x7FFFFFFF));
    // A negative limit passes everything.
    EXPECT_TRUE(PassesSizeTest(1, -1, 0));
    EXPECT_TRUE(PassesSizeTest(2, -1, 100000));
}

}  // namespace
