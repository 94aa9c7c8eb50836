// The data object of module items leaving the module folder (Cut, Copy,
// drags): the files for other programs as "FileGroupDescriptorW" and
// "FileContents" (and, when the setting allows, as staged PC files through
// CF_HDROP and "Shell IDList Array"), the selection for the module's own paste as "QEL SNE Directory
// Data", and the delete-after-move hand-shake through "Paste Succeeded".
// It answers IModuleChangeSink (doing nothing), which is how the library
// recognises its own data objects.
#pragma once
#include <windows.h>
#include <objidl.h>
#include <shtypes.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/com_object.h"
#include "module_access/module_access_h.h"
#include "item_id/module_item_id.h"

class ProgressDialog;
class StagingFolder;
struct ClipboardThreadState;

// One file, folder or drive the object can deliver.
struct TransferEntry {
    IdListHolder item;                          // full identifier list
    Microsoft::WRL::ComPtr<IStream> stream;     // files only: the server's read stream
    std::wstring relativeName;                  // below the source folder, "\"-joined
    uint64_t size = 0;
    bool delivered = false;
    bool skip = false;                          // folders and drives

    std::wstring ModulePath() const;
};

// The relative name of `path` below `folder`: the path with the folder and
// the following "\" removed (just the last component when the path is not
// below the folder).
std::wstring RelativeName(const std::wstring& folder, const std::wstring& path);

class ModuleDataObject final : public IDataObject,
                               public IModuleChangeSink,
                               private ModuleObjectLifetime {
public:
    // An empty object (count 1) for the selection; `view` and `sink` may be
    // null. The view token is the address `view` has here.
    static HRESULT Create(const std::wstring& folderPath, IUnknown* view,
                          const LPCITEMIDLIST* items, UINT count, DWORD preferredEffect,
                          IModuleChangeSink* sink, ModuleDataObject** out);

    // Expands folders depth first and opens a read stream per file, through
    // the server of the calling thread (which serves the object from now on).
    HRESULT Fill(ModuleAccess* server);

    // For the clipboard thread: the marshalled view and sink, unmarshalled
    // on first use; the thread's bookkeeping (counted once for this object).
    void SetMarshalledInterfaces(IStream* view, IStream* sink);
    void AttachToThread(ClipboardThreadState* state);
    void DetachFromThread();
    // The token of a view reached only through its marshalled copy.
    void SetViewToken(const void* view);
    // For a drag's object: the caller's EnterComThread is undone when it dies.
    void OwnComThreadBracket() { comEntered_ = true; }

    const std::vector<TransferEntry>& entries() const { return entries_; }
    UINT selectionCount() const { return static_cast<UINT>(selection_.size()); }
    bool HasProgressDialog() const { return progress_ != nullptr; }
    const std::wstring& stagingPath() const;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // The clipboard thread's end of a Release on another thread.
    static void DestroyPosted(LPARAM object);

    // IDataObject
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
    STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
    STDMETHODIMP DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink,
                         DWORD* connection) override;
    STDMETHODIMP DUnadvise(DWORD connection) override;
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA** out) override;

    // IModuleChangeSink
    STDMETHODIMP OnChange(BSTR message) override;

private:
    ModuleDataObject();
    ~ModuleDataObject();

    HRESULT GetFileGroupDescriptor(STGMEDIUM* medium);
    HRESULT GetFileContents(LONG index, DWORD tymed, STGMEDIUM* medium);
    HRESULT ServeFileContents(TransferEntry& entry, DWORD tymed, STGMEDIUM* medium);
    HRESULT GetDropFiles(STGMEDIUM* medium);
    HRESULT GetStagedIdListArray(STGMEDIUM* medium);
    HRESULT EnsureStaged();
    HRESULT StageFiles();
    // Reads all of an entry's bytes from a clone of its stream, with progress
    // the first time.
    HRESULT ReadEntry(TransferEntry& entry, IStream* clone, BYTE* bytes, ULONG size);
    void StartOutwardTransfer();
    void CloseProgress();
    void RefreshClipboardCopy();
    bool OnClipboard();
    void FinishMoveIfDone();
    void FinishMove();
    IUnknown* View();
    IModuleChangeSink* ViewSink();
    static HRESULT HGlobalMedium(HGLOBAL block, STGMEDIUM* medium);

    volatile LONG refs_ = 1;
    std::wstring folderPath_;
    DWORD viewToken_ = 0;
    Microsoft::WRL::ComPtr<IUnknown> view_;
    Microsoft::WRL::ComPtr<IModuleChangeSink> sink_;
    IStream* viewStream_ = nullptr;   // marshalled, not yet taken
    IStream* sinkStream_ = nullptr;
    std::vector<IdListHolder> selection_;
    std::vector<TransferEntry> entries_;
    DWORD preferredEffect_ = 0;
    DWORD performedEffect_ = 0;
    DWORD logicalPerformedEffect_ = 0;
    DWORD pasteSucceeded_ = 0;
    std::unique_ptr<ProgressDialog> progress_;
    DWORD cancel_ = 0;
    bool targetIsRecycleBin_ = false;
    ClipboardThreadState* thread_ = nullptr;
    DWORD ownerThreadId_ = 0;
    bool comEntered_ = false;
    std::unique_ptr<StagingFolder> staging_;
    std::vector<std::wstring> stagedPaths_;
};

// Makes a data object for the selection of module items (item identifier
// lists relative to folderPath, as the view passes them). Without
// `clipboard` it is made and filled on the calling thread; with it, it is
// made, filled and put on the clipboard on a clipboard thread of its own,
// and the answer is a marshalled pointer to it.
HRESULT CreateModuleDataObject(const std::wstring& folderPath, IUnknown* view,
                               const LPCITEMIDLIST* items, UINT count, DWORD preferredEffect,
                               IModuleChangeSink* sink, bool clipboard, IDataObject** out);
