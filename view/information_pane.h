// The information pane: a plain child window of the view, beside the list
// (or a title band above it), in which the title of the folder, a picture of
// the module and a description of the selection are painted. It holds no
// controls; its view supplies what it says and handles its clicks.
#pragma once
#include <windows.h>

#include "resources/icon_ids.h"
#include "view/pane_content.h"
#include "view/pane_layout.h"
#include "view/pane_painting.h"

constexpr int kPaneControlId = 2;
// Scroll steps in pixels.
constexpr int kPaneHorizontalStep = 20;
constexpr int kPaneVerticalStep = 8;

// What the pane asks of its view.
class PaneHost {
public:
    virtual PaneContent CurrentPaneContent() = 0;
    // A mouse button went down at a point of the pane.
    virtual void OnPanePress(POINT client) = 0;
    // The right button came up: the view's background menu.
    virtual void OnPaneMenu(POINT screen) = 0;

protected:
    ~PaneHost() = default;
};

class InformationPane {
public:
    InformationPane() = default;
    ~InformationPane() { Destroy(); }
    InformationPane(const InformationPane&) = delete;
    InformationPane& operator=(const InformationPane&) = delete;

    // The window (hidden, 100 x 100 at the origin), its subclass, cleared
    // scroll bars, the memory context for the picture and the fonts.
    HRESULT Create(HWND parent, PaneHost* host);
    void Destroy();
    // The picture for the module's model (GetModuleModel's number).
    void LoadPicture(int model);
    bool PictureChosen() const { return pictureChosen_; }

    HWND Window() const { return window_; }
    bool FullPane() const { return fullPane_; }
    // What the last full-pane paint drew: its size and its texts.
    SIZE ContentSize() const { return content_; }
    const PaneContent& Painted() const { return painted_; }

    // Moves the pane where the layout puts it and takes its mode.
    void Place(const PaneLayout& layout);
    // Repaints at once and sets the scroll ranges (full pane only).
    void Refresh();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();
    void UpdateScrollRanges();
    void Scroll(int bar, int request, int thumb, int step);
    void ClearScrollBars(BOOL redraw);

    HWND window_ = nullptr;
    WNDPROC previous_ = nullptr;
    PaneHost* host_ = nullptr;
    PaneDrawing drawing_;
    bool fullPane_ = false;
    bool pictureChosen_ = false;
    SIZE content_ = {0, 0};
    PaneContent painted_;
};
