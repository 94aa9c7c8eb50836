// Small owners for the platform's resources, so that no function frees by hand.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <objbase.h>
#include <shlobj.h>
#include <memory>
#include <utility>

struct HandleCloser {
    void operator()(HANDLE h) const {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};
// A kernel handle; both null and INVALID_HANDLE_VALUE mean "none".
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : h_(h) {}
    UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept { reset(o.release()); return *this; }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }
    HANDLE get() const { return h_; }
    bool valid() const { return h_ && h_ != INVALID_HANDLE_VALUE; }
    HANDLE release() { HANDLE h = h_; h_ = nullptr; return h; }
    void reset(HANDLE h = nullptr) { HandleCloser()(h_); h_ = h; }

private:
    HANDLE h_ = nullptr;
};

struct RegKeyCloser {
    void operator()(HKEY k) const { if (k) RegCloseKey(k); }
};
using UniqueRegKey = std::unique_ptr<std::remove_pointer<HKEY>::type, RegKeyCloser>;

struct CoTaskMemFreer {
    void operator()(void* p) const { CoTaskMemFree(p); }
};
using UniqueCoTaskMemString = std::unique_ptr<wchar_t, CoTaskMemFreer>;

struct GdiObjectDeleter {
    void operator()(HGDIOBJ o) const { if (o) DeleteObject(o); }
};
template <class T>
using UniqueGdiObject = std::unique_ptr<typename std::remove_pointer<T>::type, GdiObjectDeleter>;

struct IconDestroyer {
    void operator()(HICON i) const { if (i) DestroyIcon(i); }
};
using UniqueIcon = std::unique_ptr<std::remove_pointer<HICON>::type, IconDestroyer>;

struct MenuDestroyer {
    void operator()(HMENU m) const { if (m) DestroyMenu(m); }
};
using UniqueMenu = std::unique_ptr<std::remove_pointer<HMENU>::type, MenuDestroyer>;

struct GlobalFreer {
    void operator()(HGLOBAL g) const { if (g) GlobalFree(g); }
};
using UniqueHGlobal = std::unique_ptr<void, GlobalFreer>;

// Locks an HGLOBAL for the holder's lifetime.
template <class T>
class GlobalLock_ {
public:
    explicit GlobalLock_(HGLOBAL g) : g_(g), p_(g ? static_cast<T*>(GlobalLock(g)) : nullptr) {}
    GlobalLock_(const GlobalLock_&) = delete;
    GlobalLock_& operator=(const GlobalLock_&) = delete;
    ~GlobalLock_() { if (p_) GlobalUnlock(g_); }
    T* get() const { return p_; }
    SIZE_T size() const { return p_ ? GlobalSize(g_) : 0; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    HGLOBAL g_;
    T* p_;
};
template <class T>
using GlobalLocked = GlobalLock_<T>;

// A BSTR owned by the holder.
class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(const wchar_t* s) : b_(s ? SysAllocString(s) : nullptr) {}
    UniqueBstr(const wchar_t* s, UINT len) : b_(SysAllocStringLen(s, len)) {}
    UniqueBstr(UniqueBstr&& o) noexcept : b_(o.release()) {}
    UniqueBstr& operator=(UniqueBstr&& o) noexcept { reset(o.release()); return *this; }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { reset(); }
    BSTR get() const { return b_; }
    BSTR* out() { reset(); return &b_; }
    BSTR release() { BSTR b = b_; b_ = nullptr; return b; }
    void reset(BSTR b = nullptr) { if (b_) SysFreeString(b_); b_ = b; }
    UINT length() const { return b_ ? SysStringLen(b_) : 0; }
    const wchar_t* c_str() const { return b_ ? b_ : L""; }

private:
    BSTR b_ = nullptr;
};

// A VARIANT cleared when the holder goes.
class UniqueVariant {
public:
    UniqueVariant() { VariantInit(&v_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { VariantClear(&v_); }
    VARIANT* get() { return &v_; }
    const VARIANT* get() const { return &v_; }
    VARIANT* out() { VariantClear(&v_); return &v_; }

private:
    VARIANT v_;
};
