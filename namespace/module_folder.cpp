#include "namespace/module_folder.h"

#include <shellapi.h>

#include <cwchar>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "common/formatting.h"
#include "common/holders.h"
#include "common/module_thread.h"
#include "common/resource_module.h"
#include "common/result_codes.h"
#include "module_access/call_wrappers.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "module_access/module_access.h"
#include "module_access/module_errors.h"
#include "item_id/compare_items.h"
#include "namespace/folder_columns.h"
#include "namespace/module_icon_extractor.h"
#include "namespace/module_info_tip.h"
#include "namespace/module_item_enum.h"
#include "resources/string_ids.h"
#include "common/class_ids.h"
#include "handlers/module_context_menu.h"
#include "transfer/item_data_object.h"
#include "view/module_drop_target.h"
#include "view/module_view.h"

using Microsoft::WRL::ComPtr;

namespace {

// What Explorer may do with items of each kind.
constexpr SFGAOF kAllItemAttributes = 0xAA040173;
// Every item sits on removable media, takes drops and has a sheet.
constexpr SFGAOF kAnyItem = SFGAO_REMOVABLE | SFGAO_DROPTARGET | SFGAO_HASPROPSHEET;
constexpr SFGAOF kContainer = SFGAO_HASSUBFOLDER | SFGAO_FOLDER | SFGAO_BROWSABLE;
constexpr SFGAOF kEditable = SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANRENAME | SFGAO_CANDELETE;
// Drives cannot be deleted, renamed, moved or copied.
constexpr SFGAOF kDriveAttributes = kAnyItem | kContainer | SFGAO_READONLY;
constexpr SFGAOF kFolderAttributes = kAnyItem | kContainer | kEditable;
constexpr SFGAOF kFileAttributes = kAnyItem | kEditable;

HRESULT MakeStrRet(const std::wstring& text, STRRET* out) {
    size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto copy = static_cast<LPWSTR>(ShellAlloc(bytes));
    if (!copy) return E_OUTOFMEMORY;
    memcpy(copy, text.c_str(), bytes);
    out->uType = STRRET_WSTR;
    out->pOleStr = copy;
    return S_OK;
}

// An entry too short for its own count ends the list, as NextItem treats it.
bool IsEmptyList(LPCITEMIDLIST list) { return list->mkid.cb < sizeof(USHORT); }

// The prefix of drive names: "Module Disk ".
std::wstring DiskPrefix() { return Resources().LoadString(IDS_MODULE_DISK) + L" "; }

}  // namespace

HRESULT CreateModuleFolderInstance(IUnknown* outer, REFIID iid, void** out) {
    return CreateAggregatableInstance<ModuleFolder>(outer, iid, out);
}

ModuleFolder::ModuleFolder() : comEntered_(SUCCEEDED(EnterComThread())) {}

ModuleFolder::~ModuleFolder() {
    FreeListing();
    // The server goes while this thread's COM bracket still holds.
    access_.Reset();
    if (comEntered_) LeaveComThread();
}

HRESULT ModuleFolder::Create(const std::wstring& path, LPCITEMIDLIST absolute,
                             ModuleFolder** out) {
    *out = nullptr;
    ModuleFolder* folder = new (std::nothrow) ModuleFolder();
    if (!folder) return E_OUTOFMEMORY;
    folder->path_ = path;
    HRESULT hr = folder->absolute_.Assign(absolute);
    if (FAILED(hr)) {
        folder->Release();
        return hr;
    }
    *out = folder;
    return S_OK;
}

// --- IUnknown ------------------------------------------------------------

STDMETHODIMP ModuleFolder::QueryInterface(REFIID iid, void** out) {
    return outer_ ? outer_->QueryInterface(iid, out) : InternalQueryInterface(iid, out);
}

STDMETHODIMP_(ULONG) ModuleFolder::AddRef() { return outer_ ? outer_->AddRef() : AddRefImpl(); }

