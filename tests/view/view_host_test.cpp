// The view against the real servers and the real host: the substitute module
// server (out of process) and the platform's explorer browser control,
// which binds the library's Module folder through COM and asks it for its
// view like Explorer does.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/resource_module.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "item_id/module_item_id.h"
#include "view/view_settings.h"
#include "resources/string_ids.h"
#include "tests/support/extension_library.h"
#include "testing/substitute_server.h"
#include "tests/support/test_shell_browser.h"
#include "view/module_view.h"
#include "view/search_results_host.h"
#include "view/view_columns.h"

using Microsoft::WRL::ComPtr;
using testing::ElementsAreArray;

namespace {

const wchar_t kModuleFolderPath[] =
    L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}";

// Dispatches messages until `done` holds or the time is up.
bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds = 10000) {
    for (DWORD start = GetTickCount(); !done(); TestShellBrowser::PumpMessages()) {
        if (GetTickCount() - start > milliseconds) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

HWND FindList(HWND parent) {
    HWND found = nullptr;
    EnumChildWindows(
        parent,
        [](HWND window, LPARAM param) -> BOOL {
            wchar_t name[64];
            GetClassNameW(window, name, ARRAYSIZE(name));
            if (lstrcmpiW(name, WC_LISTVIEWW) != 0) return TRUE;
            *reinterpret_cast<HWND*>(param) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// What the view should show for a module folder: its listing without what
// Explorer's settings hide, folders first, then by name.
std::vector<std::wstring> ExpectedNames(ModuleAccess* access, const wchar_t* folder) {
    std::vector<IdListHolder> items;
    std::vector<std::pair<bool, std::wstring>> rows;
    if (FAILED(ListItems(folder, &items, access, false))) return {};
    for (const IdListHolder& listed : items) {
        LPCITEMIDLIST item = listed.get();
        if (!ItemGetsRow(ItemAttributes(item), 0, ShowHiddenItems() != 0, ShowSystemItems() != 0,
                         ShowSuperHiddenItems() != 0))
            continue;
        rows.push_back({(ItemAttributes(item) & FILE_ATTRIBUTE_DIRECTORY) == 0, ItemName(item)});
    }
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first) return !a.first;
        return lstrcmpiW(a.second.c_str(), b.second.c_str()) < 0;
    });
    std::vector<std::wstring> names;
    for (auto& row : rows) names.push_back(row.second);
    return names;
}

// The substitute server, the library registered in the prefix, and a
// top-level window that hosts what the test shows.
class ViewWithServers : public testing::Test {
protected:
    void SetUp() override {
        OleInitialize(nullptr);
        EnterComThread();
        ASSERT_TRUE(module_.ok());
        ASSERT_EQ(0u, RunRegsvr32(false));
        ASSERT_HRESULT_SUCCEEDED(module_.Create(&access_));
        frame_ = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr,
                                 nullptr, nullptr);
        ASSERT_TRUE(frame_);
    }
    void TearDown() override {
        if (browser_) browser_->Destroy();
        browser_.Reset();
        if (frame_) DestroyWindow(frame_);
        RunRegsvr32(true);
        access_.Reset();
        LeaveComThread();
        OleUninitialize();
    }

    // The list of the browser's current view once it shows `id`'s list.
    HWND WaitForList(int id) {
        HWND list = nullptr;
        PumpUntil([&] {
            list = FindList(frame_);
            return list && GetDlgCtrlID(list) == id && ListView_GetItemCount(list) > 0;
        });
        return list;
    }

    SubstituteModule module_;
    ComPtr<ModuleAccess> access_;
    HWND frame_ = nullptr;
    ComPtr<IExplorerBrowser> browser_;   // for the tests that use the platform's browser
};

class ResultsHost : public SearchResultsHost {
public:
    ResultsHost(HWND window, const wchar_t* folder) : window_(window), folder_(folder) {}
    HWND ResultsOwnerWindow() override { return window_; }
    std::wstring ResultsFolderPath() override { return folder_; }

private:
    HWND window_;
    std::wstring folder_;
};

}  // namespace

