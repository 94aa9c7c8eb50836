#include "tests/view/fake_module_access.h"

#include <algorithm>

FakeModuleAccess* FakeModuleAccess::Create() { return new FakeModuleAccess(); }

FakeModuleAccess::~FakeModuleAccess() {
    for (Sink& sink : sinks_) sink.sink->Release();
}

STDMETHODIMP FakeModuleAccess::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_ModuleAccess) {
        *out = static_cast<ModuleAccess*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) FakeModuleAccess::Release() {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
}

void FakeModuleAccess::SetFolder(const std::wstring& folderPath, std::vector<Entry> entries) {
    folders_[folderPath] = std::move(entries);
}

void FakeModuleAccess::AddEntry(const std::wstring& folderPath, const Entry& entry) {
    folders_[folderPath].push_back(entry);
}

void FakeModuleAccess::RemoveEntry(const std::wstring& folderPath, const std::wstring& name) {
    auto& entries = folders_[folderPath];
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const Entry& e) { return lstrcmpiW(e.name.c_str(), name.c_str()) == 0; }),
                  entries.end());
}

std::wstring FakeModuleAccess::SinkFolder(size_t index) const {
    return index < sinks_.size() ? sinks_[index].folder : std::wstring();
}

void FakeModuleAccess::Notify(const std::wstring& message) {
    // Copies: a sink may unadvise while it is called.
    std::vector<IModuleChangeSink*> sinks;
    for (Sink& sink : sinks_) {
        sink.sink->AddRef();
        sinks.push_back(sink.sink);
    }
    BSTR text = SysAllocString(message.c_str());
    for (IModuleChangeSink* sink : sinks) {
        sink->OnChange(text);
        sink->Release();
    }
    SysFreeString(text);
}

STDMETHODIMP FakeModuleAccess::Advise(BSTR folderPath, IUnknown* sink, LONG* cookie) {
    if (!sink || !cookie) return E_POINTER;
    IModuleChangeSink* changeSink = nullptr;
    HRESULT hr = sink->QueryInterface(IID_IModuleChangeSink, reinterpret_cast<void**>(&changeSink));
    if (FAILED(hr)) return hr;
    *cookie = nextCookie_++;
    sinks_.push_back({*cookie, folderPath ? folderPath : L"", changeSink});
    return S_OK;
}

STDMETHODIMP FakeModuleAccess::Unadvise(LONG cookie) {
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
        if (it->cookie == cookie) {
            IModuleChangeSink* sink = it->sink;
            sinks_.erase(it);
            sink->Release();
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

STDMETHODIMP FakeModuleAccess::InvalidateCache(BSTR path) {
    invalidations_.push_back(path ? path : L"");
    return S_OK;
}

STDMETHODIMP FakeModuleAccess::ListFolder(BSTR request, VARIANT_BOOL foldersOnly, VARIANT* records) {
    if (!records) return E_POINTER;
    VariantInit(records);
    ++listCalls_;
    if (FAILED(listFailure_)) return listFailure_;
    std::wstring text = request ? request : L"";
    std::vector<const Entry*> found;
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, L"\\*") == 0) {
        std::wstring folder = text.substr(0, text.size() - 2);
        auto it = folders_.find(folder);
        if (it == folders_.end()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        for (const Entry& entry : it->second)
            if (!foldersOnly || (entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) found.push_back(&entry);
    } else {
        size_t slash = text.rfind(L'\\');
        std::wstring folder = slash == std::wstring::npos || slash == 0 ? L"" : text.substr(0, slash);
        std::wstring name = slash == std::wstring::npos ? text : text.substr(slash + 1);
        auto it = folders_.find(folder);
        if (it != folders_.end())
            for (const Entry& entry : it->second)
                if (lstrcmpiW(entry.name.c_str(), name.c_str()) == 0) found.push_back(&entry);
    }
    if (found.empty()) return S_OK;

    const LONG n = static_cast<LONG>(found.size());
    SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(n), 0}, {7, 0}};
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
    if (!array) return E_OUTOFMEMORY;
    VARIANT* cells = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&cells));
    for (LONG i = 0; i < n; ++i) {
        const Entry& e = *found[i];
        VARIANT* f[7];
        for (int j = 0; j < 7; ++j) f[j] = &cells[i + n * j];   // first index varies fastest
        V_VT(f[0]) = VT_BSTR;
        V_BSTR(f[0]) = SysAllocString(e.name.c_str());
        V_VT(f[1]) = VT_BSTR;
        V_BSTR(f[1]) = SysAllocString(e.shortName.c_str());
        V_VT(f[2]) = VT_I4;
        V_I4(f[2]) = e.size;
        V_VT(f[3]) = VT_I4;
        V_I4(f[3]) = e.attributes;
        V_VT(f[4]) = VT_DATE;
        V_DATE(f[4]) = e.created;
        V_VT(f[5]) = VT_DATE;
        V_DATE(f[5]) = e.accessed;
        V_VT(f[6]) = VT_DATE;
        V_DATE(f[6]) = e.modified;
    }
    SafeArrayUnaccessData(array);
    V_VT(records) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(records) = array;
    return S_OK;
}

FakeModuleAccess::Entry FakeFile(const wchar_t* name, LONG size, double modified, LONG attributes) {
    FakeModuleAccess::Entry e;
    e.name = name;
    e.shortName = name;
    e.size = size;
    e.attributes = attributes;
    e.created = e.accessed = e.modified = modified;
    return e;
}

FakeModuleAccess::Entry FakeFolder(const wchar_t* name, double modified, LONG attributes) {
    return FakeFile(name, 0, modified, attributes | FILE_ATTRIBUTE_DIRECTORY);
}

FakeModuleAccess::Entry FakeDrive(const wchar_t* letterColon, LONG capacity, double freeBytes) {
    FakeModuleAccess::Entry e;
    e.name = letterColon;
    e.shortName = letterColon;
    e.size = capacity;
    e.attributes = 0;
    e.modified = freeBytes;
    return e;
}
