// The property-sheet handler in real property sheets against the substitute
// server on a fresh copy of the sample module: what each page shows, what
// apply changes on the module, and what it refuses.
#include <windows.h>
#include <commctrl.h>
#include <wrl/client.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/formatting.h"
#include "common/holders.h"
#include "common/module_count.h"
#include "common/resource_module.h"
#include "handlers/module_properties.h"
#include "handlers/property_sheet_handler.h"
#include "handlers/selection_summary.h"
#include "handlers/settings_store.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "module_access/module_access.h"
#include "resources/handlers_ids.h"
#include "tests/handlers/sheet_driver.h"
#include "tests/support/prompt_recorder.h"
#include "tests/support/substitute_server.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kReadOnly = FILE_ATTRIBUTE_READONLY;
constexpr DWORD kHidden = FILE_ATTRIBUTE_HIDDEN;
constexpr DWORD kArchive = FILE_ATTRIBUTE_ARCHIVE;
constexpr DWORD kDirectory = FILE_ATTRIBUTE_DIRECTORY;

// Keeps the user's stored port as it was.
class SavedPortSetting {
public:
    SavedPortSetting() { had_ = ReadSettingString(L"Port", &value_); }
    ~SavedPortSetting() {
        if (had_) {
            WritePortSetting(value_);
        } else {
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKeyPath, L"Port");
        }
    }
    void Forget() { RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKeyPath, L"Port"); }

private:
    bool had_ = false;
    std::wstring value_;
};

class SheetPages : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module_.ok());
        ASSERT_EQ(EnterComThread(), S_OK);
        entered_ = true;
        ASSERT_EQ(CreateModuleAccess(&access_), S_OK);
    }
    void TearDown() override {
        access_.Reset();
        if (entered_) LeaveComThread();
        EXPECT_EQ(ModuleObjectCount(), 0) << "a handler or page outlived its sheet";
    }

    // A handler initialised as the module's own Properties command does it.
    ComPtr<PropertySheetHandler> Handler(const std::vector<LPCITEMIDLIST>& items,
                                         const wchar_t* folderPath = L"",
                                         HRESULT expected = S_OK) {
        ComPtr<PropertySheetHandler> handler;
        EXPECT_EQ(MakeComObject(handler.GetAddressOf()), S_OK);
        EXPECT_EQ(handler->InitializeWithItems(items.data(), static_cast<UINT>(items.size()),
                                               folderPath),
                  expected);
        return handler;
    }
    std::vector<HPROPSHEETPAGE> Pages(PropertySheetHandler* handler) {
        std::vector<HPROPSHEETPAGE> pages;
        EXPECT_EQ(handler->AddPages(&CollectSheetPage, reinterpret_cast<LPARAM>(&pages)), S_OK);
        return pages;
    }
    IdListHolder Item(const wchar_t* path) {
        IdListHolder item;
        EXPECT_EQ(GetItemRecord(path, access_.Get(), item.out()), S_OK);
        EXPECT_TRUE(item) << path;
        return item;
    }
    IdListHolder Drive(const wchar_t* path) {
        IdListHolder item;
        EXPECT_EQ(GetDriveItem(path, access_.Get(), item.out()), S_OK);
        return item;
    }
    DWORD Attributes(const wchar_t* path) { return ItemAttributes(Item(path).get()); }
    std::wstring Label(const wchar_t* drive) {
        UniqueBstr name(drive), label;
        EXPECT_EQ(access_->GetLabel(name.get(), label.out()), S_OK);
        return label.c_str();
    }

    SubstituteModule module_;
    PromptRecorder prompts_;
    ComPtr<ModuleAccess> access_;
    bool entered_ = false;
};

}  // namespace

TEST_F(SheetPages, ModuleFolderShowsItsModelAndThePortPage) {
    SavedPortSetting saved;
    WritePortSetting(L"com3");
    module_.SetModel(L"ZP03");
    auto handler = Handler({});
    auto pages = Pages(handler.Get());
    ASSERT_EQ(pages.size(), 2u);
    SheetDriver::Run(pages, [&](HWND sheet) {
        HWND info = SheetDriver::Page(sheet, 0);
        EXPECT_EQ(SheetDriver::Text(info, IDC_PROP_MODEL), L"ZP03");
        EXPECT_TRUE(SendDlgItemMessageW(info, IDC_PROP_ICON, STM_GETICON, 0, 0));
        HWND port = SheetDriver::Page(sheet, 1);
        EXPECT_EQ(SheetDriver::Text(port, IDC_PROP_NAME), L"Module");
        HWND list = GetDlgItem(port, IDC_PORT_LIST);
        EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 4);
        EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 2) << "the stored com3";
        EXPECT_EQ(SheetDriver::TabTitles(sheet).size(), 2u);
    });
}

