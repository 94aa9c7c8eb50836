#include "transfer/module_data_object.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "common/holders.h"
#include "common/item_time.h"
#include "common/paths.h"
#include "common/resource_module.h"
#include "common/result_codes.h"
#include "common/window_classes.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "module_access/module_access.h"
#include "module_access/module_errors.h"
#include "resources/string_ids.h"
#include "transfer/clipboard_formats.h"
#include "transfer/clipboard_thread.h"
#include "transfer/delete_operation.h"
#include "transfer/directory_data_format.h"
#include "transfer/format_enumerator.h"
#include "transfer/hdrop_format.h"
#include "transfer/hdrop_staging.h"
#include "transfer/progress_dialog.h"
#include "transfer/shell_id_list_format.h"
#include "transfer/progress_stream.h"
#include "transfer/stream_size.h"
#include "transfer/view_address_format.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr UINT kEntryGrowth = 32;

CLIPFORMAT Format(ModuleClipboardFormat format) { return ClipboardFormat(format); }

bool IsOneOf(CLIPFORMAT format, std::initializer_list<ModuleClipboardFormat> formats) {
    for (ModuleClipboardFormat f : formats)
        if (ClipboardFormatId(f) && format == ClipboardFormatId(f)) return true;
    return false;
}

// The single-block formats, asked for with lindex -1.
bool IsWholeBlockFormat(CLIPFORMAT format) {
    if (format == kHdropFormat || IsOneOf(format, {ModuleClipboardFormat::ShellIdListArray}))
        return HdropStagingEnabled();
    return IsOneOf(format, {ModuleClipboardFormat::FileGroupDescriptorW,
                            ModuleClipboardFormat::PreferredDropEffect,
                            ModuleClipboardFormat::DirectoryData,
                            ModuleClipboardFormat::ViewAddress});
}

void DebugLine(const wchar_t* pattern, DWORD value) {
    wchar_t line[64];
    swprintf(line, ARRAYSIZE(line), pattern, static_cast<unsigned>(value));
    OutputDebugStringW(line);
}

void DiscardMarshalledStream(IStream*& stream) {
    if (!stream) return;
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    CoReleaseMarshalData(stream);
    stream->Release();
    stream = nullptr;
}

}  // namespace

std::wstring TransferEntry::ModulePath() const {
    LPCITEMIDLIST last = LastItem(item.get());
    return last ? ItemPath(last) : std::wstring();
}

std::wstring RelativeName(const std::wstring& folder, const std::wstring& path) {
    if (path.size() > folder.size() + 1 && path[folder.size()] == L'\\' &&
        CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                             static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL)
        return path.substr(folder.size() + 1);
    return FileNamePart(path);
}

// --- Construction and filling ---------------------------------------------

ModuleDataObject::ModuleDataObject() = default;

HRESULT ModuleDataObject::Create(const std::wstring& folderPath, IUnknown* view,
                                 const LPCITEMIDLIST* items, UINT count, DWORD preferredEffect,
                                 IModuleChangeSink* sink, ModuleDataObject** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (count && !items) return E_INVALIDARG;
    ModuleDataObject* object = new (std::nothrow) ModuleDataObject();
    if (!object) return E_OUTOFMEMORY;
    object->folderPath_ = folderPath;
    object->view_ = view;
    object->viewToken_ = ViewToken(view);
    object->sink_ = sink;
    object->preferredEffect_ = preferredEffect;
    object->selection_.reserve(count);
    for (UINT i = 0; i < count; ++i) {
        IdListHolder copy;
        if (!items[i] || FAILED(copy.Assign(items[i]))) {
            object->Release();
            return items[i] ? E_OUTOFMEMORY : E_INVALIDARG;
        }
        object->selection_.push_back(std::move(copy));
    }
    *out = object;
    return S_OK;
}

