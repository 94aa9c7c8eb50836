// The module's own shell view: a child window of Explorer's browser holding
// the item list of one module folder (or, for the search window, the list of
// found items). Menus, toolbar and commands, the information pane and drag
// and drop build on this class; each has one call site here.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/com_object.h"
#include "common/holders.h"
#include "common/window_classes.h"
#include "item_id/module_item_id.h"
#include "module_access/listing.h"
#include "module_access/module_access_h.h"
#include "view/cell_text_ring.h"
#include "view/information_pane.h"
#include "view/view_cell_texts.h"
#include "view/view_change_sink.h"
#include "view/view_columns.h"
#include "view/view_state.h"

class SearchResultsHost;

// {7A3C21D4-5E9F-4B08-8D61-2F0B9C4E7A15}
extern const SHELLVIEWID kModuleViewId;

class ModuleView : public IShellView2,
                   public ViewChangeTarget,
                   private WindowMessageHandler,
                   private PaneHost,
                   public RefCounted<ModuleView> {
public:
    // A new, unbound view with its defaults (details, sort by name, auto-arrange).
    static HRESULT Create(ModuleView** out);

    // Binding: exactly once, by the folder object (its path and absolute
    // identifier list) or by the search window.
    HRESULT InitForFolderPath(const std::wstring& folderPath, PCIDLIST_ABSOLUTE folderList, HWND owner);
    HRESULT InitForSearch(SearchResultsHost* host);
    // Before binding: the connection of the list this view replaces, so that
    // it need not make one of its own.
    void AdoptAccess(ModuleAccess* access) {
        if (!bound_) access_ = access;
    }

    // Search-results role.
    HRESULT CreateResultsList(const RECT& rect);
    HRESULT AddItem(LPCITEMIDLIST item);

    void RemoveItemByPath(const std::wstring& path) override;
    int ItemCount() const;
    // What data objects carry so that a drop target recognises its own view.
    UINT_PTR Token() const { return reinterpret_cast<UINT_PTR>(this); }

    // The view's commands, from menus, accelerators, column clicks and
    // context menus. `code` is 0 for menus, 1 for accelerators.
    void ExecuteCommand(UINT id, UINT code);

    // Chooses, shows and runs the context menu of `item` (null: the
    // background) at a screen point.
    void ShowContextMenu(LPCITEMIDLIST item, POINT screen);
    // Which popup of menu 203 that menu is.
    int ContextPopupFor(LPCITEMIDLIST item) const;

    // State the other view parts and tests look at.
    HWND ViewWindow() const { return window_; }
    HWND ListWindow() const { return list_; }
    ListKind Kind() const { return kind_; }
    const std::wstring& FolderPath() const { return path_; }
    UINT SortCommand() const { return sortCommand_; }
    int ViewMode() const { return viewMode_; }
    UINT FolderFlags() const { return folderFlags_; }
    bool WebView() const { return webView_; }
    // The information pane (view/module_view_pane.cpp): Explorer's "WebView"
    // setting decides where the layout puts it.
    void SetWebView(bool on);
    const InformationPane& Pane() const { return infoPane_; }
    LPCITEMIDLIST ContextItem() const { return contextItem_; }
    IModuleChangeSink* ChangeSink() const { return sink_.Get(); }
    ModuleAccess* Access() const { return access_.Get(); }
    // The item a row shows (null when the row cannot be read).
    LPCITEMIDLIST RowItem(int row) const;
    // Rebuilds the status bar's two parts (browser views only).
    void UpdateStatusBar();

    // Drag and drop, rename (view/label_edit.cpp, view/view_drop_source.cpp,
    // view/module_drop_target.cpp).
    POINT DragStartPoint() const { return dragStart_; }
    bool RenameInProgress() const { return renameInProgress_; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
    // IOleWindow
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    // IShellView
    STDMETHODIMP TranslateAccelerator(MSG* msg) override;
    STDMETHODIMP EnableModeless(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP UIActivate(UINT state) override;
    STDMETHODIMP Refresh() override;
    STDMETHODIMP CreateViewWindow(IShellView* previous, LPCFOLDERSETTINGS settings, IShellBrowser* browser,
                                  RECT* rect, HWND* window) override;
    STDMETHODIMP DestroyViewWindow() override;
    STDMETHODIMP GetCurrentInfo(LPFOLDERSETTINGS settings) override;
    STDMETHODIMP AddPropertySheetPages(DWORD, LPFNSVADDPROPSHEETPAGE, LPARAM) override { return E_NOTIMPL; }
    STDMETHODIMP SaveViewState() override;
    STDMETHODIMP SelectItem(PCUITEMID_CHILD item, SVSIF flags) override;
    STDMETHODIMP GetItemObject(UINT what, REFIID iid, void** out) override;
    // IShellView2: in the vtable, called by the view itself, not answered by QueryInterface.
    STDMETHODIMP GetView(SHELLVIEWID* id, ULONG which) override;
    STDMETHODIMP CreateViewWindow2(LPSV2CVW2_PARAMS params) override;
    STDMETHODIMP HandleRename(PCUITEMID_CHILD item) override;
    STDMETHODIMP SelectAndPositionItem(PCUITEMID_CHILD item, UINT flags, POINT* point) override;

private:
    friend class RefCounted<ModuleView>;
    friend class ModuleDropTarget;
    ModuleView();
    ~ModuleView() override;

    HRESULT RefreshForChange() override { return Refresh(); }

    // Posted to the view window after the list's selection changed.
    static constexpr UINT kSelectionChanged = WM_APP + 1;

    // Binding helpers.
    HRESULT Bind(const std::wstring& folderPath, HWND owner);
    HRESULT EnsureAccess();

    // Windows.
    HRESULT CreateViewWindowIn(HWND parent, const RECT& rect);
    HRESULT CreateList(ListKind kind, const int32_t widths[kViewStateColumns]);
    void DestroyList();
    void DestroyWindows();
    void ReleaseWindowState();
    void Layout(int width, int height);
    RECT InnerRect(const RECT& rect) const;
    LRESULT OnWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    struct ListSubclass;
    HRESULT SubclassList(HWND list);
    static void UnsubclassList(HWND list);
    static LRESULT CALLBACK ListWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnViewMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnListNotify(NMHDR* header);
    void OnListMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Items and rows (view_list.cpp).
    HRESULT ListFolder();
    void FreeItems();
    void FillList();
    bool InsertRow(LPCITEMIDLIST item, int index);
    void SortList();
    static int CALLBACK CompareRows(LPARAM first, LPARAM second, LPARAM sort);
    void ReadExplorerSettings();
    void SupplyCellText(NMLVDISPINFOW* info);
    void OpenRowItem(int row);
    // Opens a folder or drive in the browser (found ones in a window of their
    // own); a file gets the "cannot open" message.
    void OpenItem(LPCITEMIDLIST item, HWND messageOwner, HWND searchOwner);
    int RowUnderPoint(POINT client) const;
    RowItemText RowTexts() const;

    // Search-results role (search_results_role.cpp).
    // The sink that learns of found items moved or deleted (search lists only).
    IModuleChangeSink* ResultsSink() const;
    HWND SearchOwner() const;
    void TakeSearchWindowMenus();
    void PrepareSearchFileMenu(HMENU file, int context);
    void OpenFoundItems(UINT command, HWND owner, const std::vector<LPCITEMIDLIST>& items);

    // Change notifications.
    void AdviseChangeSink();
    void UnadviseChangeSink();

    // Where the later view parts join in.
    HRESULT MergeToolbar();
    HRESULT CreatePane();
    void DestroyPane();
    void RefreshPane();
    void ChoosePanePicture();
    PaneContent CurrentPaneContent() override;
    void OnPanePress(POINT client) override;
    void OnPaneMenu(POINT screen) override;
    HRESULT RegisterDropTargets();
    void RevokeDropTargets();
    void MergeMenus();
    void RemoveMenus();

    // Menus, toolbar and commands (view_command_handler.cpp).
    bool FocusInView() const;
    int CurrentMenuContext() const;
    int SelectionKindNow() const;
    std::vector<LPCITEMIDLIST> SelectedItems() const;
    LPCITEMIDLIST FocusedSelectedItem(int* row) const;
    void ApplyEditMenuRules(HMENU edit);
    void PrepareFileMenu(HMENU file);
    void UpdateViewMenuMarks();
    void UpdateToolbar();
    void ShowMenuHelp(UINT item, UINT flags, HMENU menu);
    void EndMenuHelp();
    bool SupplyToolTip(NMHDR* header, LRESULT* result);
    HRESULT SetViewMode(int mode);
    void CutOrCopy(DWORD effect);
    void DeleteSelection();
    void PasteHere();
    void OpenOrExplore(UINT command);
    void OpenFocusedRow();
    void NewFolder();
    void FindFrom();
    void ShowProperties();
    void ToggleAutoArrange();
    void OpenContextMenuFromKeyboard();
    void ClearCutMarks();
    bool ExecuteMenuCommand(UINT id, UINT code);

    // Drag and drop, rename.
    LRESULT OnBeginLabelEdit(NMLVDISPINFOW* info);
    LRESULT OnEndLabelEdit(NMLVDISPINFOW* info);
    void EndRunningLabelEdit();
    void StartDrag(int button);
    void EndSimpleStatus();
    POINT dragStart_ = {};
    bool renameInProgress_ = false;
    bool editEnded_ = false;
    bool listStartedEdit_ = false;   // the running edit is the list's own, not HandleRename's
    volatile bool* renameWait_ = nullptr;
    IdListHolder renameItem_;   // what the running rename started on
    Microsoft::WRL::ComPtr<IDropTarget> listTarget_;
    Microsoft::WRL::ComPtr<IDropTarget> paneTarget_;

    // Binding.
    bool bound_ = false;
    std::wstring path_;
    bool isRoot_ = false;
    bool isDrive_ = false;
    ListKind kind_ = ListKind::Folder;
    IdListHolder folderList_;
    HWND owner_ = nullptr;
    SearchResultsHost* searchHost_ = nullptr;
    Microsoft::WRL::ComPtr<ModuleAccess> access_;
    Microsoft::WRL::ComPtr<ViewChangeSink> sink_;
    LONG cookie_ = 0;

    // Items: the view owns them; rows point at them.
    ItemArray items_;

    // Windows.
    HWND window_ = nullptr;
    HWND list_ = nullptr;
    HWND pane_ = nullptr;   // infoPane_'s window while it has one
    InformationPane infoPane_;
    Microsoft::WRL::ComPtr<IShellBrowser> browser_;

    // Presentation.
    int viewMode_ = 4;
    UINT folderFlags_ = FWF_AUTOARRANGE;
    UINT sortCommand_;
    bool webView_ = false;
    UINT uiState_ = SVUIA_DEACTIVATE;
    DWORD extendedStyle_ = 0;
    HACCEL viewAccelerators_ = nullptr;
    HACCEL otherAccelerators_ = nullptr;

    // Context.
    POINT lastPress_ = {};
    LPCITEMIDLIST contextItem_ = nullptr;   // the row a context menu was opened for

    // Menus merged into the browser's while the view is active.
    HMENU sharedMenu_ = nullptr;
    HMENU fileMenu_ = nullptr;       // the browser's, restored from fileMenuCopy_ when it opens
    HMENU fileMenuCopy_ = nullptr;
    HMENU editMenu_ = nullptr;
    HMENU viewMenu_ = nullptr;
    HMENU arrangePopup_ = nullptr;   // ours, inside the browser's View menu
    bool menuHelpShown_ = false;
    wchar_t tipTextW_[80] = {};
    char tipTextA_[80] = {};

    CellTextRing ring_;
    RowIconCache icons_;

    // Layout kept across a refresh.
    std::vector<BYTE> iconPositions_;
    std::vector<BYTE> selection_;
    std::wstring focusedPath_;

    bool refreshing_ = false;
    bool selectionUpdatePosted_ = false;
    bool showHidden_ = true;
    bool showSystem_ = true;
    bool showSuperHidden_ = true;
};
