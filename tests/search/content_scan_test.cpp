#include <gtest/gtest.h>

#include <string>

#include "search/content_scan.h"

namespace {

bool Contains(const std::string& block, const std::string& pattern) {
    return ContainsBytes(block.data(), block.size(), pattern.data(), pattern.size());
}

TEST(ContentScan, FindsThePatternAnywhere) {
    EXPECT_TRUE(Contains("ab", "ab"));
    EXPECT_TRUE(Contains("xxab", "ab"));
    EXPECT_TRUE(Contains("abxx", "ab"));
    EXPECT_FALSE(Contains("a", "ab"));
    EXPECT_FALSE(Contains("", "a"));
    EXPECT_FALSE(Contains("abc", ""));
    EXPECT_TRUE(Contains("a", "a"));
    EXPECT_TRUE(Contains(std::string("zz\0z", 4), std::string("\0z", 2)));
    // First and last byte alike, middle not: keep looking.
    EXPECT_TRUE(Contains("axxb-ayyb-axyb", "axyb"));
    EXPECT_FALSE(Contains("axxb-ayyb", "axyb"));
    EXPECT_TRUE(Contains("aab", "ab"));         // overlapping start
    EXPECT_TRUE(Contains("aaab", "aab"));
    EXPECT_TRUE(Contains("abcabd", "abd"));     // at the very last offset
    EXPECT_FALSE(Contains("abcab", "abd"));
    EXPECT_TRUE(Contains("abcd", "abcd"));      // the whole block
    EXPECT_FALSE(Contains("abcd", "abcdd"));    // a byte longer
    // Bytes above 0x7F compare as bytes.
    EXPECT_TRUE(Contains("\xff\xfe\x80", "\xfe\x80"));
}

TEST(ContentScan, FoldsByTheAnsiCodePage) {
    std::string pattern = "Ab";
    std::string block = "xAbx XAB";
    FoldAnsiCase(&pattern[0], pattern.size());
    FoldAnsiCase(&block[0], block.size());
    EXPECT_EQ("ab", pattern);
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
    EXPECT_EQ("", ToAnsi(L""));
    EXPECT_EQ("ab", ToAnsi(L"ab"));
}

}  // namespace
