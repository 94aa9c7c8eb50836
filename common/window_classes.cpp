#include "common/window_classes.h"

#include "common/module_count.h"

const wchar_t kParentWindowClass[] = L"KTX Parent Window";
const wchar_t kWebViewWindowClass[] = L"KTX_WEBVIEW_CLASS_NAME";
const wchar_t kViewWindowClass[] = L"KTX Module View";
const wchar_t kPasteReplyWindowClass[] = L"KTX Paste Reply";

namespace {

// Every window of these classes holds the library from WM_NCCREATE to
// WM_NCDESTROY: its procedure is the library's code.
LRESULT CALLBACK HandlerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        ModuleAddRef();
    }
    auto handler = reinterpret_cast<WindowMessageHandler*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    LRESULT result = handler ? handler->OnWindowMessage(window, message, wParam, lParam)
                             : DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) ModuleRelease();
    return result;
}

struct ClassSpec {
    const wchar_t* name;
    bool hostInstance;  // registered for the host process rather than the library
    WNDPROC procedure;
    LPCWSTR cursor;
    HBRUSH background;
};

const ClassSpec kClasses[] = {
    {kParentWindowClass, true, DefWindowProcW, nullptr, nullptr},
    {kWebViewWindowClass, false, DefWindowProcW, IDC_ARROW, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))},
    {kViewWindowClass, false, HandlerWindowProc, IDC_ARROW, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)},
    {kPasteReplyWindowClass, false, HandlerWindowProc, nullptr, nullptr},
};

HINSTANCE InstanceFor(const ClassSpec& entry) {
    return entry.hostInstance ? GetModuleHandleW(nullptr) : CodeModule();
}

}  // namespace

HINSTANCE CodeModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&CodeModule), &module);
    return module;
}

bool RegisterModuleWindowClasses() {
    for (const ClassSpec& entry : kClasses) {
        HINSTANCE instance = InstanceFor(entry);
        WNDCLASSEXW existing = {sizeof(existing)};
        if (GetClassInfoExW(instance, entry.name, &existing)) continue;
        WNDCLASSEXW wc = {sizeof(wc)};
        wc.lpfnWndProc = entry.procedure;
        wc.hInstance = instance;
        wc.hCursor = entry.cursor ? LoadCursorW(nullptr, entry.cursor) : nullptr;
        wc.hbrBackground = entry.background;
        wc.lpszClassName = entry.name;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    }
    return true;
}

void UnregisterModuleWindowClasses() {
    for (const ClassSpec& entry : kClasses) UnregisterClassW(entry.name, InstanceFor(entry));
}
