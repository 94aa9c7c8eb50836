// The context menu of module items through the real shell: the library
// registered with regsvr32 in the prefix, the substitute server serving a
// fresh copy of the sample module, the menus asked for as Explorer asks.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/module_count.h"
#include "handlers/operation_hooks.h"
#include "handlers/property_sheet_launcher.h"
#include "item_id/module_item_id.h"
#include "common/class_ids.h"
#include "tests/support/extension_library.h"
#include "testing/substitute_server.h"

using Microsoft::WRL::ComPtr;
using testing::ElementsAre;

namespace {

constexpr UINT kFirstId = 100;

std::wstring InFolderName(IShellFolder* folder, LPCITEMIDLIST item) {
    STRRET str = {};
    wchar_t* text = nullptr;
    if (FAILED(folder->GetDisplayNameOf(item, SHGDN_INFOLDER, &str)) || FAILED(StrRetToStrW(&str, item, &text)))
        return L"";
    std::wstring name = text;
    CoTaskMemFree(text);
    return name;
}

IdListHolder Child(IShellFolder* folder, const std::wstring& name) {
    ComPtr<IEnumIDList> items;
    if (FAILED(folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &items)) || !items) return {};
    LPITEMIDLIST item = nullptr;
    while (items->Next(1, &item, nullptr) == S_OK) {
        IdListHolder held(item);
        if (InFolderName(folder, item) == name) return held;
    }
    return {};
}

ComPtr<IShellFolder> Bind(IShellFolder* folder, LPCITEMIDLIST list) {
    ComPtr<IShellFolder> child;
    folder->BindToObject(list, nullptr, IID_PPV_ARGS(&child));
    return child;
}

// Each position of a menu as its text ("-" for a separator) and its id.
struct Entry {
    std::wstring text;
    UINT id;
    bool operator==(const Entry& o) const { return text == o.text && id == o.id; }
};
std::vector<Entry> Entries(HMENU menu) {
    std::vector<Entry> entries;
    for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
        wchar_t text[128] = {};
        GetMenuStringW(menu, i, text, ARRAYSIZE(text), MF_BYPOSITION);
        bool separator = GetMenuState(menu, i, MF_BYPOSITION) & MF_SEPARATOR;
        entries.push_back({separator ? L"-" : text, separator ? 0 : GetMenuItemID(menu, i)});
    }
    return entries;
}

std::wstring Verb(IContextMenu* menu, UINT offset, UINT type = GCS_VERBW, HRESULT* hr = nullptr) {
    wchar_t text[64] = L"unchanged";
    HRESULT result = menu->GetCommandString(offset, type, nullptr, reinterpret_cast<LPSTR>(text), ARRAYSIZE(text));
    if (hr) *hr = result;
    return text;
}

HRESULT Invoke(IContextMenu* menu, const char* verb) {
    CMINVOKECOMMANDINFO info = {sizeof(info)};
    info.lpVerb = verb;
    info.nShow = SW_SHOWNORMAL;
    return menu->InvokeCommand(&info);
}

// Presses a button in every dialog whose caption holds this text that shows
// up in the process (the delete confirmation lives on the delete's own thread).
class BoxPresser {
public:
    BoxPresser(std::wstring caption, int button)
        : caption_(std::move(caption)), button_(button), thread_([this] { Run(); }) {}
    ~BoxPresser() {
        stop_ = true;
        thread_.join();
    }
    int pressed() const { return pressed_; }

private:
    void Run() {
        while (!stop_) {
            EnumWindows(
                [](HWND window, LPARAM self) -> BOOL {
                    auto presser = reinterpret_cast<BoxPresser*>(self);
                    DWORD pid = 0;
                    GetWindowThreadProcessId(window, &pid);
                    wchar_t cls[16] = {}, title[128] = {};
                    GetClassNameW(window, cls, ARRAYSIZE(cls));
                    GetWindowTextW(window, title, ARRAYSIZE(title));
                    if (pid == GetCurrentProcessId() && IsWindowVisible(window) && wcscmp(cls, L"#32770") == 0 &&
                        std::wstring(title).find(presser->caption_) != std::wstring::npos) {
                        PostMessageW(window, WM_COMMAND, presser->button_, 0);
                        ++presser->pressed_;
                        Sleep(200);
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(this));
            Sleep(50);
        }
    }
    std::wstring caption_;
    int button_;
    std::atomic<bool> stop_{false};
    std::atomic<int> pressed_{0};
    std::thread thread_;
};

bool WaitFor(const std::function<bool()>& done, DWORD ms = 10000) {
    for (DWORD waited = 0; waited < ms; waited += 50) {
        if (done()) return true;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(50);
    }
    return done();
}

class ContextMenuThroughShell : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(RunRegsvr32(false), 0u) << "regsvr32 failed"; }

