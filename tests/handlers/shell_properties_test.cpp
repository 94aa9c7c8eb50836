// The property-sheet handler as Explorer meets it: registered with regsvr32,
// created through the library's class object and initialised with the
// shell's own data object for the module folder (and for what it refuses).
#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/formatting.h"
#include "item_id/module_item_id.h"
#include "resources/handlers_ids.h"
#include "server/class_ids.h"
#include "tests/handlers/sheet_driver.h"
#include "tests/support/extension_library.h"
#include "tests/support/substitute_server.h"

using Microsoft::WRL::ComPtr;

namespace {

const wchar_t kHandlerClass[] = L"{7E9BFFAF-7639-4CF9-AF5D-AF8FB7BC83E6}";
const wchar_t kDriveHandlers[] = L"Software\\Classes\\Drive\\shellex\\PropertySheetHandlers";
const wchar_t kApprovedKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::wstring StringValue(HKEY root, const std::wstring& path, const wchar_t* name = nullptr) {
    wchar_t buffer[1024];
    DWORD bytes = sizeof(buffer);
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &bytes) !=
        ERROR_SUCCESS)
        return L"<missing>";
    return buffer;
}

class ShellProperties : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(RunRegsvr32(false), 0u) << "regsvr32 failed"; }

    void SetUp() override {
        ASSERT_TRUE(module_.ok());
        ASSERT_NE(library_.module(), nullptr);
        ASSERT_EQ(SHGetDesktopFolder(&desktop_), S_OK);
    }
    void TearDown() override {
        desktop_.Reset();
        EXPECT_EQ(library_.CanUnloadNow(), S_OK) << "an object of the library is still alive";
    }

    IdListHolder Parse(std::wstring name) {
        IdListHolder list;
        EXPECT_EQ(desktop_->ParseDisplayName(nullptr, nullptr, &name[0], nullptr, list.out(),
                                             nullptr),
                  S_OK)
            << name.c_str();
        return list;
    }
    // The shell's data object for `lists` (absolute, one parent).
    ComPtr<IDataObject> ShellData(const std::vector<LPCITEMIDLIST>& lists) {
        ComPtr<IShellFolder> parent;
        LPCITEMIDLIST child = nullptr;
        EXPECT_EQ(SHBindToParent(lists[0], IID_PPV_ARGS(&parent), &child), S_OK);
        std::vector<LPCITEMIDLIST> children;
        for (LPCITEMIDLIST list : lists) children.push_back(ILFindLastID(list));
        ComPtr<IDataObject> data;
        EXPECT_EQ(parent->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()),
                                        children.data(), IID_IDataObject, nullptr,
                                        reinterpret_cast<void**>(data.GetAddressOf())),
                  S_OK);
        return data;
    }
    ComPtr<IShellExtInit> NewHandler() {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(library_.GetClassObject(CLSID_ModulePropertySheet, IID_PPV_ARGS(&factory)),
                  S_OK);
        ComPtr<IShellExtInit> handler;
        if (factory) EXPECT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&handler)), S_OK);
        return handler;
    }

    SubstituteModule module_;
    struct OleScope {
        OleScope() { OleInitialize(nullptr); }
        ~OleScope() { OleUninitialize(); }
    } ole_;
    LoadedExtension library_;
    ComPtr<IShellFolder> desktop_;
};

}  // namespace

