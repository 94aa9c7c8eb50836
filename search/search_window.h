// The search window ("Find File"): the criteria pages, the search engine run
// from Start, and the found items in a results list that is the module's own
// view in its search role. Each window lives on a thread of its own with its
// own apartment and its own module-access connection.
#pragma once
#include <windows.h>

#include <string>

// Opens a window on a new thread and waits until it exists or has failed.
// `startFile`: a search file to load at once (one pair of surrounding
// quotes is dropped); `lookIn`: the folder to preset. Either may be empty.
// With `window`, the new window's handle is handed out as well.
HRESULT OpenSearchWindow(const std::wstring& startFile, const std::wstring& lookIn, HWND* window = nullptr);

// The same for callers that pass C strings (null for none).
HRESULT OpenSearchWindowFor(const wchar_t* startFile, const wchar_t* lookIn);

// How many search windows are open in the process.
LONG OpenSearchWindowCount();

// Opens a window for `file` and returns when every search window of the
// process has closed.
void RunSearchWindowsFor(const wchar_t* file);
