// The property-sheet handler of the module folder, its drives and its items:
// initialised by Explorer with the module folder itself, or directly with
// module items by the module's own Properties command; adds the module
// information and port pages, one page per drive (at most ten) or the
// general page of files and folders. One object per sheet; each page holds a
// reference on it until the page goes.
#pragma once
#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/com_aggregation.h"
#include "common/com_object.h"
#include "common/holders.h"
#include "handlers/device_info.h"
#include "module_access/module_access_h.h"
#include "item_id/module_item_id.h"

constexpr UINT kMaxSheetPages = 10;

// What the sheet shows, read once when the handler is initialised.
struct SheetSelection {
    std::vector<IdListHolder> items;    // one ModuleItemId each; none: the module folder
    std::vector<DWORD> attributes;      // per item, kept up to date by apply
    std::wstring folderPath;
    wchar_t moduleModel[kModelBufferChars] = {};
    // Drive pages: the label read from the module; none when it could not be read.
    std::wstring labels[kMaxSheetPages];
    bool hasLabel[kMaxSheetPages] = {};
    std::wstring typeText, locationText;
    uint64_t fileCount = 0, folderCount = 0, totalSize = 0;
    DWORD attributesAny = 0, attributesMixed = 0;

    bool IsModuleFolder() const { return items.empty(); }
    bool IsDrives() const { return !items.empty() && IsDriveItem(items[0].get()); }
};

class PropertySheetHandler final : public IShellExtInit,
                                   public IShellPropSheetExt,
                                   public Aggregatable,
                                   public RefCounted<PropertySheetHandler> {
public:
    PropertySheetHandler();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // Aggregatable
    HRESULT InternalQueryInterface(REFIID iid, void** out) override;
    ULONG InternalRelease() override { return ReleaseImpl(); }

    // IShellExtInit: only the module folder itself, as one "Shell IDList Array" item.
    STDMETHODIMP Initialize(LPCITEMIDLIST folder, IDataObject* data, HKEY key) override;
    // IShellPropSheetExt
    STDMETHODIMP AddPages(LPFNSVADDPROPSHEETPAGE addPage, LPARAM lParam) override;
    STDMETHODIMP ReplacePage(EXPPS, LPFNSVADDPROPSHEETPAGE, LPARAM) override { return E_NOTIMPL; }

    // The module's own Properties command: `items` (lists whose last item
    // counts) in `folderPath`; no items: folderPath itself (empty: the
    // module folder). Call on the thread that shows the sheet.
    HRESULT InitializeWithItems(const LPCITEMIDLIST* items, UINT count,
                                const wchar_t* folderPath);

    // For the pages.
    SheetSelection& selection() { return selection_; }
    ModuleAccess* connection() const { return connection_.Get(); }
    // Bit n set: page n has changes not yet applied.
    DWORD changedPages = 0;

private:
    friend class RefCounted<PropertySheetHandler>;
    ~PropertySheetHandler() override;
    HRESULT ReadSelection(const LPCITEMIDLIST* items, UINT count, const wchar_t* folderPath);
    HRESULT ReadDriveLabels();
    HRESULT ReadFilesAndFolders();

    bool comEntered_ = false;
    HRESULT initResult_ = E_UNEXPECTED;
    Microsoft::WRL::ComPtr<ModuleAccess> connection_;
    SheetSelection selection_;
    UniqueHGlobal templates_[kMaxSheetPages];
};

HRESULT CreatePropertySheetHandlerInstance(IUnknown* outer, REFIID iid, void** out);

// The first item of a "Shell IDList Array" when it holds exactly one:
// E_UNEXPECTED without the format in global memory, E_INVALIDARG for another
// count or a block whose offsets or lists do not fit it.
HRESULT SingleShellItem(IDataObject* data, LPITEMIDLIST* absolute);
