// Drawing the information pane: its GDI objects, made once per pane, the
// picture behind the texts, and the texts themselves.
#pragma once
#include <windows.h>

#include <string>

#include "view/pane_content.h"

// The picture's part that is drawn: 125 pixels wide, the top 163 rows.
constexpr int kPanePictureWidth = 125;
constexpr int kPanePictureHeight = 163;

class PaneDrawing {
public:
    PaneDrawing() = default;
    ~PaneDrawing() { Release(); }
    PaneDrawing(const PaneDrawing&) = delete;
    PaneDrawing& operator=(const PaneDrawing&) = delete;

    // The memory device context for the picture (only when the pane's own
    // context can be had) and the three fonts.
    void Create(HWND pane);
    // Puts bitmap `id` into the memory context; false when it cannot.
    bool LoadPicture(UINT id);
    void Release();

    HFONT Font(PaneFont font) const;
    // The memory context with the picture selected, or null.
    HDC Picture() const { return bitmap_ ? memory_ : nullptr; }

private:
    HDC memory_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
    HFONT title_ = nullptr;
    HFONT bold_ = nullptr;
    HFONT normal_ = nullptr;
};

// Draws `text` at (x, y) in lines at most maxWidth wide, broken after
// spaces, hyphens and tabs; returns the widest line and the total height.
SIZE WrapText(HDC dc, const std::wstring& text, int x, int y, int maxWidth);

// Scroll positions; 0 for a bar that cannot be read.
POINT PaneScrollOrigin(HWND pane);

// The picture at the top left (full pane, not scrolled past it), white elsewhere.
void ErasePaneBackground(HWND pane, HDC dc, const PaneDrawing& drawing, bool fullPane);

// Band: the title alone, centred in the band. Full pane: everything; returns
// the drawn content's width and height (0 in the band).
SIZE PaintPaneContent(HWND pane, HDC dc, const PaneDrawing& drawing, const PaneContent& content, bool fullPane);
