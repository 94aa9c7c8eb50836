#include "handlers/module_context_menu.h"

#include <mmsystem.h>
#include <strsafe.h>

#include <cstring>

#include "common/holders.h"
#include "common/paths.h"
#include "handlers/operation_hooks.h"
#include "handlers/property_sheet_launcher.h"
#include "module_access/call_wrappers.h"
#include "module_access/com_thread.h"
#include "module_access/module_access.h"
#include "resources/command_ids.h"
#include "transfer/file_operations.h"
#include "handlers/view_menus.h"

using Microsoft::WRL::ComPtr;

namespace {

struct VerbEntry {
    UINT command;
    const char* verb;
};

// In the order a string verb is matched.
const VerbEntry kItemVerbs[] = {
    {CMD_PROPERTIES, "properties"}, {CMD_DELETE, "delete"}, {CMD_RENAME, "rename"},
    {CMD_CUT, "cut"},               {CMD_COPY, "copy"},     {CMD_PASTE, "paste"},
    {CMD_EXPLORE, "explore"},       {CMD_FIND, "search"},   {CMD_OPEN, "open"},
};
const VerbEntry kDriveVerbs[] = {
    {CMD_PASTE, "paste"},   {CMD_FORMAT, "format"},   {CMD_FIND, "search"},
    {CMD_STANDARD_FOLDERS, "stddirs"}, {CMD_EXPLORE, "explore"}, {CMD_OPEN, "open"},
};
// Drives name "properties" for GetCommandString but accept it only by offset.
const VerbEntry kDriveOnlyNamed[] = {{CMD_PROPERTIES, "properties"}};
const VerbEntry kRootVerbs[] = {{CMD_FIND, "search"}};

bool IsFolderItem(LPCITEMIDLIST item) { return (ItemAttributes(item) & FILE_ATTRIBUTE_DIRECTORY) != 0; }

void PlayDefaultSound() { sndPlaySoundW(L".Default", SND_ASYNC); }

template <size_t N>
const char* FindVerb(const VerbEntry (&table)[N], UINT command) {
    for (const VerbEntry& entry : table)
        if (entry.command == command) return entry.verb;
    return nullptr;
}

}  // namespace

HRESULT CreateModuleContextMenuInstance(IUnknown* outer, REFIID iid, void** out) {
    return CreateAggregatableInstance<ModuleContextMenu>(outer, iid, out);
}

HRESULT ModuleContextMenu::CreateForItems(const Folder& folder, const LPCITEMIDLIST* items, UINT count, REFIID iid,
                                          void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ModuleContextMenu* menu = new (std::nothrow) ModuleContextMenu();
    if (!menu) return E_OUTOFMEMORY;
    HRESULT hr = menu->InitializeForItems(folder, items, count);
    if (SUCCEEDED(hr)) hr = menu->InternalQueryInterface(iid, out);
    menu->InternalRelease();
    return hr;
}

ModuleContextMenu::ModuleContextMenu() : comEntered_(SUCCEEDED(EnterComThread())) {}

ModuleContextMenu::~ModuleContextMenu() {
    Reset();
    if (comEntered_) LeaveComThread();
}

void ModuleContextMenu::Reset() {
    items_.clear();
    commands_.clear();
    folder_.Reset();
    folderPath_.clear();
    folderList_.reset();
    role_ = kUninitialised;
}

HRESULT ModuleContextMenu::InitializeForItems(const Folder& folder, const LPCITEMIDLIST* items, UINT count) {
    if (!folder.object || !items) return E_POINTER;
    Reset();
    std::vector<IdListHolder> copies(count);
    for (UINT i = 0; i < count; ++i) {
        if (!items[i]) return E_POINTER;
        LPCITEMIDLIST last = LastItem(items[i]);
        if (!last || !IsValidItemId(last)) return E_INVALIDARG;
        if (FAILED(copies[i].Assign(items[i]))) return E_OUTOFMEMORY;
    }
    if (folder.absolute && FAILED(folderList_.Assign(folder.absolute))) return E_OUTOFMEMORY;
    folder_ = folder.object;
    folderPath_ = folder.path;
    items_ = std::move(copies);
    role_ = !items_.empty() && IsDriveItem(LastItem(items_[0].get())) ? kDrives : kItems;
    return S_OK;
}

// --- IUnknown ------------------------------------------------------------------

STDMETHODIMP ModuleContextMenu::QueryInterface(REFIID iid, void** out) {
    return outer_ ? outer_->QueryInterface(iid, out) : InternalQueryInterface(iid, out);
}
STDMETHODIMP_(ULONG) ModuleContextMenu::AddRef() { return outer_ ? outer_->AddRef() : AddRefImpl(); }
STDMETHODIMP_(ULONG) ModuleContextMenu::Release() { return outer_ ? outer_->Release() : ReleaseImpl(); }

