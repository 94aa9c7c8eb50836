// "Info about Module": the maker's notice, the version and a button that
// opens the maker's web site. Shown by the search window and the folder view.
#pragma once
#include <windows.h>

void ShowAboutBox(HWND owner);

// Where the About box's button leads.
extern const wchar_t kMakerWebAddress[];
