#include "testing/fake_module_access.h"

#include <shlwapi.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <cwctype>

#include "common/result_codes.h"
#include "module_access/listing_layout.h"

using Microsoft::WRL::ComPtr;

namespace {

const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
const HRESULT kExists = HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);

std::wstring Str(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

std::wstring Parent(const std::wstring& path) {
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring Name(const std::wstring& path) {
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool IsDrive(const std::wstring& path) { return path.size() == 3 && path[0] == L'\\' && path[2] == L':'; }

std::wstring DrivePath(const std::wstring& drive) {
    return drive.size() == 2 ? L"\\" + drive : drive;
}

}  // namespace

FakeModuleAccess::~FakeModuleAccess() {
    for (auto& raw : rawListings_) VariantClear(&raw.second);
    for (auto& raw : queuedListings_) VariantClear(&raw.second);
}

std::wstring FakeModuleAccess::Key(const std::wstring& path) {
    std::wstring key = path;
    std::transform(key.begin(), key.end(), key.begin(), [](wchar_t c) { return towupper(c); });
    return key;
}

FakeModuleAccess::Entry& FakeModuleAccess::AddDrive(const wchar_t* letterColon, DWORD capacity,
                                                    DWORD freeBytes) {
    Entry e;
    e.path = DrivePath(letterColon);
    e.shortName = letterColon;
    e.attributes = FILE_ATTRIBUTE_DIRECTORY;
    space_[Key(e.path)] = {capacity, freeBytes};
    return entries_[Key(e.path)] = e;
}

FakeModuleAccess::Entry& FakeModuleAccess::AddFolder(const wchar_t* path, const wchar_t* shortName) {
    Entry e;
    e.path = path;
    e.shortName = shortName ? shortName : Key(Name(path)).substr(0, 8);
    e.attributes = FILE_ATTRIBUTE_DIRECTORY;
    e.created = e.accessed = e.modified = 45000.5;
    return entries_[Key(e.path)] = e;
}

FakeModuleAccess::Entry& FakeModuleAccess::AddFile(const wchar_t* path, DWORD size, DWORD attributes,
                                                   const wchar_t* shortName) {
    Entry e;
    e.path = path;
    e.shortName = shortName ? shortName : Key(Name(path)).substr(0, 12);
    e.size = size;
    e.attributes = attributes;
    e.created = 45000.25;
    e.accessed = 45001.5;
    e.modified = 45002.75;
    return entries_[Key(e.path)] = e;
}

bool FakeModuleAccess::Exists(const wchar_t* path) const { return entries_.count(Key(path)) != 0; }

void FakeModuleAccess::FailOn(const wchar_t* method, const wchar_t* path, HRESULT hr,
                              const wchar_t* description, int times) {
    failures_.push_back({method, path ? path : L"", hr, description ? description : L"", times});
}

void FakeModuleAccess::SetRawListing(const wchar_t* request, const VARIANT& result) {
    VARIANT copy;
    VariantInit(&copy);
    VariantCopy(&copy, const_cast<VARIANT*>(&result));
    auto it = rawListings_.find(Key(request));
    if (it != rawListings_.end()) VariantClear(&it->second);
    rawListings_[Key(request)] = copy;
}

void FakeModuleAccess::QueueRawListing(const wchar_t* request, VARIANT* result) {
    queuedListings_.emplace(Key(request), *result);
    VariantInit(result);
}

size_t FakeModuleAccess::CountCalls(const wchar_t* method) const {
    const std::wstring prefix = std::wstring(method) + L"(";
    return std::count_if(calls_.begin(), calls_.end(),
                         [&](const std::wstring& c) { return c.compare(0, prefix.size(), prefix) == 0; });
}

HRESULT FakeModuleAccess::Enter(const wchar_t* method, const wchar_t* first, const std::wstring& rest) {
    std::wstring call = std::wstring(method) + L"(" + first;
    if (!rest.empty()) call += L"," + rest;
    calls_.push_back(call + L")");
    for (auto it = failures_.begin(); it != failures_.end(); ++it) {
        if (it->method != method) continue;
        if (!it->path.empty() && Key(it->path) != Key(first)) continue;
        const HRESULT hr = it->hr;
        if (!it->description.empty()) {
            ComPtr<ICreateErrorInfo> create;
            if (SUCCEEDED(CreateErrorInfo(&create))) {
                create->SetDescription(const_cast<LPOLESTR>(it->description.c_str()));
                ComPtr<IErrorInfo> info;
                if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
            }
        }
        if (it->times > 0 && --it->times == 0) failures_.erase(it);
        return hr;
    }
    return S_OK;
}

std::vector<const FakeModuleAccess::Entry*> FakeModuleAccess::Children(const std::wstring& folder) const {
    std::vector<const Entry*> children;
    const std::wstring key = Key(folder);
    for (const auto& e : entries_)
        if (Key(Parent(e.second.path)) == key) children.push_back(&e.second);
    return children;
}

HRESULT FakeModuleAccess::BuildListing(const std::vector<const Entry*>& entries, VARIANT* result) {
    std::vector<std::wstring> names;
    for (const Entry* e : entries) names.push_back(IsDrive(e->path) ? e->path.substr(1) : Name(e->path));
    auto rowAt = [&](ULONG i) {
        const Entry& e = *entries[i];
        listing_layout::Row row;
        row.name = names[i].c_str();
        row.nameLength = static_cast<UINT>(names[i].size());
        row.shortName = e.shortName.c_str();
        row.shortNameLength = static_cast<UINT>(e.shortName.size());
        row.size = static_cast<DWORD>(e.size);
        row.attributes = e.attributes;
        row.created = e.created;
        row.accessed = e.accessed;
        row.modified = e.modified;
        return row;
    };
    return listing_layout::WriteListing(static_cast<ULONG>(entries.size()), rowAt, result);
}

STDMETHODIMP FakeModuleAccess::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ModuleAccess) {
        *ppv = static_cast<ModuleAccess*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP FakeModuleAccess::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

// The fake never reports changes: a sink is only counted in the call log.
STDMETHODIMP FakeModuleAccess::Advise(BSTR folderPath, IUnknown* sink, LONG* cookie) {
    HRESULT hr = Enter(L"Advise", Str(folderPath).c_str());
    if (FAILED(hr)) return hr;
    if (!sink || !cookie) return E_POINTER;
    *cookie = nextCookie_++;
    return S_OK;
}

STDMETHODIMP FakeModuleAccess::Unadvise(LONG cookie) {
    return Enter(L"Unadvise", std::to_wstring(cookie).c_str());
}

STDMETHODIMP FakeModuleAccess::InvalidateCache(BSTR path) {
    return Enter(L"InvalidateCache", Str(path).c_str());
}

// Copies, writes, deletes and reads are tested against the substitute server;
// here they are logged and refused, so that no test leans on them by mistake.
STDMETHODIMP FakeModuleAccess::CopyItem(BSTR sourcePath, BSTR targetPath) {
    HRESULT hr = Enter(L"CopyItem", Str(sourcePath).c_str(), Str(targetPath));
    if (FAILED(hr)) return hr;
    // Files only: what the copy engine copies one by one.
    const std::wstring target = Str(targetPath);
    auto source = entries_.find(Key(Str(sourcePath)));
    if (source == entries_.end() || (source->second.attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !Exists(Parent(target).c_str()))
        return kNotFound;
    Entry copy = source->second;
    copy.path = target;
    copy.shortName = Key(Name(target)).substr(0, 12);
    entries_[Key(target)] = copy;
    return S_OK;
}

STDMETHODIMP FakeModuleAccess::WriteFile(BSTR targetPath, IUnknown*, LONG attributes) {
    HRESULT hr = Enter(L"WriteFile", Str(targetPath).c_str(), std::to_wstring(attributes));
    return FAILED(hr) ? hr : E_NOTIMPL;
}

STDMETHODIMP FakeModuleAccess::DeleteFile(BSTR path) {
    HRESULT hr = Enter(L"DeleteFile", Str(path).c_str());
    return FAILED(hr) ? hr : E_NOTIMPL;
}

STDMETHODIMP FakeModuleAccess::DeleteFolder(BSTR path) {
    HRESULT hr = Enter(L"DeleteFolder", Str(path).c_str());
    return FAILED(hr) ? hr : E_NOTIMPL;
}

STDMETHODIMP FakeModuleAccess::CreateFolder(BSTR path) {
    HRESULT hr = Enter(L"CreateFolder", Str(path).c_str());
    if (FAILED(hr)) return hr;
    const std::wstring p = Str(path);
    if (Exists(p.c_str())) return kExists;
    if (!Exists(Parent(p).c_str())) return kNotFound;
    AddFolder(p.c_str());
    return S_OK;
}

// Drive-wide changes and attributes are only logged: their effects are the
// server's, checked against the substitute.
STDMETHODIMP FakeModuleAccess::CreateStandardFolders(BSTR drive) {
    return Enter(L"CreateStandardFolders", Str(drive).c_str());
}

STDMETHODIMP FakeModuleAccess::Format(BSTR drive) { return Enter(L"Format", Str(drive).c_str()); }

STDMETHODIMP FakeModuleAccess::GetDiskSpace(BSTR drivePath, LONG* capacity, LONG* freeBytes) {
    HRESULT hr = Enter(L"GetDiskSpace", Str(drivePath).c_str());
    if (FAILED(hr)) return hr;
    if (!capacity || !freeBytes) return E_POINTER;
    auto it = space_.find(Key(DrivePath(Str(drivePath))));
    if (it == space_.end()) return kNotFound;
    *capacity = static_cast<LONG>(it->second.first);
    *freeBytes = static_cast<LONG>(it->second.second);
    return S_OK;
}

STDMETHODIMP FakeModuleAccess::ListFolder(BSTR request, VARIANT_BOOL foldersOnly, VARIANT* records) {
    const std::wstring r = Str(request);
    HRESULT hr = Enter(L"ListFolder", r.c_str(), foldersOnly ? L"1" : L"0");
    if (FAILED(hr)) return hr;
    if (!records) return E_POINTER;
    VariantInit(records);
    auto queued = queuedListings_.find(Key(r));
    if (queued != queuedListings_.end()) {
        *records = queued->second;
        queuedListings_.erase(queued);
        return S_OK;
    }
    auto raw = rawListings_.find(Key(r));
    if (raw != rawListings_.end()) return VariantCopy(records, &raw->second);

    const std::wstring folder = Parent(r);
    const std::wstring pattern = Name(r);
    std::vector<const Entry*> found;
    if (pattern.find_first_of(L"*?") != std::wstring::npos) {
        if (!folder.empty() && !Exists(folder.c_str())) return kNotFound;
        for (const Entry* e : Children(folder)) {
            const std::wstring name = IsDrive(e->path) ? e->path.substr(1) : Name(e->path);
            if (foldersOnly && !(e->attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
            if (PathMatchSpecW(name.c_str(), pattern.c_str())) found.push_back(e);
        }
    } else if (Exists(r.c_str())) {
        found.push_back(&entries_.at(Key(r)));
    }
    return BuildListing(found, records);
}

STDMETHODIMP FakeModuleAccess::OpenFile(BSTR path, IUnknown** stream) {
    if (stream) *stream = nullptr;
    HRESULT hr = Enter(L"OpenFile", Str(path).c_str());
    return FAILED(hr) ? hr : E_NOTIMPL;
}

STDMETHODIMP FakeModuleAccess::GetLabel(BSTR drive, BSTR* label) {
    HRESULT hr = Enter(L"GetLabel", Str(drive).c_str());
    if (FAILED(hr)) return hr;
    if (!label) return E_POINTER;
    *label = SysAllocString(L"");
    return *label ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP FakeModuleAccess::SetLabel(BSTR drive, BSTR label) {
    return Enter(L"SetLabel", Str(drive).c_str(), Str(label));
}

STDMETHODIMP FakeModuleAccess::RenameFile(BSTR oldPath, BSTR newPath) {
    return Enter(L"RenameFile", Str(oldPath).c_str(), Str(newPath));
}

STDMETHODIMP FakeModuleAccess::RenameFolder(BSTR oldPath, BSTR newPath) {
    return Enter(L"RenameFolder", Str(oldPath).c_str(), Str(newPath));
}

STDMETHODIMP FakeModuleAccess::SetAttributes(BSTR path, LONG attributes) {
    return Enter(L"SetAttributes", Str(path).c_str(), std::to_wstring(attributes));
}

STDMETHODIMP FakeModuleAccess::SetPort(BSTR portName) { return Enter(L"SetPort", Str(portName).c_str()); }

FakeModuleAccessScope::FakeModuleAccessScope(FakeModuleAccess* fake)
    : fake_(fake), previous_(SetModuleAccessFactory(this)) {
    fake_->AddRef();
}

FakeModuleAccessScope::~FakeModuleAccessScope() {
    SetModuleAccessFactory(previous_);
    fake_->Release();
}

HRESULT FakeModuleAccessScope::Create(ModuleAccess** access) {
    fake_->AddRef();
    *access = fake_;
    return S_OK;
}