HRESULT ModuleContextMenu::InternalQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IContextMenu)) {
        *out = static_cast<IContextMenu*>(this);
    } else if (IsEqualIID(iid, IID_IShellExtInit)) {
        *out = static_cast<IShellExtInit*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

// --- IShellExtInit ---------------------------------------------------------------

STDMETHODIMP ModuleContextMenu::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
    Reset();
    if (!data) return E_INVALIDARG;
    FORMATETC format = {static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CFSTR_SHELLIDLIST)), nullptr,
                        DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    HRESULT hr = data->GetData(&format, &medium);
    if (FAILED(hr)) return hr;
    UINT named = 0;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
        if (auto ida = static_cast<const CIDA*>(GlobalLock(medium.hGlobal))) {
            if (GlobalSize(medium.hGlobal) >= sizeof(UINT)) named = ida->cidl;
            GlobalUnlock(medium.hGlobal);
        }
    }
    ReleaseStgMedium(&medium);
    if (named != 1) return E_INVALIDARG;
    role_ = kModuleRoot;
    return S_OK;
}

// --- IContextMenu ------------------------------------------------------------------

int ModuleContextMenu::PopupForRole() const {
    switch (role_) {
    case kItems:
        return IsFolderItem(LastItem(items_[0].get())) ? kPopupFolder : kPopupFile;
    case kDrives: return kPopupDisk;
    case kModuleRoot: return kPopupRoot;
    default: return -1;
    }
}

STDMETHODIMP ModuleContextMenu::QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT, UINT) {
    if (role_ == kUninitialised || (role_ == kItems && items_.empty())) return E_UNEXPECTED;
    if (!IsMenu(menu)) return E_INVALIDARG;
    int popupIndex = PopupForRole();
    HMENU popup = ViewMenuPopup(popupIndex);
    if (!popup) return E_UNEXPECTED;
    if (popupIndex == kPopupDisk || popupIndex == kPopupFolder)
        EnableMenuItem(popup, CMD_PASTE,
                       MF_BYCOMMAND | (ClipboardCanPaste() ? MF_ENABLED : MF_GRAYED | MF_DISABLED));

    int count = GetMenuItemCount(popup);
    if (count <= 0) return E_UNEXPECTED;
    commands_.assign(static_cast<size_t>(count), 0);
    for (int i = 0; i < count; ++i) {
        wchar_t text[261] = {};
        MENUITEMINFOW info = {sizeof(info)};
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = ARRAYSIZE(text) - 1;
        if (!GetMenuItemInfoW(popup, i, TRUE, &info)) continue;
        MENUITEMINFOW insert = {sizeof(insert)};
        if (info.fType & MFT_SEPARATOR) {
            insert.fMask = MIIM_FTYPE;
            insert.fType = MFT_SEPARATOR;
        } else {
            commands_[i] = info.wID;
            insert.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
            insert.fType = info.fType;
            insert.fState = info.fState;
            insert.wID = firstId + i;
            insert.dwTypeData = text;
        }
        InsertMenuItemW(menu, index + i, TRUE, &insert);
    }
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, count);
}

const char* ModuleContextMenu::VerbOf(UINT command) const {
    switch (role_) {
    case kItems: return FindVerb(kItemVerbs, command);
    case kDrives: {
        const char* verb = FindVerb(kDriveVerbs, command);
        return verb ? verb : FindVerb(kDriveOnlyNamed, command);
    }
    case kModuleRoot: return FindVerb(kRootVerbs, command);
    default: return nullptr;
    }
}

HRESULT ModuleContextMenu::CommandOfVerb(const char* verb, UINT* command) const {
    auto match = [&](const VerbEntry* table, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            if (std::strcmp(table[i].verb, verb) == 0) {
                *command = table[i].command;
                return true;
            }
        }
        return false;
    };
    bool found = false;
    switch (role_) {
    case kItems: found = match(kItemVerbs, ARRAYSIZE(kItemVerbs)); break;
    case kDrives: found = match(kDriveVerbs, ARRAYSIZE(kDriveVerbs)); break;
    case kModuleRoot: found = match(kRootVerbs, ARRAYSIZE(kRootVerbs)); break;
    default: break;
    }
    return found ? S_OK : E_FAIL;
}

STDMETHODIMP ModuleContextMenu::GetCommandString(UINT_PTR offset, UINT type, UINT*, LPSTR text, UINT size) {
    if (!text) return E_POINTER;
    if (offset >= commands_.size()) return E_UNEXPECTED;
    const char* verb = VerbOf(commands_[offset]);
    switch (type) {
    case GCS_VERBA:
    case GCS_HELPTEXTA:
        if (!verb) {
            if (size) text[0] = '\0';
            return E_FAIL;
        }
        if (size) StringCchCopyNA(text, size, verb, size - 1);
        return S_OK;
    case GCS_VERBW:
    case GCS_HELPTEXTW: {
        auto wide = reinterpret_cast<LPWSTR>(text);
        if (!verb) {
            if (size) wide[0] = L'\0';
            return E_FAIL;
        }
        if (size) {
            UINT i = 0;
            for (; verb[i] && i + 1 < size; ++i) wide[i] = static_cast<wchar_t>(verb[i]);
            wide[i] = L'\0';
        }
        return S_OK;
    }
    case GCS_VALIDATEA:
    case GCS_VALIDATEW:
        return verb ? S_OK : S_FALSE;
    default:
        return E_INVALIDARG;
    }
}

