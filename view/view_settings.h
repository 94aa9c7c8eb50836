// Explorer's own settings about which items to show, as the view reads them
// when it fills its list. Each answers 1 (show) or 0 (hide) and defaults to 1.
#pragma once
#include <windows.h>

int ShowHiddenItems();
int ShowSystemItems();
int ShowSuperHiddenItems();

// The same, read below `currentUser` instead of HKEY_CURRENT_USER.
int ShowHiddenItems(HKEY currentUser);
int ShowSystemItems(HKEY currentUser);
int ShowSuperHiddenItems(HKEY currentUser);
