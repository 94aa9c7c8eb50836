// What the information pane says, apart from any drawing: the folder's title
// and the lines describing the selection, each with its font and the gaps
// around it.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <string>
#include <vector>

enum class PaneFont { Title, Bold, Normal };

// The drive lines carry a legend square for their slice of the pie.
enum class PaneLegend { None, Used, Free };

struct PaneLine {
    std::wstring text;
    PaneFont font = PaneFont::Normal;
    int gapBefore = 0;
    int gapAfter = 0;
    PaneLegend legend = PaneLegend::None;
};

struct PaneContent {
    std::wstring title;
    std::vector<PaneLine> lines;
    bool pie = false;   // a drive: the capacity pie below the lines
    uint64_t capacity = 0;
    uint64_t freeBytes = 0;
};

enum class PaneFolderKind { Root, Drive, Folder };

// Model names longer than this are cut.
constexpr size_t kPaneModelChars = 31;
// Above this many selected rows the pane lists no names.
constexpr size_t kPaneNamedRowsMax = 16;

// "Module" and the model at the root, "Module Disk (A:)" for a drive, else
// the folder's own name.
std::wstring PaneTitle(PaneFolderKind kind, const std::wstring& folderPath, const std::wstring& model);

// The title and the description of the selected items (in list order).
PaneContent ComposePaneContent(PaneFolderKind kind, const std::wstring& folderPath, const std::wstring& model,
                               const std::vector<LPCITEMIDLIST>& selected);