TEST_F(ViewWithServers, ExplorerBrowserShowsTheModuleOpensFoldersAndFollowsOtherClients) {
    ASSERT_HRESULT_SUCCEEDED(
        CoCreateInstance(CLSID_ExplorerBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&browser_)));
    RECT rc = {0, 0, 780, 560};
    FOLDERSETTINGS settings = {FVM_DETAILS, FWF_AUTOARRANGE};
    ASSERT_HRESULT_SUCCEEDED(browser_->Initialize(frame_, &rc, &settings));
    PIDLIST_ABSOLUTE root = nullptr;
    ASSERT_HRESULT_SUCCEEDED(SHParseDisplayName(kModuleFolderPath, nullptr, &root, 0, nullptr));
    HRESULT hr = browser_->BrowseToIDList(root, SBSP_ABSOLUTE);
    CoTaskMemFree(root);
    ASSERT_HRESULT_SUCCEEDED(hr);

    // The drives, in the product's own list.
    HWND drives = WaitForList(ListControlId(ListKind::Root));
    ASSERT_TRUE(drives);
    std::wstring disk = Resources().LoadString(IDS_MODULE_DISK);
    EXPECT_THAT(ColumnTexts(drives, 0), ElementsAreArray({disk + L" (A:)", disk + L" (B:)"}));
    EXPECT_THAT(ColumnTexts(drives, 1), ElementsAreArray({disk, disk}));

    // Double-clicking a drive navigates into it.
    DoubleClickRow(drives, 0);
    HWND folder = WaitForList(ListControlId(ListKind::Folder));
    ASSERT_TRUE(folder);
    EXPECT_THAT(ColumnTexts(folder, 0), ElementsAreArray(ExpectedNames(access_.Get(), L"\\A:")));
    EXPECT_EQ(LVS_REPORT, GetWindowLongW(folder, GWL_STYLE) & LVS_TYPEMASK);

    // And a folder row into that folder.
    int data = RowOf(folder, L"Data");
    ASSERT_GE(data, 0);
    DoubleClickRow(folder, data);
    std::vector<std::wstring> expected = ExpectedNames(access_.Get(), L"\\A:\\Data");
    ASSERT_FALSE(expected.empty());
    HWND inner = nullptr;
    ASSERT_TRUE(PumpUntil([&] {
        inner = FindList(frame_);
        return inner && ColumnTexts(inner, 0) == expected;
    }));

    // Another client (this test's own server instance) adds and deletes.
    UniqueBstr fresh(L"\\A:\\Data\\Fresh");
    ASSERT_HRESULT_SUCCEEDED(access_->CreateFolder(fresh.get()));
    EXPECT_TRUE(PumpUntil([&] { return RowOf(FindList(frame_), L"Fresh") >= 0; }));
    UniqueBstr notes(L"\\A:\\Data\\Notes.txt");
    ASSERT_HRESULT_SUCCEEDED(access_->DeleteFile(notes.get()));
    EXPECT_TRUE(PumpUntil([&] { return RowOf(FindList(frame_), L"Notes.txt") < 0; }));
    expected = ExpectedNames(access_.Get(), L"\\A:\\Data");
    EXPECT_THAT(ColumnTexts(FindList(frame_), 0), ElementsAreArray(expected));

    // Every view the browser showed has let go of its sink.
    browser_->Destroy();
    browser_.Reset();
    EXPECT_EQ(0u, module_.CallCount(L"Advise") - module_.CallCount(L"Unadvise"));
}

TEST_F(ViewWithServers, SearchResultsTakeItemsOneByOneAndDropDeletedOnes) {
    ResultsHost host(frame_, L"\\A:\\Data");
    ComPtr<ModuleView> results;
    ASSERT_HRESULT_SUCCEEDED(ModuleView::Create(&results));
    ASSERT_HRESULT_SUCCEEDED(results->InitForSearch(&host));
    RECT area = {0, 0, 600, 300};
    ASSERT_HRESULT_SUCCEEDED(results->CreateResultsList(area));
    HWND list = results->ListWindow();
    ASSERT_TRUE(list);

    std::vector<IdListHolder> items;
    ASSERT_HRESULT_SUCCEEDED(ListItems(L"\\A:\\Data", &items, access_.Get(), false));
    const UINT count = static_cast<UINT>(items.size());
    ASSERT_GE(count, 3u);
    for (const IdListHolder& item : items) ASSERT_HRESULT_SUCCEEDED(results->AddItem(item.get()));
    EXPECT_EQ(E_POINTER, results->AddItem(nullptr));
    ASSERT_EQ(static_cast<int>(count), results->ItemCount());
    // Rows keep the order they came in; the "in folder" column has the folder.
    EXPECT_EQ(std::wstring(ItemName(items[0].get())), ColumnTexts(list, 0)[0]);
    EXPECT_EQ(L"A:\\Data", ColumnTexts(list, 1)[0]);

    // "D:" and a path removes that row; any other message is ignored.
    std::wstring gone = ItemPath(items[1].get());
    UniqueBstr message((L"D:" + gone).c_str());
    ASSERT_HRESULT_SUCCEEDED(results->ChangeSink()->OnChange(message.get()));
    EXPECT_EQ(static_cast<int>(count) - 1, results->ItemCount());
    EXPECT_EQ(-1, RowOf(list, ItemName(items[1].get())));
    UniqueBstr refresh(L"\\A:\\Data");
    results->ChangeSink()->OnChange(refresh.get());
    EXPECT_EQ(static_cast<int>(count) - 1, results->ItemCount());

    // A deletion by another client reaches the list through the server.
    UINT victim = 2;
    while (victim < count && (ItemAttributes(items[victim].get()) & FILE_ATTRIBUTE_DIRECTORY)) ++victim;
    ASSERT_LT(victim, count);
    UniqueBstr path(ItemPath(items[victim].get()));
    ASSERT_HRESULT_SUCCEEDED(access_->DeleteFile(path.get()));
    EXPECT_TRUE(PumpUntil([&] { return results->ItemCount() == static_cast<int>(count) - 2; }));
    EXPECT_EQ(-1, RowOf(list, ItemName(items[victim].get())));

    results->DestroyViewWindow();
}
