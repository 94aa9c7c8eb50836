#include "view/pane_painting.h"

#include <algorithm>

#include "common/resource_module.h"
#include "handlers/capacity_pie.h"
#include "view/pane_layout.h"

namespace {

constexpr COLORREF kPaneGrey = RGB(212, 208, 200);
constexpr COLORREF kPaneDarkGrey = RGB(128, 128, 128);
constexpr COLORREF kPaneWhite = RGB(255, 255, 255);
constexpr COLORREF kPaneBlack = RGB(0, 0, 0);

constexpr int kTextLeft = 8;
constexpr int kLegendTextLeft = 35;
constexpr int kLegendLeft = 19;
constexpr int kContentTop = 40;
constexpr int kTitleGap = 28;

HFONT MakeFont(int height, int weight) {
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Verdana");
}

int WindowWidth(HWND window) {
    RECT rc = {};
    GetWindowRect(window, &rc);
    return rc.right - rc.left;
}

// The legend square of a pie slice: black, with the slice's colour inside.
void DrawLegend(HDC dc, int x, int y, HBRUSH frame, HBRUSH fill) {
    RECT outer = {x, y, x + 11, y + 11};
    FillRect(dc, &outer, frame);
    RECT inner = {x + 1, y + 1, x + 10, y + 10};
    FillRect(dc, &inner, fill);
}

}  // namespace

void PaneDrawing::Create(HWND pane) {
    Release();
    if (HDC dc = GetDC(pane)) {
        memory_ = CreateCompatibleDC(dc);
        ReleaseDC(pane, dc);
    }
    title_ = MakeFont(-18, FW_BOLD);
    bold_ = MakeFont(-11, FW_BOLD);
    normal_ = MakeFont(-11, FW_NORMAL);
}

bool PaneDrawing::LoadPicture(UINT id) {
    if (!memory_) return false;
    HBITMAP bitmap = Resources().LoadBitmap(id);
    if (!bitmap) return false;
    HGDIOBJ previous = SelectObject(memory_, bitmap);
    if (bitmap_) {
        DeleteObject(bitmap_);
    } else {
        previousBitmap_ = previous;
    }
    bitmap_ = bitmap;
    return true;
}

void PaneDrawing::Release() {
    if (memory_) {
        if (previousBitmap_) SelectObject(memory_, previousBitmap_);
        DeleteDC(memory_);
    }
    if (bitmap_) DeleteObject(bitmap_);
    for (HFONT font : {title_, bold_, normal_})
        if (font) DeleteObject(font);
    memory_ = nullptr;
    bitmap_ = nullptr;
    previousBitmap_ = nullptr;
    title_ = bold_ = normal_ = nullptr;
}

HFONT PaneDrawing::Font(PaneFont font) const {
    switch (font) {
    case PaneFont::Title: return title_;
    case PaneFont::Bold: return bold_;
    case PaneFont::Normal: break;
    }
    return normal_;
}

SIZE WrapText(HDC dc, const std::wstring& text, int x, int y, int maxWidth) {
    std::vector<WrappedLine> lines = WrapLines(text, maxWidth, [dc](const wchar_t* start, size_t count, SIZE* size) {
        return GetTextExtentPoint32W(dc, start, static_cast<int>(count), size) != FALSE;
    });
    SIZE drawn = {0, 0};
    for (const WrappedLine& line : lines) {
        TextOutW(dc, x, y + drawn.cy, text.c_str() + line.start, static_cast<int>(line.length));
        drawn.cy += line.height;
        drawn.cx = std::max<LONG>(drawn.cx, line.width);
    }
    return drawn;
}

POINT PaneScrollOrigin(HWND pane) {
    POINT origin = {0, 0};
    SCROLLINFO info = {sizeof(info), SIF_POS};
    if (GetScrollInfo(pane, SB_HORZ, &info)) origin.x = info.nPos;
    info.nPos = 0;
    if (GetScrollInfo(pane, SB_VERT, &info)) origin.y = info.nPos;
    return origin;
}