TEST_F(ShellProperties, TheModuleFolderGetsItsPagesFromTheShellsDataObject) {
    module_.SetModel(L"ZR71");
    IdListHolder root = Parse(
        L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}");
    ComPtr<IDataObject> data = ShellData({root.get()});
    ASSERT_TRUE(data);
    ComPtr<IShellExtInit> handler = NewHandler();
    ASSERT_TRUE(handler);
    ASSERT_EQ(handler->Initialize(nullptr, data.Get(), nullptr), S_OK);
    ComPtr<IShellPropSheetExt> sheetExtension;
    ASSERT_EQ(handler.As(&sheetExtension), S_OK);
    EXPECT_EQ(sheetExtension->ReplacePage(0, &CollectSheetPage, 0), E_NOTIMPL);
    std::vector<HPROPSHEETPAGE> pages;
    ASSERT_EQ(sheetExtension->AddPages(&CollectSheetPage, reinterpret_cast<LPARAM>(&pages)), S_OK);
    ASSERT_EQ(pages.size(), 2u);
    handler.Reset();
    sheetExtension.Reset();
    data.Reset();
    // Explorer's sheet holds the pages alone now; they hold the handler.
    SheetDriver::Run(pages, [](HWND sheet) {
        EXPECT_EQ(SheetDriver::Text(SheetDriver::Page(sheet, 0), IDC_PROP_MODEL), L"ZR71");
        EXPECT_EQ(SendDlgItemMessageW(SheetDriver::Page(sheet, 1), IDC_PORT_LIST, LB_GETCOUNT, 0, 0),
                  4);
    });
}

TEST_F(ShellProperties, EverythingElseIsRefused) {
    IdListHolder root = Parse(
        L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}");
    IdListHolder pcDrive = Parse(L"C:\\");
    ComPtr<IShellExtInit> handler = NewHandler();
    ASSERT_TRUE(handler);
    // A drive of the PC keeps only its own pages.
    EXPECT_EQ(handler->Initialize(nullptr, ShellData({pcDrive.get()}).Get(), nullptr),
              E_INVALIDARG);
    // Two items at once.
    EXPECT_EQ(handler->Initialize(nullptr, ShellData({root.get(), pcDrive.get()}).Get(), nullptr),
              E_INVALIDARG);
    // No "Shell IDList Array" at all: text on the clipboard.
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, 8);
    SetClipboardData(CF_UNICODETEXT, text);
    CloseClipboard();
    ComPtr<IDataObject> clipboard;
    ASSERT_EQ(OleGetClipboard(&clipboard), S_OK);
    EXPECT_EQ(handler->Initialize(nullptr, clipboard.Get(), nullptr), E_UNEXPECTED);
    EXPECT_EQ(handler->Initialize(nullptr, nullptr, nullptr), E_UNEXPECTED);
    // A refused handler adds nothing.
    ComPtr<IShellPropSheetExt> sheetExtension;
    ASSERT_EQ(handler.As(&sheetExtension), S_OK);
    std::vector<HPROPSHEETPAGE> pages;
    EXPECT_EQ(sheetExtension->AddPages(&CollectSheetPage, reinterpret_cast<LPARAM>(&pages)), S_OK);
    EXPECT_TRUE(pages.empty());
}

