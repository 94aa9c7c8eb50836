// The information pane's arithmetic, apart from any window: where the list
// and the pane go, how a text breaks into lines, and the scroll bars'
// ranges and positions.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct PanePlace {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct PaneLayout {
    PanePlace list;
    PanePlace pane;
    bool fullPane = false;   // beside the list, with picture and description
    bool band = false;       // a 32-pixel title band above the list
};

constexpr int kFullPaneMinimumWidth = 400;
constexpr int kPaneBandHeight = 32;

PaneLayout ComputePaneLayout(bool webView, int width, int height);

// One line of a wrapped text: characters [start, start + length) and the
// measured size.
struct WrappedLine {
    size_t start = 0;
    size_t length = 0;
    int width = 0;
    int height = 0;
};

// Measures `count` characters; false when it cannot.
using MeasureText = std::function<bool(const wchar_t* text, size_t count, SIZE* size)>;

// Breaks after spaces, hyphens and tabs (not after the last character) and
// fills lines greedily up to maxWidth; a word wider than that stands alone,
// unbroken. A failing measurement ends the lines there.
std::vector<WrappedLine> WrapLines(const std::wstring& text, int maxWidth, const MeasureText& measure);

struct PaneScrollBar {
    bool cleared = true;   // range, page and position 0
    int max = 0;
    int page = 0;
    int position = 0;
};

// The bar for `content` pixels seen through a `page` of them.
PaneScrollBar PaneScrollRange(int content, int page, int position);

// The new position for a WM_HSCROLL / WM_VSCROLL request, or -1 to ignore it.
int PaneScrollPosition(int request, const PaneScrollBar& bar, int thumb, int step);
