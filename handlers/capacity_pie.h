// The drive page's three-dimensional pie of used and free space: a tilted
// disc seen from above with a visible front band. The geometry is plain
// integer arithmetic so that it can be checked without a device context.
#pragma once
#include <windows.h>

#include <cstdint>

constexpr COLORREF kUsedTopColor = RGB(0, 0, 255);
constexpr COLORREF kUsedSideColor = RGB(0, 0, 128);
constexpr COLORREF kFreeTopColor = RGB(255, 0, 255);
constexpr COLORREF kFreeSideColor = RGB(128, 0, 128);

struct PieGeometry {
    enum class Top { AllUsed, AllFree, Split };

    int depth = 0;            // height of the front band
    int width = 0;            // odd ellipse width
    int height = 0;           // odd ellipse height
    int rx = 0, ry = 0;
    RECT topBox = {};         // the top ellipse's box
    RECT lowerBox = {};       // the same moved down by depth
    POINT boundary = {};      // where the free slice ends on the top ellipse
    POINT leftmost = {};      // the top ellipse's leftmost point
    bool lessThanHalfFree = false;
    Top top = Top::Split;
};

// Capacity 0 counts as 1; free bytes above the capacity count as the capacity.
PieGeometry ComputePieGeometry(const RECT& rect, uint64_t capacity, uint64_t freeBytes);

// Draws the pie into `rect` with the black stock pen as every outline;
// restores the device context's pen and brush.
void DrawCapacityPie(HDC dc, const RECT& rect, uint64_t capacity, uint64_t freeBytes,
                     COLORREF usedTop = kUsedTopColor, COLORREF usedSide = kUsedSideColor,
                     COLORREF freeTop = kFreeTopColor, COLORREF freeSide = kFreeSideColor);
