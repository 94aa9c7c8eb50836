// The module folder through the real shell, as Explorer uses it: the library
// registered with regsvr32 in the prefix, the substitute server serving a
// fresh copy of the sample module, and every call going through My Computer.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/formatting.h"
#include "common/result_codes.h"
#include "item_id/module_item_id.h"
#include "module_access/absolute_lists.h"
#include "tests/support/extension_library.h"
#include "tests/support/prompt_recorder.h"
#include "testing/substitute_server.h"

using Microsoft::WRL::ComPtr;
using testing::ElementsAre;
using testing::UnorderedElementsAre;

namespace {

std::wstring FromStrRet(STRRET* str, LPCITEMIDLIST item) {
    wchar_t* text = nullptr;
    if (FAILED(StrRetToStrW(str, item, &text))) return L"<failed>";
    std::wstring result = text;
    CoTaskMemFree(text);
    return result;
}

std::wstring DisplayName(IShellFolder* folder, LPCITEMIDLIST item, SHGDNF flags) {
    STRRET str = {};
    if (FAILED(folder->GetDisplayNameOf(item, flags, &str))) return L"<error>";
    return FromStrRet(&str, item);
}

// A column header (no item) or cell of `folder`.
std::wstring Details(IShellFolder* folder, LPCITEMIDLIST item, UINT column, int* format = nullptr) {
    ComPtr<IShellFolder2> folder2;
    SHELLDETAILS details = {};
    if (FAILED(folder->QueryInterface(IID_PPV_ARGS(&folder2))) ||
        FAILED(folder2->GetDetailsOf(item, column, &details)))
        return L"<error>";
    if (format) *format = details.fmt;
    return FromStrRet(&details.str, item);
}

// The children of `folder` as (owned) relative lists.
std::vector<IdListHolder> Children(IShellFolder* folder, SHCONTF flags) {
    std::vector<IdListHolder> children;
    ComPtr<IEnumIDList> items;
    if (FAILED(folder->EnumObjects(nullptr, flags, &items)) || !items) return children;
    LPITEMIDLIST item = nullptr;
    while (items->Next(1, &item, nullptr) == S_OK) children.emplace_back(item);
    return children;
}

std::vector<std::wstring> ChildNames(IShellFolder* folder, SHCONTF flags,
                                     SHGDNF nameFlags = SHGDN_INFOLDER) {
    std::vector<std::wstring> names;
    for (const IdListHolder& child : Children(folder, flags))
        names.push_back(DisplayName(folder, child.get(), nameFlags));
    return names;
}

// The child of `folder` with this in-folder name (an empty holder when none).
IdListHolder Child(IShellFolder* folder, const std::wstring& name) {
    for (IdListHolder& child : Children(folder, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS |
                                                   SHCONTF_INCLUDEHIDDEN))
        if (DisplayName(folder, child.get(), SHGDN_INFOLDER) == name) return std::move(child);
    return IdListHolder();
}

ComPtr<IShellFolder> Bind(IShellFolder* folder, LPCITEMIDLIST list) {
    ComPtr<IShellFolder> child;
    EXPECT_EQ(folder->BindToObject(list, nullptr, IID_PPV_ARGS(&child)), S_OK);
    return child;
}

// The library runs from its own DLL here, with its own copy of the prompt
// seam, so its message boxes are real: record them and press OK.
struct BoxAnswerer {
    std::vector<std::wstring> captions, texts;
    DialogDriver driver{[this](HWND box) {
        captions.push_back(WindowText(box));
        texts.push_back(DialogDriver::MessageText(box));
        DialogDriver::PressButton(box, IDOK);
    }};
};

class ShellFolder : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(RunRegsvr32(false), 0u) << "regsvr32 failed"; }

    void SetUp() override {
        ASSERT_TRUE(module_.ok());
        ASSERT_EQ(SHGetDesktopFolder(&desktop_), S_OK);
        std::wstring name =
            L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}";
        ASSERT_EQ(desktop_->ParseDisplayName(nullptr, nullptr, &name[0], nullptr, rootList_.out(),
                                             nullptr),
                  S_OK);
        ASSERT_EQ(desktop_->BindToObject(rootList_.get(), nullptr, IID_PPV_ARGS(&root_)), S_OK);
        driveA_ = Child(root_.Get(), L"Module Disk (A:)");
        ASSERT_TRUE(driveA_);
        a_ = Bind(root_.Get(), driveA_.get());
        ASSERT_TRUE(a_);
        data_ = Bind(a_.Get(), Child(a_.Get(), L"Data").get());
        ASSERT_TRUE(data_);
        photo_ = Child(data_.Get(), L"Photo.jpg");
        archive_ = Child(data_.Get(), L"Archive");
        ASSERT_TRUE(photo_ && archive_);
    }
    std::wstring PcPath(const std::wstring& modulePath) { return module_.PcPath(modulePath); }

    SubstituteModule module_;
    struct OleScope {
        OleScope() { OleInitialize(nullptr); }
        ~OleScope() { OleUninitialize(); }
    } ole_;  // declared before the interfaces, so it ends after them
    ComPtr<IShellFolder> desktop_, root_, a_, data_;
    IdListHolder rootList_, driveA_, photo_, archive_;
};

}  // namespace

