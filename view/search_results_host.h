// The window that shows a ModuleView as its results list (the search
// window). The view asks it for its window and the folder being searched.
#pragma once
#include <windows.h>

#include <string>

class SearchResultsHost {
public:
    virtual HWND ResultsOwnerWindow() = 0;
    // The module path the search runs in ("" for the whole module).
    virtual std::wstring ResultsFolderPath() = 0;

protected:
    ~SearchResultsHost() = default;
};