HRESULT ModuleDataObject::Fill(ModuleAccess* server) {
    if (!server) return E_POINTER;
    entries_.clear();
    ownerThreadId_ = GetCurrentThreadId();
    auto append = [this](LPCITEMIDLIST list, std::wstring name, bool skip) -> HRESULT {
        if (entries_.size() == entries_.capacity()) entries_.reserve(entries_.size() + kEntryGrowth);
        TransferEntry entry;
        if (FAILED(entry.item.Assign(list))) return E_OUTOFMEMORY;
        entry.relativeName = std::move(name);
        entry.skip = skip;
        if (!skip) entry.size = ItemSize(LastItem(list));
        entries_.push_back(std::move(entry));
        return S_OK;
    };
    HRESULT hr = S_OK;
    for (const IdListHolder& selected : selection_) {
        LPCITEMIDLIST item = ItemAt(selected.get(), 0);
        if (!item || !IsValidItemId(item)) {
            hr = E_INVALIDARG;
            break;
        }
        const bool drive = IsDriveItem(item);
        const bool folder = !drive && (ItemAttributes(item) & FILE_ATTRIBUTE_DIRECTORY);
        hr = append(selected.get(), ItemName(item), drive || folder);
        if (FAILED(hr)) break;
        if (!folder) continue;
        ItemArray below;
        hr = ListItemsEx(ItemPath(item), L"*", &below, server, false, true);
        if (FAILED(hr)) break;
        for (UINT i = 0; i < below.count() && SUCCEEDED(hr); ++i) {
            LPCITEMIDLIST found = below[i];
            if (!IsValidItemId(found) || IsDriveItem(found)) continue;
            hr = append(found, RelativeName(folderPath_, ItemPath(found)),
                        (ItemAttributes(found) & FILE_ATTRIBUTE_DIRECTORY) != 0);
        }
        if (FAILED(hr)) break;
    }
    for (size_t i = 0; SUCCEEDED(hr) && i < entries_.size(); ++i) {
        TransferEntry& entry = entries_[i];
        if (entry.skip) continue;
        UniqueBstr path(entry.ModulePath().c_str());
        if (!path.get()) {
            hr = E_OUTOFMEMORY;
            break;
        }
        ComPtr<IUnknown> opened;
        hr = server->OpenFile(path.get(), &opened);
        if (SUCCEEDED(hr) && (!opened || FAILED(opened.As(&entry.stream)))) hr = E_NOINTERFACE;
    }
    if (FAILED(hr)) entries_.clear();
    return hr;
}

void ModuleDataObject::SetMarshalledInterfaces(IStream* view, IStream* sink) {
    viewStream_ = view;
    sinkStream_ = sink;
}

void ModuleDataObject::AttachToThread(ClipboardThreadState* state) {
    thread_ = state;
    if (state) ownerThreadId_ = state->threadId;
}

void ModuleDataObject::DetachFromThread() { thread_ = nullptr; }

void ModuleDataObject::SetViewToken(const void* view) { viewToken_ = ViewToken(view); }

IUnknown* ModuleDataObject::View() {
    if (viewStream_) {
        CoGetInterfaceAndReleaseStream(viewStream_, IID_IUnknown, &view_);
        viewStream_ = nullptr;
    }
    return view_.Get();
}

IModuleChangeSink* ModuleDataObject::ViewSink() {
    if (sinkStream_) {
        CoGetInterfaceAndReleaseStream(sinkStream_, IID_IModuleChangeSink, &sink_);
        sinkStream_ = nullptr;
    }
    return sink_.Get();
}

const std::wstring& ModuleDataObject::stagingPath() const {
    static const std::wstring none;
    return staging_ ? staging_->path() : none;
}

ModuleDataObject::~ModuleDataObject() {
    CloseProgress();
    if (preferredEffect_ == DROPEFFECT_MOVE && View()) {
        // The items of a Cut are no longer on their way. Only the marks go:
        // the rows, the selection and the scroll position stay.
        ComPtr<IShellView> shellView;
        HWND window = nullptr;
        if (SUCCEEDED(view_.As(&shellView)) && SUCCEEDED(shellView->GetWindow(&window)) && window)
            PostMessageW(window, kClearCutMarksMessage, 0, 0);
    }
    stagedPaths_.clear();
    staging_.reset();
    selection_.clear();
    entries_.clear();
    view_.Reset();
    sink_.Reset();
    DiscardMarshalledStream(viewStream_);
    DiscardMarshalledStream(sinkStream_);
    if (thread_ && thread_->current == static_cast<IDataObject*>(this)) thread_->current = nullptr;
    if (thread_ && InterlockedDecrement(&thread_->live) == 0)
        PostThreadMessageW(thread_->threadId, WM_QUIT, 1, 0);
    if (comEntered_) LeaveComThread();
    OutputDebugStringW(L"Dataobject deleted\n");
}

// --- IUnknown --------------------------------------------------------------

STDMETHODIMP ModuleDataObject::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
        *out = static_cast<IDataObject*>(this);
    } else if (IsEqualIID(iid, IID_IModuleChangeSink)) {
        *out = static_cast<IModuleChangeSink*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) ModuleDataObject::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

STDMETHODIMP_(ULONG) ModuleDataObject::Release() {
    const LONG left = InterlockedDecrement(&refs_);
    if (left != 0) return static_cast<ULONG>(left);
    // The clipboard may let go on another thread (emptied there); the object
    // and its streams belong to the thread that serves it.
    if (thread_ && thread_->threadId != GetCurrentThreadId() && thread_->window &&
        PostMessageW(thread_->window, kDestroyDataObjectMessage, 0, reinterpret_cast<LPARAM>(this)))
        return 0;
    delete this;
    return 0;
}