TEST_F(ShellFolder, MyComputerListsModule) {
    IdListHolder myComputer, found;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, myComputer.out()), S_OK);
    ComPtr<IShellFolder> drives = Bind(desktop_.Get(), myComputer.get());
    EXPECT_THAT(ChildNames(drives.Get(), SHCONTF_FOLDERS), testing::Contains(L"Module"));
    ASSERT_EQ(FindModuleRoot(found.out()), S_OK);
    EXPECT_EQ(DisplayName(desktop_.Get(), found.get(), SHGDN_NORMAL), L"Module");

    // The folder knows where it stands.
    ComPtr<IPersistFolder2> persist;
    ASSERT_EQ(root_.As(&persist), S_OK);
    IdListHolder current;
    ASSERT_EQ(persist->GetCurFolder(current.out()), S_OK);
    EXPECT_TRUE(ILIsEqual(current.get(), rootList_.get()));
}

TEST_F(ShellFolder, EnumeratesDrivesFoldersAndFiles) {
    EXPECT_THAT(ChildNames(root_.Get(), SHCONTF_FOLDERS),
                ElementsAre(L"Module Disk (A:)", L"Module Disk (B:)"));

    // Hidden items only when asked for, folders or not.
    EXPECT_THAT(ChildNames(a_.Get(), SHCONTF_FOLDERS),
                UnorderedElementsAre(L"Audio", L"Data", L"Pictures"));
    EXPECT_THAT(ChildNames(a_.Get(), SHCONTF_NONFOLDERS | SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN),
                UnorderedElementsAre(L"Audio", L"Data", L"Pictures", L"System",
                                     L"Read Me First.txt", L"hidden.dat"));
    EXPECT_THAT(ChildNames(a_.Get(), SHCONTF_NONFOLDERS), ElementsAre(L"Read Me First.txt"));
    EXPECT_TRUE(ChildNames(a_.Get(), SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN |
                                         SHCONTF_NETPRINTERSRCH)
                    .empty());
    EXPECT_THAT(ChildNames(data_.Get(), SHCONTF_NONFOLDERS),
                UnorderedElementsAre(L"Notes.txt", L"Photo.jpg", L"README",
                                     L"Report 2006.final.doc", L"\u00DCbersicht Gr\u00F6\u00DFen.txt"));

    // Two levels at once from the root, and a folder with nothing in it.
    IdListHolder twoLevels(JoinIdLists(driveA_.get(), Child(a_.Get(), L"Data").get()));
    ComPtr<IShellFolder> viaRoot = Bind(root_.Get(), twoLevels.get());
    EXPECT_EQ(ChildNames(viaRoot.Get(), SHCONTF_FOLDERS), ChildNames(data_.Get(), SHCONTF_FOLDERS));
    ComPtr<IShellFolder> empty = Bind(data_.Get(), Child(data_.Get(), L"Empty Folder").get());
    EXPECT_TRUE(ChildNames(empty.Get(), SHCONTF_FOLDERS | SHCONTF_NONFOLDERS).empty());
}