STDMETHODIMP_(ULONG) ModuleFolder::Release() { return outer_ ? outer_->Release() : ReleaseImpl(); }

HRESULT ModuleFolder::InternalQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IShellFolder) ||
        IsEqualIID(iid, IID_IShellFolder2)) {
        *out = static_cast<IShellFolder2*>(this);
    } else if (IsEqualIID(iid, IID_IPersist) || IsEqualIID(iid, IID_IPersistFolder) ||
               IsEqualIID(iid, IID_IPersistFolder2)) {
        *out = static_cast<IPersistFolder2*>(this);
    } else if (IsEqualIID(iid, IID_IShellDetails)) {
        *out = static_cast<IShellDetails*>(this);
    } else if (IsEqualIID(iid, IID_IShellIcon)) {
        *out = static_cast<IShellIcon*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

// --- Listing ---------------------------------------------------------------

void ModuleFolder::FreeListing() {
    listing_.clear();
}

HRESULT ModuleFolder::GetModuleAccess(ModuleAccess** access) {
    if (!access) return E_POINTER;
    *access = nullptr;
    if (!access_) {
        HRESULT hr = CreateModuleAccess(access_.ReleaseAndGetAddressOf());
        if (FAILED(hr)) return hr;
    }
    *access = access_.Get();
    return S_OK;
}

HRESULT ModuleFolder::ListInto(ModuleAccess* access) {
    FreeListing();
    return ListItems(path_.c_str(), &listing_, access, false);
}

namespace {
// Owned by the calling thread, which outlives the helper's use of it.
struct HelperListing {
    std::wstring path;
    // The helper's own result: Explorer's messages, answered while the caller
    // waits, may list this folder again into its fields.
    std::vector<IdListHolder> listing;
    // Error information is per thread: the helper's is carried back so that
    // the report on the calling thread shows the server's own text.
    ComPtr<IErrorInfo> errorInfo;
};

DWORD WINAPI ListingThread(void* param) {
    auto work = static_cast<HelperListing*>(param);
    HRESULT oleHr = OleInitialize(nullptr);
    HRESULT hr = EnterComThread();
    if (SUCCEEDED(hr)) {
        ComPtr<ModuleAccess> access;
        hr = CreateModuleAccess(&access);
        if (SUCCEEDED(hr)) hr = ListItems(work->path.c_str(), &work->listing, access.Get(), false);
        if (FAILED(hr) && GetErrorInfo(0, &work->errorInfo) != S_OK) work->errorInfo.Reset();
        access.Reset();
        LeaveComThread();
    }
    if (SUCCEEDED(oleHr)) OleUninitialize();
    return static_cast<DWORD>(hr);
}

// Only an ended thread: the helper uses the work record to its last line.
void WaitForThreadEnd(HANDLE thread) {
    for (;;) {
        // This is Explorer's window thread: it keeps answering while it waits.
        DWORD result = WaitPumpingMessages(thread);
        if (result == WAIT_OBJECT_0) return;
        if (result == WAIT_FAILED && WaitForSingleObject(thread, INFINITE) == WAIT_OBJECT_0) return;
    }
}
}  // namespace

HRESULT ModuleFolder::ListOnHelperThread() {
    HelperListing work;
    try {
        work.path = path_;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    HANDLE started = nullptr;
    if (FAILED(StartModuleThread(ListingThread, &work, &started))) return E_FAIL;
    UniqueHandle thread(started);
    WaitForThreadEnd(thread.get());
    DWORD code = static_cast<DWORD>(E_FAIL);
    GetExitCodeThread(thread.get(), &code);
    listing_ = std::move(work.listing);
    SetErrorInfo(0, work.errorInfo.Get());  // none: nothing stale from the first attempt
    return static_cast<HRESULT>(code);
}

HRESULT ModuleFolder::RefreshListing() {
    FreeListing();
    ModuleAccess* access = nullptr;
    HRESULT hr = GetModuleAccess(&access);
    if (SUCCEEDED(hr)) hr = ListInto(access);
    if (FAILED(hr)) hr = ListOnHelperThread();
    if (FAILED(hr) && hr != E_OPERATION_CANCELLED) ReportModuleError(hr, L"");
    return hr;
}

bool ModuleFolder::ListingHolds(LPCITEMIDLIST item) const {
    for (const IdListHolder& listed : listing_)
        if (CompareItems(listed.get(), item, kSortPathAscending, false) == 0) return true;
    return false;
}

// --- IShellFolder ------------------------------------------------------------

STDMETHODIMP ModuleFolder::ParseDisplayName(HWND, LPBC, LPWSTR, ULONG*, LPITEMIDLIST* list,
                                            ULONG*) {
    if (list) *list = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ModuleFolder::EnumObjects(HWND, SHCONTF flags, IEnumIDList** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    HRESULT hr = RefreshListing();
    if (FAILED(hr)) return hr;

    std::vector<IdListHolder> chosen;
    if (!(flags & SHCONTF_NETPRINTERSRCH)) {
        try {
            chosen.reserve(listing_.size());
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        for (const IdListHolder& listed : listing_) {
            LPCITEMIDLIST item = listed.get();
            DWORD attributes = ItemAttributes(item);
            if ((attributes & FILE_ATTRIBUTE_HIDDEN) && !(flags & SHCONTF_INCLUDEHIDDEN)) continue;
            bool container = (attributes & FILE_ATTRIBUTE_DIRECTORY) || IsDriveItem(item);
            if (!(flags & (container ? SHCONTF_FOLDERS : SHCONTF_NONFOLDERS))) continue;
            IdListHolder copy;
            if (FAILED(copy.Assign(item))) return E_OUTOFMEMORY;
            chosen.push_back(std::move(copy));  // capacity reserved above
        }
    }
    return ModuleItemEnum::Create(std::move(chosen), out);
}

STDMETHODIMP ModuleFolder::BindToObject(LPCITEMIDLIST list, LPBC, REFIID iid, void** out) {
    if (!list || !out) return E_POINTER;
    *out = nullptr;
    std::wstring path = path_;
    for (LPCITEMIDLIST item = list; !IsEmptyList(item); item = NextItem(item)) {
        if (!IsValidItemId(item)) return E_INVALIDARG;
        path += L"\\";
        path += ItemName(item);
    }
    IdListHolder absolute(JoinIdLists(absolute_.get(), list));
    if (!absolute) return E_OUTOFMEMORY;
    ComPtr<ModuleFolder> folder;
    HRESULT hr = Create(path, absolute.get(), folder.GetAddressOf());
    if (FAILED(hr)) return hr;
    return folder->QueryInterface(iid, out);
}

STDMETHODIMP ModuleFolder::BindToStorage(LPCITEMIDLIST list, LPBC, REFIID, void** out) {
    if (!list || !out) return E_POINTER;
    *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ModuleFolder::CompareIDs(LPARAM, LPCITEMIDLIST list1, LPCITEMIDLIST list2) {
    if (!list1 || !list2) return E_POINTER;
    // -1 goes out with every bit set; Explorer reads the low 16 bits.
    auto result = [](int order) { return static_cast<HRESULT>(order); };
    if (IsEmptyList(list1)) return result(IsEmptyList(list2) ? 0 : -1);
    if (IsEmptyList(list2)) return result(1);
    LPCITEMIDLIST a = list1, b = list2;
    for (; !IsEmptyList(a); a = NextItem(a), b = NextItem(b)) {
        if (IsEmptyList(b)) return result(1);
        bool validA = IsValidItemId(a), validB = IsValidItemId(b);
        if (!validA || !validB) return result(validA == validB ? 0 : (validA ? -1 : 1));
        int order = CompareItems(a, b, kSortPathAscending, true);
        if (order != 0) return result(order);
    }
    return result(IsEmptyList(b) ? 0 : -1);
}

STDMETHODIMP ModuleFolder::CreateViewObject(HWND owner, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IShellView) {
        ComPtr<ModuleView> view;
        HRESULT hr = ModuleView::Create(&view);
        if (SUCCEEDED(hr)) hr = view->InitForFolderPath(path_, absolute_.get(), owner);
        return SUCCEEDED(hr) ? view->QueryInterface(iid, out) : hr;
    }
    if (iid == IID_IDropTarget) return ModuleDropTarget::ForFolder(path_, absolute_.get(), owner, iid, out);
    // Anything else (IContextMenu, IShellDetails, IExtractIconW): none.
    return E_NOINTERFACE;
}

STDMETHODIMP ModuleFolder::GetAttributesOf(UINT count, LPCITEMIDLIST* items, SFGAOF* flags) {
    if (!items || !flags) return E_POINTER;
    const bool validate = (*flags & SFGAO_VALIDATE) != 0;
    if (validate) {
        HRESULT hr = RefreshListing();
        if (FAILED(hr)) return hr;
    }
    if (count == 0) return S_OK;

    SFGAOF answer = kAllItemAttributes;
    for (UINT i = 0; i < count; ++i) {
        LPCITEMIDLIST item = items[i];
        if (!item) return E_INVALIDARG;
        if (IsEmptyList(item) || !IsValidItemId(item)) {
            answer = 0;
            continue;
        }
        if (validate && !ListingHolds(item)) return E_FAIL;
        if (IsDriveItem(item))
            answer &= kDriveAttributes;
        else if (ItemAttributes(item) & FILE_ATTRIBUTE_DIRECTORY)
            answer &= kFolderAttributes;
        else
            answer &= kFileAttributes;
    }
    *flags &= answer;
    return S_OK;
}

STDMETHODIMP ModuleFolder::GetUIObjectOf(HWND owner, UINT count, LPCITEMIDLIST* items, REFIID iid,
                                         UINT*, void** out) {
    if (!items || !out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IContextMenu)) return ContextMenuOf(count, items, out);
    if (IsEqualIID(iid, IID_IDataObject)) {
        if (count < 1) return E_UNEXPECTED;
        return CreateItemDataObject(path_, count, items, out);
    }
    if (IsEqualIID(iid, IID_IDropTarget)) {
        if (count < 1) return E_UNEXPECTED;
        return ModuleDropTarget::ForFolder(path_, items[0], owner, iid, out);
    }
    const bool single = IsEqualIID(iid, IID_IExtractIconW) || IsEqualIID(iid, IID_IQueryInfo);
    if (!single) {
        // IDropTarget objects of the items are created here once they exist.
        return E_NOINTERFACE;
    }
    if (count != 1 || !items[0]) return E_INVALIDARG;
    LPCITEMIDLIST last = LastItem(items[0]);
    if (!last || !IsValidItemId(last)) return E_INVALIDARG;
    if (IsEqualIID(iid, IID_IExtractIconW)) return ModuleIconExtractor::Create(items[0], iid, out);
    return ModuleInfoTip::Create(items[0], iid, out);
}

// A drive asked for alone in a folder that has not listed itself (Explorer's
// tree) gets its capacity from the server, so that its commands know it.
HRESULT ModuleFolder::ContextMenuOf(UINT count, LPCITEMIDLIST* items, void** out) {
    if (count == 0) return E_UNEXPECTED;
    const ModuleContextMenu::Folder self = {static_cast<IShellFolder2*>(this), path_, absolute_.get()};
    if (count == 1 && listing_.empty() && items[0] && IsValidItemId(items[0]) && IsDriveItem(items[0])) {
        ModuleAccess* access = nullptr;
        HRESULT hr = GetModuleAccess(&access);
        IdListHolder drive;
        if (SUCCEEDED(hr)) hr = GetDriveItem(ItemPath(items[0]), access, drive.out());
        if (FAILED(hr)) return hr;
        LPCITEMIDLIST fresh = drive.get();
        return ModuleContextMenu::CreateForItems(self, &fresh, 1, IID_IContextMenu, out);
    }
    return ModuleContextMenu::CreateForItems(self, items, count, IID_IContextMenu, out);
}

STDMETHODIMP ModuleFolder::GetDisplayNameOf(LPCITEMIDLIST list, SHGDNF flags, STRRET* name) {
    if (!list || !name) return E_POINTER;
    if (IsEmptyList(list) || !IsValidItemId(list)) return E_INVALIDARG;
    std::wstring text;
    if (flags & SHGDN_INFOLDER) {
        text = IsDriveItem(list) ? DriveDisplayName(list) : std::wstring(ItemName(list));
    } else if (IsDriveItem(list)) {
        text = DiskPrefix() + ItemShortName(list) + L"\\";
    } else if (!(flags & SHGDN_FORPARSING)) {
        text = ItemName(list);
    } else {
        const wchar_t* folder = path_.c_str();
        if (*folder == L'\\') ++folder;
        text = DiskPrefix() + folder + L"\\" + ItemName(list);
    }
    return MakeStrRet(text, name);
}

STDMETHODIMP ModuleFolder::SetNameOf(HWND owner, LPCITEMIDLIST list, LPCWSTR newName, SHGDNF,
                                     LPITEMIDLIST* newList) {
    if (!list || !newName) return E_POINTER;
    if (newList) *newList = nullptr;
    if (IsEmptyList(list) || !IsValidItemId(list)) return E_INVALIDARG;
    ModuleAccess* access = nullptr;
    HRESULT hr = GetModuleAccess(&access);
    if (FAILED(hr)) return hr;
    if (lstrcmpiW(newName, ItemName(list)) == 0) return S_OK;

    hr = RenameItem(access, owner, list, newName);
    if (FAILED(hr)) return hr;
    IdListHolder renamed;
    std::wstring newPath = path_ + L"\\" + newName;
    // The module holds the new name whatever the lookup says: when it fails,
    // the old record under the new name stands in, and the change
    // notification brings the details (the short name) later.
    if (FAILED(GetItemRecord(newPath.c_str(), access, renamed.out())) || !renamed)
        renamed.reset(MakeItemId(newPath.c_str(), ItemShortName(list), ItemSize(list),
                                 ItemAttributes(list), ItemCreated(list), ItemAccessed(list),
                                 ItemModified(list)));
    if (!renamed) return E_OUTOFMEMORY;
    if (newList) *newList = renamed.release();
    return S_OK;
}

// --- IShellFolder2 -----------------------------------------------------------

STDMETHODIMP ModuleFolder::GetDefaultSearchGUID(GUID* guid) {
    return guid ? E_NOTIMPL : E_POINTER;
}

STDMETHODIMP ModuleFolder::EnumSearches(IEnumExtraSearch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ModuleFolder::GetDefaultColumn(DWORD, ULONG* sort, ULONG* display) {
    if (!sort || !display) return E_POINTER;
    *sort = 0;
    *display = 0;
    return S_OK;
}

STDMETHODIMP ModuleFolder::GetDefaultColumnState(UINT column, SHCOLSTATEF* state) {
    if (!state) return E_POINTER;
    if (column >= kFolderColumnCount) {
        *state = SHCOLSTATE_HIDDEN;
        return E_INVALIDARG;
    }
    *state = FolderColumnAt(IsNamespaceRoot(), column).state;
    return S_OK;
}

STDMETHODIMP ModuleFolder::GetDetailsEx(LPCITEMIDLIST list, const SHCOLUMNID* column,
                                        VARIANT* value) {
    if (!list || !column || !value) return E_POINTER;
    if (!IsEqualGUID(column->fmtid, kStoragePropertySet)) return E_INVALIDARG;
    if (IsEmptyList(list) || !IsValidItemId(list)) return E_INVALIDARG;
    std::wstring text;
    switch (column->pid) {
    case kStorageType:
        text = ItemTypeName(list);
        break;
    case kStorageName:
        text = ItemName(list);
        break;
    case kStorageSize:
        if (!(ItemAttributes(list) & FILE_ATTRIBUTE_DIRECTORY)) text = FormatByteSize(ItemSize(list));
        break;
    case kStorageFreeSpace:
        if (!IsDriveItem(list)) return E_INVALIDARG;
        text = FormatByteSize(FreeBytesOfDrive(list));
        break;
    case kStorageModified:
        if (IsDriveItem(list)) return E_INVALIDARG;
        text = FormatDateTime(ItemModified(list), true, true, false);
        break;
    default:
        return E_INVALIDARG;
    }
    BSTR bstr = SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
    if (!bstr) return E_OUTOFMEMORY;
    VariantInit(value);
    value->vt = VT_BSTR;
    value->bstrVal = bstr;
    return S_OK;
}

STDMETHODIMP ModuleFolder::GetDetailsOf(LPCITEMIDLIST list, UINT column, SHELLDETAILS* details) {
    if (!details) return E_POINTER;
    if (column >= kFolderColumnCount) return E_INVALIDARG;
    std::wstring text;
    int format = LVCFMT_LEFT;
    if (!list) {
        const FolderColumn& header = FolderColumnAt(IsNamespaceRoot(), column);
        text = Resources().LoadString(header.headerId);
        format = header.format;
    } else {
        if (IsEmptyList(list) || !IsValidItemId(list)) return E_INVALIDARG;
        text = ItemColumnText(list, column, &format);
    }
    HRESULT hr = MakeStrRet(text, &details->str);
    if (FAILED(hr)) return hr;
    details->fmt = format;
    details->cxChar = static_cast<int>(text.size());
    return S_OK;
}

STDMETHODIMP ModuleFolder::MapColumnToSCID(UINT column, SHCOLUMNID* id) {
    if (!id) return E_POINTER;
    if (column >= kFolderColumnCount) return E_INVALIDARG;
    id->fmtid = kStoragePropertySet;
    id->pid = FolderColumnAt(IsNamespaceRoot(), column).storageProperty;
    return S_OK;
}

// --- IPersistFolder2 ---------------------------------------------------------

STDMETHODIMP ModuleFolder::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_ModuleFolder;
    return S_OK;
}

STDMETHODIMP ModuleFolder::Initialize(LPCITEMIDLIST absolute) {
    FreeListing();
    HRESULT hr = absolute_.Assign(absolute);
    if (FAILED(hr)) return hr;
    // The shell's own items in front of the namespace root add nothing.
    path_.clear();
    if (!absolute) return S_OK;
    for (LPCITEMIDLIST item = absolute; !IsEmptyList(item); item = NextItem(item)) {
        if (!IsValidItemId(item)) continue;
        path_ += L"\\";
        path_ += ItemName(item);
    }
    return S_OK;
}

STDMETHODIMP ModuleFolder::GetCurFolder(LPITEMIDLIST* absolute) {
    if (!absolute) return E_POINTER;
    return CopyIdList(absolute_.get(), absolute);
}

// --- IShellDetails, IShellIcon ----------------------------------------------

STDMETHODIMP ModuleFolder::ColumnClick(UINT) { return S_FALSE; }

STDMETHODIMP ModuleFolder::GetIconOf(LPCITEMIDLIST list, UINT flags, int* index) {
    if (!list || !index) return E_POINTER;
    LPCITEMIDLIST item = LastItem(list);
    if (!item || !IsValidItemId(item)) return E_INVALIDARG;
    // Drives share one large icon; everything else goes by name and attributes.
    int icon = IsDriveItem(item) ? ItemIconIndex(item, false)
                                 : ItemIconIndex(item, true, flags == GIL_OPENICON);
    *index = icon == -1 ? 0 : icon;
    return S_OK;
}
