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
#include "common/holders.h"
#include "common/result_codes.h"
#include "namespace/compare_items.h"
#include "namespace/module_item_id.h"
#include "resources/string_ids.h"
#include "server/class_ids.h"
#include "tests/support/extension_library.h"
#include "tests/support/prompt_recorder.h"
#include "tests/support/substitute_server.h"

using Microsoft::WRL::ComPtr;
using testing::ElementsAre;
using testing::UnorderedElementsAre;

namespace {

const wchar_t kModuleParsingName[] =
    L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}";

std::wstring FromStrRet(STRRET* str, LPCITEMIDLIST item) {
    wchar_t* text = nullptr;
    if (FAILED(StrRetToStrW(str, item, &text))) return L"<failed>";
    std::wstring result = text;
    CoTaskMemFree(text);
    return result;
}

std::wstring DisplayName(IShellFolder* folder, LPCITEMIDLIST item, SHGDNF flags) {
    STRRET str = {};
    HRESULT hr = folder->GetDisplayNameOf(item, flags, &str);
    if (FAILED(hr)) return L"<error>";
    return FromStrRet(&str, item);
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

std::wstring Header(IShellFolder* folder, UINT column, int* format = nullptr) {
    ComPtr<IShellFolder2> folder2;
    if (FAILED(folder->QueryInterface(IID_PPV_ARGS(&folder2)))) return L"<no IShellFolder2>";
    SHELLDETAILS details = {};
    if (FAILED(folder2->GetDetailsOf(nullptr, column, &details))) return L"<error>";
    if (format) *format = details.fmt;
    std::wstring text = FromStrRet(&details.str, nullptr);  // frees the string
    EXPECT_EQ(details.cxChar, static_cast<int>(text.size()));
    return text;
}

std::wstring Cell(IShellFolder2* folder, LPCITEMIDLIST item, UINT column) {
    SHELLDETAILS details = {};
    if (FAILED(folder->GetDetailsOf(item, column, &details))) return L"<error>";
    return FromStrRet(&details.str, item);
}

// The library runs from its own DLL here, with its own copy of the prompt
// seam, so its message boxes are real: record them and press a button.
struct ShownBox {
    std::wstring caption, text;
};
class BoxAnswerer {
public:
    explicit BoxAnswerer(int button)
        : driver_([this, button](HWND box) {
              wchar_t caption[128] = {};
              GetWindowTextW(box, caption, ARRAYSIZE(caption));
              boxes_.push_back({caption, DialogDriver::MessageText(box)});
              DialogDriver::PressButton(box, button);
          }) {}
    const std::vector<ShownBox>& boxes() const { return boxes_; }

private:
    std::vector<ShownBox> boxes_;
    DialogDriver driver_;
};

HRESULT LoadedLibraryCanUnloadNow() {
    HMODULE library = GetModuleHandleW(L"KTXShellExt.dll");
    if (!library) return S_OK;  // unloaded already
    auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
    return canUnload();
}

class ShellFolder : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(RunRegsvr32(false), 0u) << "regsvr32 failed"; }

    void SetUp() override {
        ASSERT_TRUE(module_.ok());
        OleInitialize(nullptr);
        ASSERT_EQ(SHGetDesktopFolder(&desktop_), S_OK);
        std::wstring name = kModuleParsingName;
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
    }
    void TearDown() override {
        data_.Reset();
        a_.Reset();
        root_.Reset();
        desktop_.Reset();
        OleUninitialize();
    }
    std::wstring PcPath(const std::wstring& modulePath) { return module_.PcPath(modulePath); }

    SubstituteModule module_;
    ComPtr<IShellFolder> desktop_, root_, a_, data_;
    IdListHolder rootList_, driveA_;
};

}  // namespace

