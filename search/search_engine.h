// The search engine: walks the module through the module-access server and
// hands every item that meets the criteria to its host, the search window.
// It runs on the window's thread and keeps the window alive by asking the
// host to pump messages between steps; Stop is a flag the host answers.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "module_access/module_access_h.h"
#include "search/search_criteria.h"

// What the engine needs of the window it runs in.
class SearchHost {
public:
    // The results list keeps its own copy; without a list, nothing happens.
    virtual void AddResult(LPCITEMIDLIST item) = 0;
    virtual size_t ResultCount() const = 0;
    // The status bar's text (simple mode while searching).
    virtual void SetStatusText(const std::wstring& text) = 0;
    // Dispatches pending messages, with the window's accelerators and dialog keys.
    virtual void PumpMessages() = 0;
    // The engine pumps at every item, folder and chunk, but no more often
    // than this: looking at the queue is not free, and 10 ms keeps the
    // window as responsive as the eye can tell.
    virtual DWORD PumpIntervalMs() const { return 10; }
    // Set by Stop and New Search; polled between steps.
    virtual bool StopRequested() const = 0;
    // Owner of the engine's question (through the prompt seam).
    virtual HWND OwnerWindow() const = 0;
    // The local time the date tests measure from.
    virtual void CurrentLocalTime(SYSTEMTIME* now) const { GetLocalTime(now); }
    // Around a whole search: the window disables its pages and Start, runs
    // the animation, and undoes all of it afterwards.
    virtual void OnSearchStarting() {}
    virtual void OnSearchFinished() {}

protected:
    ~SearchHost() = default;
};

// Content searches above this many bytes ask before downloading.
constexpr ULONGLONG kContentQuestionBytes = 102400;
// Files are read in chunks of this size, with messages pumped before each.
constexpr ULONG kContentChunkBytes = 4096;

class SearchEngine {
public:
    SearchEngine(const SearchCriteria& criteria, SearchHost& host);
    SearchEngine(const SearchEngine&) = delete;
    SearchEngine& operator=(const SearchEngine&) = delete;

    // One level of a listing search (it recurses into subfolders itself), or
    // the whole content search. E_POINTER without a connection; otherwise
    // S_OK: failures on the way are shown to the user and go no further.
    HRESULT SearchFolder(const std::wstring& folderPath, ModuleAccess* access);

    // Whether one file contains the criteria's text: S_OK found, E_FAIL not
    // found, E_OPERATION_CANCELLED when Stop came first, or the failure.
    HRESULT ContentTest(const std::wstring& itemPath, ModuleAccess* access);

private:
    void ListingSearch(const std::wstring& folderPath, ModuleAccess* access);
    void ContentSearch(const std::wstring& folderPath, ModuleAccess* access);
    void ShowSearching(const std::wstring& path);
    void Pump();
    HRESULT ReadAndScan(const std::wstring& itemPath, ModuleAccess* access,
                        IErrorInfo** failureInfo);

    const SearchCriteria& criteria_;
    SearchHost& host_;
    bool serverGone_ = false;
    int depth_ = 0;
    bool tooDeepShown_ = false;
    bool pumped_ = false;
    DWORD lastPump_ = 0;
};

// A whole search from the Start command: the host's start and finish around
// the walk of criteria.path, and the found count in the status bar.
HRESULT RunSearch(const SearchCriteria& criteria, ModuleAccess* access, SearchHost& host);

// "Search Module A:\Data" while a folder or file is searched.
std::wstring SearchingStatusText(const std::wstring& path);
// "3 file(s) found." after the search.
std::wstring FoundStatusText(size_t count);
