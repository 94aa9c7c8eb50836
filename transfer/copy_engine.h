// The body of a paste or drop into a module folder: PC files and folders
// (from CF_HDROP) written into the module, or module items copied within
// it, with the replace and move questions, copy names, refusals, progress
// and cancellation.
//
// Nothing is lost: a target that is replaced is first set aside and only
// removed once the new file has arrived whole (its size checked); a source
// folder of a move is removed only when everything below it arrived; and
// Complete() is false after any failure, skip or cancel, so that the sources
// of a move stay where they are.
#pragma once
#include <windows.h>
#include <shtypes.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "module_access/module_access_h.h"

class ProgressDialog;

// Replace-all answers: one pair for the top level and one per folder entered
// (a copy of its parent's pair).
struct ReplaceState {
    bool allFiles = false;
    bool allFolders = false;
};

// Files larger than this cannot go to the module.
constexpr ULONGLONG kLargestModuleFile = 0x7FFFFFFF;

class CopyEngine {
public:
    // effect: bit 2 (DROPEFFECT_MOVE) makes it a move. `owner` owns the
    // prompts until the progress dialog exists. The calling thread must be
    // inside EnterComThread and own `server`.
    CopyEngine(ModuleAccess* server, std::wstring destination, DWORD effect, HWND owner);
    ~CopyEngine();
    CopyEngine(const CopyEngine&) = delete;
    CopyEngine& operator=(const CopyEngine&) = delete;

    // PC paths in drop order. `unreadable`: the sender had a path that could
    // not be read, which makes an otherwise clean run E_UNEXPECTED.
    HRESULT TransferPcItems(const std::vector<std::wstring>& paths, bool unreadable = false);
    // Module items (identifier lists whose first identifier names the item
    // with its whole path), as dropped from `sourceFolder`.
    HRESULT TransferModuleItems(const std::wstring& sourceFolder, const LPCITEMIDLIST* items,
                                UINT count);

    bool cancelled() const { return cancel_ != 0; }
    bool skipped() const { return skips_ != 0; }
    bool failed() const { return failures_ != 0; }
    // Every item arrived whole: only then may a move let its sources go.
    bool Complete() const { return !cancel_ && skips_ == 0 && failures_ == 0; }
    DWORD* cancelFlag() { return &cancel_; }
    HWND owner() const { return owner_; }
    void CloseProgress();

private:
    // A replaced target kept until the new one arrived.
    struct SetAside {
        std::wstring backup;   // empty: nothing was set aside
        DWORD attributes = 0;
    };
    // A file the server took whose size is still to be checked. The checks
    // of one folder's files go together, in one listing, when the folder is
    // done (and before any of its files is replaced again).
    struct Arrival {
        std::wstring folder;
        std::wstring target;
        std::wstring name;   // for the message
        DWORD size = 0;
        SetAside aside;
    };
    static constexpr UINT kStopOkCancel = MB_OKCANCEL | MB_ICONHAND;
    static constexpr UINT kStopOk = MB_ICONHAND;

    bool IsMove() const { return (effect_ & DROPEFFECT_MOVE) != 0; }
    void OpenProgress(ULONGLONG total);
    void Pump();
    void ShowItem(const std::wstring& sourcePath, const std::wstring& targetFolder);
    void AddDone(ULONGLONG amount);
    // A message box; Cancel (with kStopOkCancel) sets the cancel flag.
    int Message(UINT textId, std::initializer_list<const wchar_t*> inserts, UINT captionId,
                UINT flags);
    // Shows "%1 cannot be copied: %2" unless cancelled; a cancellation sets the flag.
    void ReportCopyFailure(HRESULT hr, const std::wstring& name);
    HRESULT Refuse(UINT textId, const std::wstring& name);

    HRESULT CopyPcFile(const std::wstring& source, const WIN32_FIND_DATAW& find,
                       const std::wstring& folder, ReplaceState& pair);
    HRESULT CopyPcFolder(const std::wstring& source, DWORD attributes, const std::wstring& folder,
                         ReplaceState& parent);
    HRESULT CopyModuleFile(LPCITEMIDLIST item, const std::wstring& folder, ReplaceState& pair);
    HRESULT CopyModuleFolder(const std::wstring& path, DWORD attributes, ReplaceState& parent,
                             const std::wstring& folder);

    // S_OK: go on; S_FALSE: leave this item; a failure (already shown).
    HRESULT CreateOrReplaceFolder(const std::wstring& target, ReplaceState& own,
                                  ReplaceState& parent, DWORD attributes);
    HRESULT CheckConflict(const std::wstring& target, DWORD size, double date, ReplaceState& pair,
                          DWORD attributes, SetAside* aside);
    HRESULT AskMoveQuestion(DWORD attributes, const std::wstring& target);
    HRESULT MakeRoom(const std::wstring& target, DWORD attributes, SetAside* aside);
    // After the write: the new file is checked (unless `checked` says that
    // was done); then the set-aside file is dropped, or put back when the new
    // one did not arrive whole.
    HRESULT Settle(HRESULT written, const std::wstring& target, DWORD size, SetAside* aside,
                   bool checked = false);
    // Notes a file the server took (for CheckArrivals) and returns S_OK.
    HRESULT Expect(const std::wstring& folder, const std::wstring& target, const std::wstring& name,
                   DWORD size, const SetAside& aside);
    // Checks the arrived files of `folder`: a set-aside file goes once its
    // successor is there whole; a file that did not arrive whole is removed
    // and its set-aside file put back, shown and counted as a failure (the
    // last such failure is returned).
    HRESULT CheckArrivals(const std::wstring& folder);
    // Checks the arrivals of `target`'s folder first if `target` is one of them.
    void CheckArrivalOf(const std::wstring& target);
    // The first free "Copy of N", "Copy (k) of N" beside `path`.
    HRESULT CopyName(const std::wstring& path, std::wstring* name);
    bool Exists(const std::wstring& path, HRESULT* hr);

    ModuleAccess* server_;
    std::wstring destination_;
    DWORD effect_;
    HWND owner_;
    DWORD cancel_ = 0;
    unsigned skips_ = 0;
    unsigned failures_ = 0;
    bool several_ = false;
    bool yesAllSystem_ = false;
    bool yesAllReadOnly_ = false;
    std::unique_ptr<ProgressDialog> progress_;
    std::vector<Arrival> arrivals_;
    std::unordered_set<std::wstring> arrivedTargets_;   // upper case
};

// Whether a name can be one level of a module path: not empty, not "." or
// "..", none of \ / : * ? " < > | or control characters.
bool IsPlainItemName(const std::wstring& name);
// The longest module path the engine writes to.
constexpr size_t kLongestModulePath = MAX_PATH - 1;
