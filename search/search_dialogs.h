// The common dialogs of the search window: open and save a search file, and
// the folder browser of Look in. Tests answer them in place of the user, as
// the prompt seam answers message boxes.
#pragma once
#include <windows.h>

#include <string>

struct SearchFileRequest {
    enum class Kind { Load, Save, BrowseFolder };
    Kind kind = Kind::Load;
    HWND owner = nullptr;
    std::wstring title;
    std::wstring fileName;   // Save: the name offered
};

class SearchDialogAnswerer {
public:
    // True with *path set (the chosen file, or the module path of the chosen
    // folder) for OK; false for Cancel.
    virtual bool Answer(const SearchFileRequest& request, std::wstring* path) = 0;

protected:
    ~SearchDialogAnswerer() = default;
};

// Process-wide; null restores the real dialogs. Returns the previous one.
SearchDialogAnswerer* SetSearchDialogAnswerer(SearchDialogAnswerer* answerer);

// Open and save dialogs for "*.ssc", starting on the desktop folder.
bool ChooseSearchFile(HWND owner, bool save, const std::wstring& fileName, std::wstring* path);
// The folder browser rooted at the module folder: "\" for the module itself,
// else the chosen folder's module path.
bool ChooseSearchFolder(HWND owner, std::wstring* path);
