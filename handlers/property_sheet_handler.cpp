#include "handlers/property_sheet_handler.h"

#include <shlwapi.h>

#include "common/resource_module.h"
#include "handlers/property_pages.h"
#include "handlers/selection_summary.h"
#include "module_access/call_wrappers.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "module_access/module_access.h"
#include "resources/handlers_ids.h"
#include "resources/string_ids.h"
#include "transfer/clipboard_formats.h"
#include "transfer/shell_id_list_format.h"

using Microsoft::WRL::ComPtr;

namespace {

// The display name the module folder has wherever it is shown.
const wchar_t kModuleFolderName[] = L"Module";

// Adds the files and folders below `folderPath` to the counts.
HRESULT CountContents(const wchar_t* folderPath, ModuleAccess* access, SheetSelection* s) {
    ItemArray contents;
    HRESULT hr = ListItemsEx(folderPath, L"*", &contents, access, false, true);
    if (FAILED(hr)) return hr;
    for (UINT i = 0; i < contents.count(); ++i) {
        if (IsContainerItem(contents[i])) {
            ++s->folderCount;
        } else {
            ++s->fileCount;
            s->totalSize += ItemSize(contents[i]);
        }
    }
    return S_OK;
}

}  // namespace

HRESULT CreatePropertySheetHandlerInstance(IUnknown* outer, REFIID iid, void** out) {
    return CreateAggregatableInstance<PropertySheetHandler>(outer, iid, out);
}

HRESULT SingleShellItem(IDataObject* data, LPITEMIDLIST* absolute) {
    *absolute = nullptr;
    if (!data) return E_UNEXPECTED;
    UniqueStgMedium medium;
    if (FAILED(GetFormat(data, ClipboardFormat(ModuleClipboardFormat::ShellIdListArray),
                         medium.out())))
        return E_UNEXPECTED;
    GlobalLocked<BYTE> block(medium.get()->hGlobal);
    if (!block) return E_UNEXPECTED;
    // The block comes from whoever answered Explorer: every offset and list is
    // checked against its real size before anything in it is read.
    ShellIdListArray array;
    HRESULT hr = ParseShellIdListArray(block.get(), block.size(), &array);
    if (hr == E_BAD_FORMAT_BLOCK || (SUCCEEDED(hr) && array.items.size() != 1))
        return E_INVALIDARG;
    if (FAILED(hr)) return hr;
    *absolute = array.AbsoluteItem(0);
    return *absolute ? S_OK : E_OUTOFMEMORY;
}

PropertySheetHandler::PropertySheetHandler() : comEntered_(SUCCEEDED(EnterComThread())) {}

PropertySheetHandler::~PropertySheetHandler() {
    // The server goes while this thread's COM bracket still holds.
    connection_.Reset();
    if (comEntered_) LeaveComThread();
}

STDMETHODIMP PropertySheetHandler::QueryInterface(REFIID iid, void** out) {
    return outer_ ? outer_->QueryInterface(iid, out) : InternalQueryInterface(iid, out);
}

STDMETHODIMP_(ULONG) PropertySheetHandler::AddRef() {
    return outer_ ? outer_->AddRef() : AddRefImpl();
}

STDMETHODIMP_(ULONG) PropertySheetHandler::Release() {
    return outer_ ? outer_->Release() : ReleaseImpl();
}

