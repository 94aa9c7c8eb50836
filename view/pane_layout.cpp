#include "view/pane_layout.h"

PaneLayout ComputePaneLayout(bool webView, int width, int height) {
    PaneLayout layout;
    if (!webView) {
        layout.list = {0, 0, width, height};
        layout.pane = {-16000, -16000, 10, 10};
    } else if (width >= kFullPaneMinimumWidth) {
        int pane = width * 30 / 100;
        layout.fullPane = true;
        layout.pane = {0, 0, pane, height};
        layout.list = {pane, 0, width - pane, height};
    } else {
        layout.band = true;
        layout.pane = {0, 0, width, kPaneBandHeight};
        layout.list = {0, kPaneBandHeight, width, height - kPaneBandHeight};
    }
    return layout;
}

std::vector<WrappedLine> WrapLines(const std::wstring& text, int maxWidth, const MeasureText& measure) {
    std::vector<size_t> breaks{0};
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == L' ' || text[i] == L'-' || text[i] == L'\t') breaks.push_back(i + 1);
    if (text.size() > 0) breaks.push_back(text.size());

    std::vector<WrappedLine> lines;
    const size_t words = breaks.size() - 1;
    size_t first = 0;
    while (first < words) {
        WrappedLine fit;
        size_t fitEnd = first;
        for (size_t end = first + 1; end <= words; ++end) {
            SIZE size = {};
            if (!measure(text.c_str() + breaks[first], breaks[end] - breaks[first], &size)) return lines;
            if (size.cx > maxWidth && end > first + 1) break;
            fit = {breaks[first], breaks[end] - breaks[first], size.cx, size.cy};
            fitEnd = end;
            if (size.cx > maxWidth) break;   // one word wider than the line
        }
        lines.push_back(fit);
        first = fitEnd;
    }
    return lines;
}

PaneScrollBar PaneScrollRange(int content, int page, int position) {
    PaneScrollBar bar;
    if (content - page < 1) return bar;
    bar.cleared = false;
    bar.max = content;
    bar.page = page;
    bar.position = position + page > content + 1 ? content - page + 1 : position;
    return bar;
}

int PaneScrollPosition(int request, const PaneScrollBar& bar, int thumb, int step) {
    const int last = bar.max - bar.page + 1;
    switch (request) {
    case SB_LINEUP:
    case SB_TOP:
        return bar.position - step < 0 ? 0 : bar.position - step;
    case SB_LINEDOWN:
    case SB_BOTTOM:
        return bar.position + step <= last ? bar.position + step : last;
    case SB_PAGEUP:
        return bar.position - bar.page;
    case SB_PAGEDOWN:
        return bar.position + bar.page <= last ? bar.position + bar.page : last;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        return thumb;
    default:
        return -1;
    }
}