    void SetUp() override {
        ASSERT_TRUE(module_.ok());
        ASSERT_EQ(SHGetDesktopFolder(&desktop_), S_OK);
        std::wstring name = L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}";
        ASSERT_EQ(desktop_->ParseDisplayName(nullptr, nullptr, &name[0], nullptr, rootList_.out(), nullptr), S_OK);
        ASSERT_EQ(desktop_->BindToObject(rootList_.get(), nullptr, IID_PPV_ARGS(&root_)), S_OK);
        driveA_ = Child(root_.Get(), L"Module Disk (A:)");
        ASSERT_TRUE(driveA_);
        a_ = Bind(root_.Get(), driveA_.get());
        ASSERT_TRUE(a_);
        data_ = Bind(a_.Get(), Child(a_.Get(), L"Data").get());
        ASSERT_TRUE(data_);
        menu_ = CreatePopupMenu();
    }
    void TearDown() override { DestroyMenu(menu_); }

    ComPtr<IContextMenu> MenuOf(IShellFolder* folder, LPCITEMIDLIST item, HRESULT expected = S_OK) {
        ComPtr<IContextMenu> menu;
        EXPECT_EQ(folder->GetUIObjectOf(nullptr, 1, &item, IID_IContextMenu, nullptr, IID_PPV_ARGS_Helper(&menu)),
                  expected);
        return menu;
    }

    SubstituteModule module_;
    struct OleScope {
        OleScope() { OleInitialize(nullptr); }
        ~OleScope() { OleUninitialize(); }
    } ole_;
    ComPtr<IShellFolder> desktop_, root_, a_, data_;
    IdListHolder rootList_, driveA_;
    HMENU menu_ = nullptr;
};

}  // namespace

TEST_F(ContextMenuThroughShell, AFileGetsSevenPositionsWithTheirVerbs) {
    IdListHolder photo = Child(data_.Get(), L"Photo.jpg");
    ComPtr<IContextMenu> menu = MenuOf(data_.Get(), photo.get());
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->QueryContextMenu(menu_, 0, kFirstId, kFirstId + 50, CMF_NORMAL), MAKE_HRESULT(0, 0, 7));
    EXPECT_THAT(Entries(menu_),
                ElementsAre(Entry{L"Cu&t", 100}, Entry{L"&Copy", 101}, Entry{L"-", 0}, Entry{L"&Delete", 103},
                            Entry{L"Rena&me", 104}, Entry{L"-", 0}, Entry{L"P&roperties", 106}));
    HRESULT hr = S_OK;
    EXPECT_EQ(Verb(menu.Get(), 3, GCS_HELPTEXTW, &hr), L"delete");
    EXPECT_EQ(hr, S_OK);
    char narrow[4] = {};
    EXPECT_EQ(menu->GetCommandString(6, GCS_VERBA, nullptr, narrow, sizeof(narrow)), S_OK);
    EXPECT_STREQ(narrow, "pro");   // cut to the caller's buffer
    EXPECT_EQ(Verb(menu.Get(), 2, GCS_VERBW, &hr), L"");
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(menu->GetCommandString(0, GCS_VALIDATEW, nullptr, narrow, 4), S_OK);
    EXPECT_EQ(menu->GetCommandString(2, GCS_VALIDATEW, nullptr, narrow, 4), S_FALSE);
    EXPECT_EQ(menu->GetCommandString(7, GCS_VERBW, nullptr, narrow, 4), E_UNEXPECTED);
    EXPECT_EQ(menu->GetCommandString(0, 0x77, nullptr, narrow, 4), E_INVALIDARG);
    EXPECT_EQ(menu->GetCommandString(0, GCS_VERBW, nullptr, nullptr, 4), E_POINTER);

    // Files are never opened from the module: one message says so.
    {
        BoxPresser ok(L"Module", IDOK);
        EXPECT_EQ(Invoke(menu.Get(), "open"), S_OK);
        EXPECT_EQ(ok.pressed(), 1);
    }

    // Verbs: case-sensitive, rename belongs to the view, offsets must exist.
    EXPECT_EQ(Invoke(menu.Get(), "rename"), E_FAIL);
    EXPECT_EQ(Invoke(menu.Get(), "Properties"), E_FAIL);
    EXPECT_EQ(Invoke(menu.Get(), "format"), E_FAIL);
    EXPECT_EQ(Invoke(menu.Get(), MAKEINTRESOURCEA(7)), E_UNEXPECTED);
    EXPECT_EQ(menu->InvokeCommand(nullptr), E_POINTER);
    // Not a menu at all.
    EXPECT_EQ(menu->QueryContextMenu(reinterpret_cast<HMENU>(0x1234), 0, 1, 2, 0), E_INVALIDARG);
}

