// Renaming in place, drops onto the view and the folder, drags out of it,
// against the substitute server: real label-edit messages to the hosted
// list, data objects made by the platform's shell for PC files and by the
// library for module items.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/module_count.h"
#include "module_access/com_thread.h"
#include "tests/support/prompt_recorder.h"
#include "tests/support/test_shell_browser.h"
#include "testing/substitute_server.h"
#include "transfer/clipboard_formats.h"
#include "transfer/module_data_object.h"
#include "transfer/view_address_format.h"
#include "view/module_drop_target.h"
#include "view/module_view.h"
#include "view/view_drop_source.h"

using Microsoft::WRL::ComPtr;

namespace {

bool PcExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Runs `action` on this thread once the message loop of a nested call is
// running (timers fire only from there).
std::function<void()> g_later;
void CALLBACK RunLater(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    auto action = g_later;
    g_later = nullptr;
    if (action) action();
}
bool* g_typed = nullptr;   // set once the edit box got its text and Enter

void Later(std::function<void()> action) {
    g_later = std::move(action);
    SetTimer(nullptr, 0, 10, RunLater);
}

HRESULT ShellDataObject(const std::wstring& folderPath, const std::vector<const wchar_t*>& names, IDataObject** out) {
    ComPtr<IShellFolder> desktop, folder;
    HRESULT hr = SHGetDesktopFolder(&desktop);
    if (FAILED(hr)) return hr;
    IdListHolder folderList;
    hr = desktop->ParseDisplayName(nullptr, nullptr, const_cast<LPWSTR>(folderPath.c_str()), nullptr,
                                   folderList.out(), nullptr);
    if (FAILED(hr)) return hr;
    hr = desktop->BindToObject(folderList.get(), nullptr, IID_PPV_ARGS(&folder));
    if (FAILED(hr)) return hr;
    std::vector<IdListHolder> children(names.size());
    std::vector<LPCITEMIDLIST> lists;
    for (size_t i = 0; i < names.size(); ++i) {
        hr = folder->ParseDisplayName(nullptr, nullptr, const_cast<LPWSTR>(names[i]), nullptr, children[i].out(),
                                      nullptr);
        if (FAILED(hr)) return hr;
        lists.push_back(children[i].get());
    }
    return folder->GetUIObjectOf(nullptr, static_cast<UINT>(lists.size()), lists.data(), IID_IDataObject, nullptr,
                                 reinterpret_cast<void**>(out));
}

// Records what a drop source writes into its data object.
class RecordingData : public IDataObject {
public:
    std::vector<std::pair<CLIPFORMAT, DWORD>> written;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid != IID_IUnknown && iid != IID_IDataObject) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; }
    STDMETHODIMP GetData(FORMATETC*, STGMEDIUM*) override { return DV_E_FORMATETC; }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC*) override { return DV_E_FORMATETC; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override {
        DWORD* value = static_cast<DWORD*>(GlobalLock(medium->hGlobal));
        written.emplace_back(format->cfFormat, value ? *value : 0xFFFFFFFF);
        GlobalUnlock(medium->hGlobal);
        if (release) ReleaseStgMedium(medium);
        return S_OK;
    }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    ULONG refs_ = 1;
};

