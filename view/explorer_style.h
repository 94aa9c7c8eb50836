// What the view takes from Explorer's own settings: the list's extended
// style (single- or double-click, underlining) and the WebView flag. The
// registry root is a parameter so that the rules can be checked on a
// scratch key; production passes HKEY_CURRENT_USER.
#pragma once
#include <windows.h>

// Extended list style. `doubleClickMode` is Explorer's SSF_DOUBLECLICKINWEBVIEW.
DWORD ExtendedListStyleFor(bool doubleClickMode, HKEY userRoot);
// The same from the live settings.
DWORD CurrentExtendedListStyle();

// "WebView" under Explorer's Advanced key: on when present and not 0.
bool ReadWebViewFlag(HKEY userRoot);
