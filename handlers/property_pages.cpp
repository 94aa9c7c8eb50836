#include "handlers/property_pages.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <new>

#include "common/formatting.h"
#include "common/holders.h"
#include "common/prompt.h"
#include "common/resource_module.h"
#include "handlers/capacity_pie.h"
#include "handlers/property_sheet_handler.h"
#include "handlers/selection_summary.h"
#include "handlers/settings_store.h"
#include "module_access/call_wrappers.h"
#include "module_access/com_thread.h"
#include "module_access/module_errors.h"
#include "resources/handlers_ids.h"
#include "resources/string_ids.h"

namespace {

// One page's own state; the page's lParam. Deleted when the page is released.
struct SheetPage {
    SheetPage(PropertySheetHandler* h, SheetPageKind k, UINT i, std::wstring t)
        : handler(h), kind(k), index(i), title(std::move(t)) {
        handler->AddRef();
    }
    ~SheetPage() { handler->Release(); }
    SheetPage(const SheetPage&) = delete;
    SheetPage& operator=(const SheetPage&) = delete;

    PropertySheetHandler* handler;
    SheetPageKind kind;
    UINT index;
    std::wstring title;
    UniqueIcon icon;
    // Setting the controls' first texts is not a change by the user.
    bool filling = false;
};

SheetPage* PageOf(HWND page) {
    return reinterpret_cast<SheetPage*>(GetWindowLongPtrW(page, DWLP_USER));
}

void SetIcon(HWND page, SheetPage* p, HICON icon) {
    p->icon.reset(icon);
    SendDlgItemMessageW(page, IDC_PROP_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

void SetText(HWND page, int id, const std::wstring& text) {
    SetDlgItemTextW(page, id, text.c_str());
}

// --- Filling the pages -------------------------------------------------------

void FillModulePage(HWND page, SheetPage* p) {
    SetIcon(page, p, Resources().LoadIcon(IDI_MODULE));
    const SheetSelection& s = p->handler->selection();
    if (s.moduleModel[0]) SetText(page, IDC_PROP_MODEL, s.moduleModel);
}

void FillPortPage(HWND page, SheetPage* p) {
    SetIcon(page, p, Resources().LoadIcon(IDI_MODULE));
    SetText(page, IDC_PROP_NAME, Resources().LoadString(IDS_MODULE));
    HWND list = GetDlgItem(page, IDC_PORT_LIST);
    const DWORD mask = ReadPortMask();
    for (int n = 0; n < kPortCount; ++n)
        if (mask & (1u << n))
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(PortName(n).c_str()));
    // LB_FINDSTRINGEXACT ignores case, as the stored name may be "com7".
    const std::wstring stored = PortName(ReadPortIndex());
    LRESULT found = SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(stored.c_str()));
    if (found != LB_ERR) SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(found), 0);
}

void DriveFigures(const SheetSelection& s, UINT index, uint64_t* capacity, uint64_t* freeBytes) {
    LPCITEMIDLIST drive = s.items[index].get();
    *capacity = ItemSize(drive);
    const double modified = ItemModified(drive);
    *freeBytes = modified > 0 ? static_cast<uint64_t>(modified) : 0;
}

void FillDrivePage(HWND page, SheetPage* p) {
    const SheetSelection& s = p->handler->selection();
    SetIcon(page, p, DriveIcon(false));
    if (s.hasLabel[p->index]) {
        SetText(page, IDC_DRIVE_LABEL, s.labels[p->index]);
        EnableWindow(GetDlgItem(page, IDC_DRIVE_LABEL), TRUE);
        EnableWindow(GetDlgItem(page, IDC_PROP_NAME), TRUE);
    }
    uint64_t capacity = 0, freeBytes = 0;
    DriveFigures(s, p->index, &capacity, &freeBytes);
    if (capacity != 0) {
        const uint64_t used = freeBytes < capacity ? capacity - freeBytes : 0;
        SetText(page, IDC_DRIVE_USED_BYTES, BytesText(used));
        SetText(page, IDC_DRIVE_USED, FormatByteSize(used));
        SetText(page, IDC_DRIVE_FREE_BYTES, BytesText(freeBytes));
        SetText(page, IDC_DRIVE_FREE, FormatByteSize(freeBytes));
        SetText(page, IDC_DRIVE_CAPACITY_BYTES, BytesText(capacity));
        SetText(page, IDC_DRIVE_CAPACITY, FormatByteSize(capacity));
    }
}