TEST_F(ContextMenuThroughShell, FoldersDrivesAndTheModuleItselfHaveTheirOwnMenus) {
    ComPtr<IContextMenu> folder = MenuOf(data_.Get(), Child(data_.Get(), L"Archive").get());
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->QueryContextMenu(menu_, 0, kFirstId, kFirstId + 50, CMF_NORMAL), MAKE_HRESULT(0, 0, 12));
    EXPECT_EQ(GetMenuDefaultItem(menu_, FALSE, 0), kFirstId);   // Explorer
    // Nothing to paste: disabled and grayed.
    EXPECT_EQ(GetMenuState(menu_, kFirstId + 6, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED),
              static_cast<UINT>(MF_GRAYED | MF_DISABLED));
    EXPECT_EQ(Verb(folder.Get(), 2), L"search");

    // A drive asked for from Explorer's tree: its capacity is looked up.
    DestroyMenu(menu_);
    menu_ = CreatePopupMenu();
    ComPtr<IContextMenu> drive = MenuOf(root_.Get(), driveA_.get());
    ASSERT_TRUE(drive);
    EXPECT_EQ(drive->QueryContextMenu(menu_, 0, kFirstId, kFirstId + 50, CMF_NORMAL), MAKE_HRESULT(0, 0, 10));
    std::vector<std::wstring> verbs;
    for (UINT i = 0; i < 10; ++i) verbs.push_back(Verb(drive.Get(), i));
    EXPECT_THAT(verbs, ElementsAre(L"explore", L"open", L"search", L"", L"format", L"stddirs", L"", L"paste", L"",
                                   L"properties"));
    EXPECT_EQ(Invoke(drive.Get(), "properties"), E_FAIL);   // only by its offset
    EXPECT_EQ(Invoke(drive.Get(), "cut"), E_FAIL);

    // Standard folders on drive B: through the verb.
    IdListHolder driveB = Child(root_.Get(), L"Module Disk (B:)");
    ComPtr<IContextMenu> second = MenuOf(root_.Get(), driveB.get());
    ASSERT_TRUE(second);
    HMENU other = CreatePopupMenu();
    second->QueryContextMenu(other, 0, kFirstId, kFirstId + 50, CMF_NORMAL);
    DestroyMenu(other);
    EXPECT_EQ(Invoke(second.Get(), "stddirs"), S_OK);
    EXPECT_GT(module_.CallCount(L"CreateStandardFolders"), 0u);
    // Format names the drive as its last path component.
    EXPECT_EQ(Invoke(second.Get(), "format"), S_OK);
    HWND format = FindWindowW(nullptr, L"Formating Module B:");
    ASSERT_NE(format, nullptr);
    DWORD formatThread = GetWindowThreadProcessId(format, nullptr);
    PostMessageW(format, WM_COMMAND, IDCANCEL, 0);
    for (int i = 0; i < 200 && IsWindow(format); ++i) Sleep(25);
    EXPECT_FALSE(IsWindow(format));
    if (HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, formatThread)) {
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
    }

    // "Module" itself: the registered handler, initialised as Explorer does.
    ComPtr<IShellFolder> myComputer;
    IdListHolder drives;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, drives.out()), S_OK);
    myComputer = Bind(desktop_.Get(), drives.get());
    LPCITEMIDLIST moduleItem = ILFindLastID(rootList_.get());
    ComPtr<IDataObject> data;
    ASSERT_EQ(myComputer->GetUIObjectOf(nullptr, 1, &moduleItem, IID_IDataObject, nullptr, IID_PPV_ARGS_Helper(&data)),
              S_OK);
    ComPtr<IShellExtInit> init;
    ASSERT_EQ(CoCreateInstance(CLSID_ModuleContextMenu, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&init)), S_OK);
    ComPtr<IContextMenu> rootMenu;
    ASSERT_EQ(init.As(&rootMenu), S_OK);
    EXPECT_EQ(rootMenu->QueryContextMenu(menu_, 0, kFirstId, kFirstId + 50, 0), E_UNEXPECTED);   // not initialised
    ASSERT_EQ(init->Initialize(rootList_.get(), data.Get(), nullptr), S_OK);
    HMENU rootPopup = CreatePopupMenu();
    EXPECT_EQ(rootMenu->QueryContextMenu(rootPopup, 0, kFirstId, kFirstId + 50, 0), MAKE_HRESULT(0, 0, 2));
    EXPECT_THAT(Entries(rootPopup), ElementsAre(Entry{L"&Find on module file system...", 100}, Entry{L"-", 0}));
    DestroyMenu(rootPopup);
    EXPECT_EQ(Verb(rootMenu.Get(), 0), L"search");
    EXPECT_EQ(Invoke(rootMenu.Get(), "open"), E_FAIL);
    EXPECT_EQ(init->Initialize(nullptr, nullptr, nullptr), E_INVALIDARG);

    ComPtr<IContextMenu> none;
    // An identifier that is not the module's gets no menu.
    const BYTE foreign[] = {4, 0, 0x31, 0, 0, 0};
    LPCITEMIDLIST bad = reinterpret_cast<LPCITEMIDLIST>(foreign);
    EXPECT_EQ(data_->GetUIObjectOf(nullptr, 1, &bad, IID_IContextMenu, nullptr, IID_PPV_ARGS_Helper(&none)),
              E_INVALIDARG);

    // Zero items cannot have a menu.
    LPCITEMIDLIST nothing = nullptr;
    EXPECT_EQ(data_->GetUIObjectOf(nullptr, 0, &nothing, IID_IContextMenu, nullptr, IID_PPV_ARGS_Helper(&none)),
              E_UNEXPECTED);
}

