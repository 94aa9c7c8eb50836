#include "tools/module_server/module_access_object.h"

#include <oleauto.h>

#include <new>
#include <string>

#include "module_access/module_access_h.h"
#include "module_access/module_limits.h"
#include "tools/module_server/change_hub.h"
#include "tools/module_server/module_path.h"
#include "tools/module_server/module_store.h"
#include "tools/substitute_common/server_errors.h"
#include "tools/substitute_common/server_host.h"
#include "tools/substitute_common/settings.h"

using substitute::ReportFailure;

namespace {

constexpr HRESULT kNoConnection = static_cast<HRESULT>(0x8004B001L);
constexpr HRESULT kPortUnusable = static_cast<HRESULT>(0x8004A002L);

std::wstring Arg(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

HRESULT BadPath(const std::wstring& text) {
    if (IsTooLongForModule(text))
        return substitute::ReportWin32Failure(ERROR_FILENAME_EXCED_RANGE,
                                              L"The path is longer than the module can hold.");
    return ReportFailure(E_INVALIDARG, L"\"" + text + L"\" is not a valid module path.");
}

// One incoming call: clears stale error information, counts the call,
// applies a configured fault, and finds the store of the configured tree.
class Call {
public:
    explicit Call(const wchar_t* operation) {
        SetErrorInfo(0, nullptr);
        settings_ = substitute::ReadSettings();
        substitute::InjectedFault fault;
        if (substitute::TakeCall(operation, &fault)) result_ = ReportFailure(fault.result, fault.description);
    }
    // A long call is activity until it ends, not only when it starts.
    ~Call() { substitute::NoteActivity(); }
    bool Failed() const { return FAILED(result_); }
    HRESULT result() const { return result_; }
    const substitute::Settings& settings() const { return settings_; }

    HRESULT OpenStore(ModuleStore** out) {
        *out = nullptr;
        if (settings_.root.empty())
            return ReportFailure(kNoConnection, L"There is no connection to the module (no module folder is set up).");
        ModuleStore* store = StoreForRoot(settings_.root);
        if (!store) return E_OUTOFMEMORY;
        HRESULT hr = store->Open();
        if (FAILED(hr)) return hr;
        *out = store;
        return S_OK;
    }

private:
    substitute::Settings settings_;
    HRESULT result_ = S_OK;
};

class ModuleAccessObject final : public substitute::TypeLibDispatch<ModuleAccess, &IID_ModuleAccess>,
                                 public ISupportErrorInfo {
public:
    ModuleAccessObject() { substitute::HoldServer(); }
    ~ModuleAccessObject() {
        change_hub::DropOwner(static_cast<ModuleAccess*>(this));
        substitute::ReleaseServer();
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ModuleAccess) {
            *out = static_cast<ModuleAccess*>(this);
        } else if (riid == IID_ISupportErrorInfo) {
            *out = static_cast<ISupportErrorInfo*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == IID_ModuleAccess ? S_OK : S_FALSE;
    }

    // ModuleAccess, in slot order.
    STDMETHODIMP Advise(BSTR folderPath, IUnknown* sink, LONG* cookie) override {
        Call call(L"Advise");
        if (call.Failed()) return call.result();
        if (!cookie || !sink) return E_POINTER;
        *cookie = 0;
        ModulePath folder;
        if (!ParseModulePath(Arg(folderPath), true, &folder)) return BadPath(Arg(folderPath));
        if (call.settings().root.empty())
            return ReportFailure(kNoConnection, L"There is no connection to the module (no module folder is set up).");
        return change_hub::Advise(call.settings().root, folder, sink, static_cast<ModuleAccess*>(this), cookie);
    }

    STDMETHODIMP InvalidateCache(BSTR) override {
        Call call(L"InvalidateCache");
        if (call.Failed()) return call.result();
        if (!call.settings().root.empty()) {
            if (ModuleStore* store = StoreForRoot(call.settings().root)) store->Invalidate();
        }
        return S_OK;
    }

    STDMETHODIMP CopyItem(BSTR sourcePath, BSTR targetPath) override {
        Call call(L"CopyItem");
        if (call.Failed()) return call.result();
        ModulePath from, to;
        if (!ParseModulePath(Arg(sourcePath), false, &from) || !from.IsItem()) return BadPath(Arg(sourcePath));
        if (!ParseModulePath(Arg(targetPath), false, &to) || !to.IsItem()) return BadPath(Arg(targetPath));
        ModuleStore* store = nullptr;
        HRESULT hr = call.OpenStore(&store);
        return FAILED(hr) ? hr : store->CopyItem(from, to);
    }

    STDMETHODIMP CreateFolder(BSTR path) override {
        Call call(L"CreateFolder");
        if (call.Failed()) return call.result();
        ModulePath folder;
        if (!ParseModulePath(Arg(path), false, &folder) || !folder.IsItem()) return BadPath(Arg(path));
        ModuleStore* store = nullptr;
        HRESULT hr = call.OpenStore(&store);
        return FAILED(hr) ? hr : store->CreateFolder(folder);
    }

    STDMETHODIMP CreateStandardFolders(BSTR drive) override {
        Call call(L"CreateStandardFolders");
        if (call.Failed()) return call.result();
        ModulePath path;
        if (!ParseModulePath(Arg(drive), false, &path) || !path.IsDrive()) return BadPath(Arg(drive));
        ModuleStore* store = nullptr;
        HRESULT hr = call.OpenStore(&store);
        return FAILED(hr) ? hr : store->CreateStandardFolders(path);
    }

    STDMETHODIMP DeleteFile(BSTR path) override {
        Call call(L"DeleteFile");
        if (call.Failed()) return call.result();
        ModulePath item;
        if (!ParseModulePath(Arg(path), false, &item) || !item.IsItem()) return BadPath(Arg(path));
        ModuleStore* store = nullptr;
        HRESULT hr = call.OpenStore(&store);
        return FAILED(hr) ? hr : store->RemoveFile(item);
    }

    STDMETHODIMP Format(BSTR drive) override {
        Call call(L"Format");
        if (call.Failed()) return call.result();
        ModulePath path;
        if (!ParseModulePath(Arg(drive), false, &path) || !path.IsDrive()) return BadPath(Arg(drive));
        ModuleStore* store = nullptr;
        HRESULT hr = call.OpenStore(&store);
        return FAILED(hr) ? hr : store->Format(path);
    }

    STDMETHODIMP GetDiskSpace(BSTR drivePath, LONG* capacity, LONG* freeBytes) override {
        Call call(L"GetDiskSpace");
        if (call.Failed()) return call.result();
        if (!capacity || !freeBytes) return E_POINTER;
        *capacity = 0;
        *freeBytes = 0;
        ModulePath path;
        // Any path on the drive names the drive.
        if (!ParseModulePath(Arg(drivePath), false, &path)) return BadPath(Arg(drivePath));
        ModuleStore* store = nullptr;
        HRESULT hr = call.OpenStore(&store);
        DWORD total = 0, free = 0;
        if (SUCCEEDED(hr)) hr = store->GetDiskSpace(ModulePath{path.drive, {}}, &total, &free);
        if (SUCCEEDED(hr)) {
            *capacity = static_cast<LONG>(total);
            *freeBytes = static_cast<LONG>(free);
        }
        return hr;
    }

    STDMETHODIMP ListFolder(BSTR request, VARIANT_BOOL foldersOnly, VARIANT* records) override {
        Call call(L"ListFolder");
        if (!records) return E_POINTER;
        VariantInit(records);
        if (call.Failed()) return call.result();
        // A folder, "\" and a pattern (or a name): refused at once when
        // either part is longer than the module can hold.
        const std::wstring requested = Arg(request);
        if (requested.empty()) return BadPath(requested);
        const size_t slash = requested.find_last_of(L'\\');
        if (slash != std::wstring::npos && (IsTooLongForModule(requested.substr(0, slash)) ||
                                            requested.size() - slash - 1 > kMaxModuleNameLength))
            return BadPath(requested);
        ModuleStore* store = nullptr;
        HRESULT hr = call.OpenStore(&store);
        return FAILED(hr) ? hr : store->List(Arg(request), foldersOnly != VARIANT_FALSE, records);
    }

    STDMETHODIMP OpenFile(BSTR path, IUnknown** stream) override {
        Call call(L"OpenFile");
        if (!stream) return E_POINTER;
        *stream = nullptr;
        if (call.Failed()) return call.result();
        ModulePath item;
        if (!ParseModulePath(Arg(path), false, &item) || !item.IsItem()) return BadPath(Arg(path));
        ModuleStore* store = nullptr;
        HRESULT hr = call.OpenStore(&store);
        IStream* opened = nullptr;
        if (SUCCEEDED(hr)) hr = store->OpenItem(item, call.settings().linkSpeed, &opened);
        if (SUCCEEDED(hr)) *stream = opened;
        return hr;
    }

    STDMETHODIMP GetLabel(BSTR drive, BSTR* label) override {
        Call call(L"GetLabel");
        if (!label) return E_POINTER;
        *label = nullptr;
        if (call.Failed()) return call.result();
        ModulePath path;
        if (!ParseModulePath(Arg(drive), false, &path) || !path.IsDrive()) return BadPath(Arg(drive));
        ModuleStore* store = nullptr;
        HRESULT hr = call.OpenStore(&store);
        std::wstring text;
        if (SUCCEEDED(hr)) hr = store->GetLabel(path, &text);
        if (SUCCEEDED(hr)) {
            *label = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
            if (!*label) hr = E_OUTOFMEMORY;
        }
        return hr;
    }

    STDMETHODIMP Reserved18() override { return E_NOTIMPL; }

    STDMETHODIMP RenameFile(BSTR oldPath, BSTR newPath) override { return Rename(L"RenameFile", oldPath, newPath, false); }
    STDMETHODIMP RenameFolder(BSTR oldPath, BSTR newPath) override {
        return Rename(L"RenameFolder", oldPath, newPath, true);
    }

    STDMETHODIMP WriteFile(BSTR targetPath, IUnknown* source, LONG attributes) override {
        Call call(L"WriteFile");
        if (call.Failed()) return call.result();
        if (!source) return E_POINTER;
        ModulePath item;
        if (!ParseModulePath(Arg(targetPath), false, &item) || !item.IsItem()) return BadPath(Arg(targetPath));
        ModuleStore* store = nullptr;
        HRESULT hr = call.OpenStore(&store);
        return FAILED(hr) ? hr
                          : store->WriteItem(item, source, static_cast<DWORD>(attributes), call.settings().linkSpeed);
    }

    STDMETHODIMP Unadvise(LONG cookie) override {
        Call call(L"Unadvise");
        if (call.Failed()) return call.result();
        HRESULT hr = change_hub::Unadvise(cookie);
        return FAILED(hr) ? ReportFailure(hr, L"No change sink is registered under that cookie.") : hr;
    }

    STDMETHODIMP DeleteFolder(BSTR path) override {
        Call call(L"DeleteFolder");
        if (call.Failed()) return call.result();
        ModulePath item;
        if (!ParseModulePath(Arg(path), false, &item) || !item.IsItem()) return BadPath(Arg(path));
        ModuleStore* store = nullptr;
        HRESULT hr = call.OpenStore(&store);
        return FAILED(hr) ? hr : store->RemoveFolder(item);
    }

    STDMETHODIMP SetAttributes(BSTR path, LONG attributes) override {
        Call call(L"SetAttributes");
        if (call.Failed()) return call.result();
        ModulePath item;
        if (!ParseModulePath(Arg(path), false, &item) || !item.IsItem()) return BadPath(Arg(path));
        ModuleStore* store = nullptr;
        HRESULT hr = call.OpenStore(&store);
        return FAILED(hr) ? hr : store->SetAttributes(item, static_cast<DWORD>(attributes));
    }

    STDMETHODIMP SetLabel(BSTR drive, BSTR label) override {
        Call call(L"SetLabel");
        if (call.Failed()) return call.result();
        ModulePath path;
        if (!ParseModulePath(Arg(drive), false, &path) || !path.IsDrive()) return BadPath(Arg(drive));
        ModuleStore* store = nullptr;
        HRESULT hr = call.OpenStore(&store);
        return FAILED(hr) ? hr : store->SetLabel(path, Arg(label));
    }

    STDMETHODIMP Reserved26() override { return E_NOTIMPL; }

    STDMETHODIMP SetPort(BSTR portName) override {
        Call call(L"SetPort");
        if (call.Failed()) return call.result();
        std::wstring port = Arg(portName);
        if (port.empty()) return ReportFailure(E_INVALIDARG, L"No port name was given.");
        unsigned number = 0;
        bool named = port.size() > 3 && port.size() <= 5 && _wcsnicmp(port.c_str(), L"COM", 3) == 0;
        for (size_t i = 3; named && i < port.size(); ++i) {
            if (port[i] < L'0' || port[i] > L'9') named = false;
            else number = number * 10 + (port[i] - L'0');
        }
        if (!named || number < 1 || number > 32 || !(call.settings().portMask & (1u << (number - 1))))
            return ReportFailure(kPortUnusable, L"The port " + port + L" cannot be opened.");
        HRESULT hr = substitute::StorePort(L"COM" + std::to_wstring(number));
        return FAILED(hr) ? ReportFailure(hr, L"The port setting cannot be stored.") : S_OK;
    }

private:
    HRESULT Rename(const wchar_t* operation, BSTR oldPath, BSTR newPath, bool folder) {
        Call call(operation);
        if (call.Failed()) return call.result();
        ModulePath from, to;
        if (!ParseModulePath(Arg(oldPath), false, &from) || !from.IsItem()) return BadPath(Arg(oldPath));
        if (!ParseModulePath(Arg(newPath), false, &to) || !to.IsItem()) return BadPath(Arg(newPath));
        ModuleStore* store = nullptr;
        HRESULT hr = call.OpenStore(&store);
        return FAILED(hr) ? hr : store->Rename(from, to, folder);
    }

    volatile LONG refs_ = 1;
};

}  // namespace

HRESULT CreateModuleAccessObject(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ModuleAccessObject* object = new (std::nothrow) ModuleAccessObject();
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, out);
    object->Release();
    return hr;
}