void FillGeneralPage(HWND page, SheetPage* p) {
    const SheetSelection& s = p->handler->selection();
    const bool one = s.items.size() == 1;
    LPCITEMIDLIST first = s.items[0].get();
    SetIcon(page, p, one ? ItemIcon(first, false) : Resources().LoadIcon(IDI_SEVERAL_ITEMS));
    SetText(page, IDC_PROP_NAME, one ? std::wstring(ItemName(first))
                                     : CountsText(s.fileCount, s.folderCount));
    SetText(page, IDC_PROP_TYPE, s.typeText);
    SetText(page, IDC_PROP_LOCATION, s.locationText);
    SetText(page, IDC_PROP_SIZE, SizeText(s.totalSize));
    if (one && !IsContainerItem(first)) {
        SetText(page, IDC_PROP_SHORT_NAME, ItemShortName(first));
        SetText(page, IDC_PROP_CREATED, FormatDateTime(ItemCreated(first), false, false, false));
        SetText(page, IDC_PROP_MODIFIED, FormatDateTime(ItemModified(first), false, false, false));
        SetText(page, IDC_PROP_ACCESSED, FormatDateTime(ItemAccessed(first), false, false, false));
    } else if (one) {
        SetText(page, IDC_PROP_CONTAINS, CountsText(s.fileCount, s.folderCount));
        const double created = ItemCreated(first) != 0 ? ItemCreated(first) : ItemModified(first);
        SetText(page, IDC_PROP_CREATED, FormatDateTime(created, false, false, false));
    }
    for (const AttributeBox& box : kAttributeBoxes) {
        const UINT state = AttributeBoxState(s.attributesAny, s.attributesMixed, box.bit);
        HWND control = GetDlgItem(page, box.controlId);
        if (state == BST_INDETERMINATE)
            SendMessageW(control, BM_SETSTYLE, BS_AUTO3STATE, FALSE);
        SendMessageW(control, BM_SETCHECK, state, 0);
    }
}

// --- Applying ------------------------------------------------------------------

HRESULT ApplyGeneralPage(HWND page, SheetPage* p) {
    SheetSelection& s = p->handler->selection();
    UINT states[4];
    for (size_t i = 0; i < ARRAYSIZE(kAttributeBoxes); ++i)
        states[i] = IsDlgButtonChecked(page, kAttributeBoxes[i].controlId);
    for (size_t i = 0; i < s.items.size(); ++i) {
        const DWORD value = AppliedAttributes(s.attributes[i], states);
        if (value == s.attributes[i]) continue;
        HRESULT hr = SetItemAttributes(p->handler->connection(), GetParent(page),
                                       ItemPath(s.items[i].get()),
                                       value & ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
        if (FAILED(hr)) return hr;
        s.attributes[i] = value;
    }
    return S_OK;
}

HRESULT ApplyDrivePage(HWND page, SheetPage* p) {
    SheetSelection& s = p->handler->selection();
    const std::wstring label = WindowText(GetDlgItem(page, IDC_DRIVE_LABEL));
    HRESULT hr = SetDriveLabel(p->handler->connection(), GetParent(page),
                               ItemPath(s.items[p->index].get()), label.c_str());
    if (SUCCEEDED(hr)) {
        s.labels[p->index] = label;
        s.hasLabel[p->index] = true;
    }
    return hr;
}

HRESULT ApplyPortPage(HWND page, SheetPage* p) {
    HWND sheet = GetParent(page);
    HWND list = GetDlgItem(page, IDC_PORT_LIST);
    const LRESULT selected = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR) {
        ShowMessageBox(sheet, Resources().LoadString(IDS_PORT_SELECT_PORT),
                       Resources().LoadString(IDS_MODULE), MB_OK | MB_ICONINFORMATION);
        return E_FAIL;
    }
    wchar_t port[16] = {};
    if (SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(selected), 0) >=
        static_cast<LRESULT>(ARRAYSIZE(port)))
        return E_FAIL;
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(port));
    HRESULT hr = WritePortSetting(port);
    if (FAILED(hr)) {
        ShowMessageBox(sheet, ErrorText(hr), Resources().LoadString(IDS_MODULE),
                       MB_OK | MB_ICONWARNING);
        return hr;
    }
    ModuleAccess* connection = p->handler->connection();
    if (!connection) return E_UNEXPECTED;
    UniqueBstr name(port);
    return connection->SetPort(name.get());
}

HRESULT ApplyPage(HWND page, SheetPage* p) {
    ComThreadScope com;
    if (!com.ok()) return com.hr();
    switch (p->kind) {
    case SheetPageKind::General:
        return ApplyGeneralPage(page, p);
    case SheetPageKind::Drive:
        return ApplyDrivePage(page, p);
    case SheetPageKind::Port:
        return ApplyPortPage(page, p);
    case SheetPageKind::ModuleInformation:
        break;
    }
    return S_OK;
}

// --- Drawing ---------------------------------------------------------------------

// A legend square is its colour alone, edge to edge: no frame.
void DrawSquare(const DRAWITEMSTRUCT* item, COLORREF colour) {
    UniqueGdiObject<HBRUSH> brush(CreateSolidBrush(colour));
    if (brush) FillRect(item->hDC, &item->rcItem, brush.get());
}

