// An in-process module for the view's tests: a few folders held in memory,
// served through the module-access interface with the listing layout of the
// real server, and the sinks that views register, so that a test can send
// change notifications.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "module_access/module_access_h.h"

class FakeModuleAccess final : public ModuleAccess {
public:
    struct Entry {
        std::wstring name;
        std::wstring shortName;
        LONG size = 0;
        LONG attributes = FILE_ATTRIBUTE_ARCHIVE;
        double created = 0;
        double accessed = 0;
        double modified = 0;
    };

    static FakeModuleAccess* Create();

    // Folder paths as the view lists them: "" for the module, "\A:", "\A:\Data".
    void SetFolder(const std::wstring& folderPath, std::vector<Entry> entries);
    void AddEntry(const std::wstring& folderPath, const Entry& entry);
    void RemoveEntry(const std::wstring& folderPath, const std::wstring& name);
    // The next ListFolder calls fail with this result (S_OK: none fail).
    void FailListings(HRESULT hr) { listFailure_ = hr; }
    int ListCalls() const { return listCalls_; }
    const std::vector<std::wstring>& InvalidateCalls() const { return invalidations_; }
    // Sinks currently advised, and the folders they were advised for.
    size_t SinkCount() const { return sinks_.size(); }
    std::wstring SinkFolder(size_t index) const;
    // Calls OnChange on every advised sink.
    void Notify(const std::wstring& message);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override;
    // IDispatch: the view calls through the vtable only.
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    // ModuleAccess
    STDMETHODIMP Advise(BSTR folderPath, IUnknown* sink, LONG* cookie) override;
    STDMETHODIMP InvalidateCache(BSTR path) override;
    STDMETHODIMP CopyItem(BSTR, BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP CreateFolder(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP CreateStandardFolders(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP DeleteFile(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP Format(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP GetDiskSpace(BSTR, LONG*, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP ListFolder(BSTR request, VARIANT_BOOL foldersOnly, VARIANT* records) override;
    STDMETHODIMP OpenFile(BSTR, IUnknown**) override { return E_NOTIMPL; }
    STDMETHODIMP GetLabel(BSTR, BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP Reserved18() override { return E_NOTIMPL; }
    STDMETHODIMP RenameFile(BSTR, BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP RenameFolder(BSTR, BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP WriteFile(BSTR, IUnknown*, LONG) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(LONG cookie) override;
    STDMETHODIMP DeleteFolder(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP SetAttributes(BSTR, LONG) override { return E_NOTIMPL; }
    STDMETHODIMP SetLabel(BSTR, BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP Reserved26() override { return E_NOTIMPL; }
    STDMETHODIMP SetPort(BSTR) override { return E_NOTIMPL; }

private:
    FakeModuleAccess() = default;
    ~FakeModuleAccess();

    struct Sink {
        LONG cookie;
        std::wstring folder;
        IModuleChangeSink* sink;
    };

    LONG refs_ = 1;
    std::map<std::wstring, std::vector<Entry>> folders_;
    HRESULT listFailure_ = S_OK;
    int listCalls_ = 0;
    LONG nextCookie_ = 1;
    std::vector<Sink> sinks_;
    std::vector<std::wstring> invalidations_;
};

// A file or folder entry in one line.
FakeModuleAccess::Entry FakeFile(const wchar_t* name, LONG size, double modified = 40000.5,
                                 LONG attributes = FILE_ATTRIBUTE_ARCHIVE);
FakeModuleAccess::Entry FakeFolder(const wchar_t* name, double modified = 40000.5,
                                   LONG attributes = FILE_ATTRIBUTE_DIRECTORY);
FakeModuleAccess::Entry FakeDrive(const wchar_t* letterColon, LONG capacity, double freeBytes);
