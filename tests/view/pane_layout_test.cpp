// The information pane's layout, line breaking and scroll arithmetic.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "view/pane_layout.h"

namespace {

// Every character 7 pixels wide, lines 13 high.
bool Measure7(const wchar_t*, size_t count, SIZE* size) {
    size->cx = static_cast<LONG>(count * 7);
    size->cy = 13;
    return true;
}

std::vector<std::wstring> Lines(const std::wstring& text, int maxWidth, const MeasureText& measure = Measure7) {
    std::vector<std::wstring> out;
    for (const WrappedLine& line : WrapLines(text, maxWidth, measure)) out.push_back(text.substr(line.start, line.length));
    return out;
}

}  // namespace

TEST(PaneLayout, WebViewWidthDecidesBesideBandOrHidden) {
    struct Case {
        bool webView;
        int width, height;
        PanePlace list, pane;
        bool fullPane, band;
    } cases[] = {
        {false, 640, 480, {0, 0, 640, 480}, {-16000, -16000, 10, 10}, false, false},
        {true, 400, 300, {120, 0, 280, 300}, {0, 0, 120, 300}, true, false},
        {true, 399, 300, {0, 32, 399, 268}, {0, 0, 399, 32}, false, true},
        {true, 1001, 50, {300, 0, 701, 50}, {0, 0, 300, 50}, true, false},   // 30 % rounded down
        {true, 0, 0, {0, 32, 0, -32}, {0, 0, 0, 32}, false, true},
    };
    for (const Case& c : cases) {
        PaneLayout layout = ComputePaneLayout(c.webView, c.width, c.height);
        SCOPED_TRACE(testing::Message() << c.webView << " " << c.width << "x" << c.height);
        const PanePlace* got[2] = {&layout.list, &layout.pane};
        const PanePlace* want[2] = {&c.list, &c.pane};
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(want[i]->x, got[i]->x);
            EXPECT_EQ(want[i]->y, got[i]->y);
            EXPECT_EQ(want[i]->width, got[i]->width);
            EXPECT_EQ(want[i]->height, got[i]->height);
        }
        EXPECT_EQ(c.fullPane, layout.fullPane);
        EXPECT_EQ(c.band, layout.band);
    }
}

TEST(PaneWrapText, BreaksAfterSpacesHyphensAndTabsAndKeepsLongWordsWhole) {
    struct Case {
        const wchar_t* text;
        int width;
        std::vector<std::wstring> lines;
    } cases[] = {
        {L"", 100, {}},
        {L"Module Disk (A:)", 200, {L"Module Disk (A:)"}},
        {L"Module Disk (A:)", 84, {L"Module Disk ", L"(A:)"}},      // 12 characters fit
        {L"Select an object", 50, {L"Select ", L"an ", L"object"}},
        {L"well-known\tname", 49, {L"well-", L"known\t", L"name"}},
        {L"Supercalifragilistic word", 35, {L"Supercalifragilistic ", L"word"}},
        {L"ends with -", 50, {L"ends ", L"with -"}},                 // no break after the last character
        {L"a b", 21, {L"a b"}},                                      // exactly the width fits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "width " << c.width);
        EXPECT_EQ(c.lines, Lines(c.text, c.width));
    }
    std::vector<WrappedLine> sizes = WrapLines(L"Module Disk (A:)", 84, Measure7);
    ASSERT_EQ(2u, sizes.size());
    EXPECT_EQ(84, sizes[0].width);
    EXPECT_EQ(28, sizes[1].width);
    EXPECT_EQ(13, sizes[1].height);
}

TEST(PaneWrapText, AFailingMeasurementEndsTheLines) {
    int calls = 0;
    MeasureText failing = [&calls](const wchar_t* text, size_t count, SIZE* size) {
        return ++calls <= 3 && Measure7(text, count, size);
    };
    // "one " fits, "one two " does not: the first line is drawn; then the
    // third measurement succeeds and the fourth fails.
    EXPECT_EQ((std::vector<std::wstring>{L"one "}), Lines(L"one two three", 40, failing));
    EXPECT_TRUE(Lines(L"anything", 40, [](const wchar_t*, size_t, SIZE*) { return false; }).empty());
}

TEST(PaneScroll, RangesClearWhenTheContentFitsAndClampThePosition) {
    struct Case {
        int content, page, position;
        bool cleared;
        int max, pageOut, positionOut;
    } cases[] = {
        {100, 100, 0, true, 0, 0, 0},
        {100, 200, 50, true, 0, 0, 0},
        {101, 100, 0, false, 101, 100, 0},
        {300, 100, 150, false, 300, 100, 150},
        {300, 100, 250, false, 300, 100, 201},
    };
    for (const Case& c : cases) {
        PaneScrollBar bar = PaneScrollRange(c.content, c.page, c.position);
        SCOPED_TRACE(testing::Message() << c.content << "/" << c.page << "@" << c.position);
        EXPECT_EQ(c.cleared, bar.cleared);
        EXPECT_EQ(c.max, bar.max);
        EXPECT_EQ(c.pageOut, bar.page);
        EXPECT_EQ(c.positionOut, bar.position);
    }
}

TEST(PaneScroll, RequestsMoveByStepOrPageWithinTheRange) {
    PaneScrollBar bar;
    bar.cleared = false;
    bar.max = 300;
    bar.page = 100;   // the last position is 201
    struct Case {
        int request, position, expected;
    } cases[] = {
        {SB_LINEUP, 30, 10},       {SB_LINEUP, 5, 0},       {SB_TOP, 30, 10},
        {SB_LINEDOWN, 30, 50},     {SB_LINEDOWN, 190, 201}, {SB_BOTTOM, 0, 20},
        {SB_PAGEUP, 150, 50},      {SB_PAGEDOWN, 50, 150},  {SB_PAGEDOWN, 150, 201},
        {SB_THUMBTRACK, 0, 77},    {SB_THUMBPOSITION, 0, 77}, {SB_ENDSCROLL, 30, -1},
    };
    for (const Case& c : cases) {
        bar.position = c.position;
        EXPECT_EQ(c.expected, PaneScrollPosition(c.request, bar, 77, 20)) << c.request << " from " << c.position;
    }
}
