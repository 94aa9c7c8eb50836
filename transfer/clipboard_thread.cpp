#include "transfer/clipboard_thread.h"

#include <mmsystem.h>
#include <shlobj.h>
#include <wrl/client.h>

#include "common/holders.h"
#include "common/module_count.h"
#include "common/module_thread.h"
#include "common/result_codes.h"
#include "common/window_classes.h"
#include "module_access/com_thread.h"
#include "module_access/module_access.h"
#include "module_access/module_errors.h"
#include "item_id/module_item_id.h"
#include "transfer/module_data_object.h"

using Microsoft::WRL::ComPtr;

namespace {

// Wakes the thread's loop to release the creator's reference: the creator
// could not take the object.
constexpr WPARAM kQuitReleasingObject = 2;

volatile HANDLE g_lastThread = nullptr;
// The window of the clipboard thread that last put an object on the clipboard.
HWND volatile g_servingWindow = nullptr;

HWND ServingWindow() {
    return static_cast<HWND>(InterlockedCompareExchangePointer(
        reinterpret_cast<void* volatile*>(&g_servingWindow), nullptr, nullptr));
}
void SetServingWindow(HWND window, HWND expected, bool onlyIfExpected) {
    auto target = reinterpret_cast<void* volatile*>(&g_servingWindow);
    if (onlyIfExpected)
        InterlockedCompareExchangePointer(target, window, expected);
    else
        InterlockedExchangePointer(target, window);
}

// Shared by the asking thread and the clipboard thread; the last to let go frees it.
struct MarshalRequest {
    volatile LONG refs = 2;
    HANDLE done = nullptr;
    IStream* stream = nullptr;

    void Release() {
        if (InterlockedDecrement(&refs) != 0) return;
        DiscardStreamOf(this);
    }
    static void DiscardStreamOf(MarshalRequest* request);
};

struct ClipboardJob {
    ModuleDataObject* object = nullptr;   // the creation reference
    HANDLE ready = nullptr;
    HRESULT result = E_FAIL;
    IStream* objectStream = nullptr;      // the object, marshalled for the creator
    ClipboardThreadState* state = nullptr;
};

void DiscardStream(IStream* stream) {
    if (!stream) return;
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    CoReleaseMarshalData(stream);
    stream->Release();
}

void MarshalRequest::DiscardStreamOf(MarshalRequest* request) {
    DiscardStream(request->stream);
    CloseHandle(request->done);
    delete request;
}

void AnswerMarshalRequest(ClipboardThreadState* state, MarshalRequest* request) {
    if (state->current && OleIsCurrentClipboard(state->current) == S_OK)
        CoMarshalInterThreadInterfaceInStream(IID_IDataObject, state->current, &request->stream);
    SetEvent(request->done);
    request->Release();
}

HRESULT FillAndSetClipboard(ClipboardJob* job, ClipboardThreadState* state) {
    ModuleDataObject* object = job->object;
    ComPtr<ModuleAccess> server;
    HRESULT hr = CreateModuleAccess(&server);
    if (SUCCEEDED(hr)) hr = object->Fill(server.Get());
    if (FAILED(hr)) return hr;
    hr = OleSetClipboard(object);
    if (FAILED(hr)) return hr;
    hr = CoMarshalInterThreadInterfaceInStream(IID_IDataObject, static_cast<IDataObject*>(object),
                                               &job->objectStream);
    if (FAILED(hr)) {
        OleSetClipboard(nullptr);
        return hr;
    }
    object->AttachToThread(state);
    state->current = object;
    SetServingWindow(state->window, nullptr, false);
    return S_OK;
}

// The thread's window: requests from other threads, served by any pump.
class ClipboardWindow : public WindowMessageHandler {
public:
    explicit ClipboardWindow(ClipboardThreadState* state) : state_(state) {}
    LRESULT OnWindowMessage(HWND window, UINT message, WPARAM wp, LPARAM lp) override {
        if (message == kDestroyDataObjectMessage) {
            ModuleDataObject::DestroyPosted(lp);
            return 0;
        }
        if (message == kMarshalClipboardObjectMessage) {
            AnswerMarshalRequest(state_, reinterpret_cast<MarshalRequest*>(lp));
            return 0;
        }
        return DefWindowProcW(window, message, wp, lp);
    }

private:
    ClipboardThreadState* state_;
};

DWORD WINAPI ClipboardThread(void* parameter) {
    ClipboardJob* job = static_cast<ClipboardJob*>(parameter);
    ModuleDataObject* object = job->object;
    ClipboardThreadState state;
    state.threadId = GetCurrentThreadId();
    job->state = &state;

    const HRESULT ole = OleInitialize(nullptr);
    HRESULT hr = ole;
    bool entered = false;
    ComPtr<IUnknown> explorer;
    ClipboardWindow handler(&state);
    if (SUCCEEDED(hr) && RegisterModuleWindowClasses())
        state.window = CreateWindowExW(0, kViewWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                       nullptr, CodeModule(), &handler);
    if (SUCCEEDED(hr) && !state.window) hr = HRESULT_FROM_WIN32(GetLastError());
    if (SUCCEEDED(hr)) {
        hr = EnterComThread();
        entered = SUCCEEDED(hr);
    }
    if (SUCCEEDED(hr)) {
        // Explorer stays while this thread serves its clipboard.
        SHGetInstanceExplorer(&explorer);
        hr = FillAndSetClipboard(job, &state);
    }
    // The queue must exist before anyone posts to it.
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    job->result = hr;
    if (FAILED(hr)) {
        object->Release();
        object = nullptr;
    }
    SetEvent(job->ready);   // from here on the job belongs to the creator

    if (SUCCEEDED(hr)) {
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (msg.wParam == kQuitReleasingObject) {
            if (OleIsCurrentClipboard(static_cast<IDataObject*>(object)) == S_OK)
                OleSetClipboard(nullptr);
            object->Release();
        }
    }
    if (state.window) {
        SetServingWindow(nullptr, state.window, true);
        // Requests that came after the end of the loop get no answer.
        while (PeekMessageW(&msg, state.window, kMarshalClipboardObjectMessage,
                            kMarshalClipboardObjectMessage, PM_REMOVE))
            reinterpret_cast<MarshalRequest*>(msg.lParam)->Release();
        DestroyWindow(state.window);
    }
    explorer.Reset();
    if (entered) LeaveComThread();
    if (SUCCEEDED(ole)) OleUninitialize();
    return 0;
}

}  // namespace

