// The folder object Explorer binds to for "Module" under My Computer and for
// every module drive and folder below it. It knows its module path and its
// absolute identifier list, lists itself through its own ModuleAccess
// instance and hands out the enumerator, icons and info tips of its items.
#pragma once
#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <memory>
#include <string>
#include <vector>

#include "common/com_aggregation.h"
#include "common/com_object.h"
#include "module_access/module_access_h.h"
#include "item_id/compare_items.h"
#include "item_id/module_item_id.h"
#include "view/view_settings.h"

class ModuleFolder final : public IShellFolder2,
                           public IPersistFolder2,
                           public IShellDetails,
                           public IShellIcon,
                           public Aggregatable,
                           public RefCounted<ModuleFolder> {
public:
    // A folder for `path` with the absolute list `absolute` (copied), as
    // BindToObject makes them.
    static HRESULT Create(const std::wstring& path, LPCITEMIDLIST absolute, ModuleFolder** out);

    // --- For the view and the other objects of this folder ---------------
    // Empty for the namespace root, \A: for a drive, \A:\Data below.
    const std::wstring& FolderPath() const { return path_; }
    bool IsNamespaceRoot() const { return path_.empty(); }
    // Lists the folder again (a second attempt on a helper thread; a failure
    // that remains is shown to the user and returned).
    HRESULT RefreshListing();
    // The folder's own server instance, created on first need (no reference added).
    HRESULT GetModuleAccess(ModuleAccess** access);

    // IUnknown (delegating when aggregated)
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // Aggregatable
    HRESULT InternalQueryInterface(REFIID iid, void** out) override;
    ULONG InternalRelease() override { return ReleaseImpl(); }

    // IShellFolder
    STDMETHODIMP ParseDisplayName(HWND owner, LPBC bindContext, LPWSTR name, ULONG* eaten,
                                  LPITEMIDLIST* list, ULONG* attributes) override;
    STDMETHODIMP EnumObjects(HWND owner, SHCONTF flags, IEnumIDList** out) override;
    STDMETHODIMP BindToObject(LPCITEMIDLIST list, LPBC bindContext, REFIID iid,
                              void** out) override;
    STDMETHODIMP BindToStorage(LPCITEMIDLIST list, LPBC bindContext, REFIID iid,
                               void** out) override;
    STDMETHODIMP CompareIDs(LPARAM param, LPCITEMIDLIST list1, LPCITEMIDLIST list2) override;
    STDMETHODIMP CreateViewObject(HWND owner, REFIID iid, void** out) override;
    STDMETHODIMP GetAttributesOf(UINT count, LPCITEMIDLIST* items, SFGAOF* flags) override;
    STDMETHODIMP GetUIObjectOf(HWND owner, UINT count, LPCITEMIDLIST* items, REFIID iid,
                               UINT* reserved, void** out) override;
    STDMETHODIMP GetDisplayNameOf(LPCITEMIDLIST list, SHGDNF flags, STRRET* name) override;
    STDMETHODIMP SetNameOf(HWND owner, LPCITEMIDLIST list, LPCWSTR newName, SHGDNF flags,
                           LPITEMIDLIST* newList) override;
    // IShellFolder2
    STDMETHODIMP GetDefaultSearchGUID(GUID* guid) override;
    STDMETHODIMP EnumSearches(IEnumExtraSearch** out) override;
    STDMETHODIMP GetDefaultColumn(DWORD reserved, ULONG* sort, ULONG* display) override;
    STDMETHODIMP GetDefaultColumnState(UINT column, SHCOLSTATEF* state) override;
    STDMETHODIMP GetDetailsEx(LPCITEMIDLIST list, const SHCOLUMNID* column,
                              VARIANT* value) override;
    STDMETHODIMP GetDetailsOf(LPCITEMIDLIST list, UINT column, SHELLDETAILS* details) override;
    STDMETHODIMP MapColumnToSCID(UINT column, SHCOLUMNID* id) override;
    // IPersist, IPersistFolder, IPersistFolder2
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP Initialize(LPCITEMIDLIST absolute) override;
    STDMETHODIMP GetCurFolder(LPITEMIDLIST* absolute) override;
    // IShellDetails
    STDMETHODIMP ColumnClick(UINT column) override;
    // IShellIcon
    STDMETHODIMP GetIconOf(LPCITEMIDLIST list, UINT flags, int* index) override;

private:
    friend class RefCounted<ModuleFolder>;
    template <class T>
    friend HRESULT CreateAggregatableInstance(IUnknown* outer, REFIID iid, void** out);
    ModuleFolder();
    ~ModuleFolder() override;

    void FreeListing();
    // Lists this folder's path into the listing fields through `access`.
    HRESULT ListInto(ModuleAccess* access);
    HRESULT ListOnHelperThread();
    HRESULT ContextMenuOf(UINT count, LPCITEMIDLIST* items, void** out);
    // Whether the refreshed listing holds an item with the path of `item`.
    bool ListingHolds(LPCITEMIDLIST item) const;

    std::wstring path_;
    IdListHolder absolute_;
    std::vector<IdListHolder> listing_;
    Microsoft::WRL::ComPtr<ModuleAccess> access_;
    bool comEntered_ = false;
};

// The class object's creator of the namespace folder (aggregatable).
HRESULT CreateModuleFolderInstance(IUnknown* outer, REFIID iid, void** out);
