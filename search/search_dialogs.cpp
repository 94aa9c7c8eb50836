#include "search/search_dialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include "common/holders.h"
#include "common/resource_module.h"
#include "item_id/module_item_id.h"
#include "module_access/absolute_lists.h"
#include "resources/string_ids.h"

namespace {

SearchDialogAnswerer* volatile g_answerer = nullptr;

bool Answered(const SearchFileRequest& request, std::wstring* path, bool* result) {
    SearchDialogAnswerer* answerer = g_answerer;
    if (!answerer) return false;
    *result = answerer->Answer(request, path);
    return true;
}

}  // namespace

SearchDialogAnswerer* SetSearchDialogAnswerer(SearchDialogAnswerer* answerer) {
    return reinterpret_cast<SearchDialogAnswerer*>(
        InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&g_answerer), answerer));
}

bool ChooseSearchFile(HWND owner, bool save, const std::wstring& fileName, std::wstring* path) {
    SearchFileRequest request;
    request.kind = save ? SearchFileRequest::Kind::Save : SearchFileRequest::Kind::Load;
    request.owner = owner;
    request.title = Resources().LoadString(save ? IDS_SEARCH_SAVE_TITLE : IDS_SEARCH_LOAD_TITLE);
    request.fileName = fileName;
    bool result = false;
    if (Answered(request, path, &result)) return result;

    // "Search configuration (*.ssc)\0*.ssc\0\0"
    std::wstring filter = Resources().LoadString(IDS_SEARCH_FILE_FILTER);
    filter.push_back(L'\0');
    filter += L"*.ssc";
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    wchar_t desktop[MAX_PATH] = L"";
    SHGetSpecialFolderPathW(owner, desktop, CSIDL_DESKTOPDIRECTORY, FALSE);
    wchar_t file[MAX_PATH] = L"";
    if (save) lstrcpynW(file, fileName.c_str(), ARRAYSIZE(file));

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = file;
    dialog.nMaxFile = ARRAYSIZE(file);
    dialog.lpstrInitialDir = desktop;
    dialog.lpstrTitle = request.title.c_str();
    dialog.lpstrDefExt = L"ssc";
    dialog.Flags = save ? OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT
                        : OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (!(save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog))) return false;
    *path = file;
    return true;
}

bool ChooseSearchFolder(HWND owner, std::wstring* path) {
    SearchFileRequest request;
    request.kind = SearchFileRequest::Kind::BrowseFolder;
    request.owner = owner;
    request.title = Resources().LoadString(IDS_SEARCH_BROWSE_TITLE);
    bool result = false;
    if (Answered(request, path, &result)) return result;

    IdListHolder root;
    if (FAILED(FindModuleRoot(root.out()))) return false;
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.pidlRoot = root.get();
    info.lpszTitle = request.title.c_str();
    LPITEMIDLIST chosen = SHBrowseForFolderW(&info);
    if (!chosen) return false;
    IdListHolder holder;
    holder.reset(chosen);
    LPCITEMIDLIST last = LastItem(chosen);
    if (ILIsEqual(chosen, root.get()) || !last || !IsValidItemId(last)) {
        *path = L"\\";
    } else {
        *path = ItemPath(last);
    }
    return true;
}
