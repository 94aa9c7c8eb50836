// The view's commands: what each one does, and the selection they act on.
// Everything runs on the view's thread; the operations a command starts are
// reached through handlers/operation_hooks.h and transfer/file_operations.h.
#include "view/module_view.h"

#include <mmsystem.h>

#include "common/paths.h"
#include "handlers/operation_hooks.h"
#include "handlers/property_sheet_launcher.h"
#include "handlers/view_menus.h"
#include "module_access/listing.h"
#include "resources/command_ids.h"
#include "transfer/file_operations.h"
#include "view/view_commands.h"

using Microsoft::WRL::ComPtr;

namespace {

ItemKind KindOf(LPCITEMIDLIST item) {
    if (IsDriveItem(item)) return ItemKind::Drive;
    return IsContainerItem(item) ? ItemKind::Folder : ItemKind::File;
}

void PlayDefaultSound() { sndPlaySoundW(L".Default", SND_ASYNC); }

}  // namespace

// ---------------------------------------------------------------------------
// Selection and focus

bool ModuleView::FocusInView() const {
    HWND focus = GetFocus();
    return focus && (focus == window_ || focus == list_ || focus == pane_);
}

int ModuleView::SelectionKindNow() const {
    SelectionKind kind = kSelNothing;
    if (!list_) return kind;
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0) {
        LPCITEMIDLIST item = RowItem(row);
        if (item) kind = NextSelectionKind(kind, KindOf(item));
    }
    return kind;
}

int ModuleView::CurrentMenuContext() const {
    return MenuContextFor(FocusInView(), static_cast<SelectionKind>(SelectionKindNow()));
}

std::vector<LPCITEMIDLIST> ModuleView::SelectedItems() const {
    std::vector<LPCITEMIDLIST> items;
    if (!list_) return items;
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0)
        if (LPCITEMIDLIST item = RowItem(row)) items.push_back(item);
    return items;
}

LPCITEMIDLIST ModuleView::FocusedSelectedItem(int* row) const {
    if (!list_) return nullptr;
    int focused = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, -1, LVNI_FOCUSED | LVNI_SELECTED));
    if (row) *row = focused;
    return focused >= 0 ? RowItem(focused) : nullptr;
}

// ---------------------------------------------------------------------------
// Commands

bool ModuleView::ExecuteMenuCommand(UINT id, UINT code) {
    if (id < CMD_FIRST || id > CMD_LAST) return false;
    switch (id) {
    case CMD_VIEW_LARGE_ICONS:
    case CMD_VIEW_SMALL_ICONS:
    case CMD_VIEW_LIST:
    case CMD_VIEW_DETAILS:
        SetViewMode(static_cast<int>(id - CMD_VIEW_LARGE_ICONS) + 1);
        return true;
    case CMD_PROPERTIES: ShowProperties(); return true;
    case CMD_AUTO_ARRANGE: ToggleAutoArrange(); return true;
    case CMD_SNAP_TO_GRID:
        if (list_) SendMessageW(list_, LVM_ARRANGE, LVA_SNAPTOGRID, 0);
        return true;
    case CMD_CUT: CutOrCopy(DROPEFFECT_MOVE); return true;
    case CMD_COPY: CutOrCopy(DROPEFFECT_COPY); return true;
    case CMD_DELETE: DeleteSelection(); return true;
    case CMD_RENAME: {
        LPCITEMIDLIST target = contextItem_;
        if (!target && FocusInView()) {
            std::vector<LPCITEMIDLIST> selected = SelectedItems();
            if (!selected.empty()) target = selected.front();
        }
        if (target) HandleRename(target);
        return true;
    }
    case CMD_OPEN:
        if (code == 1) OpenFocusedRow();
        else OpenOrExplore(id);
        return true;
    case CMD_EXPLORE: OpenOrExplore(id); return true;
    case CMD_PASTE: PasteHere(); return true;
    case CMD_SELECT_ALL:
    case CMD_INVERT_SELECTION: {
        if (!list_) return true;
        for (int row = 0, rows = ItemCount(); row < rows; ++row) {
            LVITEMW state = {};
            state.stateMask = LVIS_SELECTED;
            bool selected = SendMessageW(list_, LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED;
            state.state = (id == CMD_SELECT_ALL || !selected) ? LVIS_SELECTED : 0;
            SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
        }
        SetFocus(list_);
        return true;
    }
    case CMD_FIND: FindFrom(); return true;
    case CMD_FORMAT:
        for (LPCITEMIDLIST item : SelectedItems())
            if (IsDriveItem(item)) OpenFormatDialog(FileNamePart(ItemPath(item)), ItemSize(item));
        return true;
    case CMD_HELP_TOPICS:
    case CMD_HELP: StartHelp(id, window_); return true;
    case CMD_OPEN_PARENT_FOLDER: {
        int row = list_ ? static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, -1, LVNI_FOCUSED)) : -1;
        LPCITEMIDLIST item = row >= 0 ? RowItem(row) : nullptr;
        if (item) StartOpenOrExplorePaths(CMD_OPEN, owner_, {ParentPath(ItemPath(item))}, access_.Get());
        return true;
    }
    case CMD_NEW_FOLDER: NewFolder(); return true;
    case CMD_STANDARD_FOLDERS:
        if (!access_) return true;
        for (LPCITEMIDLIST item : SelectedItems())
            CreateStandardFoldersOn(access_.Get(), window_, FileNamePart(ItemPath(item)).c_str());
        return true;
    case CMD_BACK:
    case CMD_FORWARD: {
        if (!browser_) return true;
        ComPtr<ModuleView> self(this);
        ComPtr<IShellBrowser> browser(browser_);
        UINT direction = id == CMD_BACK ? SBSP_NAVIGATEBACK : SBSP_NAVIGATEFORWARD;
        browser->BrowseObject(nullptr, direction | SBSP_SAMEBROWSER);
        return true;
    }
    case CMD_CONTEXT_MENU: OpenContextMenuFromKeyboard(); return true;
    case CMD_ABOUT: StartAboutBox(window_); return true;
    default: return false;
    }
}

