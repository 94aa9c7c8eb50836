// Runs a real modal property sheet (PropertySheetW) on the calling thread and
// drives it: once the dialog driver sees the sheet come up, a thread timer
// runs the test's script against it, then the sheet is closed with Cancel
// unless the script closed it.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <functional>
#include <string>
#include <vector>

#include "common/formatting.h"
#include "tests/support/prompt_recorder.h"

// The pages a handler adds, in order.
inline BOOL CALLBACK CollectSheetPage(HPROPSHEETPAGE page, LPARAM lParam) {
    reinterpret_cast<std::vector<HPROPSHEETPAGE>*>(lParam)->push_back(page);
    return TRUE;
}

class SheetDriver {
public:
    using Script = std::function<void(HWND sheet)>;

    // Shows `pages` and runs `script` on the sheet; the sheet's result.
    static INT_PTR Run(std::vector<HPROPSHEETPAGE>& pages, Script script) {
        SheetDriver self(std::move(script));
        PROPSHEETHEADERW header = {};
        header.dwSize = sizeof(header);
        header.dwFlags = PSH_NOCONTEXTHELP;
        header.pszCaption = L"Test";
        header.nPages = static_cast<UINT>(pages.size());
        header.phpage = pages.data();
        INT_PTR result = PropertySheetW(&header);
        pages.clear();
        return result;
    }

    // The page at `index`, made current first so that it exists.
    static HWND Page(HWND sheet, int index) {
        PropSheet_SetCurSel(sheet, nullptr, index);
        return PropSheet_GetCurrentPageHwnd(sheet);
    }
    static std::wstring Text(HWND page, int id) { return WindowText(GetDlgItem(page, id)); }
    static bool Enabled(HWND page, int id) { return IsWindowEnabled(GetDlgItem(page, id)) != 0; }
    // Titles of the sheet's tabs.
    static std::vector<std::wstring> TabTitles(HWND sheet) {
        std::vector<std::wstring> titles;
        HWND tabs = PropSheet_GetTabControl(sheet);
        const int count = TabCtrl_GetItemCount(tabs);
        for (int i = 0; i < count; ++i) {
            wchar_t text[128] = {};
            TCITEMW item = {};
            item.mask = TCIF_TEXT;
            item.pszText = text;
            item.cchTextMax = ARRAYSIZE(text);
            TabCtrl_GetItem(tabs, i, &item);
            titles.push_back(text);
        }
        return titles;
    }
    // A click on a button, as the user makes it (BN_CLICKED reaches the page).
    static void Click(HWND page, int id) {
        SendMessageW(GetDlgItem(page, id), BM_CLICK, 0, 0);
    }
    // Apply Now; true when every page accepted.
    static bool Apply(HWND sheet) { return PropSheet_Apply(sheet) != FALSE; }

private:
    explicit SheetDriver(Script script)
        : script_(std::move(script)),
          driver_([this](HWND window) {
              if (sheet_ || !PropSheet_GetTabControl(window)) return;
              sheet_ = window;
              current_ = this;
              SetTimer(nullptr, 0, 1, &SheetDriver::RunScript);
          }) {}

    static void CALLBACK RunScript(HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        SheetDriver* self = current_;
        if (!self || self->done_) return;
        self->done_ = true;
        self->script_(self->sheet_);
        if (IsWindow(self->sheet_) && PropSheet_GetCurrentPageHwnd(self->sheet_))
            PropSheet_PressButton(self->sheet_, PSBTN_CANCEL);
    }

    Script script_;
    DialogDriver driver_;
    HWND sheet_ = nullptr;
    bool done_ = false;
    static inline SheetDriver* current_ = nullptr;
};
