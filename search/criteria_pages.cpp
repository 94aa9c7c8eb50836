#include "search/criteria_pages.h"

#include <commctrl.h>
#include <shellapi.h>
#include <wrl/client.h>

#include <algorithm>
#include <memory>

#include "common/holders.h"
#include "common/prompt.h"
#include "common/resource_module.h"
#include "item_id/module_item_id.h"
#include "module_access/absolute_lists.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "module_access/module_access.h"
#include "resources/search_ids.h"
#include "resources/string_ids.h"
#include "search/search_dialogs.h"
#include "search/search_settings.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr size_t kMaxNameChars = 259;
constexpr int kMaxDateCount = 999;
constexpr int kMaxSizeKb = 32767;

void SetItemInt(HWND page, int id, LONG value) { SetDlgItemInt(page, id, static_cast<UINT>(value), TRUE); }

LONG ItemInt(HWND page, int id) {
    BOOL ok = FALSE;
    int value = static_cast<int>(GetDlgItemInt(page, id, &ok, TRUE));
    return ok ? value : 0;
}

void Today(SYSTEMTIME* date) { GetLocalTime(date); }

// Moves a control so that its right edge keeps `gap` pixels to the page's right edge,
// stretching it when `stretch` is set, else sliding it.
void KeepRightGap(HWND page, int id, int width, int gap, bool stretch) {
    HWND control = GetDlgItem(page, id);
    if (!control) return;
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&rect), 2);
    int controlWidth = rect.right - rect.left;
    int right = width - gap;
    if (stretch) {
        int newWidth = right - rect.left;
        if (newWidth < 20) newWidth = 20;
        SetWindowPos(control, nullptr, 0, 0, newWidth, rect.bottom - rect.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        SetWindowPos(control, nullptr, right - controlWidth, rect.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// Dialog units to pixels for the page's font.
int DialogUnitsX(HWND page, int units) {
    RECT rect = {0, 0, units, 0};
    MapDialogRect(page, &rect);
    return rect.right;
}

}  // namespace

// ---------------------------------------------------------------------------
// CriteriaPage

CriteriaPage::~CriteriaPage() { Destroy(); }

HRESULT CriteriaPage::Create(HWND parent) {
    UniqueHGlobal dialog(Resources().LoadDialogTemplate(templateId_));
    if (!dialog) return E_OUTOFMEMORY;
    window_ = CreateDialogIndirectParamW(Resources().module(), static_cast<LPCDLGTEMPLATEW>(dialog.get()), parent,
                                         DialogProc, reinterpret_cast<LPARAM>(this));
    return window_ ? S_OK : E_OUTOFMEMORY;
}

void CriteriaPage::Destroy() {
    if (window_) {
        SetWindowLongPtrW(window_, DWLP_USER, 0);
        DestroyWindow(window_);
    }
    window_ = nullptr;
}

void CriteriaPage::SetControlsEnabled(bool enabled) {
    for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        EnableWindow(child, enabled);
}

std::wstring CriteriaPage::ItemText(int id, size_t limit) const {
    HWND control = Item(id);
    int length = control ? GetWindowTextLengthW(control) : 0;
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    length = GetWindowTextW(control, &text[0], length + 1);
    text.resize(static_cast<size_t>(length > 0 ? length : 0));
    if (limit && text.size() > limit) text.resize(limit);
    return text;
}

INT_PTR CALLBACK CriteriaPage::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* page = reinterpret_cast<CriteriaPage*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        page->window_ = window;
        page->OnInit();
        return FALSE;
    }
    auto* page = reinterpret_cast<CriteriaPage*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!page) return FALSE;
    switch (message) {
        case WM_COMMAND:
            page->OnCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_SIZE:
            page->Layout(LOWORD(lParam), HIWORD(lParam));
            return TRUE;
        default:
            return FALSE;
    }
}

// ---------------------------------------------------------------------------
// Name/Location

void NameLocationPage::OnInit() {
    SendMessageW(Item(IDC_SEARCH_NAME), CB_LIMITTEXT, kMaxNameChars, 0);
    FillHistory(ReadNameHistory());
    FillLookIn();
    Reset();
    if (!presetLookIn_.empty()) SetLookIn(presetLookIn_);
}