TEST_F(ShellFolder, MyComputerListsModule) {
    IdListHolder myComputer;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, myComputer.out()), S_OK);
    ComPtr<IShellFolder> drives = Bind(desktop_.Get(), myComputer.get());
    EXPECT_THAT(ChildNames(drives.Get(), SHCONTF_FOLDERS), testing::Contains(L"Module"));
    IdListHolder found;
    ASSERT_EQ(FindModuleRoot(found.out()), S_OK);
    EXPECT_EQ(DisplayName(desktop_.Get(), found.get(), SHGDN_NORMAL), L"Module");

    // What the folder answers about itself.
    ComPtr<IPersistFolder2> persist;
    ASSERT_EQ(root_.As(&persist), S_OK);
    CLSID clsid = {};
    EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_ModuleFolder));
    IdListHolder current;
    ASSERT_EQ(persist->GetCurFolder(current.out()), S_OK);
    EXPECT_TRUE(ILIsEqual(current.get(), rootList_.get()));
}

TEST_F(ShellFolder, EnumeratesDrivesFoldersAndFiles) {
    EXPECT_THAT(ChildNames(root_.Get(), SHCONTF_FOLDERS),
                ElementsAre(L"Module Disk (A:)", L"Module Disk (B:)"));
    EXPECT_THAT(ChildNames(root_.Get(), SHCONTF_FOLDERS, SHGDN_NORMAL),
                ElementsAre(L"Module Disk A:\\", L"Module Disk B:\\"));
    EXPECT_TRUE(ChildNames(root_.Get(), SHCONTF_NONFOLDERS).empty());

    // Hidden items only when asked for, folders or not.
    EXPECT_THAT(ChildNames(a_.Get(), SHCONTF_FOLDERS),
                UnorderedElementsAre(L"Audio", L"Data", L"Pictures"));
    EXPECT_THAT(ChildNames(a_.Get(), SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN),
                UnorderedElementsAre(L"Audio", L"Data", L"Pictures", L"System"));
    EXPECT_THAT(ChildNames(a_.Get(), SHCONTF_NONFOLDERS), ElementsAre(L"Read Me First.txt"));
    EXPECT_THAT(ChildNames(a_.Get(), SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN),
                UnorderedElementsAre(L"Read Me First.txt", L"hidden.dat"));
    EXPECT_TRUE(ChildNames(a_.Get(), SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN |
                                         SHCONTF_NETPRINTERSRCH)
                    .empty());
    EXPECT_THAT(ChildNames(data_.Get(), SHCONTF_NONFOLDERS),
                UnorderedElementsAre(L"Notes.txt", L"Photo.jpg", L"README",
                                     L"Report 2006.final.doc", L"\u00DCbersicht Gr\u00F6\u00DFen.txt"));

    // Two levels at once from the root, and a folder with nothing in it.
    IdListHolder data = Child(a_.Get(), L"Data");
    IdListHolder twoLevels(JoinIdLists(driveA_.get(), data.get()));
    ComPtr<IShellFolder> viaRoot = Bind(root_.Get(), twoLevels.get());
    EXPECT_EQ(ChildNames(viaRoot.Get(), SHCONTF_FOLDERS),
              ChildNames(data_.Get(), SHCONTF_FOLDERS));
    ComPtr<IShellFolder> empty = Bind(data_.Get(), Child(data_.Get(), L"Empty Folder").get());
    EXPECT_TRUE(ChildNames(empty.Get(), SHCONTF_FOLDERS | SHCONTF_NONFOLDERS).empty());
}