TEST_F(ShellFolder, DisplayNames) {
    EXPECT_EQ(DisplayName(data_.Get(), photo_.get(), SHGDN_NORMAL), L"Photo.jpg");
    EXPECT_EQ(DisplayName(data_.Get(), photo_.get(), SHGDN_INFOLDER | SHGDN_FORPARSING),
              L"Photo.jpg");
    EXPECT_EQ(DisplayName(data_.Get(), photo_.get(), SHGDN_FORPARSING),
              L"Module Disk A:\\Data\\Photo.jpg");
    EXPECT_EQ(DisplayName(root_.Get(), driveA_.get(), SHGDN_FORPARSING), L"Module Disk A:\\");
    // The shell's own absolute names go through My Computer to us.
    IdListHolder absolute(JoinIdLists(rootList_.get(), driveA_.get()));
    EXPECT_EQ(DisplayName(desktop_.Get(), absolute.get(), SHGDN_NORMAL), L"Module Disk A:\\");

    STRRET str = {};
    SHITEMID empty = {};
    EXPECT_EQ(data_->GetDisplayNameOf(reinterpret_cast<LPCITEMIDLIST>(&empty), SHGDN_NORMAL, &str),
              E_INVALIDARG);
    EXPECT_EQ(data_->GetDisplayNameOf(nullptr, SHGDN_NORMAL, &str), E_POINTER);
    EXPECT_EQ(data_->GetDisplayNameOf(photo_.get(), SHGDN_NORMAL, nullptr), E_POINTER);
}

TEST_F(ShellFolder, Attributes) {
    auto attributesOf = [](IShellFolder* folder, std::vector<LPCITEMIDLIST> items,
                           SFGAOF asked = ~static_cast<SFGAOF>(SFGAO_VALIDATE)) {
        SFGAOF flags = asked;
        HRESULT hr = folder->GetAttributesOf(static_cast<UINT>(items.size()), items.data(), &flags);
        return hr == S_OK ? flags : static_cast<SFGAOF>(hr);
    };
    // Everything on the module is removable media, takes drops and has a sheet;
    // files and folders can be copied, moved, renamed and deleted, drives cannot.
    const SFGAOF anyItem = SFGAO_REMOVABLE | SFGAO_DROPTARGET | SFGAO_HASPROPSHEET;
    const SFGAOF container = SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_BROWSABLE;
    const SFGAOF editable = SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANRENAME | SFGAO_CANDELETE;
    EXPECT_EQ(attributesOf(data_.Get(), {photo_.get()}), anyItem | editable);
    EXPECT_EQ(attributesOf(data_.Get(), {archive_.get()}), anyItem | container | editable);
    EXPECT_EQ(attributesOf(root_.Get(), {driveA_.get()}), anyItem | container | SFGAO_READONLY);
    // Several items: what all of them have.
    EXPECT_EQ(attributesOf(data_.Get(), {photo_.get(), archive_.get()}), anyItem | editable);
    EXPECT_EQ(attributesOf(data_.Get(), {photo_.get()}, SFGAO_CANRENAME | SFGAO_FILESYSTEM),
              static_cast<SFGAOF>(SFGAO_CANRENAME));

    // Validation lists the folder again: an item deleted on the module fails.
    EXPECT_EQ(attributesOf(data_.Get(), {photo_.get()}, SFGAO_VALIDATE | SFGAO_CANCOPY),
              static_cast<SFGAOF>(SFGAO_CANCOPY));
    ASSERT_TRUE(DeleteFileW(PcPath(L"\\A:\\Data\\Photo.jpg").c_str()));
    EXPECT_EQ(attributesOf(data_.Get(), {photo_.get()}, SFGAO_VALIDATE | SFGAO_CANCOPY),
              static_cast<SFGAOF>(E_FAIL));
    EXPECT_EQ(attributesOf(data_.Get(), {archive_.get()}, SFGAO_VALIDATE | SFGAO_FOLDER),
              static_cast<SFGAOF>(SFGAO_FOLDER));

    SFGAOF flags = SFGAO_FOLDER;
    LPCITEMIDLIST none[] = {nullptr};
    EXPECT_EQ(data_->GetAttributesOf(1, none, &flags), E_INVALIDARG);
    EXPECT_EQ(data_->GetAttributesOf(1, nullptr, &flags), E_POINTER);
}

