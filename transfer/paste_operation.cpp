#include "transfer/paste_operation.h"

#include <mmsystem.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <memory>

#include "common/holders.h"
#include "common/module_thread.h"
#include "common/result_codes.h"
#include "common/window_classes.h"
#include "module_access/com_thread.h"
#include "module_access/module_access.h"
#include "module_access/module_errors.h"
#include "item_id/module_item_id.h"
#include "transfer/clipboard_formats.h"
#include "transfer/clipboard_thread.h"
#include "transfer/copy_engine.h"
#include "transfer/directory_data_format.h"
#include "transfer/hdrop_format.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kMove = DROPEFFECT_MOVE;

// The source hears "Performed DropEffect" and "Paste Succeeded" on the
// thread that handed it over, through a message-only window there: not
// every marshaller carries SetData to another apartment. The window owns
// this object and a reference to the source until it is destroyed.
class SourceReply final : public WindowMessageHandler {
public:
    static constexpr UINT kWrite = WM_APP + 1;   // wParam: format, lParam: value
    static constexpr UINT kDone = WM_APP + 2;

    // On the caller's thread; null when no window can be made.
    static HWND Create(IDataObject* source) {
        RegisterModuleWindowClasses();
        bool attached = false;
        auto* reply = new (std::nothrow) SourceReply(source, &attached);
        if (!reply) return nullptr;
        HWND window = CreateWindowExW(0, kPasteReplyWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, CodeModule(), reply);
        // A window that was made and failed has deleted its handler already.
        if (!window && !attached) delete reply;
        return window;
    }

    LRESULT OnWindowMessage(HWND window, UINT message, WPARAM wp, LPARAM lp) override {
        switch (message) {
        case WM_NCCREATE:
            *attached_ = true;
            attached_ = nullptr;
            source_->AddRef();
            break;
        case kWrite:
            return WriteDwordFormat(source_, static_cast<CLIPFORMAT>(wp), static_cast<DWORD>(lp));
        case kDone:
            DestroyWindow(window);
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            source_->Release();
            delete this;
            return 0;
        }
        return DefWindowProcW(window, message, wp, lp);
    }

private:
    SourceReply(IDataObject* source, bool* attached) : source_(source), attached_(attached) {}
    ~SourceReply() = default;

    IDataObject* source_;
    bool* attached_;
};

struct PasteJob {
    std::wstring destination;
    HWND owner = nullptr;
    DWORD effect = 0;
    volatile LONG* done = nullptr;
    IStream* dataStream = nullptr;   // the marshalled data object
    HWND reply = nullptr;            // SourceReply on the caller's thread, or null
};

void DiscardMarshalledStream(IStream* stream) {
    if (!stream) return;
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    CoReleaseMarshalData(stream);
    stream->Release();
}

HRESULT WriteEffect(const PasteJob& job, IDataObject* data, ModuleClipboardFormat format,
                    DWORD value) {
    const CLIPFORMAT id = ClipboardFormat(format);
    if (job.reply)
        return static_cast<HRESULT>(SendMessageW(job.reply, SourceReply::kWrite, id, value));
    return WriteDwordFormat(data, id, value);
}

// The engine's run over what the data carries; Complete() says whether
// every item arrived.
bool RunEngine(CopyEngine* engine, IDataObject* data, const FormatInventory& inventory) {
    HRESULT hr;
    if (inventory.CanGet(FormatInventory::DirectoryData)) {
        DirectoryData selection;
        hr = ReadDirectoryData(data, &selection);
        if (SUCCEEDED(hr)) {
            std::vector<LPCITEMIDLIST> lists;
            for (const IdListHolder& item : selection.items) lists.push_back(item.get());
            hr = engine->TransferModuleItems(selection.folderPath, lists.data(),
                                             static_cast<UINT>(lists.size()));
        }
    } else {
        std::vector<std::wstring> paths;
        hr = ReadDropFiles(data, &paths);
        if (SUCCEEDED(hr)) hr = engine->TransferPcItems(paths);
    }
    // A block that does not hold what it claims is refused before anything is written.
    if (hr == E_BAD_FORMAT_BLOCK) ReportModuleError(hr, L"");
    return SUCCEEDED(hr) && engine->Complete();
}