void DrawPie(HWND page, SheetPage* p, const DRAWITEMSTRUCT* item) {
    // The page's own background, themed or not.
    auto background = reinterpret_cast<HBRUSH>(
        SendMessageW(page, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(item->hDC),
                     reinterpret_cast<LPARAM>(item->hwndItem)));
    FillRect(item->hDC, &item->rcItem, background ? background : GetSysColorBrush(COLOR_BTNFACE));
    uint64_t capacity = 0, freeBytes = 0;
    DriveFigures(p->handler->selection(), p->index, &capacity, &freeBytes);
    DrawCapacityPie(item->hDC, item->rcItem, capacity, freeBytes);
}

// --- The page procedure ------------------------------------------------------------

void MarkChanged(HWND page, SheetPage* p) {
    if (p->filling) return;
    p->handler->changedPages |= 1u << p->index;
    PropSheet_Changed(GetParent(page), page);
}

bool IsAttributeBox(int id) {
    for (const AttributeBox& box : kAttributeBoxes)
        if (box.controlId == id) return true;
    return false;
}

INT_PTR CALLBACK SheetPageProc(HWND page, UINT message, WPARAM wp, LPARAM lp) {
    SheetPage* p = PageOf(page);
    switch (message) {
    case WM_INITDIALOG: {
        p = reinterpret_cast<SheetPage*>(reinterpret_cast<PROPSHEETPAGEW*>(lp)->lParam);
        SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(p));
        p->filling = true;
        switch (p->kind) {
        case SheetPageKind::ModuleInformation: FillModulePage(page, p); break;
        case SheetPageKind::Port: FillPortPage(page, p); break;
        case SheetPageKind::Drive: FillDrivePage(page, p); break;
        case SheetPageKind::General: FillGeneralPage(page, p); break;
        }
        p->filling = false;
        return TRUE;
    }
    case WM_COMMAND: {
        if (!p) return FALSE;
        const int id = LOWORD(wp), code = HIWORD(wp);
        if ((code == BN_CLICKED && IsAttributeBox(id)) ||
            (code == LBN_SELCHANGE && id == IDC_PORT_LIST) ||
            (code == EN_CHANGE && id == IDC_DRIVE_LABEL))
            MarkChanged(page, p);
        return FALSE;
    }
    case WM_DRAWITEM: {
        if (!p) return FALSE;
        auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (item->CtlID == IDC_DRIVE_USED_SQUARE) DrawSquare(item, kUsedTopColor);
        else if (item->CtlID == IDC_DRIVE_FREE_SQUARE) DrawSquare(item, kFreeTopColor);
        else if (item->CtlID == IDC_DRIVE_PIE) DrawPie(page, p, item);
        else return FALSE;
        return TRUE;
    }
    case WM_NOTIFY: {
        if (!p || reinterpret_cast<NMHDR*>(lp)->code != PSN_APPLY) return FALSE;
        const DWORD bit = 1u << p->index;
        LONG_PTR result = PSNRET_NOERROR;
        if (p->handler->changedPages & bit) {
            if (SUCCEEDED(ApplyPage(page, p))) {
                p->handler->changedPages &= ~bit;
                PropSheet_UnChanged(GetParent(page), page);
            } else {
                result = PSNRET_INVALID_NOCHANGEPAGE;
            }
        }
        SetWindowLongPtrW(page, DWLP_MSGRESULT, result);
        return TRUE;
    }
    case WM_DESTROY:
        if (p) p->icon.reset();
        return FALSE;
    default:
        return FALSE;
    }
}

UINT CALLBACK SheetPageCallback(HWND, UINT message, PROPSHEETPAGEW* page) {
    if (message == PSPCB_RELEASE && page) delete reinterpret_cast<SheetPage*>(page->lParam);
    return 1;
}

}  // namespace

HPROPSHEETPAGE CreateSheetPage(PropertySheetHandler* handler, SheetPageKind kind, UINT index,
                               const DLGTEMPLATE* pageTemplate, const std::wstring& title) {
    SheetPage* p = new (std::nothrow) SheetPage(handler, kind, index, title);
    if (!p) return nullptr;
    PROPSHEETPAGEW psp = {};
    psp.dwSize = sizeof(psp);
    psp.dwFlags = PSP_DLGINDIRECT | PSP_USECALLBACK | (title.empty() ? 0 : PSP_USETITLE);
    psp.hInstance = Resources().module();
    psp.pResource = pageTemplate;
    psp.pszTitle = p->title.c_str();
    psp.pfnDlgProc = &SheetPageProc;
    psp.lParam = reinterpret_cast<LPARAM>(p);
    psp.pfnCallback = &SheetPageCallback;
    HPROPSHEETPAGE created = CreatePropertySheetPageW(&psp);
    if (!created) delete p;
    return created;
}