HRESULT MakeClipboardDataObject(const std::wstring& folderPath, IUnknown* view,
                                const LPCITEMIDLIST* items, UINT count, DWORD preferredEffect,
                                IModuleChangeSink* sink, IDataObject** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ModuleDataObject* object = nullptr;
    // The view and the sink are reached from the clipboard thread through
    // marshalled copies; the object keeps neither raw pointer.
    HRESULT hr = ModuleDataObject::Create(folderPath, nullptr, items, count, preferredEffect,
                                          nullptr, &object);
    if (FAILED(hr)) return hr;
    IStream* viewStream = nullptr;
    IStream* sinkStream = nullptr;
    if (view) hr = CoMarshalInterThreadInterfaceInStream(IID_IUnknown, view, &viewStream);
    if (SUCCEEDED(hr) && sink)
        hr = CoMarshalInterThreadInterfaceInStream(IID_IModuleChangeSink, sink, &sinkStream);
    if (FAILED(hr)) {
        DiscardStream(viewStream);
        object->Release();
        return hr;
    }
    object->SetMarshalledInterfaces(viewStream, sinkStream);
    object->SetViewToken(view);

    ClipboardJob job;
    job.object = object;
    UniqueHandle ready(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    job.ready = ready.get();
    if (!ready.valid()) {
        object->Release();
        return HRESULT_FROM_WIN32(GetLastError());
    }
    // The running thread keeps the library loaded.
    HANDLE thread = nullptr;
    if (FAILED(StartModuleThread(&ClipboardThread, &job, &thread))) {
        object->Release();
        return E_FAIL;
    }
    const DWORD threadId = GetThreadId(thread);
    HANDLE previous = InterlockedExchangePointer(const_cast<HANDLE*>(&g_lastThread), thread);
    if (previous) CloseHandle(previous);
    // Keep this thread's windows alive while the clipboard thread works.
    DWORD index = 0;
    CoWaitForMultipleHandles(0, INFINITE, 1, &job.ready, &index);
    if (FAILED(job.result)) return job.result;

    IDataObject* taken = nullptr;
    hr = CoGetInterfaceAndReleaseStream(job.objectStream, IID_IDataObject,
                                        reinterpret_cast<void**>(&taken));
    if (FAILED(hr)) {
        // The thread waits in its loop: nothing else touches the counter now.
        InterlockedDecrement(&job.state->live);
        object->DetachFromThread();
        PostThreadMessageW(threadId, WM_QUIT, kQuitReleasingObject, 0);
        return hr;
    }
    // The creation reference: the clipboard and the caller hold their own.
    object->Release();
    *out = taken;
    return S_OK;
}

HRESULT CutOrCopyToClipboard(const std::wstring& folderPath, IUnknown* view,
                             const LPCITEMIDLIST* items, UINT count, DWORD dropEffect,
                             IModuleChangeSink* sink) {
    LPCITEMIDLIST first = count && items && items[0] ? ItemAt(items[0], 0) : nullptr;
    if (first && IsValidItemId(first) && IsDriveItem(first)) {
        sndPlaySoundW(L".Default", SND_ASYNC);
        return S_OK;
    }
    IDataObject* object = nullptr;
    HRESULT hr = MakeClipboardDataObject(folderPath, view, items, count, dropEffect, sink, &object);
    if (FAILED(hr)) {
        if (hr != E_OPERATION_CANCELLED) ReportModuleError(hr, L"");
        return hr;
    }
    object->Release();
    return S_OK;
}

HANDLE TakeLastClipboardThread() {
    return InterlockedExchangePointer(const_cast<HANDLE*>(&g_lastThread), nullptr);
}

HRESULT GetClipboardDataObject(IDataObject** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    const HWND window = ServingWindow();
    MarshalRequest* request = window ? new (std::nothrow) MarshalRequest : nullptr;
    if (request) request->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (request && request->done &&
        PostMessageW(window, kMarshalClipboardObjectMessage, 0, reinterpret_cast<LPARAM>(request))) {
        DWORD index = 0;
        if (CoWaitForMultipleHandles(0, 5000, 1, &request->done, &index) == S_OK &&
            request->stream) {
            IStream* stream = request->stream;
            request->stream = nullptr;
            HRESULT hr = CoGetInterfaceAndReleaseStream(stream, IID_IDataObject,
                                                        reinterpret_cast<void**>(out));
            request->Release();
            if (SUCCEEDED(hr)) return hr;
            return OleGetClipboard(out);
        }
        request->Release();
    } else if (request) {
        // Never posted: this thread holds both references.
        request->Release();
        request->Release();
    }
    return OleGetClipboard(out);
}
