// The menus an Explorer-like browser puts into the shared menu before a view
// merges its own: File with the browser's own items (by the ids the view
// knows them by), Edit with one item of the browser, View with Toolbar, the
// options separator and Options, and Help with an About item. Shared by the
// view's command tests and the command browser tool.
#pragma once
#include <windows.h>
#include <shlobj.h>

constexpr UINT kBrowserOptionsItem = 0x7001;
constexpr UINT kBrowserToolbarItem = 0x7002;
constexpr UINT kBrowserAboutItem = 0x7003;
constexpr UINT kBrowserEditItem = 0x7100;

inline void InsertBrowserMenus(HMENU shared) {
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, 40998, L"Create Shortcut");
    AppendMenuW(file, MF_STRING, 41029, L"Delete");
    AppendMenuW(file, MF_STRING, 40995, L"Rename");
    AppendMenuW(file, MF_STRING, 40996, L"Properties");
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, 40997, L"Close");
    HMENU edit = CreatePopupMenu();
    AppendMenuW(edit, MF_STRING, kBrowserEditItem, L"Browser edit item");
    HMENU view = CreatePopupMenu();
    AppendMenuW(view, MF_STRING, kBrowserToolbarItem, L"Toolbar");
    AppendMenuW(view, MF_SEPARATOR, FCIDM_MENU_VIEW_SEP_OPTIONS, nullptr);
    AppendMenuW(view, MF_STRING, kBrowserOptionsItem, L"Options");
    HMENU help = CreatePopupMenu();
    AppendMenuW(help, MF_STRING, kBrowserAboutItem, L"About the browser");
    const struct {
        HMENU menu;
        UINT id;
        const wchar_t* text;
    } popups[] = {{file, FCIDM_MENU_FILE, L"&File"},
                  {edit, FCIDM_MENU_EDIT, L"&Edit"},
                  {view, FCIDM_MENU_VIEW, L"&View"},
                  {help, FCIDM_MENU_HELP, L"&Help"}};
    for (const auto& popup : popups) {
        MENUITEMINFOW info = {sizeof(info)};
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.wID = popup.id;
        info.hSubMenu = popup.menu;
        info.dwTypeData = const_cast<wchar_t*>(popup.text);
        InsertMenuItemW(shared, GetMenuItemCount(shared), TRUE, &info);
    }
}