HRESULT PropertySheetHandler::InternalQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IShellExtInit)) {
        *out = static_cast<IShellExtInit*>(this);
    } else if (IsEqualIID(iid, IID_IShellPropSheetExt)) {
        *out = static_cast<IShellPropSheetExt*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP PropertySheetHandler::Initialize(LPCITEMIDLIST, IDataObject* data, HKEY) {
    IdListHolder absolute;
    HRESULT hr = SingleShellItem(data, absolute.out());
    if (FAILED(hr)) return hr;

    // The handler is registered for the PC's drives too: only the module
    // folder itself gets these pages.
    ComPtr<IShellFolder> desktop;
    hr = SHGetDesktopFolder(&desktop);
    if (FAILED(hr)) return hr;
    STRRET name = {};
    hr = desktop->GetDisplayNameOf(absolute.get(), SHGDN_NORMAL, &name);
    if (FAILED(hr)) return E_INVALIDARG;
    UniqueCoTaskMemString text;
    wchar_t* rawText = nullptr;
    if (FAILED(StrRetToStrW(&name, absolute.get(), &rawText))) return E_INVALIDARG;
    text.reset(rawText);
    if (lstrcmpiW(text.get(), kModuleFolderName) != 0) return E_INVALIDARG;
    return InitializeWithItems(nullptr, 0, L"");
}

HRESULT PropertySheetHandler::InitializeWithItems(const LPCITEMIDLIST* items, UINT count,
                                                  const wchar_t* folderPath) {
    selection_ = SheetSelection();
    changedPages = 0;
    connection_.Reset();
    initResult_ = ReadSelection(items, count, folderPath ? folderPath : L"");
    return initResult_;
}

HRESULT PropertySheetHandler::ReadSelection(const LPCITEMIDLIST* items, UINT count,
                                            const wchar_t* folderPath) {
    ComThreadScope com;
    if (!com.ok()) return com.hr();
    HRESULT hr = CreateModuleAccess(&connection_);
    if (FAILED(hr)) return hr;
    SheetSelection& s = selection_;
    s.folderPath = folderPath;

    if (count == 0 || !items) {
        if (s.folderPath.empty()) {
            GetModuleModel(s.moduleModel);
            return S_OK;
        }
        LPITEMIDLIST self = nullptr;
        hr = IsDrivePath(folderPath) ? GetDriveItem(folderPath, connection_.Get(), &self)
                                     : GetItemRecord(folderPath, connection_.Get(), &self);
        if (FAILED(hr)) return hr;
        if (!self) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        s.items.emplace_back(self);
    } else {
        for (UINT i = 0; i < count; ++i) {
            LPCITEMIDLIST last = items[i] ? LastItem(items[i]) : nullptr;
            if (!last || !IsValidItemId(last)) return E_INVALIDARG;
            IdListHolder copy;
            hr = copy.Assign(last);
            if (FAILED(hr)) return hr;
            s.items.push_back(std::move(copy));
        }
    }
    return s.IsDrives() ? ReadDriveLabels() : ReadFilesAndFolders();
}

HRESULT PropertySheetHandler::ReadDriveLabels() {
    SheetSelection& s = selection_;
    for (size_t i = 0; i < s.items.size() && i < kMaxSheetPages; ++i) {
        UniqueBstr drive(DriveArgument(ItemPath(s.items[i].get())).c_str());
        UniqueBstr label;
        s.hasLabel[i] = SUCCEEDED(connection_->GetLabel(drive.get(), label.out()));
        if (s.hasLabel[i]) s.labels[i] = label.c_str();
    }
    return S_OK;
}

HRESULT PropertySheetHandler::ReadFilesAndFolders() {
    SheetSelection& s = selection_;
    std::vector<std::wstring> types, locations;
    DWORD all = ~0u;
    for (IdListHolder& item : s.items) {
        // The module may have changed since the view listed the item.
        LPITEMIDLIST fresh = nullptr;
        HRESULT hr = GetItemRecord(ItemPath(item.get()), connection_.Get(), &fresh);
        if (FAILED(hr)) return hr;
        if (!fresh) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        item.reset(fresh);

        const DWORD attributes = ItemAttributes(fresh);
        s.attributes.push_back(attributes);
        s.attributesAny |= attributes;
        all &= attributes;
        types.push_back(ItemTypeName(fresh));
        locations.push_back(ItemLocation(fresh));
        if (IsContainerItem(fresh)) {
            if (s.items.size() > 1) ++s.folderCount;
            hr = CountContents(ItemPath(fresh), connection_.Get(), &s);
            if (FAILED(hr)) return hr;
        } else {
            ++s.fileCount;
            s.totalSize += ItemSize(fresh);
        }
    }
    s.attributesMixed = s.attributesAny & ~all;
    s.typeText = SharedText(types, IDS_PROP_ALL_OF_TYPE, IDS_PROP_SEVERAL_TYPES);
    s.locationText = SharedText(locations, IDS_PROP_ALL_IN, IDS_PROP_VARIOUS_FOLDERS);
    return S_OK;
}

STDMETHODIMP PropertySheetHandler::AddPages(LPFNSVADDPROPSHEETPAGE addPage, LPARAM lParam) {
    if (!addPage) return E_INVALIDARG;
    if (FAILED(initResult_)) return S_OK;   // nothing to show
    // The pages of a first call keep using their templates.
    if (templates_[0]) return E_UNEXPECTED;

    struct PagePlan {
        SheetPageKind kind;
        UINT templateId;
        std::wstring title;
    };
    std::vector<PagePlan> pages;
    const SheetSelection& s = selection_;
    if (s.IsModuleFolder()) {
        pages.push_back({SheetPageKind::ModuleInformation, IDD_PROP_MODULE, L""});
        pages.push_back({SheetPageKind::Port, IDD_PROP_PORT, L""});
    } else if (s.IsDrives()) {
        for (size_t i = 0; i < s.items.size() && i < kMaxSheetPages; ++i)
            pages.push_back({SheetPageKind::Drive, IDD_PROP_DRIVE,
                             s.items.size() > 1 ? DrivePageTitle(ItemPath(s.items[i].get()))
                                                : std::wstring()});
    } else {
        UINT id = IDD_PROP_SEVERAL;
        if (s.items.size() == 1) id = IsContainerItem(s.items[0].get()) ? IDD_PROP_FOLDER
                                                                          : IDD_PROP_FILE;
        pages.push_back({SheetPageKind::General, id, L""});
    }

    UINT added = 0;
    for (const PagePlan& plan : pages) {
        if (added == kMaxSheetPages) break;
        templates_[added].reset(Resources().LoadDialogTemplate(plan.templateId));
        if (!templates_[added]) return E_FAIL;
        HPROPSHEETPAGE page = CreateSheetPage(
            this, plan.kind, added, static_cast<const DLGTEMPLATE*>(templates_[added].get()),
            plan.title);
        if (!page) return E_OUTOFMEMORY;
        if (!addPage(page, lParam)) {
            DestroyPropertySheetPage(page);
            continue;
        }
        ++added;
    }
    return S_OK;
}