TEST_F(SheetPages, PortListAndTheStoredSelection) {
    SavedPortSetting saved;
    const struct {
        const wchar_t* stored;   // null: no value
        DWORD mask;
        int entries;
        const wchar_t* selected;   // null: nothing selected
    } cases[] = {
        {L"com7", 0x7F, 7, L"COM7"},
        {L"COM40", 0xF, 4, L"COM1"},
        {nullptr, 0x5, 2, L"COM1"},
        {L"COM2", 0x1, 1, nullptr},
        {L"COM32", 0x80000001, 2, L"COM32"},
        {L"COM1", 0, 0, nullptr},
    };
    for (const auto& c : cases) {
        if (c.stored) WritePortSetting(c.stored); else saved.Forget();
        module_.SetPortMask(c.mask);
        auto handler = Handler({});
        auto pages = Pages(handler.Get());
        SheetDriver::Run(pages, [&](HWND sheet) {
            HWND list = GetDlgItem(SheetDriver::Page(sheet, 1), IDC_PORT_LIST);
            EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), c.entries) << c.mask;
            const LRESULT selected = SendMessageW(list, LB_GETCURSEL, 0, 0);
            if (!c.selected) {
                EXPECT_EQ(selected, LB_ERR) << c.mask;
                return;
            }
            wchar_t text[16] = {};
            SendMessageW(list, LB_GETTEXT, selected, reinterpret_cast<LPARAM>(text));
            EXPECT_STREQ(text, c.selected);
        });
    }
}

