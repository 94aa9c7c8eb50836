// The pie's geometry as numbers, and the pie drawn into a bitmap checked at
// chosen points.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "handlers/capacity_pie.h"

namespace {

// 120 x 72: depth 13, ellipse 119 x 59, radii 59 and 29.
const RECT kBox = {0, 0, 120, 72};

struct GeometryCase {
    uint64_t capacity, freeBytes;
    POINT boundary;
    bool lessThanHalfFree;
    PieGeometry::Top top;
};

}  // namespace

TEST(CapacityPieGeometry, SizesFollowTheRectangle) {
    PieGeometry g = ComputePieGeometry(kBox, 100, 50);
    EXPECT_EQ(g.depth, 13);
    EXPECT_EQ(g.height, 59);
    EXPECT_EQ(g.width, 119);
    EXPECT_EQ(g.rx, 59);
    EXPECT_EQ(g.ry, 29);
    EXPECT_EQ(g.topBox.right, 119);
    EXPECT_EQ(g.topBox.bottom, 59);
    EXPECT_EQ(g.lowerBox.top, 13);
    EXPECT_EQ(g.lowerBox.bottom, 72);
    EXPECT_EQ(g.leftmost.x, 0);
    EXPECT_EQ(g.leftmost.y, 29);
    // Even heights and widths lose one.
    g = ComputePieGeometry(RECT{10, 20, 10 + 121, 20 + 78}, 1, 0);
    EXPECT_EQ(g.height, 63);
    EXPECT_EQ(g.lowerBox.top, 34);
}

TEST(CapacityPieGeometry, BoundaryAndTopForEachShare) {
    using Top = PieGeometry::Top;
    const GeometryCase cases[] = {
        {1000, 0, {0, 29}, true, Top::AllUsed},
        {1000, 1000, {0, 29}, false, Top::AllFree},
        {1000, 500, {118, 29}, false, Top::Split},   // exactly half: the at-least-half side
        {4, 1, {59, 58}, true, Top::Split},          // a quarter: the bottom point
        {4, 3, {59, 0}, false, Top::Split},          // three quarters: the top point
        {100, 3, {1, 34}, true, Top::Split},         // 97 % used
        {10000, 1, {0, 29}, true, Top::AllUsed},     // rounds to the start: one colour
        {10000, 9999, {0, 29}, false, Top::AllFree},
        {0, 0, {0, 29}, true, Top::AllUsed},         // capacity 0 counts as 1
        {5000000000ull, 2500000000ull, {118, 29}, false, Top::Split},   // beyond 32 bits
    };
    for (const GeometryCase& c : cases) {
        PieGeometry g = ComputePieGeometry(kBox, c.capacity, c.freeBytes);
        EXPECT_EQ(g.boundary.x, c.boundary.x) << c.capacity << "/" << c.freeBytes;
        EXPECT_EQ(g.boundary.y, c.boundary.y) << c.capacity << "/" << c.freeBytes;
        EXPECT_EQ(g.lessThanHalfFree, c.lessThanHalfFree) << c.capacity << "/" << c.freeBytes;
        EXPECT_EQ(g.top, c.top) << c.capacity << "/" << c.freeBytes;
    }
}

namespace {

// A white 32-bit bitmap the pie is drawn into.
class PieBitmap {
public:
    PieBitmap(uint64_t capacity, uint64_t freeBytes) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = kBox.right;
        info.bmiHeader.biHeight = -kBox.bottom;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_),
                                   nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        FillRect(dc_, &kBox, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        pen_ = GetStockObject(WHITE_PEN);
        SelectObject(dc_, pen_);
        DrawCapacityPie(dc_, kBox, capacity, freeBytes);
        GdiFlush();
    }
    ~PieBitmap() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    COLORREF At(int x, int y) const {
        DWORD p = bits_[y * kBox.right + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // The pen and brush the drawing found are there again.
    bool Restored() const {
        return GetCurrentObject(dc_, OBJ_PEN) == pen_;
    }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    HGDIOBJ pen_ = nullptr;
    DWORD* bits_ = nullptr;
};

struct Probe {
    int x, y;
    COLORREF colour;
};

const COLORREF kWhite = RGB(255, 255, 255);

}  // namespace

TEST(CapacityPieDrawing, ColoursAtChosenPoints) {
    const struct {
        uint64_t capacity, freeBytes;
        Probe probes[5];
    } cases[] = {
        // Nothing free: top and band blue.
        {1000, 0, {{59, 29, kUsedTopColor}, {20, 29, kUsedTopColor}, {59, 65, kUsedSideColor},
                   {20, 62, kUsedSideColor}, {1, 1, kWhite}}},
        // All free: everything magenta.
        {1000, 1000, {{59, 29, kFreeTopColor}, {20, 29, kFreeTopColor}, {59, 65, kFreeSideColor},
                      {100, 62, kFreeSideColor}, {118, 1, kWhite}}},
        // Exactly half: the lower half of the top and the whole band magenta.
        {1000, 500, {{59, 45, kFreeTopColor}, {59, 12, kUsedTopColor}, {30, 62, kFreeSideColor},
                     {90, 62, kFreeSideColor}, {1, 70, kWhite}}},
        // A quarter free: the lower left quarter and the band left of the middle.
        {4, 1, {{30, 45, kFreeTopColor}, {90, 45, kUsedTopColor}, {59, 12, kUsedTopColor},
                {30, 62, kFreeSideColor}, {90, 62, kUsedSideColor}}},
        // Three quarters free: the free slice runs on through the right to
        // the top, so only the upper left quarter is used.
        {4, 3, {{30, 12, kUsedTopColor}, {90, 12, kFreeTopColor}, {90, 45, kFreeTopColor},
                {30, 62, kFreeSideColor}, {90, 62, kFreeSideColor}}},
    };
    for (const auto& c : cases) {
        PieBitmap pie(c.capacity, c.freeBytes);
        EXPECT_TRUE(pie.Restored());
        for (const Probe& p : c.probes)
            EXPECT_EQ(pie.At(p.x, p.y), p.colour)
                << c.capacity << "/" << c.freeBytes << " at " << p.x << "," << p.y;
    }
}