TEST_F(ShellFolder, Columns) {
    int format = -1;
    EXPECT_EQ(Details(root_.Get(), nullptr, 2, &format), L"Total Size");
    EXPECT_EQ(format, LVCFMT_RIGHT);
    EXPECT_EQ(Details(root_.Get(), nullptr, 3), L"Free Space");
    EXPECT_EQ(Details(a_.Get(), nullptr, 0, &format), L"Name");
    EXPECT_EQ(format, LVCFMT_LEFT);
    EXPECT_EQ(Details(a_.Get(), nullptr, 1), L"Size");
    EXPECT_EQ(Details(data_.Get(), nullptr, 3), L"Modified");
    EXPECT_EQ(Details(a_.Get(), nullptr, 4), L"<error>");

    ComPtr<IShellFolder2> root2, data2;
    ASSERT_EQ(root_.As(&root2), S_OK);
    ASSERT_EQ(data_.As(&data2), S_OK);
    SHCOLSTATEF state = 0;
    // Modified: a date column, shown unless the user hides it.
    EXPECT_EQ(data2->GetDefaultColumnState(3, &state), S_OK);
    EXPECT_EQ(state, static_cast<SHCOLSTATEF>(SHCOLSTATE_TYPE_DATE | SHCOLSTATE_ONBYDEFAULT));
    EXPECT_EQ(data2->GetDefaultColumnState(4, &state), E_INVALIDARG);
    SHCOLUMNID id = {};
    EXPECT_EQ(root2->MapColumnToSCID(3, &id), S_OK);
    EXPECT_EQ(id.pid, 13u);
    EXPECT_EQ(data2->MapColumnToSCID(4, &id), E_INVALIDARG);

    // Rows: a file, a folder, a drive.
    EXPECT_EQ(Details(data_.Get(), photo_.get(), 0), L"Photo.jpg");
    EXPECT_EQ(Details(data_.Get(), photo_.get(), 1), L"60 KB");
    EXPECT_EQ(Details(data_.Get(), photo_.get(), 3), L"7/14/2006 1:37 PM");
    EXPECT_EQ(Details(data_.Get(), archive_.get(), 1), L"");
    EXPECT_EQ(Details(root_.Get(), driveA_.get(), 1), L"Module Disk");
    EXPECT_EQ(Details(root_.Get(), driveA_.get(), 2), L"4 MB");

    VARIANT value;
    VariantInit(&value);
    SHCOLUMNID name = {id.fmtid, 10}, freeSpace = {id.fmtid, 13};
    ASSERT_EQ(data2->GetDetailsEx(photo_.get(), &name, &value), S_OK);
    EXPECT_STREQ(value.vt == VT_BSTR ? value.bstrVal : L"", L"Photo.jpg");
    VariantClear(&value);
    EXPECT_EQ(data2->GetDetailsEx(photo_.get(), &freeSpace, &value), E_INVALIDARG);
}