STDMETHODIMP ModuleContextMenu::InvokeCommand(LPCMINVOKECOMMANDINFO info) {
    if (!info) return E_POINTER;
    UINT command = 0;
    HRESULT hr = S_OK;
    if (IS_INTRESOURCE(info->lpVerb)) {
        UINT_PTR offset = reinterpret_cast<UINT_PTR>(info->lpVerb);
        if (offset >= commands_.size()) hr = E_UNEXPECTED;
        else command = commands_[offset];
    } else {
        hr = CommandOfVerb(info->lpVerb, &command);
    }
    if (SUCCEEDED(hr)) {
        // The operations may release this object's last outside reference.
        ComPtr<ModuleContextMenu> self(this);
        hr = Execute(command, info->hwnd);
    }
    if (FAILED(hr)) PlayDefaultSound();
    return hr;
}

HRESULT ModuleContextMenu::Execute(UINT command, HWND window) {
    switch (role_) {
    case kItems: return ExecuteForItems(command, window);
    case kDrives: return ExecuteForDrives(command, window);
    case kModuleRoot:
        return command == CMD_FIND ? StartSearchWindow(nullptr, L"\\") : E_FAIL;
    default: return E_UNEXPECTED;
    }
}

std::vector<LPCITEMIDLIST> ModuleContextMenu::ItemLists() const {
    std::vector<LPCITEMIDLIST> lists;
    for (const IdListHolder& item : items_) lists.push_back(item.get());
    return lists;
}

HRESULT ModuleContextMenu::LaunchProperties() const {
    std::vector<IdListHolder> copies(items_.size());
    for (size_t i = 0; i < items_.size(); ++i)
        if (FAILED(copies[i].Assign(items_[i].get()))) return E_OUTOFMEMORY;
    return LaunchPropertySheet(FolderPath(), std::move(copies));
}

std::wstring ModuleContextMenu::FolderPath() const { return folderPath_; }

std::wstring ModuleContextMenu::ChildPath(LPCITEMIDLIST item) const {
    return FolderPath() + L"\\" + FileNamePart(ItemPath(LastItem(item)));
}

HRESULT ModuleContextMenu::ExecuteForItems(UINT command, HWND window) {
    if (items_.empty()) return E_UNEXPECTED;
    std::vector<LPCITEMIDLIST> lists = ItemLists();
    UINT count = static_cast<UINT>(lists.size());
    switch (command) {
    case CMD_PROPERTIES:
        return LaunchProperties();
    case CMD_DELETE:
        return StartDelete(FolderPath(), lists.data(), count, false, window, nullptr);
    case CMD_CUT:
    case CMD_COPY:
        return StartCutOrCopy(FolderPath(), nullptr, lists.data(), count, command == CMD_CUT ? DROPEFFECT_MOVE
                                                                                              : DROPEFFECT_COPY,
                              nullptr);
    case CMD_EXPLORE:
    case CMD_OPEN:
        return StartOpenOrExplore(command, window, folderList_.get(), lists.data(), count, nullptr);
    case CMD_PASTE:
    case CMD_FIND: {
        LPCITEMIDLIST first = LastItem(lists[0]);
        std::wstring target = IsFolderItem(first) || IsDriveItem(first) ? ChildPath(first) : FolderPath();
        return command == CMD_PASTE ? StartPaste(target, window) : StartSearchWindow(nullptr, target.c_str());
    }
    default:
        return E_FAIL;   // renaming happens in the view
    }
}

HRESULT ModuleContextMenu::ExecuteForDrives(UINT command, HWND window) {
    std::vector<LPCITEMIDLIST> lists = ItemLists();
    UINT count = static_cast<UINT>(lists.size());
    switch (command) {
    case CMD_PROPERTIES:
        return LaunchProperties();
    case CMD_EXPLORE:
    case CMD_OPEN:
        if (lists.empty()) return S_OK;
        return StartOpenOrExplore(command, window, folderList_.get(), lists.data(), count, nullptr);
    case CMD_PASTE:
        if (lists.empty()) return S_OK;
        return StartPaste(ChildPath(lists[0]), window);
    case CMD_FIND:
        if (lists.empty()) return S_OK;
        return StartSearchWindow(nullptr, ItemPath(LastItem(lists[0])));
    case CMD_FORMAT: {
        HRESULT hr = S_OK;
        for (LPCITEMIDLIST item : lists) {
            LPCITEMIDLIST drive = LastItem(item);
            HRESULT one = OpenFormatDialog(FileNamePart(ItemPath(drive)), ItemSize(drive));
            if (FAILED(one)) hr = one;
        }
        return hr;
    }
    case CMD_STANDARD_FOLDERS: {
        ComPtr<ModuleAccess> access;
        HRESULT hr = CreateModuleAccess(access.GetAddressOf());
        if (FAILED(hr)) return hr;
        for (LPCITEMIDLIST item : lists) {
            HRESULT one = CreateStandardFoldersOn(access.Get(), window, FileNamePart(ItemPath(LastItem(item))).c_str());
            if (FAILED(one)) hr = one;
        }
        return hr;
    }
    default:
        return E_FAIL;
    }
}