TEST_F(ContextMenuThroughShell, DeleteByVerbAndByOffsetRemovesTheItemsAfterConfirmation) {
    const std::wstring notes = module_.PcPath(L"\\A:\\Data\\Notes.txt");
    const std::wstring report = module_.PcPath(L"\\A:\\Data\\Report 2006.final.doc");
    ASSERT_TRUE(PathFileExistsW(notes.c_str()));
    BoxPresser yes(L"Confirm File Delete", IDOK);

    ComPtr<IContextMenu> byVerb = MenuOf(data_.Get(), Child(data_.Get(), L"Notes.txt").get());
    ASSERT_TRUE(byVerb);
    byVerb->QueryContextMenu(menu_, 0, kFirstId, kFirstId + 50, CMF_NORMAL);
    EXPECT_EQ(Invoke(byVerb.Get(), "delete"), S_OK);
    EXPECT_TRUE(WaitFor([&] { return !PathFileExistsW(notes.c_str()); }));

    ComPtr<IContextMenu> byOffset = MenuOf(data_.Get(), Child(data_.Get(), L"Report 2006.final.doc").get());
    ASSERT_TRUE(byOffset);
    HMENU other = CreatePopupMenu();
    byOffset->QueryContextMenu(other, 0, kFirstId, kFirstId + 50, CMF_NORMAL);
    DestroyMenu(other);
    EXPECT_EQ(Invoke(byOffset.Get(), MAKEINTRESOURCEA(3)), S_OK);
    EXPECT_TRUE(WaitFor([&] { return !PathFileExistsW(report.c_str()); }));
    EXPECT_GE(yes.pressed(), 2);
}

TEST_F(ContextMenuThroughShell, PropertiesOpenTheSheetOnItsOwnThread) {
    ComPtr<IContextMenu> menu = MenuOf(data_.Get(), Child(data_.Get(), L"Photo.jpg").get());
    ASSERT_TRUE(menu);
    menu->QueryContextMenu(menu_, 0, kFirstId, kFirstId + 50, CMF_NORMAL);
    BoxPresser close(L"Photo.jpg", IDCANCEL);
    EXPECT_EQ(Invoke(menu.Get(), MAKEINTRESOURCEA(6)), S_OK);   // returns while the sheet is up
    EXPECT_TRUE(WaitFor([&] { return close.pressed() > 0; }));
}

