// The search window on its own thread against the substitute server, driven
// through its own messages: the criteria pages, Start and Stop, New Search,
// loading and saving searches, the options and the name history.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/module_count.h"
#include "common/resource_module.h"
#include "module_access/module_access.h"
#include "item_id/module_item_id.h"
#include "resources/search_ids.h"
#include "resources/string_ids.h"
#include "search/file_types.h"
#include "search/search_criteria.h"
#include "search/search_dialogs.h"
#include "search/search_settings.h"
#include "search/search_window.h"
#include "tests/support/extension_library.h"
#include "testing/fake_module_access.h"
#include "tests/support/prompt_recorder.h"
#include "testing/substitute_server.h"

namespace {

std::wstring Text(UINT id) { return Resources().LoadString(id); }

std::wstring WindowText(HWND window) {
    wchar_t text[1024] = L"";
    // Cross-thread: WM_GETTEXT reaches the window's thread.
    SendMessageW(window, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text));
    return text;
}

struct FindState {
    int id;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK FindChild(HWND child, LPARAM param) {
    auto* state = reinterpret_cast<FindState*>(param);
    wchar_t name[64] = L"";
    GetClassNameW(child, name, ARRAYSIZE(name));
    if ((state->id && GetDlgCtrlID(child) == state->id && !state->className) ||
        (state->className && lstrcmpiW(name, state->className) == 0 && IsWindowVisible(child))) {
        state->found = child;
        return FALSE;
    }
    return TRUE;
}

HWND Control(HWND window, int id) {
    FindState state = {id, nullptr, nullptr};
    EnumChildWindows(window, FindChild, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

HWND ResultsList(HWND window) {
    FindState state = {0, WC_LISTVIEWW, nullptr};
    EnumChildWindows(window, FindChild, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

int ResultCount(HWND window) {
    HWND list = ResultsList(window);
    return list ? static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) : -1;
}

std::vector<std::wstring> ResultNames(HWND window) {
    std::vector<std::wstring> names;
    HWND list = ResultsList(window);
    int count = list ? static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
    for (int row = 0; row < count; ++row) {
        wchar_t text[MAX_PATH] = L"";
        LVITEMW item = {};
        item.iSubItem = 0;
        item.pszText = text;
        item.cchTextMax = ARRAYSIZE(text);
        SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        names.push_back(text);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::wstring StatusText(HWND window) {
    HWND status = GetDlgItem(window, IDC_SEARCH_STATUS_BAR);
    if (!status) return L"<none>";
    wchar_t text[512] = L"";
    // The window writes its texts to the simple part and to part 0 alike;
    // part 0 reads back on every platform.
    SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

void Command(HWND window, UINT id) { SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

void SetText(HWND window, int id, const std::wstring& text) {
    SendMessageW(Control(window, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool MenuChecked(HWND window, UINT id) {
    return (GetMenuState(GetMenu(window), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

std::wstring TempPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

// Keeps the user's search settings as they were.
class SavedSettings {
public:
    SavedSettings() : history_(ReadNameHistory()), saveResult_(ReadSaveResultSetting()) {}
    ~SavedSettings() {
        StoreNameHistory(history_);
        StoreSaveResultSetting(saveResult_);
    }

private:
    std::vector<std::wstring> history_;
    bool saveResult_;
};

// Answers the file dialogs with scripted paths.
class ScriptedFileDialogs : public SearchDialogAnswerer {
public:
    ScriptedFileDialogs() { previous_ = SetSearchDialogAnswerer(this); }
    ~ScriptedFileDialogs() { SetSearchDialogAnswerer(previous_); }
    bool Answer(const SearchFileRequest& request, std::wstring* path) override {
        std::lock_guard<std::mutex> lock(mutex_);
        requests.push_back(request);
        if (answers.empty()) return false;
        *path = answers.front();
        answers.erase(answers.begin());
        return true;
    }
    std::vector<std::wstring> answers;
    std::vector<SearchFileRequest> requests;

private:
    std::mutex mutex_;
    SearchDialogAnswerer* previous_ = nullptr;
};

// A search file of the given criteria and items (text form).
void WriteSearchFile(const std::wstring& path, const SearchCriteria& criteria,
                     const std::vector<std::wstring>& items) {
    struct Items : SearchResultItems {
        std::vector<LPITEMIDLIST> lists;
        size_t ResultCount() const override { return lists.size(); }
        LPCITEMIDLIST ResultAt(size_t i) const override { return lists[i]; }
    } results;
    for (const std::wstring& text : items) results.lists.push_back(ItemFromText(text));
    ASSERT_HRESULT_SUCCEEDED(criteria.Save(path.c_str(), &results));
    for (LPITEMIDLIST list : results.lists) ShellFree(list);
}

const wchar_t kNotesItem[] = L"\\A:\\Data\\Notes.txt|NOTES.TXT|12|32|2006/11/19/21/0/0/0|0/0/0/0/0/0/0|2006/11/19/21/5/0/0";
const wchar_t kPhotoItem[] = L"\\A:\\Data\\Photo.jpg|PHOTO.JPG|99|32|2006/7/14/13/37/0/0|0/0/0/0/0/0/0|2006/7/14/13/37/0/0";

class SearchWindowTest : public testing::Test {
protected:
    // The results list lives under "Module" in My Computer, as in Explorer.
    static void SetUpTestSuite() { ASSERT_EQ(RunRegsvr32(false), 0u); }
    static void TearDownTestSuite() { RunRegsvr32(true); }
    void SetUp() override {
        ASSERT_TRUE(module_.ok());
        baseline_ = ModuleObjectCount();
    }
    void TearDown() override {
        for (HWND window : windows_) {
            if (IsWindow(window)) PostMessageW(window, WM_CLOSE, 0, 0);
        }
        WaitClosed();
        // Each window's thread holds the library until its last instruction.
        for (int i = 0; i < 500 && ModuleObjectCount() != baseline_; ++i) Sleep(10);
        EXPECT_EQ(ModuleObjectCount(), baseline_) << "a search window or its objects outlived the test";
    }
    HWND Open(const std::wstring& file = std::wstring(), const std::wstring& lookIn = std::wstring()) {
        HWND window = nullptr;
        HRESULT hr = OpenSearchWindow(file, lookIn, &window);
        EXPECT_EQ(hr, S_OK);
        if (window) windows_.push_back(window);
        return window;
    }
    static void WaitClosed() {
        for (int i = 0; i < 500 && OpenSearchWindowCount() > 0; ++i) Sleep(10);
        EXPECT_EQ(OpenSearchWindowCount(), 0);
    }
    static void Close(HWND window) {
        SendMessageW(window, WM_CLOSE, 0, 0);
        WaitClosed();
    }

    SubstituteModule module_;
    SavedSettings settings_;
    PromptRecorder prompts_;
    std::vector<HWND> windows_;
    LONG baseline_ = 0;
};

}  // namespace

TEST_F(SearchWindowTest, OpensWithItsDefaultsAndClosesOnItsThread) {
    HWND window = Open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(OpenSearchWindowCount(), 1);
    EXPECT_GT(ModuleObjectCount(), baseline_) << "an open window holds the library";
    EXPECT_EQ(WindowText(window), Text(IDS_SEARCH_TITLE) + L" " + Text(IDS_SEARCH_DESC_ALL_FILES));
    EXPECT_EQ(SendMessageW(Control(window, IDC_SEARCH_TABS), TCM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(IsDlgButtonChecked(GetParent(Control(window, IDC_SEARCH_SUBFOLDERS)), IDC_SEARCH_SUBFOLDERS),
              BST_CHECKED);
    EXPECT_EQ(WindowText(Control(window, IDC_SEARCH_LOOK_IN)), Text(IDS_MODULE));
    // Look in: the module, then its drives.
    HWND lookIn = Control(window, IDC_SEARCH_LOOK_IN);
    EXPECT_EQ(SendMessageW(lookIn, CB_GETCOUNT, 0, 0), 3);
    EXPECT_TRUE(IsWindowEnabled(Control(window, IDC_SEARCH_START)));
    EXPECT_FALSE(IsWindowEnabled(Control(window, IDC_SEARCH_STOP)));
    EXPECT_EQ(ResultsList(window), nullptr);
    EXPECT_EQ(GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId(), false);
    // Ctrl+Tab's command moves through the pages and wraps round.
    HWND tabs = Control(window, IDC_SEARCH_TABS);
    Command(window, IDM_SEARCH_PREVIOUS_TAB);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 2);
    Command(window, IDM_SEARCH_NEXT_TAB);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 0);
    Close(window);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(SearchWindowTest, StartFindsByNameAndShowsTheCount) {
    HWND window = Open();
    ASSERT_NE(window, nullptr);
    SetText(window, IDC_SEARCH_NAME, L"notes");
    Command(window, IDC_SEARCH_START);
    EXPECT_EQ(ResultNames(window), (std::vector<std::wstring>{L"Notes.txt", L"old notes.txt"}));
    EXPECT_EQ(StatusText(window), Resources().FormatString(IDS_SEARCH_FILES_FOUND, {2}));
    EXPECT_EQ(WindowText(window), Text(IDS_SEARCH_TITLE) + L" " + Text(IDS_SEARCH_DESC_FILES) + L" " +
                                      Text(IDS_SEARCH_DESC_WITH_NAMES) + L" notes");
    EXPECT_TRUE(IsWindowEnabled(Control(window, IDC_SEARCH_START)));
    EXPECT_FALSE(IsWindowEnabled(Control(window, IDC_SEARCH_STOP)));
    EXPECT_EQ(prompts_.Count(), 0u) << (prompts_.Count() ? prompts_.Last().text : L"");
}

TEST_F(SearchWindowTest, LookInTextIsAFolderBelowTheRoot) {
    HWND window = Open();
    ASSERT_NE(window, nullptr);
    // "Nope" is searched as \Nope, which does not exist.
    SetText(window, IDC_SEARCH_LOOK_IN, L"Nope");
    Command(window, IDC_SEARCH_START);
    ASSERT_EQ(prompts_.Count(), 1u);
    EXPECT_EQ(prompts_.Last().text, Resources().FormatString(IDS_SEARCH_FOLDER_NOT_FOUND, {L"\\Nope"}));
    EXPECT_EQ(prompts_.Last().caption, Text(IDS_SEARCH_ERROR_CAPTION));
    EXPECT_EQ(ResultsList(window), nullptr);
    // Neither a drive the module does not have nor a file is a folder to search in.
    for (const wchar_t* path : {L"\\Q:", L"\\A:\\Data\\Notes.txt"}) {
        SetText(window, IDC_SEARCH_LOOK_IN, path);
        Command(window, IDC_SEARCH_START);
        EXPECT_EQ(prompts_.Last().text, Resources().FormatString(IDS_SEARCH_FOLDER_NOT_FOUND, {path}));
        EXPECT_EQ(ResultsList(window), nullptr);
    }
    ASSERT_EQ(prompts_.Count(), 3u);
    // "B:" is the drive \B:, searched alone.
    SetText(window, IDC_SEARCH_LOOK_IN, L"B:");
    SetText(window, IDC_SEARCH_NAME, L"*.txt");
    Command(window, IDC_SEARCH_START);
    EXPECT_EQ(ResultNames(window), (std::vector<std::wstring>{L"several.dots.in.name.txt"}));
    EXPECT_EQ(prompts_.Count(), 3u);
}

TEST_F(SearchWindowTest, LookInPresetAndDrivesFromTheList) {
    HWND window = Open(std::wstring(), L"\\A:\\Data");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowText(Control(window, IDC_SEARCH_LOOK_IN)), L"\\A:\\Data");
    SetText(window, IDC_SEARCH_NAME, L"*.txt");
    Command(window, IDC_SEARCH_START);
    EXPECT_EQ(ResultNames(window),
              (std::vector<std::wstring>{L"Notes.txt", L"old notes.txt", L"Übersicht Größen.txt"}));
    // The drive entries sit after "Module", in order.
    HWND lookIn = Control(window, IDC_SEARCH_LOOK_IN);
    SendMessageW(lookIn, CB_SETCURSEL, 2, 0);
    EXPECT_EQ(WindowText(lookIn), Text(IDS_MODULE_DISK) + L" (B:)");
    Command(window, IDC_SEARCH_START);
    EXPECT_EQ(ResultNames(window), (std::vector<std::wstring>{L"several.dots.in.name.txt"}));
}

TEST_F(SearchWindowTest, NewSearchAnsweredCancelKeepsResultsAndCriteria) {
    HWND window = Open();
    ASSERT_NE(window, nullptr);
    SetText(window, IDC_SEARCH_NAME, L"notes");
    Command(window, IDC_SEARCH_START);
    ASSERT_EQ(ResultCount(window), 2);
    RECT withResults;
    GetWindowRect(window, &withResults);

    prompts_.Script({IDCANCEL});
    Command(window, IDC_SEARCH_NEW);
    ASSERT_EQ(prompts_.Count(), 1u);
    EXPECT_EQ(prompts_.Last().text, Text(IDS_SEARCH_CONFIRM_NEW));
    EXPECT_EQ(prompts_.Last().caption, WindowText(window));
    EXPECT_EQ(prompts_.Last().flags, static_cast<UINT>(MB_OKCANCEL | MB_ICONQUESTION));
    EXPECT_EQ(ResultCount(window), 2);
    EXPECT_EQ(WindowText(Control(window, IDC_SEARCH_NAME)), L"notes");

    prompts_.Script({IDOK});
    Command(window, IDC_SEARCH_NEW);
    EXPECT_EQ(ResultsList(window), nullptr);
    EXPECT_EQ(WindowText(Control(window, IDC_SEARCH_NAME)), L"");
    RECT without;
    GetWindowRect(window, &without);
    EXPECT_LT(without.bottom - without.top, withResults.bottom - withResults.top) << "the window shrinks back";
}

TEST_F(SearchWindowTest, LoadingWithAndWithoutItems) {
    SearchCriteria criteria;
    criteria.name = L"xyz";
    criteria.path = L"\\A:\\Data";
    criteria.includeSubfolders = 0;
    criteria.saveResult = 1;
    criteria.sizeType = 1;
    criteria.limit = 7;
    const std::wstring withItems = TempPath(L"search window with items.ssc");
    const std::wstring withoutItems = TempPath(L"search window without items.ssc");
    WriteSearchFile(withItems, criteria, {kNotesItem, kPhotoItem});
    criteria.saveResult = 0;
    criteria.name = L"abc";
    WriteSearchFile(withoutItems, criteria, {});

    // Quoted, as the open command passes it: the items show without a search.
    HWND window = Open(L"\"" + withItems + L"\"");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ResultNames(window), (std::vector<std::wstring>{L"Notes.txt", L"Photo.jpg"}));
    EXPECT_EQ(WindowText(Control(window, IDC_SEARCH_NAME)), L"xyz");
    EXPECT_EQ(WindowText(Control(window, IDC_SEARCH_LOOK_IN)), L"\\A:\\Data");
    EXPECT_EQ(WindowText(Control(window, IDC_SEARCH_SIZE)), L"7");
    EXPECT_TRUE(MenuChecked(window, IDM_SEARCH_SAVE_RESULT));
    EXPECT_EQ(StatusText(window), Resources().FormatString(IDS_SEARCH_FILES_FOUND, {2}));
    EXPECT_EQ(WindowText(window), Text(IDS_SEARCH_TITLE) + L" " + Text(IDS_SEARCH_DESC_FILES) + L" " +
                                      Text(IDS_SEARCH_DESC_WITH_NAMES) + L" xyz");

    // Load search with a file without items removes the list.
    ScriptedFileDialogs dialogs;
    dialogs.answers = {withoutItems};
    Command(window, IDM_SEARCH_LOAD);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].kind, SearchFileRequest::Kind::Load);
    EXPECT_EQ(dialogs.requests[0].title, Text(IDS_SEARCH_LOAD_TITLE));
    EXPECT_EQ(ResultsList(window), nullptr);
    EXPECT_EQ(WindowText(Control(window, IDC_SEARCH_NAME)), L"abc");
    EXPECT_FALSE(MenuChecked(window, IDM_SEARCH_SAVE_RESULT));
    EXPECT_EQ(prompts_.Count(), 0u);
    DeleteFileW(withItems.c_str());
    DeleteFileW(withoutItems.c_str());
}

TEST_F(SearchWindowTest, MissingOrMalformedFileKeepsTheDefaults) {
    const std::wstring malformed = TempPath(L"search window malformed.ssc");
    HANDLE file = CreateFileW(malformed.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "NAME=not a search file at all, and long enough to be read", 58, &written, nullptr);
    CloseHandle(file);

    for (const std::wstring& path : {TempPath(L"no such search.ssc"), malformed}) {
        PromptRecorder prompts;
        HWND window = Open(path);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(prompts.Count(), 1u);
        EXPECT_EQ(prompts.Last().caption, Text(IDS_ERR_LOAD_SEARCH_CAPTION));
        EXPECT_EQ(prompts.Last().text.find(Resources().FormatString(IDS_ERR_LOAD_SEARCH, {L""})), 0u);
        EXPECT_EQ(prompts.Last().flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
        EXPECT_TRUE(IsWindow(window));
        EXPECT_EQ(WindowText(window), Text(IDS_SEARCH_TITLE) + L" " + Text(IDS_SEARCH_DESC_ALL_FILES));
        EXPECT_EQ(WindowText(Control(window, IDC_SEARCH_NAME)), L"");
        EXPECT_EQ(ResultsList(window), nullptr);
        Close(window);
    }
    DeleteFileW(malformed.c_str());
}

TEST_F(SearchWindowTest, SaveWritesTheCollectedCriteriaAndTheResults) {
    HWND window = Open();
    ASSERT_NE(window, nullptr);
    if (!MenuChecked(window, IDM_SEARCH_SAVE_RESULT)) Command(window, IDM_SEARCH_SAVE_RESULT);
    SetText(window, IDC_SEARCH_NAME, L"notes");
    SetText(window, IDC_SEARCH_TEXT, L"");
    Command(window, IDC_SEARCH_START);
    ASSERT_EQ(ResultCount(window), 2);

    const std::wstring path = TempPath(L"search window saved.ssc");
    ScriptedFileDialogs dialogs;
    dialogs.answers = {path};
    Command(window, IDM_SEARCH_SAVE);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].kind, SearchFileRequest::Kind::Save);
    EXPECT_EQ(dialogs.requests[0].fileName, Text(IDS_SEARCH_DESC_FILES) + L" " +
                                                Text(IDS_SEARCH_DESC_WITH_NAMES) + L" notes");
    SearchCriteria read;
    LPITEMIDLIST* items = nullptr;
    UINT capacity = 0, count = 0;
    EXPECT_EQ(read.Load(path.c_str(), &items, &capacity, &count), S_OK);
    EXPECT_EQ(read.name, L"notes");
    EXPECT_EQ(read.path, L"\\");
    EXPECT_EQ(read.saveResult, 1);
    ASSERT_EQ(count, 2u);
    std::vector<std::wstring> paths = {ItemPath(items[0]), ItemPath(items[1])};
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::wstring>{L"\\A:\\Data\\Archive\\old notes.txt", L"\\A:\\Data\\Notes.txt"}));
    FreeLoadedItems(items, count);

    // A save that fails says so.
    dialogs.answers = {TempPath(L"no such folder\\x.ssc")};
    Command(window, IDM_SEARCH_SAVE);
    ASSERT_EQ(prompts_.Count(), 1u);
    EXPECT_EQ(prompts_.Last().caption, Text(IDS_ERR_SAVE_SEARCH_CAPTION));
    DeleteFileW(path.c_str());
}

TEST_F(SearchWindowTest, SaveResultSurvivesARestartCaseSensitiveDoesNot) {
    StoreSaveResultSetting(false);
    HWND window = Open();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(MenuChecked(window, IDM_SEARCH_SAVE_RESULT));
    Command(window, IDM_SEARCH_SAVE_RESULT);
    Command(window, IDM_SEARCH_CASE_SENSITIVE);
    EXPECT_TRUE(MenuChecked(window, IDM_SEARCH_SAVE_RESULT));
    EXPECT_TRUE(MenuChecked(window, IDM_SEARCH_CASE_SENSITIVE));
    EXPECT_TRUE(ReadSaveResultSetting());
    Close(window);

    window = Open();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(MenuChecked(window, IDM_SEARCH_SAVE_RESULT));
    EXPECT_FALSE(MenuChecked(window, IDM_SEARCH_CASE_SENSITIVE));
    Command(window, IDM_SEARCH_SAVE_RESULT);
    EXPECT_FALSE(ReadSaveResultSetting());
}

// Prompts during a search come on the window's thread, while it searches:
// the toggles sent from there must be refused.
class TogglingAnswerer : public PromptAnswerer {
public:
    explicit TogglingAnswerer(HWND window) : window_(window) { previous_ = SetPromptAnswerer(this); }
    ~TogglingAnswerer() { SetPromptAnswerer(previous_); }
    bool Answer(const PromptRequest& request, INT_PTR* answer) override {
        ++prompts;
        Command(window_, IDM_SEARCH_CASE_SENSITIVE);
        Command(window_, IDM_SEARCH_SAVE_RESULT);
        *answer = IDOK;
        return true;
    }
    int prompts = 0;

private:
    HWND window_;
    PromptAnswerer* previous_ = nullptr;
};

TEST_F(SearchWindowTest, TogglesAreRefusedDuringASearch) {
    StoreSaveResultSetting(false);
    HWND window = Open();
    ASSERT_NE(window, nullptr);
    // The second listing fails, so the search asks something halfway.
    module_.FailNthCall(L"ListFolder", 2, E_FAIL, 1, L"Listing refused");
    TogglingAnswerer answerer(window);
    Command(window, IDC_SEARCH_START);
    EXPECT_EQ(answerer.prompts, 1);
    EXPECT_FALSE(MenuChecked(window, IDM_SEARCH_CASE_SENSITIVE));
    EXPECT_FALSE(MenuChecked(window, IDM_SEARCH_SAVE_RESULT));
    EXPECT_FALSE(ReadSaveResultSetting());
    // Afterwards they work again.
    Command(window, IDM_SEARCH_CASE_SENSITIVE);
    EXPECT_TRUE(MenuChecked(window, IDM_SEARCH_CASE_SENSITIVE));
}

// The same name in another case moves to the top; names after a gap stay
// and move down with the rest.
TEST_F(SearchWindowTest, NameHistoryThroughTheWindow) {
    using Names = std::vector<std::wstring>;
    const struct {
        Names stored;
        LRESULT shown;
        const wchar_t* typed;
        Names after;
        LRESULT shownAfter;
    } cases[] = {
        {{L"alpha", L"Notes", L"beta", L"", L""}, 3, L"NOTES", {L"NOTES", L"alpha", L"beta", L"", L""}, 3},
        {{L"", L"older", L"", L"oldest", L""}, 2, L"newest", {L"newest", L"", L"older", L"", L"oldest"}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "typed " << testing::PrintToString(std::wstring(c.typed)));
        StoreNameHistory(c.stored);
        HWND window = Open();
        ASSERT_NE(window, nullptr);
        HWND names = Control(window, IDC_SEARCH_NAME);
        EXPECT_EQ(SendMessageW(names, CB_GETCOUNT, 0, 0), c.shown);
        SetText(window, IDC_SEARCH_NAME, c.typed);
        Command(window, IDC_SEARCH_START);
        EXPECT_EQ(ReadNameHistory(), c.after);
        EXPECT_EQ(SendMessageW(names, CB_GETCOUNT, 0, 0), c.shownAfter);
        EXPECT_EQ(WindowText(names), c.typed);
        Close(window);
    }
}

TEST(NameHistory, NewNamesGoFirstAndTheFifthDropsOut) {
    struct Case {
        std::vector<std::wstring> before;
        std::wstring name;
        std::vector<std::wstring> after;
    };
    const Case cases[] = {
        {{L"", L"", L"", L"", L""}, L"a", {L"a", L"", L"", L"", L""}},
        {{L"a", L"b", L"c", L"d", L"e"}, L"f", {L"f", L"a", L"b", L"c", L"d"}},
        {{L"a", L"b", L"c", L"d", L"e"}, L"D", {L"D", L"a", L"b", L"c", L"e"}},
        {{L"a", L"b", L"", L"", L""}, L"A", {L"A", L"b", L"", L"", L""}},
        {{L"a", L"b", L"", L"", L""}, L"", {L"a", L"b", L"", L"", L""}},
        {{L"a"}, L"b", {L"b", L"a", L"", L"", L""}},
    };
    for (const Case& c : cases) EXPECT_EQ(AddToNameHistory(c.before, c.name), c.after) << c.name;
}

// A server that goes away after the first listing: the failure is shown
// once and what was found stays.
TEST_F(SearchWindowTest, AServerThatDiesIsReportedOnceAndTheResultsStay) {
    class DyingServer : public ModuleAccessFactory {
    public:
        HRESULT Create(ModuleAccess** access) override {
            FakeModuleAccess* fake = nullptr;
            HRESULT hr = MakeComObject(&fake);
            if (FAILED(hr)) return hr;
            fake->AddDrive(L"A:");
            fake->AddDrive(L"B:");
            fake->AddFile(L"\\A:\\one.txt", 10);
            fake->AddFolder(L"\\A:\\Sub");
            fake->AddFile(L"\\A:\\Sub\\two.txt", 10);
            fake->AddFile(L"\\B:\\three.txt", 10);
            // Every listing below the drives fails as a vanished server does.
            fake->FailOn(L"ListFolder", L"\\A:\\Sub\\*", RPC_E_SERVER_DIED_DNE);
            fake->FailOn(L"ListFolder", L"\\B:\\*", RPC_E_SERVER_DIED_DNE);
            *access = fake;
            return S_OK;
        }
    } factory;
    ModuleAccessFactory* previous = SetModuleAccessFactory(&factory);
    HWND window = Open();
    ASSERT_NE(window, nullptr);
    Command(window, IDC_SEARCH_START);
    EXPECT_EQ(prompts_.Count(), 1u);
    EXPECT_EQ(ResultNames(window), (std::vector<std::wstring>{L"Sub", L"one.txt"}));
    Close(window);
    SetModuleAccessFactory(previous);
}

TEST_F(SearchWindowTest, StartSearchReturnsWhenTheLastWindowCloses) {
    SearchCriteria criteria;
    criteria.name = L"from start search";
    const std::wstring path = TempPath(L"start search.ssc");
    WriteSearchFile(path, criteria, {});
    struct Call {
        std::wstring file;
        HANDLE done = nullptr;
    } call{L"\"" + path + L"\"", CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            auto* c = static_cast<Call*>(p);
            RunSearchWindowsFor(c->file.c_str());
            SetEvent(c->done);
            return 0;
        },
        &call, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    const std::wstring title = Text(IDS_SEARCH_TITLE) + L" " + Text(IDS_SEARCH_DESC_FILES) + L" " +
                               Text(IDS_SEARCH_DESC_WITH_NAMES) + L" from start search";
    HWND window = nullptr;
    for (int i = 0; i < 500 && !window; ++i) {
        window = FindWindowW(L"#32770", title.c_str());
        if (!window) Sleep(10);
    }
    ASSERT_NE(window, nullptr) << "no window with the file's criteria";
    EXPECT_EQ(WaitForSingleObject(call.done, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(call.done, 10000), WAIT_OBJECT_0);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CloseHandle(call.done);
    DeleteFileW(path.c_str());
}

TEST_F(SearchWindowTest, DatePageEnablesTheChosenCriterionAndSavesIt) {
    HWND window = Open();
    ASSERT_NE(window, nullptr);
    Command(window, IDM_SEARCH_NEXT_TAB);
    HWND page = GetParent(Control(window, IDC_SEARCH_MONTHS));
    EXPECT_FALSE(IsWindowEnabled(Control(window, IDC_SEARCH_DATE_TYPE))) << "All files is the default";
    SendMessageW(Control(window, IDC_SEARCH_FIND_FILES), BM_CLICK, 0, 0);
    SendMessageW(Control(window, IDC_SEARCH_MONTHS_RADIO), BM_CLICK, 0, 0);
    EXPECT_TRUE(IsWindowEnabled(Control(window, IDC_SEARCH_MONTHS)));
    EXPECT_FALSE(IsWindowEnabled(Control(window, IDC_SEARCH_DAYS)));
    EXPECT_FALSE(IsWindowEnabled(Control(window, IDC_SEARCH_FROM)));
    EXPECT_EQ(IsDlgButtonChecked(page, IDC_SEARCH_DAYS_RADIO), BST_UNCHECKED);
    SendMessageW(Control(window, IDC_SEARCH_DATE_TYPE), CB_SETCURSEL, 1, 0);
    SetText(window, IDC_SEARCH_MONTHS, L"3");
    // The spin box keeps to 1..999, the box to three characters.
    LONG low = 0, high = 0;
    SendMessageW(Control(window, IDC_SEARCH_MONTHS_SPIN), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                 reinterpret_cast<LPARAM>(&high));
    EXPECT_EQ(low, 1);
    EXPECT_EQ(high, 999);
    EXPECT_EQ(SendMessageW(Control(window, IDC_SEARCH_MONTHS), EM_GETLIMITTEXT, 0, 0), 3);

    const std::wstring path = TempPath(L"search window dates.ssc");
    ScriptedFileDialogs dialogs;
    dialogs.answers = {path};
    Command(window, IDM_SEARCH_SAVE);
    SearchCriteria read;
    LPITEMIDLIST* items = nullptr;
    UINT capacity = 0, count = 0;
    ASSERT_EQ(read.Load(path.c_str(), &items, &capacity, &count), S_OK);
    FreeLoadedItems(items, count);
    EXPECT_EQ(read.considerFileDates, 1);
    EXPECT_EQ(read.timeType, 1);
    EXPECT_EQ(read.dateType, 1);
    EXPECT_EQ(read.months, 3);
    EXPECT_EQ(read.days, 1);
    EXPECT_EQ(read.fileTypeName, Text(IDS_SEARCH_ALL_FILES_AND_FOLDERS));

    // New Search puts the defaults back.
    prompts_.Script({IDOK});
    Command(window, IDC_SEARCH_NEW);
    EXPECT_EQ(IsDlgButtonChecked(page, IDC_SEARCH_ALL_FILES), BST_CHECKED);
    EXPECT_EQ(WindowText(Control(window, IDC_SEARCH_MONTHS)), L"1");
    EXPECT_FALSE(IsWindowEnabled(Control(window, IDC_SEARCH_MONTHS)));
    DeleteFileW(path.c_str());
}

TEST(FileTypes, OneEntryPerDescriptionSortedAfterAllFiles) {
    const wchar_t kRoot[] = L"Software\\KtxTestFileTypes";
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
    HKEY classes = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &classes, nullptr),
              ERROR_SUCCESS);
    const struct {
        const wchar_t* key;
        const wchar_t* value;
    } entries[] = {
        {L".htm", L"htmlfile"},   {L".html", L"htmlfile"},       {L"htmlfile", L"HTML Document"},
        {L".shtml", L"ssifile"},  {L"ssifile", L"html document"},   // merges, ignoring case
        {L".txt", L"txtfile"},    {L"txtfile", L"Text Document"},
        {L".nodesc", L"bare"},    {L"bare", L""},                   // no description: left out
        {L".orphan", L"missing"},                                   // no class: left out
        {L".empty", L""},                                           // no class name: left out
        {L"Archive", L"Not a type"},                                // not an extension
        {L".arc", L"arcfile"},    {L"arcfile", L"Archive"},
    };
    for (const auto& entry : entries)
        RegSetValueW(classes, entry.key, REG_SZ, entry.value, static_cast<DWORD>(wcslen(entry.value) * 2));

    std::vector<FileTypeEntry> types = ReadFileTypes(classes, L"All files and folders");
    RegCloseKey(classes);
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);

    ASSERT_EQ(types.size(), 4u);
    EXPECT_EQ(types[0].description, L"All files and folders");
    EXPECT_EQ(types[0].pattern, L"*");
    EXPECT_EQ(types[1].description, L"Archive");
    EXPECT_EQ(types[1].pattern, L"*.arc");
    EXPECT_EQ(types[2].description, L"HTML Document");
    EXPECT_EQ(types[2].pattern, L"*.htm|*.html|*.shtml");
    EXPECT_EQ(types[3].description, L"Text Document");
    EXPECT_EQ(FindFileType(types, L"text document"), 3);
    EXPECT_EQ(FindFileType(types, L"Text"), -1);
}