TEST_F(ShellFolder, CompareIdsOrdersFoldersFirstIgnoringCase) {
    auto order = [](IShellFolder* folder, LPCITEMIDLIST a, LPCITEMIDLIST b) {
        return static_cast<short>(HRESULT_CODE(folder->CompareIDs(0, a, b)));
    };
    EXPECT_EQ(order(data_.Get(), archive_.get(), photo_.get()), -1);
    EXPECT_EQ(order(data_.Get(), photo_.get(), photo_.get()), 0);
    // A list that goes deeper sorts after its prefix.
    IdListHolder prefix(JoinIdLists(driveA_.get(), nullptr));
    IdListHolder longer(JoinIdLists(driveA_.get(), Child(a_.Get(), L"Data").get()));
    EXPECT_EQ(order(root_.Get(), longer.get(), prefix.get()), 1);
    EXPECT_EQ(order(root_.Get(), prefix.get(), longer.get()), -1);
    EXPECT_EQ(root_->CompareIDs(0, nullptr, prefix.get()), E_POINTER);

    // Sorting the whole folder with it: folders first, then "n" < "R" ignoring case.
    std::vector<IdListHolder> items = Children(data_.Get(), SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
    std::sort(items.begin(), items.end(), [&](const IdListHolder& a, const IdListHolder& b) {
        return order(data_.Get(), a.get(), b.get()) < 0;
    });
    std::vector<std::wstring> names;
    for (const IdListHolder& item : items) names.push_back(ItemName(item.get()));
    EXPECT_THAT(names, ElementsAre(L"Archive", L"Empty Folder", L"Notes.txt", L"Photo.jpg", L"README",
                                   L"Report 2006.final.doc", L"\u00DCbersicht Gr\u00F6\u00DFen.txt"));
}

TEST_F(ShellFolder, SetNameOfRenamesOnTheModule) {
    BoxAnswerer prompts;
    IdListHolder notes = Child(data_.Get(), L"Notes.txt");
    // Only the case differs: nothing to do.
    LPITEMIDLIST renamed = reinterpret_cast<LPITEMIDLIST>(1);
    EXPECT_EQ(data_->SetNameOf(nullptr, photo_.get(), L"PHOTO.JPG", SHGDN_NORMAL, &renamed), S_OK);
    EXPECT_EQ(renamed, nullptr);
    EXPECT_EQ(module_.CallCount(L"RenameFile"), 0u);

    ASSERT_EQ(data_->SetNameOf(nullptr, notes.get(), L"Memo.txt", SHGDN_NORMAL, &renamed), S_OK);
    IdListHolder renamedHolder(renamed);
    ASSERT_TRUE(renamedHolder);
    EXPECT_STREQ(ItemPath(renamedHolder.get()), L"\\A:\\Data\\Memo.txt");
    EXPECT_NE(GetFileAttributesW(PcPath(L"\\A:\\Data\\Memo.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(PcPath(L"\\A:\\Data\\Notes.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(prompts.captions.empty());

    // A bad name is refused with the rename message, nothing renamed.
    EXPECT_EQ(data_->SetNameOf(nullptr, photo_.get(), L"a:b", SHGDN_NORMAL, nullptr), E_FAIL);
    EXPECT_THAT(prompts.captions, ElementsAre(L"Error Renaming File"));
    EXPECT_NE(GetFileAttributesW(PcPath(L"\\A:\\Data\\Photo.jpg").c_str()), INVALID_FILE_ATTRIBUTES);
    // Drives are not renamed.
    EXPECT_EQ(root_->SetNameOf(nullptr, driveA_.get(), L"C:", SHGDN_NORMAL, nullptr), E_FAIL);
    EXPECT_EQ(data_->SetNameOf(nullptr, nullptr, L"x", SHGDN_NORMAL, nullptr), E_POINTER);
}

TEST_F(ShellFolder, IconAndInfoTipObjects) {
    LPCITEMIDLIST one[] = {photo_.get()}, two[] = {photo_.get(), archive_.get()};
    LPCITEMIDLIST drive[] = {driveA_.get()};
    ComPtr<IQueryInfo> tip;
    ASSERT_EQ(data_->GetUIObjectOf(nullptr, 1, one, IID_IQueryInfo, nullptr, &tip), S_OK);
    LPWSTR text = nullptr;
    ASSERT_EQ(tip->GetInfoTip(0, &text), S_OK);
    EXPECT_STREQ(text, L"Photo.jpg");
    CoTaskMemFree(text);
    EXPECT_EQ(tip->GetInfoTip(0, nullptr), E_POINTER);

    // Files ask the shell to call Extract; drives do not.
    ComPtr<IExtractIconW> fileIcon, driveIcon;
    ASSERT_EQ(data_->GetUIObjectOf(nullptr, 1, one, IID_IExtractIconW, nullptr, &fileIcon), S_OK);
    ASSERT_EQ(root_->GetUIObjectOf(nullptr, 1, drive, IID_IExtractIconW, nullptr, &driveIcon), S_OK);
    wchar_t iconFile[MAX_PATH] = L"";
    int index = -5;
    UINT flags = 77;
    EXPECT_EQ(fileIcon->GetIconLocation(GIL_OPENICON, iconFile, MAX_PATH, &index, &flags), S_OK);
    EXPECT_EQ(flags, static_cast<UINT>(GIL_NOTFILENAME));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(driveIcon->GetIconLocation(0, iconFile, MAX_PATH, &index, &flags), S_OK);
    EXPECT_EQ(flags, 0u);
    for (IExtractIconW* extractor : {fileIcon.Get(), driveIcon.Get()}) {
        HICON large = nullptr, small = nullptr;
        EXPECT_EQ(extractor->Extract(L"", 0, &large, &small, MAKELONG(32, 16)), S_OK);
        EXPECT_TRUE(large && small);
        DestroyIcon(large);
        DestroyIcon(small);
        EXPECT_EQ(extractor->Extract(L"", 0, &large, nullptr, 0), E_INVALIDARG);
    }
    ComPtr<IShellIcon> shellIcon, rootIcon;
    ASSERT_EQ(data_.As(&shellIcon), S_OK);
    EXPECT_EQ(shellIcon->GetIconOf(photo_.get(), 0, &index), S_OK);
    EXPECT_GE(index, 0);
    // A drive borrows the large icon of the name "C:\", whatever the flags.
    SHFILEINFOW systemDrive = {};
    ASSERT_NE(SHGetFileInfoW(L"C:\\", 0, &systemDrive, sizeof(systemDrive),
                             SHGFI_SYSICONINDEX | SHGFI_LARGEICON | SHGFI_USEFILEATTRIBUTES),
              0u);
    ASSERT_EQ(root_.As(&rootIcon), S_OK);
    EXPECT_EQ(rootIcon->GetIconOf(driveA_.get(), 0, &index), S_OK);
    EXPECT_EQ(index, systemDrive.iIcon);
    EXPECT_EQ(rootIcon->GetIconOf(driveA_.get(), GIL_OPENICON, &index), S_OK);
    EXPECT_EQ(index, systemDrive.iIcon);
    BYTE foreign[22] = {20, 0, 0x1F};
    EXPECT_EQ(shellIcon->GetIconOf(reinterpret_cast<LPCITEMIDLIST>(foreign), 0, &index), E_INVALIDARG);

    // One item at a time; objects that arrive with other parts of the library
    // are not half-made.
    ComPtr<IUnknown> other;
    EXPECT_EQ(data_->GetUIObjectOf(nullptr, 2, two, IID_IQueryInfo, nullptr, &other), E_INVALIDARG);
    EXPECT_EQ(data_->GetUIObjectOf(nullptr, 2, two, IID_IExtractIconW, nullptr, &other),
              E_INVALIDARG);
    EXPECT_EQ(data_->GetUIObjectOf(nullptr, 1, one, IID_IShellFolder, nullptr, &other), E_NOINTERFACE);
    EXPECT_EQ(data_->GetUIObjectOf(nullptr, 1, nullptr, IID_IQueryInfo, nullptr, &other), E_POINTER);
    // Objects over a selection need one.
    for (REFIID iid : {IID_IDataObject, IID_IDropTarget, IID_IContextMenu}) {
        EXPECT_EQ(data_->GetUIObjectOf(nullptr, 0, one, iid, nullptr, &other), E_UNEXPECTED);
        EXPECT_EQ(other.Get(), nullptr);
    }
    ComPtr<IContextMenu> menu;
    EXPECT_EQ(data_->CreateViewObject(nullptr, IID_PPV_ARGS(&menu)), E_NOINTERFACE);
}

TEST_F(ShellFolder, ListingFailureShownOnceAfterTheSecondAttempt) {
    BoxAnswerer prompts;
    // The first attempt fails, the helper thread's succeeds: no message.
    module_.FailNthCall(L"ListFolder", 1, E_NO_CONNECTION, 1);
    EXPECT_THAT(ChildNames(root_.Get(), SHCONTF_FOLDERS), testing::SizeIs(2));
    EXPECT_TRUE(prompts.captions.empty());

    // Both fail: one message with the server's text, which only the helper
    // thread received (the first call is turned away before it runs).
    module_.RejectBusy(1);
    module_.FailNthCall(L"ListFolder", 1, E_NO_CONNECTION, 0, L"The module does not answer.");
    ComPtr<IEnumIDList> items;
    EXPECT_EQ(root_->EnumObjects(nullptr, SHCONTF_FOLDERS, &items), E_NO_CONNECTION);
    EXPECT_THAT(prompts.captions, ElementsAre(L"General"));
    EXPECT_THAT(prompts.texts, ElementsAre(L"The module does not answer."));
}

namespace {
// Explorer's messages are answered while the helper thread lists: one of them
// may list the same folder again.
IShellFolder* g_listedAgain = nullptr;
bool g_reentered = false;
std::vector<std::wstring> g_innerNames;

void CALLBACK ListAgain(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    g_reentered = true;
    g_innerNames = ChildNames(g_listedAgain, SHCONTF_FOLDERS);
}
}  // namespace

TEST_F(ShellFolder, ListingAgainWhileTheHelperThreadLists) {
    BoxAnswerer prompts;
    g_listedAgain = a_.Get();
    int reentered = 0;
    for (int round = 0; round < 8; ++round) {
        module_.FailNthCall(L"ListFolder", 1, E_NO_CONNECTION, 1);
        g_reentered = false;
        g_innerNames.clear();
        UINT_PTR timer = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, ListAgain);
        ASSERT_NE(timer, 0u);
        EXPECT_THAT(ChildNames(a_.Get(), SHCONTF_FOLDERS),
                    UnorderedElementsAre(L"Audio", L"Data", L"Pictures"));
        if (!g_reentered) {
            KillTimer(nullptr, timer);
            continue;
        }
        ++reentered;
        EXPECT_THAT(g_innerNames, UnorderedElementsAre(L"Audio", L"Data", L"Pictures"));
    }
    EXPECT_GT(reentered, 0);
    EXPECT_TRUE(prompts.captions.empty());
    g_listedAgain = nullptr;
}

TEST_F(ShellFolder, LibraryUnloadableOnceEverythingIsReleased) {
    LoadedExtension library;  // the same module the shell loaded, one more reference
    ComPtr<IEnumIDList> items;
    ASSERT_EQ(root_->EnumObjects(nullptr, SHCONTF_FOLDERS, &items), S_OK);
    EXPECT_EQ(library.CanUnloadNow(), S_FALSE);
    data_.Reset();
    a_.Reset();
    root_.Reset();
    EXPECT_EQ(library.CanUnloadNow(), S_FALSE);  // the enumerator is alive
    items.Reset();
    desktop_.Reset();
    EXPECT_EQ(library.CanUnloadNow(), S_OK);
}

// Module files leave through the clipboard: the folder's data object, put on
// the clipboard here, read by another thread as a paste into a PC program would.
TEST_F(ShellFolder, DataObjectOnTheClipboardGivesTheFilesToAnotherThread) {
    LoadedExtension library;
    {
        LPCITEMIDLIST items[] = {photo_.get(), archive_.get()};
        ComPtr<IDataObject> object;
        ASSERT_EQ(data_->GetUIObjectOf(nullptr, 2, items, IID_IDataObject, nullptr, &object), S_OK);
        ASSERT_EQ(OleSetClipboard(object.Get()), S_OK);
    }
    struct Reader {
        std::vector<std::wstring> names;
        std::string photo;
    } reader;
    HANDLE thread = CreateThread(nullptr, 0, [](void* p) -> DWORD {
        Reader* r = static_cast<Reader*>(p);
        OleInitialize(nullptr);
        ComPtr<IDataObject> clip;
        if (SUCCEEDED(OleGetClipboard(&clip))) {
            FORMATETC group = {static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"FileGroupDescriptorW")),
                               nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
            STGMEDIUM medium = {};
            if (SUCCEEDED(clip->GetData(&group, &medium))) {
                auto* descriptor = static_cast<FILEGROUPDESCRIPTORW*>(GlobalLock(medium.hGlobal));
                for (UINT i = 0; i < descriptor->cItems; ++i)
                    r->names.push_back(descriptor->fgd[i].cFileName);
                GlobalUnlock(medium.hGlobal);
                ReleaseStgMedium(&medium);
            }
            FORMATETC contents = {static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"FileContents")),
                                  nullptr, DVASPECT_CONTENT, 0, TYMED_HGLOBAL};
            if (SUCCEEDED(clip->GetData(&contents, &medium))) {
                r->photo.assign(static_cast<char*>(GlobalLock(medium.hGlobal)),
                                GlobalSize(medium.hGlobal));
                GlobalUnlock(medium.hGlobal);
                ReleaseStgMedium(&medium);
            }
        }
        clip.Reset();
        OleUninitialize();
        return 0;
    }, &reader, 0, nullptr);
    // This thread serves the object while the reader works.
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 20000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    CloseHandle(thread);
    EXPECT_THAT(reader.names, ElementsAre(L"Photo.jpg", L"Archive", L"Archive\\Deep",
                                          L"Archive\\Deep\\level3.bin", L"Archive\\old notes.txt"));
    std::string expected;
    {
        HANDLE file = CreateFileW(PcPath(L"\\A:\\Data\\Photo.jpg").c_str(), GENERIC_READ,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        char buffer[65536];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got) expected.append(buffer, got);
        CloseHandle(file);
    }
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(reader.photo, expected);

    ASSERT_EQ(OleSetClipboard(nullptr), S_OK);
    data_.Reset();
    a_.Reset();
    root_.Reset();
    desktop_.Reset();
    EXPECT_EQ(library.CanUnloadNow(), S_OK);
}

