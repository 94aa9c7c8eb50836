// An in-process ModuleAccess over an in-memory module tree, for tests that
// must force a result: failures with or without error information, raw
// ListFolder answers, and a log of every call made.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "common/com_object.h"
#include "module_access/module_access.h"
#include "module_access/module_access_h.h"

class FakeModuleAccess : public ModuleAccess, public RefCounted<FakeModuleAccess> {
public:
    struct Entry {
        std::wstring path;  // as given, e.g. \A:\Data\Photo.jpg
        std::wstring shortName;
        DWORD size = 0;
        DWORD attributes = 0;
        double created = 0;
        double accessed = 0;
        double modified = 0;
    };

    FakeModuleAccess() = default;

    // The tree. Paths are module paths; parents are not created implicitly.
    Entry& AddDrive(const wchar_t* letterColon, DWORD capacity = 1 << 20, DWORD freeBytes = 1 << 19);
    Entry& AddFolder(const wchar_t* path, const wchar_t* shortName = nullptr);
    Entry& AddFile(const wchar_t* path, DWORD size = 0, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE,
                   const wchar_t* shortName = nullptr);
    bool Exists(const wchar_t* path) const;

    // The next calls of `method` (name as in the interface, e.g. L"ListFolder")
    // whose first argument equals `path` (empty: any) fail with hr; a
    // non-empty description is set as error information first. `times` < 0:
    // every matching call.
    void FailOn(const wchar_t* method, const wchar_t* path, HRESULT hr,
                const wchar_t* description = nullptr, int times = -1);
    // ListFolder(request) answers a copy of `result` instead of the tree.
    void SetRawListing(const wchar_t* request, const VARIANT& result);
    // The next ListFolder(request) hands over `result` itself (taken from
    // the caller, who gets VT_EMPTY back); later calls answer as before.
    void QueueRawListing(const wchar_t* request, VARIANT* result);

    // "Method(arg1,arg2)" per call, in order.
    std::vector<std::wstring> Calls() const { return calls_; }
    size_t CountCalls(const wchar_t* method) const;
    void ClearCalls() { calls_.clear(); }

    // The 2-D answer ListFolder gives for these records (entry-major).
    static HRESULT BuildListing(const std::vector<const Entry*>& entries, VARIANT* result);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
    // IDispatch: not provided.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return E_NOTIMPL;
    }
    // ModuleAccess
    STDMETHODIMP Advise(BSTR folderPath, IUnknown* sink, LONG* cookie) override;
    STDMETHODIMP InvalidateCache(BSTR path) override;
    STDMETHODIMP CopyItem(BSTR sourcePath, BSTR targetPath) override;
    STDMETHODIMP CreateFolder(BSTR path) override;
    STDMETHODIMP CreateStandardFolders(BSTR drive) override;
    STDMETHODIMP DeleteFile(BSTR path) override;
    STDMETHODIMP Format(BSTR drive) override;
    STDMETHODIMP GetDiskSpace(BSTR drivePath, LONG* capacity, LONG* freeBytes) override;
    STDMETHODIMP ListFolder(BSTR request, VARIANT_BOOL foldersOnly, VARIANT* records) override;
    STDMETHODIMP OpenFile(BSTR path, IUnknown** stream) override;
    STDMETHODIMP GetLabel(BSTR drive, BSTR* label) override;
    STDMETHODIMP Reserved18() override { return E_NOTIMPL; }
    STDMETHODIMP RenameFile(BSTR oldPath, BSTR newPath) override;
    STDMETHODIMP RenameFolder(BSTR oldPath, BSTR newPath) override;
    STDMETHODIMP WriteFile(BSTR targetPath, IUnknown* source, LONG attributes) override;
    STDMETHODIMP Unadvise(LONG cookie) override;
    STDMETHODIMP DeleteFolder(BSTR path) override;
    STDMETHODIMP SetAttributes(BSTR path, LONG attributes) override;
    STDMETHODIMP SetLabel(BSTR drive, BSTR label) override;
    STDMETHODIMP Reserved26() override { return E_NOTIMPL; }
    STDMETHODIMP SetPort(BSTR portName) override;

private:
    ~FakeModuleAccess() override;
    friend class RefCounted<FakeModuleAccess>;

    struct Failure {
        std::wstring method;
        std::wstring path;
        HRESULT hr;
        std::wstring description;
        int times;
    };
    static std::wstring Key(const std::wstring& path);
    // Logs the call and answers an injected failure, else S_OK.
    HRESULT Enter(const wchar_t* method, const wchar_t* first, const std::wstring& rest = L"");
    std::vector<const Entry*> Children(const std::wstring& folder) const;

    std::map<std::wstring, Entry> entries_;  // by upper-case path
    std::map<std::wstring, std::pair<DWORD, DWORD>> space_;
    std::map<std::wstring, VARIANT> rawListings_;
    std::multimap<std::wstring, VARIANT> queuedListings_;
    std::vector<Failure> failures_;
    std::vector<std::wstring> calls_;
    LONG nextCookie_ = 1;
};

// Makes CreateModuleAccess hand out (a reference to) one fake for its lifetime.
class FakeModuleAccessScope : private ModuleAccessFactory {
public:
    explicit FakeModuleAccessScope(FakeModuleAccess* fake);
    ~FakeModuleAccessScope();
    FakeModuleAccessScope(const FakeModuleAccessScope&) = delete;
    FakeModuleAccessScope& operator=(const FakeModuleAccessScope&) = delete;

private:
    HRESULT Create(ModuleAccess** access) override;
    FakeModuleAccess* fake_;
    ModuleAccessFactory* previous_;
};