HRESULT ModuleView::SetViewMode(int mode) {
    if (!list_) return E_UNEXPECTED;
    static const DWORD kTypes[] = {LVS_ICON, LVS_SMALLICON, LVS_LIST, LVS_REPORT};
    LONG_PTR style = GetWindowLongPtrW(list_, GWL_STYLE);
    SetWindowLongPtrW(list_, GWL_STYLE, (style & ~static_cast<LONG_PTR>(LVS_TYPEMASK)) | kTypes[mode - 1]);
    viewMode_ = mode;
    UpdateViewMenuMarks();
    UpdateToolbar();
    return S_OK;
}

void ModuleView::ToggleAutoArrange() {
    folderFlags_ ^= FWF_AUTOARRANGE;
    if (list_) {
        LONG_PTR style = GetWindowLongPtrW(list_, GWL_STYLE);
        SetWindowLongPtrW(list_, GWL_STYLE, style ^ LVS_AUTOARRANGE);
    }
    UpdateViewMenuMarks();
}

void ModuleView::ClearCutMarks() {
    for (int row = 0, rows = ItemCount(); row < rows; ++row) {
        LPCITEMIDLIST item = RowItem(row);
        LVITEMW state = {};
        state.stateMask = LVIS_CUT;
        state.state = item && (ItemAttributes(item) & FILE_ATTRIBUTE_HIDDEN) && !(folderFlags_ & FWF_NOICONS) ? LVIS_CUT : 0;
        SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    }
}