void ModuleDataObject::DestroyPosted(LPARAM object) {
    delete reinterpret_cast<ModuleDataObject*>(object);
}

// --- IDataObject -------------------------------------------------------------

STDMETHODIMP ModuleDataObject::QueryGetData(FORMATETC* format) {
    if (!format) return E_INVALIDARG;
    if (format->ptd) return DV_E_FORMATETC;
    if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (IsWholeBlockFormat(format->cfFormat)) {
        if (format->lindex != -1) return DV_E_LINDEX;
    } else if (format->cfFormat == Format(ModuleClipboardFormat::FileContents)) {
        if (format->lindex < 0 || static_cast<size_t>(format->lindex) >= entries_.size())
            return DV_E_LINDEX;
    } else {
        return DV_E_FORMATETC;
    }
    if (!(format->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
    return S_OK;
}

STDMETHODIMP ModuleDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (!format || !medium) return E_INVALIDARG;
    *medium = STGMEDIUM();
    HRESULT hr = QueryGetData(format);
    if (FAILED(hr)) return hr;
    const CLIPFORMAT cf = format->cfFormat;
    if (cf == Format(ModuleClipboardFormat::FileContents))
        return GetFileContents(format->lindex, format->tymed, medium);
    if (cf == Format(ModuleClipboardFormat::FileGroupDescriptorW))
        return GetFileGroupDescriptor(medium);
    if (cf == kHdropFormat) return GetDropFiles(medium);
    if (cf == Format(ModuleClipboardFormat::ShellIdListArray)) return GetStagedIdListArray(medium);
    HGLOBAL block = nullptr;
    if (cf == Format(ModuleClipboardFormat::PreferredDropEffect)) {
        hr = MakeGlobalBlock(&preferredEffect_, sizeof(preferredEffect_), &block);
    } else if (cf == Format(ModuleClipboardFormat::ViewAddress)) {
        hr = BuildViewAddress(viewToken_, &block);
    } else {
        std::vector<LPCITEMIDLIST> items;
        for (const IdListHolder& item : selection_) items.push_back(item.get());
        hr = BuildDirectoryData(folderPath_, items.data(), static_cast<UINT>(items.size()), &block);
        if (hr == E_INVALIDARG) hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) return hr;
    return HGlobalMedium(block, medium);
}

STDMETHODIMP ModuleDataObject::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

STDMETHODIMP ModuleDataObject::GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) {
    if (!in || !out) return E_INVALIDARG;
    const bool contents = in->cfFormat == Format(ModuleClipboardFormat::FileContents);
    if (!contents && !IsWholeBlockFormat(in->cfFormat)) return DV_E_FORMATETC;
    const bool indexValid = contents ? in->lindex >= 0 &&
                                           static_cast<size_t>(in->lindex) < entries_.size()
                                     : in->lindex == -1;
    const bool same = !in->ptd && in->dwAspect == DVASPECT_CONTENT && indexValid;
    *out = HGlobalFormatEtc(in->cfFormat, contents ? (indexValid ? in->lindex : 0) : -1);
    return same ? DATA_S_SAMEFORMATETC : S_OK;
}

STDMETHODIMP ModuleDataObject::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) {
    if (!format || !medium) return E_INVALIDARG;
    const CLIPFORMAT cf = format->cfFormat;
    const bool targetClsid = IsOneOf(cf, {ModuleClipboardFormat::TargetClsid});
    if (!targetClsid && !IsOneOf(cf, {ModuleClipboardFormat::PerformedDropEffect,
                                      ModuleClipboardFormat::PasteSucceeded,
                                      ModuleClipboardFormat::PreferredDropEffect,
                                      ModuleClipboardFormat::LogicalPerformedDropEffect,
                                      ModuleClipboardFormat::Converted}))
        return DV_E_FORMATETC;
    if (format->ptd) return DV_E_FORMATETC;
    if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (format->lindex != -1) return DV_E_LINDEX;
    // The medium decides; a FORMATETC may name more than the block it came with.
    if (medium->tymed != TYMED_HGLOBAL) return DV_E_TYMED;

    bool checkMove = false;
    {
        GlobalLocked<BYTE> block(medium->hGlobal);
        if (!block) return E_UNEXPECTED;
        // Blocks come from other programs: take only what is really there.
        DWORD value = 0;
        memcpy(&value, block.get(), block.size() < sizeof(value) ? block.size() : sizeof(value));
        if (targetClsid) {
            targetIsRecycleBin_ = block.size() >= sizeof(CLSID) &&
                                  memcmp(block.get(), &CLSID_RecycleBin, sizeof(CLSID)) == 0;
        } else if (cf == Format(ModuleClipboardFormat::PreferredDropEffect)) {
            preferredEffect_ = value;
            DebugLine(L"PreferredDropeffect: %X\n", value);
        } else if (cf == Format(ModuleClipboardFormat::PerformedDropEffect)) {
            performedEffect_ = value;
            DebugLine(L"PerformedDropeffect: %X\n", value);
        } else if (cf == Format(ModuleClipboardFormat::PasteSucceeded)) {
            pasteSucceeded_ = value;
            DebugLine(L"PasteSucceeded: %X\n", value);
            checkMove = true;
        } else if (cf == Format(ModuleClipboardFormat::LogicalPerformedDropEffect)) {
            logicalPerformedEffect_ = value;
            DebugLine(L"LogicalPerformedDropeffect: %X\n", value);
            checkMove = true;
        }
    }
    if (release) ReleaseStgMedium(medium);
    if (checkMove) FinishMoveIfDone();
    return S_OK;
}