TEST_F(SheetPages, PortApplyWritesTheSettingAndTellsTheServer) {
    SavedPortSetting saved;
    WritePortSetting(L"COM1");
    auto handler = Handler({});
    auto pages = Pages(handler.Get());
    SheetDriver::Run(pages, [&](HWND sheet) {
        HWND port = SheetDriver::Page(sheet, 1);
        HWND list = GetDlgItem(port, IDC_PORT_LIST);
        SendMessageW(list, LB_SETCURSEL, 2, 0);
        SendMessageW(port, WM_COMMAND, MAKEWPARAM(IDC_PORT_LIST, LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
        EXPECT_EQ(handler->changedPages, 2u);
        EXPECT_TRUE(SheetDriver::Apply(sheet));
        EXPECT_EQ(handler->changedPages, 0u);
    });
    EXPECT_EQ(PortName(ReadPortIndex()), L"COM3");
    EXPECT_EQ(module_.CallCount(L"SetPort"), 1u);
    EXPECT_EQ(prompts_.Count(), 0u);
}

TEST_F(SheetPages, PortApplyRefusals) {
    SavedPortSetting saved;
    WritePortSetting(L"COM1");
    // No ports at all: apply asks for one and the page stays.
    module_.SetPortMask(0);
    auto handler = Handler({});
    auto pages = Pages(handler.Get());
    SheetDriver::Run(pages, [&](HWND sheet) {
        HWND port = SheetDriver::Page(sheet, 1);
        SendMessageW(port, WM_COMMAND, MAKEWPARAM(IDC_PORT_LIST, LBN_SELCHANGE), 0);
        EXPECT_FALSE(SheetDriver::Apply(sheet));
        EXPECT_EQ(PropSheet_GetCurrentPageHwnd(sheet), port);
    });
    ASSERT_EQ(prompts_.Count(), 1u);
    EXPECT_EQ(prompts_.Last().text, L"Please select a port.");
    EXPECT_EQ(prompts_.Last().caption, L"Module");
    EXPECT_EQ(prompts_.Last().flags & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_EQ(module_.CallCount(L"SetPort"), 0u);

    // The server refuses the port: the page stays, without a message of its own.
    module_.SetPortMask(0xF);
    handler = Handler({});
    pages = Pages(handler.Get());
    SheetDriver::Run(pages, [&](HWND sheet) {
        HWND port = SheetDriver::Page(sheet, 1);
        HWND list = GetDlgItem(port, IDC_PORT_LIST);
        SendMessageW(list, LB_SETCURSEL, 3, 0);
        SendMessageW(port, WM_COMMAND, MAKEWPARAM(IDC_PORT_LIST, LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
        module_.SetPortMask(0x1);
        EXPECT_FALSE(SheetDriver::Apply(sheet));
        EXPECT_EQ(handler->changedPages, 2u);
    });
    EXPECT_EQ(prompts_.Count(), 1u);
}

TEST_F(SheetPages, DrivePageFiguresAndLabels) {
    // B's label emptied on the module; Q: does not exist, so its label cannot be read.
    UniqueBstr b(L"B:"), empty(L"");
    ASSERT_EQ(access_->SetLabel(b.get(), empty.get()), S_OK);
    IdListHolder a = Drive(L"\\A:"), bDrive = Drive(L"\\B:");
    IdListHolder q(MakeDriveItem(L"\\Q:", 0, 0));
    auto handler = Handler({a.get(), bDrive.get(), q.get()});
    auto pages = Pages(handler.Get());
    ASSERT_EQ(pages.size(), 3u);
    const uint64_t capacity = ItemSize(a.get());
    ASSERT_EQ(capacity, 4194304u);
    SheetDriver::Run(pages, [&](HWND sheet) {
        const std::wstring disk = L"Module Disk";
        EXPECT_EQ(SheetDriver::TabTitles(sheet),
                  (std::vector<std::wstring>{disk + L" A:", disk + L" B:", disk + L" Q:"}));
        HWND pageA = SheetDriver::Page(sheet, 0);
        EXPECT_EQ(SheetDriver::Text(pageA, IDC_DRIVE_LABEL), L"PHONE");
        EXPECT_TRUE(SheetDriver::Enabled(pageA, IDC_DRIVE_LABEL));
        EXPECT_TRUE(SheetDriver::Enabled(pageA, IDC_PROP_NAME));
        // The files on A: take 236,072 bytes.
        EXPECT_EQ(SheetDriver::Text(pageA, IDC_DRIVE_CAPACITY_BYTES), L"4,194,304 Bytes");
        EXPECT_EQ(SheetDriver::Text(pageA, IDC_DRIVE_CAPACITY), L"4 MB");
        EXPECT_EQ(SheetDriver::Text(pageA, IDC_DRIVE_FREE_BYTES), L"3,958,232 Bytes");
        EXPECT_EQ(SheetDriver::Text(pageA, IDC_DRIVE_FREE), L"3.77 MB");
        EXPECT_EQ(SheetDriver::Text(pageA, IDC_DRIVE_USED_BYTES), L"236,072 Bytes");
        EXPECT_EQ(SheetDriver::Text(pageA, IDC_DRIVE_USED), L"230 KB");
        EXPECT_EQ(handler->changedPages, 0u) << "filling the label is no change";

        HWND pageB = SheetDriver::Page(sheet, 1);
        EXPECT_EQ(SheetDriver::Text(pageB, IDC_DRIVE_LABEL), L"");
        EXPECT_TRUE(SheetDriver::Enabled(pageB, IDC_DRIVE_LABEL)) << "an empty label is a label";

        HWND pageQ = SheetDriver::Page(sheet, 2);
        EXPECT_EQ(SheetDriver::Text(pageQ, IDC_DRIVE_LABEL), L"");
        EXPECT_FALSE(SheetDriver::Enabled(pageQ, IDC_DRIVE_LABEL));
        EXPECT_FALSE(SheetDriver::Enabled(pageQ, IDC_PROP_NAME));
        // Capacity 0: the template's texts stay.
        EXPECT_EQ(SheetDriver::Text(pageQ, IDC_DRIVE_CAPACITY), L"");
        EXPECT_NE(SheetDriver::Text(pageQ, IDC_DRIVE_CAPACITY_BYTES), L"");
    });
}

// Each legend square is drawn by the page itself: its colour fills the whole
// control, corners included, and nothing outside it is touched.
TEST_F(SheetPages, LegendSquaresAreTheirColourEdgeToEdge) {
    IdListHolder a = Drive(L"\\A:");
    auto handler = Handler({a.get()});
    auto pages = Pages(handler.Get());
    ASSERT_EQ(pages.size(), 1u);
    SheetDriver::Run(pages, [&](HWND sheet) {
        HWND page = SheetDriver::Page(sheet, 0);
        const struct {
            int id;
            COLORREF colour;
        } squares[] = {{IDC_DRIVE_USED_SQUARE, RGB(0, 0, 255)},
                       {IDC_DRIVE_FREE_SQUARE, RGB(255, 0, 255)}};
        for (const auto& square : squares) {
            SCOPED_TRACE(square.id);
            HDC dc = CreateCompatibleDC(nullptr);
            BITMAPINFO info = {};
            info.bmiHeader.biSize = sizeof(info.bmiHeader);
            info.bmiHeader.biWidth = 16;
            info.bmiHeader.biHeight = -12;
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = 32;
            void* bits = nullptr;
            HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
            ASSERT_TRUE(bitmap);
            HGDIOBJ old = SelectObject(dc, bitmap);
            RECT all = {0, 0, 16, 12};
            FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            DRAWITEMSTRUCT item = {};
            item.CtlType = ODT_STATIC;
            item.CtlID = square.id;
            item.itemAction = ODA_DRAWENTIRE;
            item.hwndItem = GetDlgItem(page, square.id);
            item.hDC = dc;
            item.rcItem = {2, 2, 14, 10};
            SendMessageW(page, WM_DRAWITEM, square.id, reinterpret_cast<LPARAM>(&item));
            for (POINT inside : {POINT{2, 2}, POINT{13, 2}, POINT{2, 9}, POINT{13, 9}, POINT{7, 5}})
                EXPECT_EQ(GetPixel(dc, inside.x, inside.y), square.colour)
                    << inside.x << "," << inside.y;
            for (POINT outside : {POINT{1, 1}, POINT{14, 10}, POINT{7, 1}, POINT{7, 10}})
                EXPECT_EQ(GetPixel(dc, outside.x, outside.y), RGB(255, 255, 255))
                    << outside.x << "," << outside.y;
            SelectObject(dc, old);
            DeleteObject(bitmap);
            DeleteDC(dc);
        }
    });
}

TEST_F(SheetPages, TwelveDrivesGiveTenPages) {
    std::vector<IdListHolder> drives;
    std::vector<LPCITEMIDLIST> items;
    for (wchar_t letter = L'A'; letter < L'A' + 12; ++letter) {
        const wchar_t path[] = {L'\\', letter, L':', 0};
        drives.emplace_back(MakeDriveItem(path, 1000, 10));
        items.push_back(drives.back().get());
    }
    auto handler = Handler(items);
    auto pages = Pages(handler.Get());
    EXPECT_EQ(pages.size(), 10u);
    SheetDriver::Run(pages, [&](HWND sheet) {
        auto titles = SheetDriver::TabTitles(sheet);
        ASSERT_EQ(titles.size(), 10u);
        EXPECT_EQ(titles[9], L"Module Disk J:");
    });
}

TEST_F(SheetPages, LabelApplyAndRefusal) {
    IdListHolder a = Drive(L"\\A:");
    auto handler = Handler({a.get()});
    auto pages = Pages(handler.Get());
    SheetDriver::Run(pages, [&](HWND sheet) {
        HWND page = SheetDriver::Page(sheet, 0);
        SetDlgItemTextW(page, IDC_DRIVE_LABEL, L"WORK");
        EXPECT_EQ(handler->changedPages, 1u);
        EXPECT_TRUE(SheetDriver::Apply(sheet));
        EXPECT_EQ(handler->changedPages, 0u);

        module_.FailNthCall(L"SetLabel", 1, E_FAIL, 1, L"The label is refused.");
        SetDlgItemTextW(page, IDC_DRIVE_LABEL, L"BAD*LABEL");
        EXPECT_FALSE(SheetDriver::Apply(sheet));
        EXPECT_EQ(handler->changedPages, 1u) << "the page keeps its change";
    });
    EXPECT_EQ(Label(L"A:"), L"WORK");
    ASSERT_EQ(prompts_.Count(), 1u);
    EXPECT_EQ(prompts_.Last().caption, L"General");
    EXPECT_NE(prompts_.Last().text.find(L"The label is refused."), std::wstring::npos);
}

TEST_F(SheetPages, OneFileShowsItsSevenFields) {
    IdListHolder photo = Item(L"\\A:\\Data\\Photo.jpg");
    auto handler = Handler({photo.get()});
    auto pages = Pages(handler.Get());
    ASSERT_EQ(pages.size(), 1u);
    SheetDriver::Run(pages, [&](HWND sheet) {
        HWND page = SheetDriver::Page(sheet, 0);
        EXPECT_EQ(SheetDriver::Text(page, IDC_PROP_NAME), L"Photo.jpg");
        const struct {
            int id;
            std::wstring text;
        } fields[] = {
            {IDC_PROP_TYPE, ItemTypeName(photo.get())},
            {IDC_PROP_LOCATION, ItemLocation(photo.get())},
            {IDC_PROP_SIZE, L"60 KB (61,440 Bytes)"},
            {IDC_PROP_SHORT_NAME, L"PHOTO.JPG"},
            {IDC_PROP_CREATED, L"Friday, July 14, 2006, 1:37:00 PM"},
            {IDC_PROP_MODIFIED, L"Friday, July 14, 2006, 1:37:00 PM"},
            {IDC_PROP_ACCESSED, L"Saturday, July 15, 2006, 9:00:00 AM"},
        };
        for (const auto& f : fields) {
            EXPECT_EQ(SheetDriver::Text(page, f.id), f.text) << f.id;
            EXPECT_FALSE(f.text.empty()) << f.id;
        }
        EXPECT_EQ(IsDlgButtonChecked(page, IDC_ATTR_ARCHIVE), static_cast<UINT>(BST_CHECKED));
        EXPECT_EQ(IsDlgButtonChecked(page, IDC_ATTR_READONLY), static_cast<UINT>(BST_UNCHECKED));
    });
}

TEST_F(SheetPages, OneFolderCountsItsContentsRecursively) {
    IdListHolder data = Item(L"\\A:\\Data");
    auto handler = Handler({data.get()});
    const SheetSelection& s = handler->selection();
    EXPECT_EQ(s.fileCount, 7u);
    EXPECT_EQ(s.folderCount, 3u) << "Archive, Deep and Empty Folder, not Data itself";
    EXPECT_EQ(s.totalSize, 91389u);
    auto pages = Pages(handler.Get());
    SheetDriver::Run(pages, [&](HWND sheet) {
        HWND page = SheetDriver::Page(sheet, 0);
        EXPECT_EQ(SheetDriver::Text(page, IDC_PROP_CONTAINS), L"7 Files, 3 Folders");
        EXPECT_EQ(SheetDriver::Text(page, IDC_PROP_SIZE), L"89.2 KB (91,389 Bytes)");
        EXPECT_EQ(SheetDriver::Text(page, IDC_PROP_CREATED), L"Thursday, January 12, 2006, 9:15:10 AM");
    });
}

TEST_F(SheetPages, MixedReadOnlyIsIndeterminateAndApplyChangesNothing) {
    IdListHolder readOnly = Item(L"\\A:\\Read Me First.txt"), writable = Item(L"\\A:\\Data\\Notes.txt");
    auto handler = Handler({readOnly.get(), writable.get()});
    const SheetSelection& s = handler->selection();
    EXPECT_EQ(s.locationText, L"Various folders");
    EXPECT_EQ(s.typeText, L"All of type " + ItemTypeName(writable.get()));
    auto pages = Pages(handler.Get());
    SheetDriver::Run(pages, [&](HWND sheet) {
        HWND page = SheetDriver::Page(sheet, 0);
        EXPECT_EQ(SheetDriver::Text(page, IDC_PROP_NAME), L"2 Files, 0 Folders");
        EXPECT_EQ(IsDlgButtonChecked(page, IDC_ATTR_READONLY),
                  static_cast<UINT>(BST_INDETERMINATE));
        EXPECT_EQ(IsDlgButtonChecked(page, IDC_ATTR_ARCHIVE), static_cast<UINT>(BST_CHECKED));
        EXPECT_EQ(IsDlgButtonChecked(page, IDC_ATTR_HIDDEN), static_cast<UINT>(BST_UNCHECKED));
        // Hidden on and off again: a change, but nothing differs.
        SheetDriver::Click(page, IDC_ATTR_HIDDEN);
        SheetDriver::Click(page, IDC_ATTR_HIDDEN);
        EXPECT_EQ(handler->changedPages, 1u);
        EXPECT_TRUE(SheetDriver::Apply(sheet));
    });
    EXPECT_EQ(module_.CallCount(L"SetAttributes"), 0u);
    EXPECT_EQ(Attributes(L"\\A:\\Read Me First.txt"), kReadOnly | kArchive);
    EXPECT_EQ(Attributes(L"\\A:\\Data\\Notes.txt"), kArchive);
}

TEST_F(SheetPages, AttributeApplySetsOnlyWhatDiffers) {
    IdListHolder notes = Item(L"\\A:\\Data\\Notes.txt"), archive = Item(L"\\A:\\Data\\Archive");
    auto handler = Handler({notes.get(), archive.get()});
    EXPECT_EQ(handler->selection().fileCount, 3u);
    EXPECT_EQ(handler->selection().folderCount, 2u) << "Archive itself counts among several";
    auto pages = Pages(handler.Get());
    SheetDriver::Run(pages, [&](HWND sheet) {
        HWND page = SheetDriver::Page(sheet, 0);
        SheetDriver::Click(page, IDC_ATTR_HIDDEN);
        EXPECT_TRUE(SheetDriver::Apply(sheet));
        // Again without a change: nothing is sent.
        EXPECT_TRUE(SheetDriver::Apply(sheet));
    });
    EXPECT_EQ(module_.CallCount(L"SetAttributes"), 2u);
    EXPECT_EQ(Attributes(L"\\A:\\Data\\Notes.txt"), kArchive | kHidden);
    EXPECT_EQ(Attributes(L"\\A:\\Data\\Archive"), kDirectory | kHidden);
}

TEST_F(SheetPages, FailedInitialisationAddsNoPages) {
    IdListHolder gone(MakeItemId(L"\\A:\\Data\\Gone.txt", L"GONE.TXT", 1, 0x20, 0, 0, 0));
    auto handler = Handler({gone.get()}, L"", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(Pages(handler.Get()).empty());
    handler = Handler({}, L"\\A:\\Nowhere", HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(Pages(handler.Get()).empty());
    // A drive path alone stands for the drive.
    handler = Handler({}, L"\\B:");
    EXPECT_EQ(handler->selection().labels[0], L"CARD");
}

TEST_F(SheetPages, OwnSheetOnItsOwnThread) {
    IdListHolder a = Drive(L"\\A:"), photo = Item(L"\\A:\\Data\\Photo.jpg");
    const std::wstring disk = L"Module Disk";
    LPCITEMIDLIST several[] = {photo.get(), a.get()};
    EXPECT_EQ(ModulePropertiesCaption(nullptr, 0, L""), L"Module");
    EXPECT_EQ(ModulePropertiesCaption(nullptr, 0, L"\\B:"), disk + L" B:");
    EXPECT_EQ(ModulePropertiesCaption(several, 2, L"\\A:\\Data"), L"Photo.jpg, ...");

    ModulePropertiesSheet opened;
    ASSERT_EQ(ShowModuleProperties(several, 1, L"\\A:\\Data", &opened), S_OK);
    ASSERT_TRUE(opened.sheet);
    EXPECT_NE(WindowText(opened.sheet).find(L"Photo.jpg"), std::wstring::npos);
    HWND page = PropSheet_GetCurrentPageHwnd(opened.sheet);
    EXPECT_EQ(WindowText(GetDlgItem(page, IDC_PROP_SHORT_NAME)), L"PHOTO.JPG");
    EXPECT_EQ(GetWindowThreadProcessId(opened.sheet, nullptr) == GetCurrentThreadId(), false);
    PostMessageW(opened.sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    EXPECT_EQ(WaitForSingleObject(opened.thread, 20000), WAIT_OBJECT_0);
    CloseHandle(opened.thread);

    // A selection that cannot be read brings no sheet.
    IdListHolder gone(MakeItemId(L"\\A:\\Gone", L"GONE", 0, 0x10, 0, 0, 0));
    LPCITEMIDLIST missing[] = {gone.get()};
    EXPECT_TRUE(FAILED(ShowModuleProperties(missing, 1, L"\\A:", &opened)));
    EXPECT_EQ(opened.sheet, nullptr);
    if (opened.thread) {
        WaitForSingleObject(opened.thread, 20000);
        CloseHandle(opened.thread);
    }
}