void NameLocationPage::FillHistory(const std::vector<std::wstring>& history) {
    HWND box = Item(IDC_SEARCH_NAME);
    std::wstring text = ItemText(IDC_SEARCH_NAME);
    SendMessageW(box, CB_RESETCONTENT, 0, 0);
    for (const std::wstring& name : history) {
        if (!name.empty()) SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    SetWindowTextW(box, text.c_str());
}

int NameLocationPage::AddLookInEntry(const std::wstring& text, const std::wstring& path, int image, int indent,
                                     int at) {
    COMBOBOXEXITEMW item = {};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_INDENT | CBEIF_LPARAM;
    item.iItem = at;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.iImage = item.iSelectedImage = image;
    item.iIndent = indent;
    item.lParam = static_cast<LPARAM>(lookInPaths_.size());
    lookInPaths_.push_back(path);
    return static_cast<int>(SendMessageW(Item(IDC_SEARCH_LOOK_IN), CBEM_INSERTITEMW, 0,
                                         reinterpret_cast<LPARAM>(&item)));
}

void NameLocationPage::FillLookIn() {
    if (!commonControlsReady_) return;
    HWND box = Item(IDC_SEARCH_LOOK_IN);
    SendMessageW(box, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(SystemImageList(true)));

    int moduleImage = IconIndexForName(L"", FILE_ATTRIBUTE_DIRECTORY, true);
    IdListHolder root;
    if (SUCCEEDED(FindModuleRoot(root.out()))) {
        SHFILEINFOW info = {};
        if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(root.get()), 0, &info, sizeof(info),
                           SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON))
            moduleImage = info.iIcon;
    }
    AddLookInEntry(Resources().LoadString(IDS_MODULE), L"\\", moduleImage, 0, 0);

    // The drives come from a connection of their own, let go at once.
    ComPtr<ModuleAccess> access;
    if (FAILED(CreateModuleAccess(access.GetAddressOf()))) return;
    std::vector<IdListHolder> drives;
    if (FAILED(ListItems(L"", &drives, access.Get(), false))) return;
    struct Drive {
        std::wstring text, path;
        int image;
    };
    std::vector<Drive> entries;
    for (const IdListHolder& drive : drives) {
        LPCITEMIDLIST item = drive.get();
        if (!item || !IsValidItemId(item)) continue;
        std::wstring path = ItemPath(item);
        std::wstring name = path.size() > 1 && path[0] == L'\\' ? path.substr(1) : path;
        entries.push_back({Resources().LoadString(IDS_MODULE_DISK) + L" (" + name + L")",
                           path[0] == L'\\' ? path : L"\\" + path, ItemIconIndex(item, true)});
    }
    std::sort(entries.begin(), entries.end(),
              [](const Drive& a, const Drive& b) { return lstrcmpiW(a.text.c_str(), b.text.c_str()) < 0; });
    int at = 1;
    for (const Drive& drive : entries) AddLookInEntry(drive.text, drive.path, drive.image, 1, at++);
}

