// The context menu of module items: for files and folders and for drives
// (made by the folder's GetUIObjectOf), and as the registered handler of the
// "Module" folder itself (made by Explorer and initialised through
// IShellExtInit). Its items come from menu 203; each verb starts the
// operation that belongs to it.
#pragma once
#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "common/com_aggregation.h"
#include "common/com_object.h"
#include "item_id/module_item_id.h"

class ModuleContextMenu final : public IContextMenu,
                                public IShellExtInit,
                                public Aggregatable,
                                public RefCounted<ModuleContextMenu> {
public:
    enum Role { kItems = 0, kDrives = 1, kModuleRoot = 2, kUninitialised = 3 };

    // The folder whose items these are: kept alive with `folder`, named by
    // its module path and its absolute identifier list.
    struct Folder {
        IUnknown* object;
        std::wstring path;
        LPCITEMIDLIST absolute;
    };
    // A menu for `items` of the folder (drives when the first one is a drive).
    static HRESULT CreateForItems(const Folder& folder, const LPCITEMIDLIST* items, UINT count, REFIID iid,
                                  void** out);
    HRESULT InitializeForItems(const Folder& folder, const LPCITEMIDLIST* items, UINT count);

    Role role() const { return role_; }
    // The command number at each inserted position (0 for a separator).
    const std::vector<UINT>& Commands() const { return commands_; }

    // IUnknown (delegating when aggregated)
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // Aggregatable
    HRESULT InternalQueryInterface(REFIID iid, void** out) override;
    ULONG InternalRelease() override { return ReleaseImpl(); }

    // IContextMenu
    STDMETHODIMP QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags) override;
    STDMETHODIMP InvokeCommand(LPCMINVOKECOMMANDINFO info) override;
    STDMETHODIMP GetCommandString(UINT_PTR offset, UINT type, UINT* reserved, LPSTR text, UINT size) override;
    // IShellExtInit
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folderList, IDataObject* data, HKEY key) override;

private:
    friend class RefCounted<ModuleContextMenu>;
    template <class T>
    friend HRESULT CreateAggregatableInstance(IUnknown* outer, REFIID iid, void** out);
    ModuleContextMenu();
    ~ModuleContextMenu() override;

    void Reset();
    int PopupForRole() const;
    // The verb of a command in this role, or null.
    const char* VerbOf(UINT command) const;
    HRESULT CommandOfVerb(const char* verb, UINT* command) const;
    HRESULT Execute(UINT command, HWND window);
    HRESULT ExecuteForItems(UINT command, HWND window);
    HRESULT ExecuteForDrives(UINT command, HWND window);
    std::vector<LPCITEMIDLIST> ItemLists() const;
    HRESULT LaunchProperties() const;
    std::wstring FolderPath() const;
    // The folder path, a backslash and the item's last path component.
    std::wstring ChildPath(LPCITEMIDLIST item) const;

    Microsoft::WRL::ComPtr<IUnknown> folder_;
    std::wstring folderPath_;
    IdListHolder folderList_;
    std::vector<IdListHolder> items_;
    std::vector<UINT> commands_;
    Role role_ = kUninitialised;
    bool comEntered_ = false;
};

// The class object's creator of the registered handler (aggregatable).
HRESULT CreateModuleContextMenuInstance(IUnknown* outer, REFIID iid, void** out);