TEST_F(ContextMenuThroughShell, CutPutsTheFileOnTheClipboardForAMove) {
    ComPtr<IContextMenu> menu = MenuOf(data_.Get(), Child(data_.Get(), L"Photo.jpg").get());
    ASSERT_TRUE(menu);
    menu->QueryContextMenu(menu_, 0, kFirstId, kFirstId + 50, CMF_NORMAL);
    ASSERT_EQ(Invoke(menu.Get(), "cut"), S_OK);
    ComPtr<IDataObject> clip;
    ASSERT_EQ(OleGetClipboard(&clip), S_OK);
    FORMATETC effect = {static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CFSTR_PREFERREDDROPEFFECT)), nullptr,
                        DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    ASSERT_EQ(clip->GetData(&effect, &medium), S_OK);
    EXPECT_EQ(*static_cast<DWORD*>(GlobalLock(medium.hGlobal)), static_cast<DWORD>(DROPEFFECT_MOVE));
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    FORMATETC descriptor = {static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CFSTR_FILEDESCRIPTORW)), nullptr,
                            DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(clip->QueryGetData(&descriptor), S_OK);
    clip.Reset();
    OleSetClipboard(nullptr);
}

std::string FileBytes(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "(missing)";
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read) bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

// Wine's own data object for one PC file, as its explorer puts it on the
// clipboard.
ComPtr<IDataObject> PcFileDataObject(const std::wstring& path) {
    ComPtr<IDataObject> data;
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHParseDisplayName(path.c_str(), nullptr, &list, 0, nullptr))) return data;
    ComPtr<IShellFolder> parent;
    LPCITEMIDLIST child = nullptr;
    if (SUCCEEDED(SHBindToParent(list, IID_PPV_ARGS(&parent), &child)))
        parent->GetUIObjectOf(nullptr, 1, &child, IID_IDataObject, nullptr, IID_PPV_ARGS_Helper(&data));
    CoTaskMemFree(list);
    return data;
}

// Paste on a folder's menu copies what the clipboard holds into that folder,
// whether module files copied by the menu or PC files copied by the shell.
TEST_F(ContextMenuThroughShell, PasteOnAFolderCopiesTheClipboardIntoIt) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(ARRAYSIZE(temp), temp);
    const std::wstring pcFile = std::wstring(temp) + L"ktx paste source.bin";
    std::string pcBytes(20000, '\0');
    for (size_t i = 0; i < pcBytes.size(); ++i) pcBytes[i] = static_cast<char>(i * 7 + i / 251);
    HANDLE file = CreateFileW(pcFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, pcBytes.data(), static_cast<DWORD>(pcBytes.size()), &written, nullptr);
    CloseHandle(file);

    const std::wstring archive = module_.PcPath(L"\\A:\\Data\\Archive") + L"\\";
    const std::string photo = FileBytes(module_.PcPath(L"\\A:\\Data\\Photo.jpg"));
    ASSERT_NE(photo, "(missing)");
    IdListHolder archiveItem = Child(data_.Get(), L"Archive");
    ASSERT_TRUE(archiveItem);

    // The PC file goes first: under Wine, once the library's clipboard thread
    // has been the first to use the OLE clipboard and has ended, this thread
    // can no longer empty it (OleSetClipboard answers CLIPBRD_E_CANT_OPEN).
    struct Case {
        const char* source;
        bool fromModule;
        std::wstring arrives;
        std::string bytes;
    } cases[] = {
        {"PC file copied by the shell", false, archive + L"ktx paste source.bin", pcBytes},
        {"module file copied by the menu", true, archive + L"Photo.jpg", photo},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        if (c.fromModule) {
            ComPtr<IContextMenu> copy = MenuOf(data_.Get(), Child(data_.Get(), L"Photo.jpg").get());
            ASSERT_TRUE(copy);
            copy->QueryContextMenu(menu_, 0, kFirstId, kFirstId + 50, CMF_NORMAL);
            ASSERT_EQ(Invoke(copy.Get(), "copy"), S_OK);
        } else {
            ComPtr<IDataObject> data = PcFileDataObject(pcFile);
            ASSERT_TRUE(data);
            ASSERT_EQ(OleSetClipboard(data.Get()), S_OK);
        }
        EXPECT_TRUE(ClipboardCanPaste());
        ComPtr<IContextMenu> paste = MenuOf(data_.Get(), archiveItem.get());
        ASSERT_TRUE(paste);
        HMENU other = CreatePopupMenu();
        paste->QueryContextMenu(other, 0, kFirstId, kFirstId + 50, CMF_NORMAL);
        DestroyMenu(other);
        EXPECT_EQ(Invoke(paste.Get(), "paste"), S_OK);
        EXPECT_TRUE(WaitFor([&] { return FileBytes(c.arrives) == c.bytes; }, 20000));
        // The clipboard outlives this process: leave it empty for the next.
        EXPECT_TRUE(WaitFor([] { return OleSetClipboard(nullptr) == S_OK && !ClipboardCanPaste(); }));
    }
    DeleteFileW(pcFile.c_str());
}