TEST_F(ShellFolder, DisplayNames) {
    IdListHolder photo = Child(data_.Get(), L"Photo.jpg");
    ASSERT_TRUE(photo);
    EXPECT_EQ(DisplayName(data_.Get(), photo.get(), SHGDN_NORMAL), L"Photo.jpg");
    EXPECT_EQ(DisplayName(data_.Get(), photo.get(), SHGDN_INFOLDER | SHGDN_FORPARSING), L"Photo.jpg");
    EXPECT_EQ(DisplayName(data_.Get(), photo.get(), SHGDN_FORPARSING),
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
    EXPECT_EQ(data_->GetDisplayNameOf(photo.get(), SHGDN_NORMAL, nullptr), E_POINTER);
}

TEST_F(ShellFolder, Attributes) {
    IdListHolder photo = Child(data_.Get(), L"Photo.jpg"), archive = Child(data_.Get(), L"Archive");
    auto attributesOf = [](IShellFolder* folder, std::vector<LPCITEMIDLIST> items,
                           SFGAOF asked = 0xFFFFFFFF & ~SFGAO_VALIDATE) {
        SFGAOF flags = asked;
        HRESULT hr = folder->GetAttributesOf(static_cast<UINT>(items.size()), items.data(), &flags);
        return hr == S_OK ? flags : static_cast<SFGAOF>(hr);
    };
    EXPECT_EQ(attributesOf(data_.Get(), {photo.get()}), 0x02000173u);
    EXPECT_EQ(attributesOf(data_.Get(), {archive.get()}), 0xAA000173u);
    EXPECT_EQ(attributesOf(root_.Get(), {driveA_.get()}), 0xAA040140u);
    EXPECT_EQ(attributesOf(data_.Get(), {photo.get(), archive.get()}), 0x02000173u);
    EXPECT_EQ(attributesOf(data_.Get(), {photo.get()}, SFGAO_CANRENAME | SFGAO_FILESYSTEM),
              static_cast<SFGAOF>(SFGAO_CANRENAME));
    // Through the shell's own helper on the absolute list.
    IdListHolder absolute(JoinIdLists(rootList_.get(), driveA_.get()));
    SHFILEINFOW info = {};
    info.dwAttributes = SFGAO_FOLDER | SFGAO_CANDELETE;
    ASSERT_TRUE(SHGetFileInfoW(reinterpret_cast<LPCWSTR>(absolute.get()), 0, &info, sizeof(info),
                               SHGFI_PIDL | SHGFI_ATTRIBUTES | SHGFI_ATTR_SPECIFIED));
    EXPECT_EQ(info.dwAttributes, static_cast<DWORD>(SFGAO_FOLDER));

    // Validation lists the folder again: an item deleted on the module fails.
    EXPECT_EQ(attributesOf(data_.Get(), {photo.get()}, SFGAO_VALIDATE | SFGAO_CANCOPY),
              static_cast<SFGAOF>(SFGAO_CANCOPY));
    ASSERT_TRUE(DeleteFileW(PcPath(L"\\A:\\Data\\Photo.jpg").c_str()));
    EXPECT_EQ(attributesOf(data_.Get(), {photo.get()}, SFGAO_VALIDATE | SFGAO_CANCOPY),
              static_cast<SFGAOF>(E_FAIL));
    EXPECT_EQ(attributesOf(data_.Get(), {archive.get()}, SFGAO_VALIDATE | SFGAO_FOLDER),
              static_cast<SFGAOF>(SFGAO_FOLDER));

    SFGAOF flags = SFGAO_FOLDER;
    LPCITEMIDLIST none[] = {nullptr};
    EXPECT_EQ(data_->GetAttributesOf(1, none, &flags), E_INVALIDARG);
    EXPECT_EQ(data_->GetAttributesOf(0, none, &flags), S_OK);
    EXPECT_EQ(flags, static_cast<SFGAOF>(SFGAO_FOLDER));
    EXPECT_EQ(data_->GetAttributesOf(1, nullptr, &flags), E_POINTER);
}

TEST_F(ShellFolder, Columns) {
    int format = -1;
    EXPECT_EQ(Header(root_.Get(), 0, &format), L"Name");
    EXPECT_EQ(format, LVCFMT_LEFT);
    EXPECT_EQ(Header(root_.Get(), 1), L"Type");
    EXPECT_EQ(Header(root_.Get(), 2, &format), L"Total Size");
    EXPECT_EQ(format, LVCFMT_RIGHT);
    EXPECT_EQ(Header(root_.Get(), 3), L"Free Space");
    EXPECT_EQ(Header(a_.Get(), 1, &format), L"Size");
    EXPECT_EQ(format, LVCFMT_RIGHT);
    EXPECT_EQ(Header(a_.Get(), 2), L"Type");
    EXPECT_EQ(Header(data_.Get(), 3), L"Modified");
    EXPECT_EQ(Header(a_.Get(), 4), L"<error>");

    ComPtr<IShellFolder2> root2, data2;
    ASSERT_EQ(root_.As(&root2), S_OK);
    ASSERT_EQ(data_.As(&data2), S_OK);
    SHCOLSTATEF state = 0;
    EXPECT_EQ(root2->GetDefaultColumnState(2, &state), S_OK);
    EXPECT_EQ(state, 0x12u);
    EXPECT_EQ(data2->GetDefaultColumnState(3, &state), S_OK);
    EXPECT_EQ(state, 0x13u);
    EXPECT_EQ(data2->GetDefaultColumnState(4, &state), E_INVALIDARG);
    EXPECT_EQ(state, static_cast<SHCOLSTATEF>(SHCOLSTATE_HIDDEN));
    SHCOLUMNID id = {};
    EXPECT_EQ(root2->MapColumnToSCID(3, &id), S_OK);
    EXPECT_EQ(id.pid, 13u);
    EXPECT_EQ(data2->MapColumnToSCID(3, &id), S_OK);
    EXPECT_EQ(id.pid, 14u);
    EXPECT_EQ(data2->MapColumnToSCID(4, &id), E_INVALIDARG);
    ULONG sort = 9, display = 9;
    EXPECT_EQ(data2->GetDefaultColumn(0, &sort, &display), S_OK);
    EXPECT_EQ(sort + display, 0u);

    // Rows: a file, a folder, a drive.
    IdListHolder photo = Child(data_.Get(), L"Photo.jpg"), archive = Child(data_.Get(), L"Archive");
    EXPECT_EQ(Cell(data2.Get(), photo.get(), 0), L"Photo.jpg");
    EXPECT_EQ(Cell(data2.Get(), photo.get(), 1), FormatByteSize(ItemSize(photo.get())));
    EXPECT_EQ(Cell(data2.Get(), photo.get(), 3), FormatDateTime(ItemModified(photo.get()), true, true, false));
    EXPECT_EQ(Cell(data2.Get(), archive.get(), 1), L"");
    EXPECT_EQ(Cell(root2.Get(), driveA_.get(), 1), L"Module Disk");
    EXPECT_EQ(Cell(root2.Get(), driveA_.get(), 2), FormatByteSize(ItemSize(driveA_.get())));

    VARIANT value;
    VariantInit(&value);
    SHCOLUMNID name = {id.fmtid, 10}, freeSpace = {id.fmtid, 13}, modified = {id.fmtid, 14};
    ASSERT_EQ(data2->GetDetailsEx(photo.get(), &name, &value), S_OK);
    EXPECT_EQ(value.vt, VT_BSTR);
    EXPECT_STREQ(value.bstrVal, L"Photo.jpg");
    VariantClear(&value);
    EXPECT_EQ(data2->GetDetailsEx(photo.get(), &freeSpace, &value), E_INVALIDARG);
    EXPECT_EQ(root2->GetDetailsEx(driveA_.get(), &modified, &value), E_INVALIDARG);
    SHCOLUMNID otherSet = {IID_IUnknown, 10};
    EXPECT_EQ(data2->GetDetailsEx(photo.get(), &otherSet, &value), E_INVALIDARG);
}

TEST_F(ShellFolder, CompareIdsOrdersFoldersFirstIgnoringCase) {
    IdListHolder photo = Child(data_.Get(), L"Photo.jpg"), archive = Child(data_.Get(), L"Archive");
    IdListHolder readme = Child(data_.Get(), L"README"), notes = Child(data_.Get(), L"Notes.txt");
    auto order = [&](LPCITEMIDLIST a, LPCITEMIDLIST b) {
        HRESULT hr = data_->CompareIDs(0, a, b);
        return static_cast<short>(HRESULT_CODE(hr));
    };
    EXPECT_EQ(order(archive.get(), photo.get()), -1);
    EXPECT_EQ(order(photo.get(), archive.get()), 1);
    EXPECT_EQ(order(notes.get(), readme.get()), -1);  // n < R ignoring case
    EXPECT_EQ(order(photo.get(), photo.get()), 0);
    EXPECT_EQ(data_->CompareIDs(0, archive.get(), photo.get()), static_cast<HRESULT>(0xFFFFFFFF));

    IdListHolder prefix(JoinIdLists(driveA_.get(), nullptr));
    IdListHolder longer(JoinIdLists(driveA_.get(), Child(a_.Get(), L"Data").get()));
    EXPECT_EQ(static_cast<short>(HRESULT_CODE(root_->CompareIDs(0, longer.get(), prefix.get()))), 1);
    EXPECT_EQ(static_cast<short>(HRESULT_CODE(root_->CompareIDs(0, prefix.get(), longer.get()))), -1);
    EXPECT_EQ(root_->CompareIDs(0, nullptr, prefix.get()), E_POINTER);

    // The shell sorts with it too.
    std::vector<IdListHolder> items = Children(data_.Get(), SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
    std::sort(items.begin(), items.end(), [&](const IdListHolder& a, const IdListHolder& b) {
        return order(a.get(), b.get()) < 0;
    });
    std::vector<std::wstring> names;
    for (const IdListHolder& item : items) names.push_back(ItemName(item.get()));
    EXPECT_THAT(names, ElementsAre(L"Archive", L"Empty Folder", L"Notes.txt", L"Photo.jpg", L"README",
                                   L"Report 2006.final.doc", L"\u00DCbersicht Gr\u00F6\u00DFen.txt"));
}

TEST_F(ShellFolder, SetNameOfRenamesOnTheModule) {
    BoxAnswerer prompts(IDOK);
    IdListHolder photo = Child(data_.Get(), L"Photo.jpg"), notes = Child(data_.Get(), L"Notes.txt");
    // Only the case differs: nothing to do.
    LPITEMIDLIST renamed = reinterpret_cast<LPITEMIDLIST>(1);
    EXPECT_EQ(data_->SetNameOf(nullptr, photo.get(), L"PHOTO.JPG", SHGDN_NORMAL, &renamed), S_OK);
    EXPECT_EQ(renamed, nullptr);
    EXPECT_EQ(module_.CallCount(L"RenameFile"), 0u);

    ASSERT_EQ(data_->SetNameOf(nullptr, notes.get(), L"Memo.txt", SHGDN_NORMAL, &renamed), S_OK);
    IdListHolder renamedHolder(renamed);
    ASSERT_TRUE(renamedHolder);
    EXPECT_STREQ(ItemPath(renamedHolder.get()), L"\\A:\\Data\\Memo.txt");
    EXPECT_NE(GetFileAttributesW(PcPath(L"\\A:\\Data\\Memo.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(PcPath(L"\\A:\\Data\\Notes.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(prompts.boxes().size(), 0u);

    // A bad name is refused with the rename message, nothing renamed.
    EXPECT_EQ(data_->SetNameOf(nullptr, photo.get(), L"a:b", SHGDN_NORMAL, nullptr), E_FAIL);
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.boxes().back().caption, L"Error Renaming File");
    EXPECT_NE(GetFileAttributesW(PcPath(L"\\A:\\Data\\Photo.jpg").c_str()), INVALID_FILE_ATTRIBUTES);
    // Drives are not renamed.
    EXPECT_EQ(root_->SetNameOf(nullptr, driveA_.get(), L"C:", SHGDN_NORMAL, nullptr), E_FAIL);
    EXPECT_EQ(data_->SetNameOf(nullptr, nullptr, L"x", SHGDN_NORMAL, nullptr), E_POINTER);
}

TEST_F(ShellFolder, IconAndInfoTipObjects) {
    IdListHolder photo = Child(data_.Get(), L"Photo.jpg"), archive = Child(data_.Get(), L"Archive");
    LPCITEMIDLIST one[] = {photo.get()};
    LPCITEMIDLIST two[] = {photo.get(), archive.get()};
    ComPtr<IQueryInfo> tip;
    ASSERT_EQ(data_->GetUIObjectOf(nullptr, 1, one, IID_IQueryInfo, nullptr, &tip), S_OK);
    LPWSTR text = nullptr;
    ASSERT_EQ(tip->GetInfoTip(0, &text), S_OK);
    EXPECT_STREQ(text, L"Photo.jpg");
    CoTaskMemFree(text);
    EXPECT_EQ(data_->GetUIObjectOf(nullptr, 2, two, IID_IQueryInfo, nullptr, &tip), E_INVALIDARG);

    ComPtr<IExtractIconW> icon;
    ASSERT_EQ(data_->GetUIObjectOf(nullptr, 1, one, IID_IExtractIconW, nullptr, &icon), S_OK);
    EXPECT_EQ(data_->GetUIObjectOf(nullptr, 2, two, IID_IExtractIconW, nullptr, &icon), E_INVALIDARG);
    ComPtr<IUnknown> other;
    EXPECT_EQ(data_->GetUIObjectOf(nullptr, 1, one, IID_IShellFolder, nullptr, &other), E_NOINTERFACE);
    EXPECT_EQ(data_->GetUIObjectOf(nullptr, 1, nullptr, IID_IQueryInfo, nullptr, &other), E_POINTER);

    // The shell finds an icon for module items through the folder.
    IdListHolder absolute(JoinIdLists(rootList_.get(), driveA_.get()));
    SHFILEINFOW info = {};
    EXPECT_NE(SHGetFileInfoW(reinterpret_cast<LPCWSTR>(absolute.get()), 0, &info, sizeof(info),
                             SHGFI_PIDL | SHGFI_SYSICONINDEX),
              0u);
    ComPtr<IShellIcon> shellIcon;
    ASSERT_EQ(data_.As(&shellIcon), S_OK);
    int index = -1;
    EXPECT_EQ(shellIcon->GetIconOf(photo.get(), 0, &index), S_OK);
    EXPECT_GE(index, 0);
    BYTE foreign[22] = {20, 0, 0x1F};
    EXPECT_EQ(shellIcon->GetIconOf(reinterpret_cast<LPCITEMIDLIST>(foreign), 0, &index), E_INVALIDARG);

    // The folder hands out its own view; objects that arrive with other
    // parts of the library are not half-made.
    ComPtr<IShellView> view;
    EXPECT_EQ(data_->CreateViewObject(nullptr, IID_PPV_ARGS(&view)), S_OK);
    EXPECT_TRUE(view);
    ComPtr<IContextMenu> menu;
    EXPECT_EQ(data_->CreateViewObject(nullptr, IID_PPV_ARGS(&menu)), E_NOINTERFACE);
}

TEST_F(ShellFolder, ListingFailureShownOnceAfterTheSecondAttempt) {
    BoxAnswerer prompts(IDOK);
    // The first attempt fails, the helper thread's succeeds: no message.
    module_.FailNthCall(L"ListFolder", 1, E_NO_CONNECTION, 1);
    EXPECT_THAT(ChildNames(root_.Get(), SHCONTF_FOLDERS), testing::SizeIs(2));
    EXPECT_EQ(prompts.boxes().size(), 0u);

    // Both fail: one message with the server's text, which only the helper
    // thread received (the first call is turned away before it runs).
    module_.RejectBusy(1);
    module_.FailNthCall(L"ListFolder", 1, E_NO_CONNECTION, 0, L"The module does not answer.");
    ComPtr<IEnumIDList> items;
    EXPECT_EQ(root_->EnumObjects(nullptr, SHCONTF_FOLDERS, &items), E_NO_CONNECTION);
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.boxes().back().caption, L"General");
    EXPECT_EQ(prompts.boxes().back().text, L"The module does not answer.");
}

TEST(ShellFolderLifetime, LibraryUnloadableOnceEverythingIsReleased) {
    ASSERT_EQ(RunRegsvr32(false), 0u);
    OleInitialize(nullptr);
    {
        SubstituteModule module;
        ASSERT_TRUE(module.ok());
        ComPtr<IShellFolder> desktop, root;
        ASSERT_EQ(SHGetDesktopFolder(&desktop), S_OK);
        std::wstring name = kModuleParsingName;
        IdListHolder list;
        ASSERT_EQ(desktop->ParseDisplayName(nullptr, nullptr, &name[0], nullptr, list.out(), nullptr),
                  S_OK);
        ASSERT_EQ(desktop->BindToObject(list.get(), nullptr, IID_PPV_ARGS(&root)), S_OK);
        ComPtr<IEnumIDList> items;
        ASSERT_EQ(root->EnumObjects(nullptr, SHCONTF_FOLDERS, &items), S_OK);
        EXPECT_EQ(LoadedLibraryCanUnloadNow(), S_FALSE);
        root.Reset();
        EXPECT_EQ(LoadedLibraryCanUnloadNow(), S_FALSE);  // the enumerator is alive
        items.Reset();
    }
    EXPECT_EQ(LoadedLibraryCanUnloadNow(), S_OK);
    CoFreeUnusedLibraries();
    OleUninitialize();
}