// Wine's own PC folders paste only the shell's ID-list array of PC files:
// the staged files reach them; with the staging off only the virtual files
// and the module's own formats are offered.
TEST_F(ShellFolder, PcFolderPastesTheStagedFiles) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring target = std::wstring(temp) + L"ktx-paste-" + std::to_wstring(GetTickCount());
    ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
    LPCITEMIDLIST items[] = {photo_.get(), archive_.get()};
    {
        ComPtr<IDataObject> object;
        ASSERT_EQ(data_->GetUIObjectOf(nullptr, 2, items, IID_IDataObject, nullptr, &object), S_OK);
        ASSERT_EQ(OleSetClipboard(object.Get()), S_OK);
    }
    {
        IdListHolder pcList;
        ComPtr<IShellFolder> pc;
        ComPtr<IContextMenu> menu;
        ASSERT_EQ(desktop_->ParseDisplayName(nullptr, nullptr, &target[0], nullptr, pcList.out(),
                                             nullptr), S_OK);
        ASSERT_EQ(desktop_->BindToObject(pcList.get(), nullptr, IID_PPV_ARGS(&pc)), S_OK);
        ASSERT_EQ(pc->CreateViewObject(nullptr, IID_PPV_ARGS(&menu)), S_OK);
        CMINVOKECOMMANDINFO invoke = {sizeof(invoke)};
        invoke.lpVerb = "paste";
        invoke.nShow = SW_SHOWNORMAL;
        EXPECT_EQ(menu->InvokeCommand(&invoke), S_OK);
    }
    auto read = [](const std::wstring& path) {
        std::string bytes;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return std::string("<missing>");
        char buffer[65536];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got) bytes.append(buffer, got);
        CloseHandle(file);
        return bytes;
    };
    EXPECT_EQ(read(PcPath(L"\\A:\\Data\\Photo.jpg")), read(target + L"\\Photo.jpg"));
    EXPECT_EQ(read(PcPath(L"\\A:\\Data\\Archive\\Deep\\level3.bin")),
              read(target + L"\\Archive\\Deep\\level3.bin"));
    EXPECT_EQ(read(PcPath(L"\\A:\\Data\\Archive\\old notes.txt")),
              read(target + L"\\Archive\\old notes.txt"));
    ASSERT_EQ(OleSetClipboard(nullptr), S_OK);
    SHFILEOPSTRUCTW remove = {};
    std::wstring from = target + L'\0';
    remove.wFunc = FO_DELETE;
    remove.pFrom = from.c_str();
    remove.fFlags = FOF_NO_UI;
    SHFileOperationW(&remove);

    // Staging off: the formats of the data object alone.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Velkor\\Brantlow", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    DWORD off = 0;
    RegSetValueExW(key, L"StageFilesForPrograms", 0, REG_DWORD, reinterpret_cast<BYTE*>(&off), 4);
    {
        ComPtr<IDataObject> object;
        ASSERT_EQ(data_->GetUIObjectOf(nullptr, 2, items, IID_IDataObject, nullptr, &object), S_OK);
        ComPtr<IEnumFORMATETC> formats;
        ASSERT_EQ(object->EnumFormatEtc(DATADIR_GET, &formats), S_OK);
        std::vector<std::wstring> names;
        FORMATETC format;
        while (formats->Next(1, &format, nullptr) == S_OK) {
            wchar_t name[64] = L"";
            GetClipboardFormatNameW(format.cfFormat, name, 64);
            names.push_back(name);
        }
        EXPECT_THAT(names, ElementsAre(L"FileGroupDescriptorW", L"FileContents",
                                       L"Preferred DropEffect", L"QEL SNE Directory Data",
                                       L"QEL SNE View Address"));
    }
    RegDeleteValueW(key, L"StageFilesForPrograms");
    RegCloseKey(key);
}