// "Shell IDList Array" blocks made by hand and handed over through the
// clipboard's data object: only a block whose count, offsets and lists all
// fit it is read; any other is refused without reading past its end.
TEST_F(ShellProperties, MalformedShellBlocksAreRefused) {
    IdListHolder root = Parse(
        L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}");
    ASSERT_TRUE(root);
    IdListHolder parent(ILClone(root.get()));
    ASSERT_TRUE(ILRemoveLastID(parent.get()));
    LPCITEMIDLIST child = ILFindLastID(root.get());
    const UINT parentSize = ILGetSize(parent.get()), childSize = ILGetSize(child);
    const DWORD header[] = {1, 12, 12 + parentSize};
    std::vector<BYTE> good(reinterpret_cast<const BYTE*>(header),
                           reinterpret_cast<const BYTE*>(header) + sizeof(header));
    good.insert(good.end(), reinterpret_cast<const BYTE*>(parent.get()),
                reinterpret_cast<const BYTE*>(parent.get()) + parentSize);
    good.insert(good.end(), reinterpret_cast<const BYTE*>(child),
                reinterpret_cast<const BYTE*>(child) + childSize);
    const size_t childAt = 12 + parentSize;

    auto initialize = [&](const std::vector<BYTE>& bytes) {
        EXPECT_TRUE(OpenClipboard(nullptr));
        EmptyClipboard();
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        memcpy(GlobalLock(block), bytes.data(), bytes.size());
        GlobalUnlock(block);
        SetClipboardData(RegisterClipboardFormatW(CFSTR_SHELLIDLIST), block);
        CloseClipboard();
        ComPtr<IDataObject> data;
        EXPECT_EQ(OleGetClipboard(&data), S_OK);
        ComPtr<IShellExtInit> handler = NewHandler();
        HRESULT hr = handler && data ? handler->Initialize(nullptr, data.Get(), nullptr) : E_FAIL;
        return hr;
    };
    EXPECT_EQ(initialize(good), S_OK) << "the well-formed block";

    const struct {
        const char* what;
        size_t at;      // SIZE_MAX: no change
        DWORD value;    // a DWORD, or a USHORT when `word` is set
        bool word;
        size_t size;    // 0: the whole block
    } cases[] = {
        {"shorter than its count", SIZE_MAX, 0, false, 2},
        {"only the count", SIZE_MAX, 0, false, 4},
        {"no room for the item's offset", SIZE_MAX, 0, false, 8},
        {"parent's offset far past the end", 4, 0x7FFFFFF0, false, 0},
        {"item's offset far past the end", 8, 0x7FFFFFF0, false, 0},
        {"item's offset just past the end", 8, static_cast<DWORD>(good.size()), false, 0},
        {"item's list without its terminator", SIZE_MAX, 0, false, good.size() - 2},
        {"item's list running past the end", childAt, 0x7FF0, true, 0},
        {"parent's list running past the end", 12, 0xFFF0, true, 0},
    };
    for (const auto& c : cases) {
        std::vector<BYTE> bytes = good;
        if (c.at != SIZE_MAX) {
            if (c.word) {
                const USHORT word = static_cast<USHORT>(c.value);
                memcpy(&bytes[c.at], &word, sizeof(word));
            } else {
                memcpy(&bytes[c.at], &c.value, sizeof(c.value));
            }
        }
        if (c.size) bytes.resize(c.size);
        EXPECT_EQ(initialize(bytes), E_INVALIDARG) << c.what;
    }
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
}

TEST_F(ShellProperties, RegistrationWritesAndRemovesExactlyItsEntries) {
    const std::wstring classKey = std::wstring(L"Software\\Classes\\CLSID\\") + kHandlerClass;
    const std::wstring driveKey = std::wstring(kDriveHandlers) + L"\\" + kHandlerClass;
    ASSERT_EQ(RunRegsvr32(true), 0u);
    const bool driveHandlersBefore = KeyExists(HKEY_LOCAL_MACHINE, kDriveHandlers);
    const bool driveShellexBefore = KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Drive\\shellex");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, classKey));

    ASSERT_EQ(RunRegsvr32(false), 0u);
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, classKey), L"Module PropertySheetHandler");
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, classKey + L"\\InprocServer32"),
              ExtensionLibraryPath());
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, classKey + L"\\InprocServer32", L"ThreadingModel"),
              L"Apartment");
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, driveKey));
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kApprovedKey, kHandlerClass),
              L"Module PropertySheetHandler");
    // The module folder names the handler as its own.
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT,
                          std::wstring(L"CLSID\\{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}\\shellex\\"
                                       L"PropertySheetHandlers\\") + kHandlerClass));

    ASSERT_EQ(RunRegsvr32(true), 0u);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, classKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, driveKey));
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kApprovedKey, kHandlerClass), L"<missing>");
    EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, kDriveHandlers), driveHandlersBefore);
    EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Drive\\shellex"),
              driveShellexBefore);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kApprovedKey));

    // Leave the prefix registered for the other tests.
    ASSERT_EQ(RunRegsvr32(false), 0u);
}