void ErasePaneBackground(HWND pane, HDC dc, const PaneDrawing& drawing, bool fullPane) {
    RECT client = {};
    GetClientRect(pane, &client);
    POINT scroll = PaneScrollOrigin(pane);
    HDC picture = drawing.Picture();
    if (!fullPane || !picture || scroll.x >= kPanePictureWidth || scroll.y >= kPanePictureHeight) {
        PatBlt(dc, 0, 0, client.right, client.bottom, WHITENESS);
        return;
    }
    const int shownWidth = kPanePictureWidth - scroll.x;
    const int shownHeight = kPanePictureHeight - scroll.y;
    BitBlt(dc, 0, 0, shownWidth, shownHeight, picture, scroll.x, scroll.y, SRCCOPY);
    PatBlt(dc, shownWidth, 0, client.right - shownWidth, client.bottom, WHITENESS);
    PatBlt(dc, 0, shownHeight, shownWidth, client.bottom - shownHeight, WHITENESS);
}

SIZE PaintPaneContent(HWND pane, HDC dc, const PaneDrawing& drawing, const PaneContent& content, bool fullPane) {
    SIZE extent = {0, 0};
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ previousFont = SelectObject(dc, drawing.Font(PaneFont::Title));
    if (!fullPane) {
        SIZE size = {};
        int y = 0;
        if (GetTextExtentPoint32W(dc, content.title.c_str(), static_cast<int>(content.title.size()), &size))
            y = (kPaneBandHeight - size.cy) / 2;
        TextOutW(dc, kTextLeft, y, content.title.c_str(), static_cast<int>(content.title.size()));
        SelectObject(dc, previousFont);
        return extent;
    }

    const POINT scroll = PaneScrollOrigin(pane);
    const int width = WindowWidth(pane) - GetSystemMetrics(SM_CXVSCROLL);
    const int lineWidth = width - kTextLeft;
    int height = kContentTop;
    auto note = [&extent](SIZE drawn) { extent.cx = std::max<LONG>(extent.cx, drawn.cx + kTextLeft); };

    SIZE drawn = WrapText(dc, content.title, kTextLeft - scroll.x, height - scroll.y, lineWidth);
    note(drawn);
    height += drawn.cy + kTitleGap;

    HBRUSH black = CreateSolidBrush(kPaneBlack);
    HBRUSH grey = CreateSolidBrush(kPaneGrey);
    HBRUSH white = CreateSolidBrush(kPaneWhite);
    for (const PaneLine& line : content.lines) {
        height += line.gapBefore;
        SelectObject(dc, drawing.Font(line.font));
        if (line.legend == PaneLegend::None) {
            drawn = WrapText(dc, line.text, kTextLeft - scroll.x, height - scroll.y, lineWidth);
        } else {
            drawn = WrapText(dc, line.text, kLegendTextLeft - scroll.x, height - scroll.y, width - kLegendTextLeft);
            // The squares scroll with their lines.
            DrawLegend(dc, kLegendLeft - scroll.x, height + 1 - scroll.y, black,
                       line.legend == PaneLegend::Used ? grey : white);
        }
        note(drawn);
        height += drawn.cy + line.gapAfter;
    }
    if (content.pie) {
        RECT box = {width / 6, height - scroll.y, width / 6 + 2 * width / 3, height - scroll.y + width / 3};
        OffsetRect(&box, -scroll.x, 0);
        DrawCapacityPie(dc, box, content.capacity, content.freeBytes, kPaneGrey, kPaneDarkGrey, kPaneWhite, kPaneGrey);
    }
    for (HBRUSH brush : {black, grey, white})
        if (brush) DeleteObject(brush);
    height += GetSystemMetrics(SM_CYHSCROLL);
    extent.cy = height;
    SelectObject(dc, previousFont);
    return extent;
}