void NameLocationPage::SetLookIn(const std::wstring& path) {
    HWND box = Item(IDC_SEARCH_LOOK_IN);
    if (!commonControlsReady_) {
        SetWindowTextW(box, path.c_str());
        return;
    }
    int count = static_cast<int>(SendMessageW(box, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        LPARAM index = SendMessageW(box, CB_GETITEMDATA, i, 0);
        if (index >= 0 && static_cast<size_t>(index) < lookInPaths_.size() &&
            lstrcmpiW(lookInPaths_[index].c_str(), path.c_str()) == 0) {
            SendMessageW(box, CB_SETCURSEL, i, 0);
            return;
        }
    }
    int image = IconIndexForName(L"", FILE_ATTRIBUTE_DIRECTORY, true);
    int added = AddLookInEntry(path, path, image, 0, -1);
    SendMessageW(box, CB_SETCURSEL, added, 0);
}

std::wstring NameLocationPage::LookInPath() const {
    HWND box = Item(IDC_SEARCH_LOOK_IN);
    std::wstring text = ItemText(IDC_SEARCH_LOOK_IN);
    if (commonControlsReady_) {
        // The selected entry, unless the user typed over it.
        int selected = static_cast<int>(SendMessageW(box, CB_GETCURSEL, 0, 0));
        if (selected >= 0) {
            wchar_t entryText[MAX_PATH] = L"";
            COMBOBOXEXITEMW item = {};
            item.mask = CBEIF_TEXT | CBEIF_LPARAM;
            item.iItem = selected;
            item.pszText = entryText;
            item.cchTextMax = ARRAYSIZE(entryText);
            if (SendMessageW(box, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) && text == entryText &&
                item.lParam >= 0 && static_cast<size_t>(item.lParam) < lookInPaths_.size())
                return lookInPaths_[item.lParam];
        }
    }
    if (text.empty() || text[0] != L'\\') text.insert(0, 1, L'\\');
    return text;
}

void NameLocationPage::Reset() {
    SetDlgItemTextW(window_, IDC_SEARCH_NAME, L"");
    SetDlgItemTextW(window_, IDC_SEARCH_TEXT, L"");
    if (commonControlsReady_) {
        SendMessageW(Item(IDC_SEARCH_LOOK_IN), CB_SETCURSEL, 0, 0);
    } else {
        SetDlgItemTextW(window_, IDC_SEARCH_LOOK_IN, L"\\");
    }
    CheckDlgButton(window_, IDC_SEARCH_SUBFOLDERS, BST_CHECKED);
}

void NameLocationPage::LoadFrom(const SearchCriteria& criteria) {
    SetDlgItemTextW(window_, IDC_SEARCH_NAME, criteria.name.c_str());
    SetDlgItemTextW(window_, IDC_SEARCH_TEXT, criteria.text.c_str());
    SetLookIn(criteria.path.empty() ? std::wstring(L"\\") : criteria.path);
    CheckDlgButton(window_, IDC_SEARCH_SUBFOLDERS, criteria.includeSubfolders ? BST_CHECKED : BST_UNCHECKED);
}

void NameLocationPage::Collect(SearchCriteria* criteria) {
    criteria->name = ItemText(IDC_SEARCH_NAME, kMaxNameChars);
    if (!criteria->name.empty()) {
        std::vector<std::wstring> history = AddToNameHistory(ReadNameHistory(), criteria->name);
        StoreNameHistory(history);
        FillHistory(history);
    }
    criteria->text = ItemText(IDC_SEARCH_TEXT);
    criteria->path = LookInPath();
    criteria->includeSubfolders = IsDlgButtonChecked(window_, IDC_SEARCH_SUBFOLDERS) == BST_CHECKED ? 1 : 0;
}

void NameLocationPage::Layout(int width, int height) {
    const int margin = DialogUnitsX(window_, 8);
    RECT browse;
    GetWindowRect(Item(IDC_SEARCH_BROWSE), &browse);
    const int browseWidth = browse.right - browse.left;
    KeepRightGap(window_, IDC_SEARCH_NAME, width, margin, true);
    KeepRightGap(window_, IDC_SEARCH_TEXT, width, margin, true);
    KeepRightGap(window_, IDC_SEARCH_BROWSE, width, margin, false);
    KeepRightGap(window_, IDC_SEARCH_LOOK_IN, width, margin + browseWidth + DialogUnitsX(window_, 6), true);
}

void NameLocationPage::OnCommand(UINT id, UINT code) {
    if (id == IDC_SEARCH_BROWSE && code == BN_CLICKED) Browse();
}

void NameLocationPage::Browse() {
    std::wstring path;
    if (ChooseSearchFolder(GetAncestor(window_, GA_ROOT), &path)) SetLookIn(path);
}

// ---------------------------------------------------------------------------
// Date

void DatePage::OnInit() {
    HWND types = Item(IDC_SEARCH_DATE_TYPE);
    for (UINT id : {IDS_SEARCH_DATE_MODIFIED, IDS_SEARCH_DATE_CREATED, IDS_SEARCH_DATE_ACCESSED}) {
        std::wstring text = Resources().LoadString(id);
        SendMessageW(types, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    for (int id : {IDC_SEARCH_MONTHS, IDC_SEARCH_DAYS}) SendMessageW(Item(id), EM_SETLIMITTEXT, 3, 0);
    for (int id : {IDC_SEARCH_MONTHS_SPIN, IDC_SEARCH_DAYS_SPIN})
        SendMessageW(Item(id), UDM_SETRANGE32, 1, kMaxDateCount);
    Reset();
}

void DatePage::Reset() {
    CheckRadioButton(window_, IDC_SEARCH_ALL_FILES, IDC_SEARCH_FIND_FILES, IDC_SEARCH_ALL_FILES);
    CheckRadioButton(window_, IDC_SEARCH_DAYS_RADIO, IDC_SEARCH_BETWEEN, IDC_SEARCH_DAYS_RADIO);
    SendMessageW(Item(IDC_SEARCH_DATE_TYPE), CB_SETCURSEL, 0, 0);
    SetItemInt(window_, IDC_SEARCH_MONTHS, 1);
    SetItemInt(window_, IDC_SEARCH_DAYS, 1);
    if (commonControlsReady_) {
        SYSTEMTIME today;
        Today(&today);
        for (int id : {IDC_SEARCH_FROM, IDC_SEARCH_TO})
            SendMessageW(Item(id), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&today));
    }
    EnableChosen();
}

void DatePage::LoadFrom(const SearchCriteria& criteria) {
    CheckRadioButton(window_, IDC_SEARCH_ALL_FILES, IDC_SEARCH_FIND_FILES,
                     criteria.considerFileDates ? IDC_SEARCH_FIND_FILES : IDC_SEARCH_ALL_FILES);
    int timeRadio = criteria.timeType == 0 ? IDC_SEARCH_BETWEEN
                    : criteria.timeType == 1 ? IDC_SEARCH_MONTHS_RADIO
                                             : IDC_SEARCH_DAYS_RADIO;
    CheckRadioButton(window_, IDC_SEARCH_DAYS_RADIO, IDC_SEARCH_BETWEEN, timeRadio);
    SendMessageW(Item(IDC_SEARCH_DATE_TYPE), CB_SETCURSEL, criteria.dateType >= 0 && criteria.dateType <= 2
                                                               ? criteria.dateType : 0, 0);
    SetItemInt(window_, IDC_SEARCH_MONTHS, criteria.months);
    SetItemInt(window_, IDC_SEARCH_DAYS, criteria.days);
    if (commonControlsReady_) {
        SendMessageW(Item(IDC_SEARCH_FROM), DTM_SETSYSTEMTIME, GDT_VALID,
                     reinterpret_cast<LPARAM>(&criteria.lowerDate));
        SendMessageW(Item(IDC_SEARCH_TO), DTM_SETSYSTEMTIME, GDT_VALID,
                     reinterpret_cast<LPARAM>(&criteria.higherDate));
    }
    EnableChosen();
}

bool DatePage::ReadPicker(int id, SYSTEMTIME* date) {
    SYSTEMTIME read = {};
    if (SendMessageW(Item(id), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&read)) == GDT_VALID) {
        *date = read;
        return true;
    }
    Today(date);
    SendMessageW(Item(id), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(date));
    ShowMessageBox(GetAncestor(window_, GA_ROOT), Resources().LoadString(IDS_SEARCH_ILLEGAL_DATE),
                   Resources().LoadString(IDS_SEARCH_ERROR_CAPTION), MB_ICONERROR);
    return false;
}

void DatePage::Collect(SearchCriteria* criteria) {
    criteria->considerFileDates = IsDlgButtonChecked(window_, IDC_SEARCH_ALL_FILES) == BST_CHECKED ? 0 : 1;
    LRESULT type = SendMessageW(Item(IDC_SEARCH_DATE_TYPE), CB_GETCURSEL, 0, 0);
    criteria->dateType = type >= 0 && type <= 2 ? static_cast<LONG>(type) : 0;
    criteria->timeType = IsDlgButtonChecked(window_, IDC_SEARCH_BETWEEN) == BST_CHECKED       ? 0
                         : IsDlgButtonChecked(window_, IDC_SEARCH_MONTHS_RADIO) == BST_CHECKED ? 1
                                                                                              : 2;
    if (commonControlsReady_) {
        ReadPicker(IDC_SEARCH_FROM, &criteria->lowerDate);
        ReadPicker(IDC_SEARCH_TO, &criteria->higherDate);
        SetStartOfDay(&criteria->lowerDate);
        SetEndOfDay(&criteria->higherDate);
    }
    criteria->months = ItemInt(window_, IDC_SEARCH_MONTHS);
    criteria->days = ItemInt(window_, IDC_SEARCH_DAYS);
}

void DatePage::OnCommand(UINT id, UINT code) {
    if (code != BN_CLICKED) return;
    switch (id) {
        case IDC_SEARCH_ALL_FILES:
        case IDC_SEARCH_FIND_FILES:
            CheckRadioButton(window_, IDC_SEARCH_ALL_FILES, IDC_SEARCH_FIND_FILES, id);
            EnableChosen();
            break;
        case IDC_SEARCH_BETWEEN:
        case IDC_SEARCH_MONTHS_RADIO:
        case IDC_SEARCH_DAYS_RADIO:
            CheckRadioButton(window_, IDC_SEARCH_DAYS_RADIO, IDC_SEARCH_BETWEEN, id);
            EnableChosen();
            break;
        default:
            break;
    }
}

void DatePage::SetControlsEnabled(bool enabled) {
    enabled_ = enabled;
    CriteriaPage::SetControlsEnabled(enabled);
    if (enabled) EnableChosen();
}

// Only the controls of the chosen radio buttons can be used.
void DatePage::EnableChosen() {
    if (!enabled_) return;
    const bool dates = IsDlgButtonChecked(window_, IDC_SEARCH_FIND_FILES) == BST_CHECKED;
    const bool between = dates && IsDlgButtonChecked(window_, IDC_SEARCH_BETWEEN) == BST_CHECKED;
    const bool months = dates && IsDlgButtonChecked(window_, IDC_SEARCH_MONTHS_RADIO) == BST_CHECKED;
    const bool days = dates && IsDlgButtonChecked(window_, IDC_SEARCH_DAYS_RADIO) == BST_CHECKED;
    for (int id : {IDC_SEARCH_DATE_TYPE, IDC_SEARCH_BETWEEN, IDC_SEARCH_MONTHS_RADIO, IDC_SEARCH_DAYS_RADIO})
        EnableWindow(Item(id), dates);
    for (int id : {IDC_SEARCH_FROM, IDC_SEARCH_AND_LABEL, IDC_SEARCH_TO}) EnableWindow(Item(id), between);
    for (int id : {IDC_SEARCH_MONTHS, IDC_SEARCH_MONTHS_SPIN, IDC_SEARCH_MONTHS_LABEL}) EnableWindow(Item(id), months);
    for (int id : {IDC_SEARCH_DAYS, IDC_SEARCH_DAYS_SPIN, IDC_SEARCH_DAYS_LABEL}) EnableWindow(Item(id), days);
}

// ---------------------------------------------------------------------------
// Additional options

void OptionsPage::OnInit() {
    types_ = ReadFileTypes(HKEY_CLASSES_ROOT, Resources().LoadString(IDS_SEARCH_ALL_FILES_AND_FOLDERS));
    HWND typeBox = Item(IDC_SEARCH_TYPE);
    for (const FileTypeEntry& type : types_)
        SendMessageW(typeBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(type.description.c_str()));
    HWND sizeBox = Item(IDC_SEARCH_SIZE_TYPE);
    SendMessageW(sizeBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L""));
    for (UINT id : {IDS_SEARCH_SIZE_MINIMUM, IDS_SEARCH_SIZE_MAXIMUM}) {
        std::wstring text = Resources().LoadString(id);
        SendMessageW(sizeBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    SendMessageW(Item(IDC_SEARCH_SIZE), EM_SETLIMITTEXT, 6, 0);
    SendMessageW(Item(IDC_SEARCH_SIZE_SPIN), UDM_SETRANGE32, 0, kMaxSizeKb);
    Reset();
}

void OptionsPage::Reset() {
    SendMessageW(Item(IDC_SEARCH_TYPE), CB_SETCURSEL, 0, 0);
    SendMessageW(Item(IDC_SEARCH_SIZE_TYPE), CB_SETCURSEL, 0, 0);
    SetItemInt(window_, IDC_SEARCH_SIZE, 0);
}

void OptionsPage::LoadFrom(const SearchCriteria& criteria) {
    int type = FindFileType(types_, criteria.fileTypeName);
    SendMessageW(Item(IDC_SEARCH_TYPE), CB_SETCURSEL, type >= 0 ? type : 0, 0);
    SendMessageW(Item(IDC_SEARCH_SIZE_TYPE), CB_SETCURSEL,
                 criteria.sizeType >= 0 && criteria.sizeType <= 2 ? criteria.sizeType : 0, 0);
    SetItemInt(window_, IDC_SEARCH_SIZE, criteria.limit);
}

void OptionsPage::Collect(SearchCriteria* criteria) {
    criteria->fileTypeName = ItemText(IDC_SEARCH_TYPE);
    int type = FindFileType(types_, criteria->fileTypeName);
    criteria->fileTypePattern = type >= 0 ? types_[type].pattern : std::wstring();
    LRESULT size = SendMessageW(Item(IDC_SEARCH_SIZE_TYPE), CB_GETCURSEL, 0, 0);
    criteria->sizeType = size >= 0 && size <= 2 ? static_cast<LONG>(size) : 0;
    criteria->limit = ItemInt(window_, IDC_SEARCH_SIZE);
}

void OptionsPage::Layout(int width, int height) {
    KeepRightGap(window_, IDC_SEARCH_TYPE, width, DialogUnitsX(window_, 8), true);
}
