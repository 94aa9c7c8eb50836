#include "common/module_thread.h"

#include <new>

#include "common/module_count.h"

namespace {

struct ThreadStart {
    LPTHREAD_START_ROUTINE routine;
    void* parameter;
    HMODULE library;
};

DWORD WINAPI ModuleThreadMain(void* raw) {
    ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    DWORD code = start.routine(start.parameter);
    ModuleRelease();
    // Returns into the system, not into the library it may have just freed.
    FreeLibraryAndExitThread(start.library, code);
}

}  // namespace

HRESULT StartModuleThread(LPTHREAD_START_ROUTINE routine, void* parameter, HANDLE* thread) {
    if (thread) *thread = nullptr;
    auto* start = new (std::nothrow) ThreadStart{routine, parameter, nullptr};
    if (!start) return E_OUTOFMEMORY;
    // Without GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT: one more load of
    // the library, which the thread gives back as it ends.
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&ModuleThreadMain), &start->library)) {
        HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        delete start;
        return hr;
    }
    ModuleAddRef();
    HANDLE handle = CreateThread(nullptr, 0, &ModuleThreadMain, start, 0, nullptr);
    if (!handle) {
        HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        ModuleRelease();
        FreeLibrary(start->library);
        delete start;
        return hr;
    }
    if (thread)
        *thread = handle;
    else
        CloseHandle(handle);
    return S_OK;
}

DWORD WaitPumpingMessages(HANDLE handle, DWORD timeout) {
    DWORD startTick = GetTickCount();
    for (;;) {
        DWORD left = INFINITE;
        if (timeout != INFINITE) {
            DWORD spent = GetTickCount() - startTick;
            left = spent >= timeout ? 0 : timeout - spent;
        }
        DWORD result = MsgWaitForMultipleObjectsEx(1, &handle, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (result != WAIT_OBJECT_0 + 1) return result;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // Left for the thread's own loop to see.
                PostQuitMessage(static_cast<int>(msg.wParam));
                return WaitForSingleObject(handle, left);
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}