class DragDropTest : public testing::Test {
protected:
    void SetUp() override {
        objectsBefore_ = ModuleObjectCount();
        ASSERT_EQ(S_OK, EnterComThread());
        ASSERT_TRUE(module_.ok());
        ASSERT_EQ(S_OK, TestShellBrowser::Create(640, 480, browser_.ReleaseAndGetAddressOf()));
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        pcFolder_ = std::wstring(temp) + L"ktx_dragdrop_pc";
        CreateDirectoryW(pcFolder_.c_str(), nullptr);
    }
    void TearDown() override {
        browser_->DestroyView();
        view_.Reset();
        browser_.Reset();
        DeleteFileW((pcFolder_ + L"\\one.txt").c_str());
        RemoveDirectoryW(pcFolder_.c_str());
        // A paste worker holds the library up to its last instruction, and the
        // server lets go of the view's change sink through this thread's messages.
        for (int i = 0; i < 100 && ModuleObjectCount() != objectsBefore_; ++i) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            Sleep(20);
        }
        LeaveComThread();
        EXPECT_EQ(objectsBefore_, ModuleObjectCount());
    }

    void Show(const wchar_t* path, UINT mode = FVM_DETAILS) {
        ASSERT_EQ(S_OK, ModuleView::Create(view_.ReleaseAndGetAddressOf()));
        ASSERT_EQ(S_OK, view_->InitForFolderPath(path, nullptr, browser_->Frame()));
        HWND window = nullptr;
        ASSERT_EQ(S_OK, browser_->ShowView(view_.Get(), mode, FWF_AUTOARRANGE, &window));
    }
    HWND List() const { return view_->ListWindow(); }
    int RowOf(const wchar_t* name) {
        LVFINDINFOW find = {};
        find.flags = LVFI_STRING;
        find.psz = name;
        return static_cast<int>(SendMessageW(List(), LVM_FINDITEMW, static_cast<WPARAM>(-1),
                                             reinterpret_cast<LPARAM>(&find)));
    }
    std::wstring Label(int row) {
        wchar_t text[MAX_PATH] = {};
        LVITEMW item = {};
        item.iItem = row;
        item.pszText = text;
        item.cchTextMax = MAX_PATH;
        SendMessageW(List(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        return text;
    }
    // Edits a row's label as a user would: the list's own edit box gets the
    // text and Enter.
    void EditLabel(int row, const std::wstring& text, std::function<void()> before = nullptr) {
        HWND list = List();
        Later([list, text, before] {
            if (before) before();
            HWND edit = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETEDITCONTROL, 0, 0));
            ASSERT_NE(nullptr, edit);
            SetWindowTextW(edit, text.c_str());
            PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
            if (g_typed) *g_typed = true;
        });
        SendMessageW(list, LVM_EDITLABELW, row, 0);
        // The user types while the thread's loop runs, until the edit is over.
        bool typed = false;
        g_typed = &typed;
        for (int i = 0; i < 500 && !(typed && !SendMessageW(list, LVM_GETEDITCONTROL, 0, 0)); ++i) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        g_typed = nullptr;
    }
    POINTL ScreenPointOfRow(int row) {
        RECT rect = {};
        rect.left = LVIR_ICON;
        SendMessageW(List(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
        POINT p = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        ClientToScreen(List(), &p);
        return {p.x, p.y};
    }
    POINTL ScreenPointOfBackground() {
        RECT client = {};
        GetClientRect(List(), &client);
        POINT p = {client.right - 10, client.bottom - 10};
        ClientToScreen(List(), &p);
        return {p.x, p.y};
    }
    void WritePc(const wchar_t* name, const std::string& bytes) {
        HANDLE file = CreateFileW((pcFolder_ + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }

    LONG objectsBefore_ = 0;
    SubstituteModule module_;
    PromptRecorder prompts_;
    ComPtr<TestShellBrowser> browser_;
    ComPtr<ModuleView> view_;
    std::wstring pcFolder_;
};

}  // namespace

TEST_F(DragDropTest, LabelEditRenamesOnTheModuleAndKeepsTheNewIdentifier) {
    Show(L"\\A:\\Data");
    int row = RowOf(L"Notes.txt");
    ASSERT_GE(row, 0);
    SetFocus(List());
    EditLabel(row, L"Renamed notes.txt");
    EXPECT_EQ(0u, prompts_.Count());
    EXPECT_TRUE(PcExists(module_.PcPath(L"\\A:\\Data\\Renamed notes.txt")));
    EXPECT_FALSE(PcExists(module_.PcPath(L"\\A:\\Data\\Notes.txt")));
    // The edit is over: no edit box is left in the list, and the list has the keyboard again.
    EXPECT_EQ(0, SendMessageW(List(), LVM_GETEDITCONTROL, 0, 0));
    EXPECT_EQ(List(), GetFocus());
    EXPECT_FALSE(view_->RenameInProgress());
    row = RowOf(L"Renamed notes.txt");
    ASSERT_GE(row, 0);
    EXPECT_STREQ(L"\\A:\\Data\\Renamed notes.txt", ItemPath(view_->RowItem(row)));

    // A folder renames through RenameFolder and its row follows too.
    EditLabel(RowOf(L"Archive"), L"Old things");
    EXPECT_TRUE(PcExists(module_.PcPath(L"\\A:\\Data\\Old things")));
    ASSERT_GE(RowOf(L"Old things"), 0);
    EXPECT_STREQ(L"\\A:\\Data\\Old things", ItemPath(view_->RowItem(RowOf(L"Old things"))));
}

TEST_F(DragDropTest, RefusedNamesKeepTheOldLabelAndTheItem) {
    Show(L"\\A:\\Data");
    const std::wstring notes = module_.PcPath(L"\\A:\\Data\\Notes.txt");
    struct Case {
        const wchar_t* name;
        bool deleteFirst;
        size_t messages;
    } cases[] = {
        {L"", false, 0},   // the list hands an emptied label over as no text at all
        {L"a:b.txt", false, 1},
        {L"what?.txt", false, 1},
        {L"x|y", false, 1},
        {L"Photo.jpg", false, 1},
        {L"Gone.txt", true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "name '" << std::string(c.name, c.name + wcslen(c.name)) << "'");
        size_t before = prompts_.Count();
        int row = RowOf(L"Notes.txt");
        ASSERT_GE(row, 0);
        std::string keep;
        EditLabel(row, c.name, [&] {
            if (c.deleteFirst) DeleteFileW(notes.c_str());
        });
        EXPECT_EQ(before + c.messages, prompts_.Count());
        EXPECT_EQ(L"Notes.txt", Label(RowOf(L"Notes.txt")));
        EXPECT_STREQ(L"\\A:\\Data\\Notes.txt", ItemPath(view_->RowItem(RowOf(L"Notes.txt"))));
        if (!c.deleteFirst) {
            EXPECT_TRUE(PcExists(notes));
        }
    }
    EXPECT_TRUE(PcExists(module_.PcPath(L"\\A:\\Data\\Photo.jpg")));
}

TEST_F(DragDropTest, ARefreshDuringTheEditRenamesTheItemTheEditBeganOn) {
    Show(L"\\A:\\Data");
    const std::wstring first = module_.PcPath(L"\\A:\\Data\\0 first.txt");
    EditLabel(RowOf(L"Notes.txt"), L"Edited.txt", [&] {
        // A file sorted before it appears meanwhile: after the refresh the
        // edited row's index shows another item.
        HANDLE file = CreateFileW(first.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(file);
        view_->Refresh();
    });
    EXPECT_TRUE(PcExists(first));
    EXPECT_TRUE(PcExists(module_.PcPath(L"\\A:\\Data\\Edited.txt")));
    EXPECT_FALSE(PcExists(module_.PcPath(L"\\A:\\Data\\Notes.txt")));
    EXPECT_EQ(0u, prompts_.Count());
    EXPECT_STREQ(L"\\A:\\Data\\0 first.txt", ItemPath(view_->RowItem(RowOf(L"0 first.txt"))));
}

TEST_F(DragDropTest, HandleRenameChecksItsItemAndLearnsWhenTheViewGoes) {
    Show(L"\\A:\\Data");
    EXPECT_EQ(E_POINTER, view_->HandleRename(nullptr));
    BYTE junk[8] = {6, 0, 1, 2, 3, 4, 0, 0};
    EXPECT_EQ(E_INVALIDARG, view_->HandleRename(reinterpret_cast<PCUITEMID_CHILD>(junk)));

    IdListHolder notes;
    ASSERT_EQ(S_OK, notes.Assign(view_->RowItem(RowOf(L"Notes.txt"))));
    ComPtr<TestShellBrowser> browser = browser_;
    Later([browser] { browser->DestroyView(); });
    EXPECT_EQ(E_FAIL, view_->HandleRename(notes.get()));
    EXPECT_TRUE(PcExists(module_.PcPath(L"\\A:\\Data\\Notes.txt")));
}

TEST_F(DragDropTest, GetItemObjectGivesTheLibrarysDataObject) {
    Show(L"\\A:\\Data");
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_POINTER, view_->GetItemObject(SVGIO_SELECTION, IID_IDataObject, nullptr));
    EXPECT_EQ(E_NOINTERFACE, view_->GetItemObject(SVGIO_SELECTION, IID_IDropTarget, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_INVALIDARG, view_->GetItemObject(SVGIO_BACKGROUND, IID_IDataObject, &out));

    ASSERT_EQ(S_OK, view_->SelectItem(view_->RowItem(RowOf(L"Photo.jpg")), SVSI_SELECT));
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, view_->GetItemObject(SVGIO_SELECTION, IID_PPV_ARGS(&data)));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), ReadPreferredDropEffect(data.Get()));
    FormatInventory inventory;
    ASSERT_EQ(S_OK, TakeFormatInventory(data.Get(), &inventory));
    EXPECT_TRUE(inventory.CanGet(FormatInventory::DirectoryData));
    ComPtr<IModuleChangeSink> own;
    EXPECT_EQ(S_OK, data.As(&own));

    ComPtr<IDataObject> all;
    ASSERT_EQ(S_OK, view_->GetItemObject(SVGIO_ALLVIEW, IID_PPV_ARGS(&all)));
}