void ModuleView::CutOrCopy(DWORD effect) {
    IModuleChangeSink* sink = ResultsSink();
    IUnknown* view = static_cast<IShellView*>(this);
    if (FocusInView()) {
        std::vector<LPCITEMIDLIST> selected = SelectedItems();
        if (selected.empty()) return;
        if (list_) ClearCutMarks();
        HRESULT hr = StartCutOrCopy(path_, view, selected.data(), static_cast<UINT>(selected.size()), effect, sink);
        if (SUCCEEDED(hr) && effect == DROPEFFECT_MOVE) {
            LVITEMW state = {};
            state.stateMask = state.state = LVIS_CUT;
            int row = -1;
            while ((row = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0)
                SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
        }
        return;
    }
    if (isRoot_) {
        std::vector<LPCITEMIDLIST> all(items_.items(), items_.items() + items_.count());
        if (all.empty()) return;
        if (list_) ClearCutMarks();
        HRESULT hr = StartCutOrCopy(path_, view, all.data(), static_cast<UINT>(all.size()), effect, sink);
        if (SUCCEEDED(hr) && effect == DROPEFFECT_MOVE && list_) {
            LVITEMW state = {};
            state.stateMask = state.state = LVIS_CUT;
            SendMessageW(list_, LVM_SETITEMSTATE, -1, reinterpret_cast<LPARAM>(&state));
        }
        return;
    }
    LPCITEMIDLIST self = folderList_ ? LastItem(folderList_.get()) : nullptr;
    if (self) StartCutOrCopy(ParentPath(path_), view, &self, 1, effect, sink);
}

void ModuleView::DeleteSelection() {
    HWND owner = list_ ? list_ : owner_;
    if (FocusInView()) {
        std::vector<LPCITEMIDLIST> selected = SelectedItems();
        if (selected.empty()) return;
        IModuleChangeSink* sink = ResultsSink();
        StartDelete(path_, selected.data(), static_cast<UINT>(selected.size()), false, owner, sink);
        return;
    }
    if (isRoot_) {
        if (items_.count()) StartDelete(path_, items_.items(), items_.count(), false, owner, nullptr);
        return;
    }
    LPCITEMIDLIST self = folderList_ ? LastItem(folderList_.get()) : nullptr;
    if (self) StartDelete(ParentPath(path_), &self, 1, false, owner, nullptr);
}

void ModuleView::PasteHere() {
    std::wstring target;
    if (contextItem_ && IsContainerItem(contextItem_)) target = ItemPath(contextItem_);
    else if (kind_ == ListKind::Search) return;
    else target = path_;
    StartPaste(target, list_ ? list_ : owner_);
}

void ModuleView::OpenOrExplore(UINT command) {
    std::vector<LPCITEMIDLIST> selected = SelectedItems();
    if (kind_ == ListKind::Search) {
        OpenFoundItems(command, owner_, selected);
        return;
    }
    ComPtr<ModuleView> self(this);   // the browser may end this view while it navigates
    StartOpenOrExplore(command, owner_, folderList_.get(), selected.empty() ? nullptr : selected.data(),
                       static_cast<UINT>(selected.size()), contextItem_);
    if (!contextItem_ || !browser_) return;
    IdListHolder child;
    if (FAILED(child.Assign(contextItem_))) return;
    ComPtr<IShellBrowser> browser(browser_);
    HWND tree = nullptr;
    bool hasTree = SUCCEEDED(browser->GetControlWindow(FCW_TREE, &tree)) && tree;
    UINT flags = SBSP_RELATIVE;
    if (command == CMD_EXPLORE) flags |= hasTree ? SBSP_EXPLOREMODE : (SBSP_NEWBROWSER | SBSP_EXPLOREMODE);
    else flags |= SBSP_OPENMODE;
    browser->BrowseObject(child.get(), flags);
}

void ModuleView::OpenFocusedRow() {
    LPCITEMIDLIST item = FocusedSelectedItem(nullptr);
    if (item) OpenItem(item, window_, owner_);
}

void ModuleView::NewFolder() {
    if (isRoot_) {
        PlayDefaultSound();
        return;
    }
    if (list_ && GetFocus() != list_) SetFocus(list_);
    if (!access_) return;
    std::wstring created = CreateNewFolder(access_.Get(), window_, path_.c_str());
    if (created.empty()) return;
    ComPtr<ModuleView> self(this);   // the name's edit runs messages: the view may be let go
    // Our own change notification would refresh a second time; later ones,
    // while the name is typed, are heard again.
    UnadviseChangeSink();
    Refresh();
    AdviseChangeSink();
    IdListHolder record;
    if (SUCCEEDED(GetItemRecord(created.c_str(), access_.Get(), record.out()))) {
        for (int row = 0, rows = ItemCount(); row < rows; ++row) {
            LPCITEMIDLIST item = RowItem(row);
            if (item && lstrcmpiW(ItemPath(item), created.c_str()) == 0) {
                HandleRename(item);
                break;
            }
        }
    }
}

void ModuleView::FindFrom() {
    std::wstring start = path_;
    if (contextItem_ && IsContainerItem(contextItem_)) {
        start = ItemPath(contextItem_);
    } else if (list_) {
        int row = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, -1, LVNI_FOCUSED));
        LPCITEMIDLIST item = row >= 0 ? RowItem(row) : nullptr;
        if (item && IsContainerItem(item)) start = ItemPath(item);
    }
    StartSearchWindow(nullptr, start.c_str());
}

void ModuleView::ShowProperties() {
    std::vector<IdListHolder> items;
    if (FocusInView()) {
        for (LPCITEMIDLIST item : SelectedItems()) {
            items.emplace_back();
            if (FAILED(items.back().Assign(item))) return;
        }
    }
    LaunchPropertySheet(path_, std::move(items));
}
