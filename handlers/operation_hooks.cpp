#include "handlers/operation_hooks.h"

#include "handlers/help.h"
#include "handlers/module_properties.h"
#include "handlers/open_items.h"
#include "transfer/clipboard_thread.h"
#include "transfer/paste_operation.h"

namespace {

OperationTable g_libraryOperations;
OperationTable* g_operations = &g_libraryOperations;
SearchWindowOpener g_openSearchWindow = nullptr;
AboutBoxShower g_showAboutBox = nullptr;

}  // namespace

void SetSearchEntryPoints(SearchWindowOpener open, AboutBoxShower about) {
    g_openSearchWindow = open;
    g_showAboutBox = about;
}

OperationTable* InstallOperationTable(OperationTable* table) {
    OperationTable* previous = g_operations;
    g_operations = table ? table : &g_libraryOperations;
    return previous == &g_libraryOperations ? nullptr : previous;
}

// Where each operation joins the commands. Those whose operation is not in
// the library yet answer that it is not implemented; callers treat that like
// any other failure.

HRESULT OperationTable::CutOrCopy(const std::wstring& folderPath, IUnknown* view, const LPCITEMIDLIST* items,
                                  UINT count, DWORD effect, IModuleChangeSink* sink) {
    return CutOrCopyToClipboard(folderPath, view, items, count, effect, sink);
}

bool OperationTable::CanPaste() { return ::CanPaste(); }

// A paste from a menu takes the clipboard's object and returns at once.
HRESULT OperationTable::Paste(const std::wstring& destination, HWND owner) {
    return StartPasteOperation(destination, owner, nullptr, 0, false, nullptr);
}

HRESULT OperationTable::OpenOrExplore(UINT command, HWND owner, LPCITEMIDLIST folderList, const LPCITEMIDLIST* items,
                                      UINT count, LPCITEMIDLIST contextItem) {
    return OpenModuleItems(command, owner, folderList, items, count, contextItem);
}

HRESULT OperationTable::OpenOrExplorePaths(UINT command, HWND owner, const std::vector<std::wstring>& paths,
                                           ModuleAccess* access) {
    return OpenModulePaths(command, owner, paths, access);
}

HRESULT OperationTable::PropertySheet(const std::wstring& folderPath, const LPCITEMIDLIST* items, UINT count,
                                      PropertySheetReady* ready) {
    // The sheet runs on a thread of its own and is up when this returns.
    HRESULT hr = ShowModuleProperties(items, count, folderPath.c_str());
    if (ready) ready->SheetReady(hr);
    return hr;
}

HRESULT OperationTable::Help(UINT, HWND owner) {
    OpenHelp(owner);
    return S_OK;
}

HRESULT OperationTable::SearchWindow(const wchar_t* startFile, const wchar_t* lookIn) {
    return g_openSearchWindow ? g_openSearchWindow(startFile, lookIn) : E_NOTIMPL;
}

void OperationTable::AboutBox(HWND owner) {
    if (g_showAboutBox) g_showAboutBox(owner);
}

// The commands' entry points.

HRESULT StartCutOrCopy(const std::wstring& folderPath, IUnknown* view, const LPCITEMIDLIST* items, UINT count,
                       DWORD effect, IModuleChangeSink* sink) {
    return g_operations->CutOrCopy(folderPath, view, items, count, effect, sink);
}

bool ClipboardCanPaste() { return g_operations->CanPaste(); }

HRESULT StartPaste(const std::wstring& destination, HWND owner) { return g_operations->Paste(destination, owner); }

HRESULT StartOpenOrExplore(UINT command, HWND owner, LPCITEMIDLIST folderList, const LPCITEMIDLIST* items,
                           UINT count, LPCITEMIDLIST contextItem) {
    return g_operations->OpenOrExplore(command, owner, folderList, items, count, contextItem);
}

HRESULT StartOpenOrExplorePaths(UINT command, HWND owner, const std::vector<std::wstring>& paths,
                                ModuleAccess* access) {
    return g_operations->OpenOrExplorePaths(command, owner, paths, access);
}

HRESULT RunPropertySheet(const std::wstring& folderPath, const LPCITEMIDLIST* items, UINT count,
                         PropertySheetReady* ready) {
    return g_operations->PropertySheet(folderPath, items, count, ready);
}

HRESULT StartHelp(UINT id, HWND owner) { return g_operations->Help(id, owner); }

HRESULT StartSearchWindow(const wchar_t* startFile, const wchar_t* lookIn) {
    return g_operations->SearchWindow(startFile, lookIn);
}

void StartAboutBox(HWND owner) { g_operations->AboutBox(owner); }
