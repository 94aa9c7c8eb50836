#include "handlers/capacity_pie.h"

#include <cmath>

#include "common/holders.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

void FillBox(HDC dc, int left, int top, int width, int height, HBRUSH brush) {
    if (width <= 0 || height <= 0) return;
    RECT box = {left, top, left + width, top + height};
    FillRect(dc, &box, brush);
}

void Line(HDC dc, int x0, int y0, int x1, int y1) {
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
}

}  // namespace

PieGeometry ComputePieGeometry(const RECT& rect, uint64_t capacity, uint64_t freeBytes) {
    if (capacity == 0) capacity = 1;
    if (freeBytes > capacity) freeBytes = capacity;
    const int L = rect.left, T = rect.top;
    const int W = rect.right - rect.left, H = rect.bottom - rect.top;

    PieGeometry g;
    g.depth = H / 6 + 1;
    g.height = H - g.depth;
    if (g.height % 2 == 0) --g.height;
    g.width = W;
    if (g.width % 2 == 0) --g.width;
    g.rx = g.width / 2;
    g.ry = g.height / 2;
    g.topBox = {L, T, L + g.width, T + g.height};
    g.lowerBox = {L, T + g.depth, L + g.width, T + g.height + g.depth};

    const double a = 2 * kPi * static_cast<double>(freeBytes) / static_cast<double>(capacity);
    g.boundary.x = L + static_cast<int>(std::floor((1 - std::cos(a)) * g.rx + 0.5));
    g.boundary.y = T + static_cast<int>(std::floor((1 + std::sin(a)) * g.ry + 0.5));
    g.leftmost = {L, T + g.ry};
    g.lessThanHalfFree = 2 * freeBytes < capacity;

    if (freeBytes == 0) {
        g.top = PieGeometry::Top::AllUsed;
    } else if (freeBytes == capacity) {
        g.top = PieGeometry::Top::AllFree;
    } else if (g.boundary.y == g.leftmost.y && g.boundary.x < L + g.rx) {
        // The slice rounds away to nothing: one colour for the whole top.
        g.top = 2 * freeBytes < capacity ? PieGeometry::Top::AllUsed : PieGeometry::Top::AllFree;
    } else {
        g.top = PieGeometry::Top::Split;
    }
    return g;
}

void DrawCapacityPie(HDC dc, const RECT& rect, uint64_t capacity, uint64_t freeBytes,
                     COLORREF usedTop, COLORREF usedSide, COLORREF freeTop, COLORREF freeSide) {
    const PieGeometry g = ComputePieGeometry(rect, capacity, freeBytes);
    UniqueGdiObject<HBRUSH> usedTopBrush(CreateSolidBrush(usedTop));
    UniqueGdiObject<HBRUSH> usedSideBrush(CreateSolidBrush(usedSide));
    UniqueGdiObject<HBRUSH> freeTopBrush(CreateSolidBrush(freeTop));
    UniqueGdiObject<HBRUSH> freeSideBrush(CreateSolidBrush(freeSide));
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, usedSideBrush.get());

    const int L = rect.left, T = rect.top;
    const RECT& low = g.lowerBox;
    const POINT P = g.boundary;
    const int lowerCentreY = T + g.depth + g.ry;

    // The front band.
    if (g.lessThanHalfFree) {
        SelectObject(dc, usedSideBrush.get());
        Ellipse(dc, low.left, low.top, low.right, low.bottom);
        // P lies on the lower half; its mirror on the upper half closes the
        // chord through the leftmost point.
        const int lowerY = P.y + g.depth;
        SelectObject(dc, freeSideBrush.get());
        // A boundary on the centre line would make the chord the whole ellipse.
        if (lowerY > lowerCentreY)
            Chord(dc, low.left, low.top, low.right, low.bottom, P.x, 2 * lowerCentreY - lowerY,
                  P.x, lowerY);
        FillBox(dc, L, T + g.ry, P.x - L, g.depth + 1, freeSideBrush.get());
        FillBox(dc, P.x, T + g.ry, g.width - (P.x - L), g.depth + 1, usedSideBrush.get());
        Line(dc, P.x, P.y, P.x, P.y + g.depth + 1);
    } else {
        SelectObject(dc, freeSideBrush.get());
        Pie(dc, low.left, low.top, low.right, low.bottom, L, lowerCentreY, L + g.width - 1,
            lowerCentreY);
        FillBox(dc, L, T + g.ry, g.width, g.depth + 1, freeSideBrush.get());
    }
    Line(dc, L, T + g.ry, L, T + g.ry + g.depth + 1);
    Line(dc, L + g.width - 1, T + g.ry, L + g.width - 1, T + g.ry + g.depth + 1);

    // The top.
    const RECT& top = g.topBox;
    switch (g.top) {
    case PieGeometry::Top::AllUsed:
        SelectObject(dc, usedTopBrush.get());
        Ellipse(dc, top.left, top.top, top.right, top.bottom);
        break;
    case PieGeometry::Top::AllFree:
        SelectObject(dc, freeTopBrush.get());
        Ellipse(dc, top.left, top.top, top.right, top.bottom);
        break;
    case PieGeometry::Top::Split:
        SelectObject(dc, freeTopBrush.get());
        Pie(dc, top.left, top.top, top.right, top.bottom, g.leftmost.x, g.leftmost.y, P.x, P.y);
        SelectObject(dc, usedTopBrush.get());
        Pie(dc, top.left, top.top, top.right, top.bottom, P.x, P.y, g.leftmost.x, g.leftmost.y);
        break;
    }
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
}