DWORD Work(PasteJob* job) {
    ComPtr<IDataObject> data;
    HRESULT hr = CoGetInterfaceAndReleaseStream(job->dataStream, IID_IDataObject, &data);
    job->dataStream = nullptr;
    if (FAILED(hr)) return static_cast<DWORD>(hr);
    FormatInventory inventory;
    TakeFormatInventory(data.Get(), &inventory);
    if (!inventory.CanGet(FormatInventory::Hdrop | FormatInventory::DirectoryData))
        return static_cast<DWORD>(E_FAIL);

    DWORD effect = job->effect ? job->effect : ReadPreferredDropEffect(data.Get());
    const bool move = (effect & kMove) != 0;
    const bool fromPc = !inventory.CanGet(FormatInventory::DirectoryData);
    // The shell's hand-shake: the PC source learns of the move first and
    // removes its files only after "Paste Succeeded" says so.
    if (move && fromPc) WriteEffect(*job, data.Get(), ModuleClipboardFormat::PerformedDropEffect, kMove);

    ComPtr<ModuleAccess> server;
    if (FAILED(CreateModuleAccess(&server))) {
        if (move) WriteEffect(*job, data.Get(), ModuleClipboardFormat::PasteSucceeded, 0);
        return S_OK;
    }
    CopyEngine engine(server.Get(), job->destination, effect, job->owner);
    const bool complete = RunEngine(&engine, data.Get(), inventory);
    if (complete) {
        if (move) WriteEffect(*job, data.Get(), ModuleClipboardFormat::PasteSucceeded, kMove);
        if (job->done) InterlockedExchange(job->done, 1);
    } else if (move) {
        WriteEffect(*job, data.Get(), ModuleClipboardFormat::PasteSucceeded, 0);
    }
    engine.CloseProgress();
    return S_OK;
}

DWORD WINAPI PasteThread(void* parameter) {
    std::unique_ptr<PasteJob> job(static_cast<PasteJob*>(parameter));
    HRESULT ole = OleInitialize(nullptr);
    DWORD code = static_cast<DWORD>(ole);
    if (SUCCEEDED(ole)) {
        code = static_cast<DWORD>(EnterComThread());
        if (SUCCEEDED(static_cast<HRESULT>(code))) {
            ComPtr<IUnknown> explorer;
            SHGetInstanceExplorer(&explorer);
            code = Work(job.get());
            explorer.Reset();
            LeaveComThread();
        }
    }
    DiscardMarshalledStream(job->dataStream);
    if (job->reply) PostMessageW(job->reply, SourceReply::kDone, 0, 0);
    job.reset();
    if (SUCCEEDED(ole)) OleUninitialize();
    return code;
}

}  // namespace

HRESULT StartPasteOperation(const std::wstring& destination, HWND owner, IDataObject* data,
                            DWORD effect, bool wait, volatile LONG* done) {
    if (destination.empty()) {
        sndPlaySoundW(L".Default", SND_ASYNC);
        return S_OK;
    }
    if (done) InterlockedExchange(done, 0);
    ComPtr<IDataObject> source = data;
    if (!source) {
        // Our own Cut must hear "Paste Succeeded": the platform's clipboard
        // copy of it may take no SetData, so the object itself when we serve it.
        HRESULT hr = GetClipboardDataObject(&source);
        if (FAILED(hr)) return hr;
    }
    FormatInventory inventory;
    TakeFormatInventory(source.Get(), &inventory);
    if (!inventory.CanGet(FormatInventory::Hdrop | FormatInventory::DirectoryData)) return E_FAIL;

    auto job = std::make_unique<PasteJob>();
    job->destination = destination;
    job->owner = owner;
    job->effect = effect;
    job->done = done;
    HRESULT hr = CoMarshalInterThreadInterfaceInStream(IID_IDataObject, source.Get(),
                                                       &job->dataStream);
    if (FAILED(hr)) return hr;
    job->reply = SourceReply::Create(source.Get());
    PasteJob* handed = job.release();
    HANDLE thread = nullptr;
    if (FAILED(StartModuleThread(&PasteThread, handed, &thread))) {
        DiscardMarshalledStream(handed->dataStream);
        if (handed->reply) DestroyWindow(handed->reply);
        delete handed;
        return E_FAIL;
    }
    DWORD code = STILL_ACTIVE;
    if (wait) {
        do {
            PumpMessages();
            Sleep(100);
            if (!GetExitCodeThread(thread, &code)) code = static_cast<DWORD>(E_FAIL);
        } while (code == STILL_ACTIVE);
        // The worker's last word to the source's window.
        PumpMessages();
    }
    CloseHandle(thread);
    return wait ? static_cast<HRESULT>(code) : S_OK;
}

bool CanPaste() {
    ComPtr<IDataObject> data;
    if (FAILED(OleGetClipboard(&data))) return false;
    FormatInventory inventory;
    if (FAILED(TakeFormatInventory(data.Get(), &inventory))) return false;
    return inventory.CanGet(FormatInventory::Hdrop | FormatInventory::DirectoryData);
}

bool IsDraggedFolder(const std::wstring& path, IDataObject* data) {
    if (!data) return false;
    DirectoryData selection;
    if (FAILED(ReadDirectoryData(data, &selection))) return false;
    for (const IdListHolder& item : selection.items) {
        LPCITEMIDLIST id = item.get();
        if (id && IsContainerItem(id) && path.size() == wcslen(ItemPath(id)) &&
            lstrcmpiW(ItemPath(id), path.c_str()) == 0)
            return true;
    }
    return false;
}

void PumpMessages() { PumpDialogMessages(nullptr); }

void PumpDialogMessages(HWND dialog) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (dialog && IsDialogMessageW(dialog, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