STDMETHODIMP ModuleDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    std::vector<ModuleClipboardFormat> list;
    if (direction == DATADIR_SET) {
        list = {ModuleClipboardFormat::PerformedDropEffect, ModuleClipboardFormat::PasteSucceeded,
                ModuleClipboardFormat::LogicalPerformedDropEffect, ModuleClipboardFormat::Converted,
                ModuleClipboardFormat::PreferredDropEffect};
        if (ClipboardFormatId(ModuleClipboardFormat::TargetClsid))
            list.push_back(ModuleClipboardFormat::TargetClsid);
    } else if (direction == DATADIR_GET) {
        list = {ModuleClipboardFormat::FileGroupDescriptorW, ModuleClipboardFormat::FileContents,
                ModuleClipboardFormat::PreferredDropEffect, ModuleClipboardFormat::DirectoryData,
                ModuleClipboardFormat::ViewAddress};
    } else {
        return E_INVALIDARG;
    }
    std::vector<FORMATETC> formats;
    for (ModuleClipboardFormat format : list) formats.push_back(HGlobalFormatEtc(Format(format)));
    // Files for programs that take only PC files: last, rendered on request.
    // The same staged files as the shell's own selection, for PC folders
    // that take only that.
    if (direction == DATADIR_GET && HdropStagingEnabled()) {
        formats.push_back(HGlobalFormatEtc(kHdropFormat));
        formats.push_back(HGlobalFormatEtc(Format(ModuleClipboardFormat::ShellIdListArray)));
    }
    return FormatEnumerator::Create(std::move(formats), out);
}

STDMETHODIMP ModuleDataObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) {
    return OLE_E_ADVISENOTSUPPORTED;
}
STDMETHODIMP ModuleDataObject::DUnadvise(DWORD) { return OLE_E_ADVISENOTSUPPORTED; }
STDMETHODIMP ModuleDataObject::EnumDAdvise(IEnumSTATDATA**) { return OLE_E_ADVISENOTSUPPORTED; }

STDMETHODIMP ModuleDataObject::OnChange(BSTR message) {
    // Change messages mean nothing here; a DWORD format that could not come
    // through SetData (see WriteDwordFormat) is taken as SetData takes it.
    CLIPFORMAT format = 0;
    DWORD value = 0;
    if (!ParseDwordFormatMessage(message, &format, &value)) return S_OK;
    FORMATETC etc = HGlobalFormatEtc(format);
    STGMEDIUM medium = {TYMED_HGLOBAL};
    HRESULT hr = MakeGlobalBlock(&value, sizeof(value), &medium.hGlobal);
    if (FAILED(hr)) return hr;
    hr = SetData(&etc, &medium, TRUE);
    if (FAILED(hr)) GlobalFree(medium.hGlobal);
    return hr;
}

HRESULT ModuleDataObject::HGlobalMedium(HGLOBAL block, STGMEDIUM* medium) {
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

// --- The factory -------------------------------------------------------------

HRESULT CreateModuleDataObject(const std::wstring& folderPath, IUnknown* view,
                               const LPCITEMIDLIST* items, UINT count, DWORD preferredEffect,
                               IModuleChangeSink* sink, bool clipboard, IDataObject** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clipboard)
        return MakeClipboardDataObject(folderPath, view, items, count, preferredEffect, sink, out);
    HRESULT hr = EnterComThread();
    if (FAILED(hr)) return hr;
    ModuleDataObject* object = nullptr;
    hr = ModuleDataObject::Create(folderPath, view, items, count, preferredEffect, sink, &object);
    if (FAILED(hr)) {
        LeaveComThread();
        return hr;
    }
    object->OwnComThreadBracket();
    ComPtr<ModuleAccess> server;
    hr = CreateModuleAccess(&server);
    if (SUCCEEDED(hr)) hr = object->Fill(server.Get());
    if (FAILED(hr)) {
        object->Release();
        return hr;
    }
    *out = object;
    return S_OK;
}
