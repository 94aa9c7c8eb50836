// Deleting module items: confirmation, recursion into folders, read-only
// files, Abort/Retry/Ignore per failure and a progress dialog, on a worker
// thread of its own. A silent delete (after a move) asks nothing and shows
// no progress.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

#include "module_access/module_access_h.h"

class ProgressDialog;

// One selected item: its module path and attributes.
struct DeleteTarget {
    std::wstring path;
    DWORD attributes = 0;
    bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    bool IsReadOnly() const { return (attributes & FILE_ATTRIBUTE_READONLY) != 0; }
};

// How a selection is confirmed: counted until two folders, two files, or a
// folder and a file are seen; `last` is the item the question names.
struct DeleteClassification {
    int folders = 0;
    int files = 0;
    size_t last = 0;
    bool Several() const { return folders + files > 1; }
    bool Empty() const { return folders + files == 0; }
};
DeleteClassification ClassifySelection(const std::vector<DeleteTarget>& targets);

// The delete itself, run on the calling thread; that thread must be inside
// EnterComThread and own `server`.
class DeleteOperation {
public:
    DeleteOperation(std::wstring folderPath, std::vector<DeleteTarget> targets, bool silent,
                    HWND owner);
    ~DeleteOperation();
    DeleteOperation(const DeleteOperation&) = delete;
    DeleteOperation& operator=(const DeleteOperation&) = delete;

    // The sink, when given, hears "D:" and the path after each deletion.
    void Run(ModuleAccess* server, IModuleChangeSink* sink);
    bool cancelled() const { return cancel_ != 0; }

private:
    bool Confirm(const DeleteClassification& selection);
    void OpenProgress();
    void PumpMessages();
    void ShowItem(const std::wstring& path);
    void DeleteFileItem(const DeleteTarget& item);
    void DeleteFolderItem(const DeleteTarget& item, int depth = 0);
    // True when the item is gone.
    bool DeleteWithRetry(const std::wstring& path, BSTR bpath, bool folder);
    // Puts back the attributes cleared for the delete of an item that stayed.
    void RestoreAttributes(const DeleteTarget& item, BSTR bpath);
    // Asks Abort/Retry/Ignore about a failure; true means try the same call again.
    bool RetryAfter(HRESULT failure, UINT textId, UINT captionId, const std::wstring& path);
    void Notify(const std::wstring& path);

    std::wstring folderPath_;
    std::vector<DeleteTarget> targets_;
    bool silent_;
    HWND owner_;
    ModuleAccess* server_ = nullptr;
    IModuleChangeSink* sink_ = nullptr;
    DWORD cancel_ = 0;
    bool confirmReadOnly_;
    std::unique_ptr<ProgressDialog> progress_;
};

// The targets named by item identifier lists (the last identifier of each);
// identifiers that are not the module's own are left out.
std::vector<DeleteTarget> TargetsFromIdLists(const LPCITEMIDLIST* items, UINT count);

// Starts deleting the items (read at once; the caller keeps its lists) from
// the folder at folderPath and returns without waiting. An empty folder path
// only beeps. The sink is called back on this thread, which must pump
// messages. When `thread` is given it receives a handle to the worker thread
// (the caller closes it).
HRESULT StartDelete(const std::wstring& folderPath, const LPCITEMIDLIST* items, UINT count,
                    bool silent, HWND owner, IModuleChangeSink* sink, HANDLE* thread = nullptr);