TEST(ContextMenuRegistration, TheHandlerClassIsRegisteredAndApproved) {
    ASSERT_EQ(RunRegsvr32(false), 0u);
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof(value);
    EXPECT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\{1663176E-DE26-4BBC-AC0A-35CE1842E30F}", nullptr,
                           RRF_RT_REG_SZ, nullptr, value, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(value, L"Module ContextMenuHandler");
    size = sizeof(value);
    EXPECT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\{1663176E-DE26-4BBC-AC0A-35CE1842E30F}\\InprocServer32",
                           L"ThreadingModel", RRF_RT_REG_SZ, nullptr, value, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(value, L"Apartment");
    size = sizeof(value);
    EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
                           L"{1663176E-DE26-4BBC-AC0A-35CE1842E30F}", RRF_RT_REG_SZ, nullptr, value, &size),
              ERROR_SUCCESS);
    // The module folder's icon is the library's first icon, the saved search's
    // its sixth: hosts count icon groups in the order of their ids.
    std::wstring library = ExtensionLibraryPath();
    HMODULE data = LoadLibraryExW(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(data);
    std::vector<UINT_PTR> groups;
    EnumResourceNamesW(
        data, RT_GROUP_ICON,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) -> BOOL {
            reinterpret_cast<std::vector<UINT_PTR>*>(list)->push_back(reinterpret_cast<UINT_PTR>(name));
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&groups));
    FreeLibrary(data);
    ASSERT_GE(groups.size(), 6u);
    EXPECT_EQ(groups[0], 202u);
    EXPECT_EQ(groups[5], 226u);
    EXPECT_EQ(ExtractIconExW(library.c_str(), -1, nullptr, nullptr, 0), groups.size());
    HICON large = nullptr, small = nullptr;
    EXPECT_EQ(ExtractIconExW(library.c_str(), 0, &large, &small, 1), 2u);
    ICONINFO info = {};
    ASSERT_TRUE(large && GetIconInfo(large, &info));
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
    EXPECT_EQ(bitmap.bmWidth, GetSystemMetrics(SM_CXICON));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(large);
    DestroyIcon(small);
}

// The launcher's hand-over, with the sheet replaced by a recorder.
namespace {
struct SheetRecorder : OperationTable {
    HRESULT answer = S_OK;
    DWORD thread = 0;
    std::wstring folder;
    UINT count = 0;
    HRESULT PropertySheet(const std::wstring& path, const LPCITEMIDLIST*, UINT n, PropertySheetReady* ready) override {
        thread = GetCurrentThreadId();
        folder = path;
        count = n;
        ready->SheetReady(answer);
        return answer;
    }
};
}  // namespace

TEST(PropertySheetLauncher, RunsTheSheetOnItsOwnThreadAndReturnsItsStartResult) {
    LONG before = ModuleObjectCount();
    SheetRecorder recorder;
    OperationTable* previous = InstallOperationTable(&recorder);
    std::vector<IdListHolder> items(2);
    items[0].reset(MakeDriveItem(L"\\A:", 1000, 10));
    items[1].reset(MakeDriveItem(L"\\B:", 1000, 10));
    EXPECT_EQ(LaunchPropertySheet(L"", std::move(items)), S_OK);
    EXPECT_NE(recorder.thread, GetCurrentThreadId());
    EXPECT_EQ(recorder.count, 2u);
    recorder.answer = E_ACCESSDENIED;
    EXPECT_EQ(LaunchPropertySheet(L"\\A:", {}), E_ACCESSDENIED);
    EXPECT_EQ(recorder.folder, L"\\A:");
    InstallOperationTable(previous);
    Sleep(100);
    EXPECT_EQ(ModuleObjectCount(), before);
}