TEST_F(DragDropTest, PcFilesFromTheShellLandInTheViewsFolderOrOnAFolderRow) {
    Show(L"\\A:\\Data");
    WritePc(L"one.txt", "dropped bytes");
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, ShellDataObject(pcFolder_, {L"one.txt"}, &data));
    ComPtr<IDropTarget> target;
    ASSERT_EQ(S_OK, ModuleDropTarget::ForView(view_.Get(), &target));

    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(E_POINTER, target->DragEnter(nullptr, MK_LBUTTON, ScreenPointOfBackground(), &effect));
    ASSERT_EQ(S_OK, target->DragEnter(data.Get(), MK_LBUTTON, ScreenPointOfBackground(), &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect & ~DROPEFFECT_SCROLL);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    ASSERT_EQ(S_OK, target->DragOver(MK_LBUTTON | MK_SHIFT, ScreenPointOfBackground(), &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_MOVE), effect & ~DROPEFFECT_SCROLL);

    // Over a folder row the row is highlighted and takes the drop.
    int archive = RowOf(L"Archive");
    effect = DROPEFFECT_COPY;
    ASSERT_EQ(S_OK, target->DragOver(MK_LBUTTON, ScreenPointOfRow(archive), &effect));
    EXPECT_EQ(LVIS_DROPHILITED, ListView_GetItemState(List(), archive, LVIS_DROPHILITED));
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    ASSERT_EQ(S_OK, target->Drop(data.Get(), 0, ScreenPointOfRow(archive), &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
    EXPECT_EQ(0u, ListView_GetItemState(List(), archive, LVIS_DROPHILITED));
    EXPECT_TRUE(PcExists(module_.PcPath(L"\\A:\\Data\\Archive\\one.txt")));

    ASSERT_EQ(S_OK, target->DragEnter(data.Get(), MK_LBUTTON, ScreenPointOfBackground(), &effect));
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    ASSERT_EQ(S_OK, target->Drop(data.Get(), 0, ScreenPointOfBackground(), &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
    EXPECT_TRUE(PcExists(module_.PcPath(L"\\A:\\Data\\one.txt")));
    EXPECT_TRUE(PcExists(pcFolder_ + L"\\one.txt"));
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(DragDropTest, ItemsDroppedBackOnTheirOwnDetailsViewTransferNothing) {
    Show(L"\\A:\\Data");
    ASSERT_EQ(S_OK, view_->SelectItem(view_->RowItem(RowOf(L"Archive")), SVSI_SELECT));
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, view_->GetItemObject(SVGIO_SELECTION, IID_PPV_ARGS(&data)));
    ComPtr<IDropTarget> target;
    ASSERT_EQ(S_OK, ModuleDropTarget::ForView(view_.Get(), &target));
    const DWORD copies = module_.CallCount(L"CopyItem");

    struct Case {
        const wchar_t* over;   // null: the background
        DWORD expected;
    } cases[] = {
        {nullptr, DROPEFFECT_NONE},          // beside itself
        {L"Archive", DROPEFFECT_NONE},       // onto itself
    };
    for (const Case& c : cases) {
        POINTL at = c.over ? ScreenPointOfRow(RowOf(c.over)) : ScreenPointOfBackground();
        DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        ASSERT_EQ(S_OK, target->DragEnter(data.Get(), MK_LBUTTON, at, &effect));
        EXPECT_EQ(c.expected, effect & ~DROPEFFECT_SCROLL);
        effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        ASSERT_EQ(S_OK, target->Drop(data.Get(), 0, at, &effect));
        EXPECT_EQ(c.expected, effect);
    }
    EXPECT_EQ(copies, module_.CallCount(L"CopyItem"));
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(DragDropTest, FolderTargetDropsIntoItsItemAndRefusesOtherData) {
    WritePc(L"one.txt", "into Pictures");
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, ShellDataObject(pcFolder_, {L"one.txt"}, &data));
    IdListHolder folder(MakeItemId(L"\\A:\\Pictures", L"PICTURES", 0, FILE_ATTRIBUTE_DIRECTORY, 0, 0, 0));
    ComPtr<IDropTarget> target;
    ASSERT_EQ(S_OK, ModuleDropTarget::ForFolder(L"\\A:", folder.get(), browser_->Frame(), IID_PPV_ARGS(&target)));
    DWORD effect = DROPEFFECT_COPY;
    ASSERT_EQ(S_OK, target->DragEnter(data.Get(), MK_LBUTTON, {0, 0}, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
    ASSERT_EQ(S_OK, target->Drop(data.Get(), 0, {0, 0}, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
    EXPECT_TRUE(PcExists(module_.PcPath(L"\\A:\\Pictures\\one.txt")));


    // Data with neither PC files nor module items is nothing to drop.
    RecordingData nothing;
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    ASSERT_EQ(S_OK, target->DragEnter(&nothing, MK_LBUTTON, {0, 0}, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
    ASSERT_EQ(S_OK, target->Drop(&nothing, 0, {0, 0}, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(DragDropTest, DropSourceDropsWhenItsButtonIsReleasedAndMarksTheData) {
    Show(L"\\A:\\Data");
    const CLIPFORMAT converted = ClipboardFormat(ModuleClipboardFormat::Converted);
    struct Case {
        int button;
        BOOL escape;
        DWORD keys;
        HRESULT expected;
    } cases[] = {
        {1, FALSE, MK_LBUTTON, S_OK},
        {1, TRUE, MK_LBUTTON, DRAGDROP_S_CANCEL},
        {2, FALSE, MK_RBUTTON | MK_SHIFT, S_OK},
        {2, FALSE, MK_LBUTTON, DRAGDROP_S_DROP},
        {1, FALSE, MK_RBUTTON, DRAGDROP_S_DROP},
    };
    for (const Case& c : cases) {
        RecordingData data;
        ComPtr<ViewDropSource> source;
        ASSERT_EQ(S_OK, MakeComObject(source.ReleaseAndGetAddressOf(), static_cast<IShellView*>(view_.Get()),
                                      c.button, static_cast<IDataObject*>(&data)));
        EXPECT_EQ(c.expected, source->QueryContinueDrag(c.escape, c.keys));
        EXPECT_EQ(DRAGDROP_S_USEDEFAULTCURSORS, source->GiveFeedback(DROPEFFECT_COPY));
        source.Reset();
        if (c.expected == DRAGDROP_S_DROP) {
            ASSERT_EQ(1u, data.written.size());
            EXPECT_EQ(converted, data.written[0].first);
            EXPECT_EQ(1u, data.written[0].second);
        } else {
            EXPECT_TRUE(data.written.empty());
        }
    }
}

TEST(DropEffects, BaseEffectFollowsDataButtonsShiftAndPlatform) {
    const DWORD both = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    struct Case {
        bool module, pc;
        DWORD keys, allowed;
        int family;
        DWORD expected;
    } cases[] = {
        {false, false, MK_LBUTTON, both, 3, DROPEFFECT_NONE},
        {false, true, 0, both, 3, DROPEFFECT_NONE},
        {false, true, MK_LBUTTON, both, 3, DROPEFFECT_COPY},
        {false, true, MK_RBUTTON, both, 3, DROPEFFECT_COPY},
        {false, true, MK_LBUTTON | MK_SHIFT, both, 3, DROPEFFECT_MOVE},
        {false, true, MK_LBUTTON | MK_SHIFT, both, 0, DROPEFFECT_COPY},
        {true, false, MK_LBUTTON | MK_SHIFT, both, 0, DROPEFFECT_MOVE},
        {true, false, MK_LBUTTON | MK_SHIFT, DROPEFFECT_COPY, 3, DROPEFFECT_NONE},
        {true, false, MK_LBUTTON, DROPEFFECT_MOVE, 3, DROPEFFECT_NONE},
        {true, true, MK_LBUTTON, DROPEFFECT_NONE, 3, DROPEFFECT_NONE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, BaseDropEffect(c.module, c.pc, c.keys, c.allowed, c.family))
            << c.module << c.pc << " keys " << c.keys << " allowed " << c.allowed << " family " << c.family;
}

TEST(DropEffects, AutoScrollStepsByModeAndEdge) {
    AutoScrollInput base;
    base.client = {400, 300};
    base.icon = {32, 32};
    base.rowWidth = 150;
    base.rowHeight = 17;
    base.topRowY = 20;
    struct Case {
        int mode;
        POINT point;
        UINT hit;
        int dx, dy;
    } cases[] = {
        {1, {200, 150}, 0, 0, 0},
        {1, {200, 10}, 0, 0, -32},
        {1, {10, 290}, 0, -32, 32},            // down-left corner
        {2, {200, 150}, LVHT_ABOVE | LVHT_BELOW, 0, -32},   // up wins
        {1, {390, 150}, LVHT_TOLEFT, -32, 0},  // left wins
        {3, {200, 10}, 0, 0, 0},               // list: only sideways
        {3, {390, 150}, 0, 150, 0},
        {4, {10, 150}, 0, 0, 0},               // details: only up and down
        {4, {200, 30}, 0, 0, -17},             // within a row of the top row
        {4, {200, 290}, 0, 0, 17},
        {4, {200, 150}, LVHT_BELOW, 0, 17},
    };
    for (const Case& c : cases) {
        AutoScrollInput in = base;
        in.viewMode = c.mode;
        in.point = c.point;
        in.hitFlags = c.hit;
        ScrollStep step = AutoScrollStep(in);
        EXPECT_EQ(c.dx, step.dx) << "mode " << c.mode << " at " << c.point.x << "," << c.point.y;
        EXPECT_EQ(c.dy, step.dy) << "mode " << c.mode << " at " << c.point.x << "," << c.point.y;
    }
    AutoScrollInput list = base;
    list.viewMode = 3;
    list.rowWidth = 0;
    list.point = {5, 100};
    EXPECT_EQ(-32, AutoScrollStep(list).dx);
}

// ---------------------------------------------------------------------------
// The drop menu of right-button drags, and whole drags with the mouse.

namespace {

// What the drop menu showed, read while it is up.
struct MenuSeen {
    std::vector<std::wstring> texts;
    std::vector<UINT> ids;
    UINT defaultId = static_cast<UINT>(-1);
};

HWND VisibleMenuWindow() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM param) -> BOOL {
            wchar_t name[16] = {};
            GetClassNameW(window, name, 16);
            if (lstrcmpW(name, L"#32768") != 0 || !IsWindowVisible(window)) return TRUE;
            *reinterpret_cast<HWND*>(param) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Reads the next popup menu of this thread and answers it with keys, as a
// user would: a mnemonic character, or Up and Enter for the last item.
void AnswerMenu(MenuSeen* seen, wchar_t mnemonic, int tries = 100) {
    Later([seen, mnemonic, tries] {
        HWND window = VisibleMenuWindow();
        if (!window) {
            if (tries > 0) AnswerMenu(seen, mnemonic, tries - 1);
            return;
        }
        HMENU menu = reinterpret_cast<HMENU>(SendMessageW(window, MN_GETHMENU, 0, 0));
        for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
            wchar_t text[64] = {};
            GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
            seen->texts.push_back(text);
            seen->ids.push_back(GetMenuItemID(menu, i));
        }
        seen->defaultId = GetMenuDefaultItem(menu, FALSE, 0);
        if (mnemonic) {
            PostMessageW(window, WM_CHAR, mnemonic, 0);
        } else {
            PostMessageW(window, WM_KEYDOWN, VK_UP, 0);
            PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
        }
    });
}

// A drop target of another program: takes what is offered with the effect
// it is told to, and keeps the data object it was given.
class RecordingTarget : public IDropTarget {
public:
    DWORD answer = DROPEFFECT_COPY;
    DWORD allowedSeen = 0xFFFFFFFF;
    bool dropped = false;
    ComPtr<IDataObject> data;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid != IID_IUnknown && iid != IID_IDropTarget) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP DragEnter(IDataObject* object, DWORD, POINTL, DWORD* effect) override {
        data = object;
        allowedSeen = *effect;
        *effect &= answer;
        return S_OK;
    }
    STDMETHODIMP DragOver(DWORD, POINTL, DWORD* effect) override {
        *effect &= answer;
        return S_OK;
    }
    STDMETHODIMP DragLeave() override { return S_OK; }
    STDMETHODIMP Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        dropped = true;
        *effect &= answer;
        return S_OK;
    }
};

void SendButton(DWORD flags) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

// A user's drag with the left button from `from` over `via` to `to` (screen
// points), played from another thread while this one runs the list.
void DragWithMouse(POINT from, POINT via, POINT to) {
    struct Path {
        POINT from, via, to;
    } path = {from, via, to};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](void* param) -> DWORD {
            const Path& p = *static_cast<Path*>(param);
            SetCursorPos(p.from.x, p.from.y);
            Sleep(100);
            SendButton(MOUSEEVENTF_LEFTDOWN);
            Sleep(200);
            SetCursorPos(p.via.x, p.via.y);
            SendButton(MOUSEEVENTF_MOVE);
            Sleep(400);
            SetCursorPos(p.to.x, p.to.y);
            SendButton(MOUSEEVENTF_MOVE);
            Sleep(400);
            SendButton(MOUSEEVENTF_LEFTUP);
            Sleep(300);
            return 0;
        },
        &path, 0, nullptr);
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        TestShellBrowser::PumpMessages();
    CloseHandle(thread);
    TestShellBrowser::PumpMessages();
}

POINT Offset(POINT p, int dx, int dy) { return {p.x + dx, p.y + dy}; }

}  // namespace

TEST_F(DragDropTest, RightButtonDropAsksMoveCopyOrCancelWithShiftChoosingTheDefault) {
    Show(L"\\A:\\Data");
    WritePc(L"one.txt", "by the drop menu");
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, ShellDataObject(pcFolder_, {L"one.txt"}, &data));
    ComPtr<IDropTarget> target;
    ASSERT_EQ(S_OK, ModuleDropTarget::ForView(view_.Get(), &target));
    const std::wstring arrived = module_.PcPath(L"\\A:\\Data\\one.txt");

    struct Case {
        DWORD keys;            // held while dragging and at the drop
        wchar_t answer;        // 0: the menu's last item
        UINT defaultId;
        DWORD effect;
    } cases[] = {
        {MK_RBUTTON, 0, 8274, DROPEFFECT_NONE},                      // Cancel
        {MK_RBUTTON | MK_SHIFT, 0, 8273, DROPEFFECT_NONE},
        {MK_RBUTTON, L'c', 8274, DROPEFFECT_COPY},
        {MK_RBUTTON | MK_SHIFT, L'm', 8273, DROPEFFECT_MOVE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "keys " << c.keys << " answer " << static_cast<int>(c.answer));
        DeleteFileW(arrived.c_str());
        DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        ASSERT_EQ(S_OK, target->DragEnter(data.Get(), c.keys, ScreenPointOfBackground(), &effect));
        effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        ASSERT_EQ(S_OK, target->DragOver(c.keys, ScreenPointOfBackground(), &effect));
        MenuSeen seen;
        AnswerMenu(&seen, c.answer);
        effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        // The button is up by the time of the drop; the target remembers it.
        ASSERT_EQ(S_OK, target->Drop(data.Get(), c.keys & MK_SHIFT, ScreenPointOfBackground(), &effect));
        EXPECT_EQ((std::vector<std::wstring>{L"Drop &Move", L"Drop &Copy", L"", L"Cancel"}), seen.texts);
        EXPECT_EQ((std::vector<UINT>{8273, 8274, 0, IDCANCEL}), seen.ids);
        EXPECT_EQ(c.defaultId, seen.defaultId);
        EXPECT_EQ(c.effect, effect);
        EXPECT_EQ(c.effect != DROPEFFECT_NONE, PcExists(arrived));
    }
    // Wine's own data object ignores the move hand-shake: the PC file stays.
    EXPECT_TRUE(PcExists(pcFolder_ + L"\\one.txt"));
    EXPECT_EQ(nullptr, VisibleMenuWindow());
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(DragDropTest, DropsOntoAFolderDeletedMeanwhileReportAndLoseNothing) {
    Show(L"\\A:\\Data");
    WritePc(L"one.txt", "nowhere to go");
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, ShellDataObject(pcFolder_, {L"one.txt"}, &data));
    const std::wstring archive = module_.PcPath(L"\\A:\\Data\\Archive");
    ComPtr<IDropTarget> folderTarget;
    IdListHolder item;
    ASSERT_EQ(S_OK, item.Assign(view_->RowItem(RowOf(L"Archive"))));
    ASSERT_EQ(S_OK, ModuleDropTarget::ForFolder(L"\\A:\\Data", item.get(), browser_->Frame(),
                                                IID_PPV_ARGS(&folderTarget)));
    ComPtr<IDropTarget> viewTarget;
    ASSERT_EQ(S_OK, ModuleDropTarget::ForView(view_.Get(), &viewTarget));
    // Deleted on the module; its row is still there until the view hears of it.
    auto remove = [this](const wchar_t* path, bool folder) {
        BSTR gone = SysAllocString(path);
        HRESULT hr = folder ? view_->Access()->DeleteFolder(gone) : view_->Access()->DeleteFile(gone);
        SysFreeString(gone);
        return hr;
    };
    ASSERT_EQ(S_OK, remove(L"\\A:\\Data\\Archive\\Deep\\level3.bin", false));
    ASSERT_EQ(S_OK, remove(L"\\A:\\Data\\Archive\\Deep", true));
    ASSERT_EQ(S_OK, remove(L"\\A:\\Data\\Archive\\old notes.txt", false));
    ASSERT_EQ(S_OK, remove(L"\\A:\\Data\\Archive", true));

    prompts_.SetDefaultAnswer(IDOK);
    POINTL onRow = ScreenPointOfRow(RowOf(L"Archive"));
    for (IDropTarget* target : {viewTarget.Get(), folderTarget.Get()}) {
        size_t before = prompts_.Count();
        POINTL at = target == viewTarget.Get() ? onRow : POINTL{0, 0};
        DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        ASSERT_EQ(S_OK, target->DragEnter(data.Get(), MK_LBUTTON | MK_SHIFT, at, &effect));
        effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        ASSERT_EQ(S_OK, target->Drop(data.Get(), MK_SHIFT, at, &effect));
        EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
        EXPECT_LT(before, prompts_.Count());
    }
    EXPECT_FALSE(PcExists(archive));
    EXPECT_TRUE(PcExists(pcFolder_ + L"\\one.txt"));
}

TEST_F(DragDropTest, IconsDraggedWithinTheirFolderMoveByTheMouseAndTransferNothing) {
    ASSERT_EQ(S_OK, ModuleView::Create(view_.ReleaseAndGetAddressOf()));
    ASSERT_EQ(S_OK, view_->InitForFolderPath(L"\\A:\\Data", nullptr, browser_->Frame()));
    HWND window = nullptr;
    ASSERT_EQ(S_OK, browser_->ShowView(view_.Get(), FVM_ICON, 0, &window));
    ShowWindow(browser_->Frame(), SW_SHOWNORMAL);
    TestShellBrowser::PumpMessages();
    const int rows = view_->ItemCount();
    int row = RowOf(L"Notes.txt");
    ASSERT_GE(row, 0);
    POINT before = {};
    ASSERT_TRUE(ListView_GetItemPosition(List(), row, &before));
    POINTL icon = ScreenPointOfRow(row);
    POINT from = {icon.x, icon.y};
    POINT via = Offset(from, 12, 0);   // past the drag threshold: the drag starts here
    RECT client = {};
    GetClientRect(List(), &client);
    POINT to = {client.right - 60, client.bottom - 60};   // the background
    ClientToScreen(List(), &to);
    const DWORD writes = module_.CallCount(L"WriteFile") + module_.CallCount(L"CopyItem");

    DragWithMouse(from, via, to);
    EXPECT_EQ(via.x, view_->DragStartPoint().x);
    EXPECT_EQ(via.y, view_->DragStartPoint().y);
    row = RowOf(L"Notes.txt");
    POINT after = {};
    ASSERT_TRUE(ListView_GetItemPosition(List(), row, &after));
    EXPECT_EQ(before.x + (to.x - via.x), after.x);
    EXPECT_EQ(before.y + (to.y - via.y), after.y);
    EXPECT_EQ(rows, view_->ItemCount());
    EXPECT_EQ(writes, module_.CallCount(L"WriteFile") + module_.CallCount(L"CopyItem"));
    EXPECT_TRUE(PcExists(module_.PcPath(L"\\A:\\Data\\Notes.txt")));
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(DragDropTest, DraggingRowsOutHandsTheLibrarysDataObjectAndFinishesAMove) {
    Show(L"\\A:\\Data");
    ShowWindow(browser_->Frame(), SW_SHOWNORMAL);
    RECT frame = {};
    GetWindowRect(browser_->Frame(), &frame);
    HWND other = CreateWindowExW(0, L"STATIC", L"other program", WS_POPUP | WS_VISIBLE | SS_NOTIFY, frame.right + 10,
                                 frame.top, 200, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, other);
    RecordingTarget recorder;
    ASSERT_EQ(S_OK, RegisterDragDrop(other, &recorder));
    TestShellBrowser::PumpMessages();
    POINT into = {frame.right + 110, frame.top + 100};

    // A copy: the other program gets the library's object for the row.
    int row = RowOf(L"Notes.txt");
    POINTL icon = ScreenPointOfRow(row);
    POINT from = {icon.x, icon.y};
    DragWithMouse(from, Offset(from, 0, 12), into);
    ASSERT_TRUE(recorder.dropped);
    ASSERT_TRUE(recorder.data);
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY | DROPEFFECT_MOVE), recorder.allowedSeen);
    ComPtr<IModuleChangeSink> own;
    EXPECT_EQ(S_OK, recorder.data.As(&own));
    own.Reset();
    EXPECT_EQ(0u, ReadPreferredDropEffect(recorder.data.Get()));
    FormatInventory inventory;
    ASSERT_EQ(S_OK, TakeFormatInventory(recorder.data.Get(), &inventory));
    EXPECT_TRUE(inventory.CanGet(FormatInventory::DirectoryData));
    EXPECT_TRUE(inventory.CanGet(FormatInventory::ViewAddress));
    EXPECT_TRUE(IsFromView(recorder.data.Get(), static_cast<IShellView*>(view_.Get())));
    recorder.data.Reset();
    EXPECT_TRUE(PcExists(module_.PcPath(L"\\A:\\Data\\Notes.txt")));

    // A move the other program reports: the view finishes it, the item goes.
    recorder = RecordingTarget();
    recorder.answer = DROPEFFECT_MOVE;
    row = RowOf(L"Notes.txt");
    icon = ScreenPointOfRow(row);
    from = {icon.x, icon.y};
    DragWithMouse(from, Offset(from, 0, 12), into);
    ASSERT_TRUE(recorder.dropped);
    recorder.data.Reset();
    const std::wstring notes = module_.PcPath(L"\\A:\\Data\\Notes.txt");
    for (int i = 0; i < 100 && PcExists(notes); ++i) {
        TestShellBrowser::PumpMessages();
        Sleep(50);
    }
    EXPECT_FALSE(PcExists(notes));
    EXPECT_EQ(0u, prompts_.Count());
    RevokeDragDrop(other);
    DestroyWindow(other);
}

TEST_F(DragDropTest, DrivesDraggedFromTheRootGoNowhere) {
    Show(L"");
    ShowWindow(browser_->Frame(), SW_SHOWNORMAL);
    RECT frame = {};
    GetWindowRect(browser_->Frame(), &frame);
    HWND other = CreateWindowExW(0, L"STATIC", L"other program", WS_POPUP | WS_VISIBLE | SS_NOTIFY, frame.right + 10,
                                 frame.top, 200, 200, nullptr, nullptr, nullptr, nullptr);
    RecordingTarget recorder;
    ASSERT_EQ(S_OK, RegisterDragDrop(other, &recorder));
    TestShellBrowser::PumpMessages();
    int row = 0;
    while (row < view_->ItemCount() && !IsDriveItem(view_->RowItem(row))) ++row;
    ASSERT_LT(row, view_->ItemCount());
    POINTL icon = ScreenPointOfRow(row);
    POINT from = {icon.x, icon.y};
    DragWithMouse(from, Offset(from, 0, 12), {frame.right + 110, frame.top + 100});
    EXPECT_EQ(0u, recorder.allowedSeen);
    EXPECT_FALSE(recorder.dropped);
    if (recorder.data) {
        EXPECT_EQ(0u, ReadPreferredDropEffect(recorder.data.Get()));
    }
    recorder.data.Reset();
    RevokeDragDrop(other);
    DestroyWindow(other);
}
