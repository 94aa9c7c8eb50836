#include "transfer/clipboard_formats.h"

#include <wrl/client.h>

#include <cstring>
#include <cwchar>

#include "common/holders.h"
#include "module_access/module_access_h.h"

using Microsoft::WRL::ComPtr;

namespace {

const wchar_t* const kFormatNames[] = {
    L"Shell IDList Array",
    L"FileContents",
    L"FileGroupDescriptorW",
    L"Preferred DropEffect",
    L"Paste Succeeded",
    L"Performed DropEffect",
    L"Logical Performed DropEffect",
    L"QEL SNE Directory Data",
    L"QEL SNE Converted",
    L"QEL SNE View Address",
    L"TargetCLSID",
};
constexpr size_t kFormatCount = static_cast<size_t>(ModuleClipboardFormat::Count);
static_assert(ARRAYSIZE(kFormatNames) == kFormatCount, "one name per format");
// The formats the library cannot work without; TargetCLSID is optional.
constexpr size_t kRequiredFormats = 10;

// Written once at load (or on first use) and only read afterwards.
UINT g_formats[kFormatCount] = {};

struct InventoryEntry {
    ModuleClipboardFormat format;   // Count: CF_HDROP
    DWORD bit;
    bool setSide;
};
const InventoryEntry kInventory[] = {
    {ModuleClipboardFormat::FileContents, FormatInventory::FileContents, false},
    {ModuleClipboardFormat::FileGroupDescriptorW, FormatInventory::FileGroupDescriptorW, false},
    {ModuleClipboardFormat::PreferredDropEffect, FormatInventory::PreferredDropEffect, false},
    {ModuleClipboardFormat::Count, FormatInventory::Hdrop, false},
    {ModuleClipboardFormat::DirectoryData, FormatInventory::DirectoryData, false},
    {ModuleClipboardFormat::TargetClsid, FormatInventory::TargetClsid, false},
    {ModuleClipboardFormat::ViewAddress, FormatInventory::ViewAddress, false},
    {ModuleClipboardFormat::PasteSucceeded, FormatInventory::PasteSucceeded, true},
    {ModuleClipboardFormat::PerformedDropEffect, FormatInventory::PerformedDropEffect, true},
    {ModuleClipboardFormat::LogicalPerformedDropEffect, FormatInventory::LogicalPerformedDropEffect,
     true},
    {ModuleClipboardFormat::Converted, FormatInventory::Converted, true},
};

int BitIndex(DWORD bit) {
    for (int i = 0; i < FormatInventory::kBits; ++i)
        if (bit == (1u << i)) return i;
    return -1;
}

void TakeSide(IDataObject* object, DWORD direction, FormatInventory* inventory) {
    ComPtr<IEnumFORMATETC> formats;
    if (FAILED(object->EnumFormatEtc(direction, &formats)) || !formats) return;
    const bool setSide = direction == DATADIR_SET;
    FORMATETC format;
    ULONG fetched = 0;
    while (formats->Next(1, &format, &fetched) == S_OK && fetched == 1) {
        // The target device belongs to the enumerator's caller.
        if (format.ptd) CoTaskMemFree(format.ptd);
        format.ptd = nullptr;
        const DWORD bit = InventoryBit(format.cfFormat, setSide);
        if (!bit) continue;
        (setSide ? inventory->set : inventory->get) |= bit;
        inventory->saved[BitIndex(bit)] = format;
    }
}

}  // namespace

const wchar_t* ClipboardFormatName(ModuleClipboardFormat format) {
    const size_t index = static_cast<size_t>(format);
    return index < kFormatCount ? kFormatNames[index] : L"";
}

bool RegisterModuleClipboardFormats() {
    for (size_t i = 0; i < kFormatCount; ++i) {
        g_formats[i] = RegisterClipboardFormatW(kFormatNames[i]);
        if (!g_formats[i] && i < kRequiredFormats) return false;
    }
    return true;
}

UINT ClipboardFormatId(ModuleClipboardFormat format) {
    const size_t index = static_cast<size_t>(format);
    if (index >= kFormatCount) return 0;
    if (!g_formats[index]) g_formats[index] = RegisterClipboardFormatW(kFormatNames[index]);
    return g_formats[index];
}

FORMATETC HGlobalFormatEtc(CLIPFORMAT format, LONG index) {
    FORMATETC etc = {format, nullptr, DVASPECT_CONTENT, index, TYMED_HGLOBAL};
    return etc;
}

void UniqueStgMedium::reset() {
    if (medium_.tymed != TYMED_NULL) ReleaseStgMedium(&medium_);
    medium_ = STGMEDIUM();
}

const FORMATETC* FormatInventory::Saved(DWORD bit) const {
    const int index = BitIndex(bit);
    if (index < 0 || !((get | set) & bit)) return nullptr;
    return &saved[index];
}

DWORD InventoryBit(CLIPFORMAT format, bool setSide) {
    if (!format) return 0;
    for (const InventoryEntry& entry : kInventory) {
        if (entry.setSide != setSide) continue;
        const UINT id = entry.format == ModuleClipboardFormat::Count
                            ? kHdropFormat
                            : ClipboardFormatId(entry.format);
        if (id && id == format) return entry.bit;
    }
    return 0;
}

HRESULT TakeFormatInventory(IDataObject* object, FormatInventory* inventory) {
    if (!object || !inventory) return E_INVALIDARG;
    *inventory = FormatInventory();
    TakeSide(object, DATADIR_GET, inventory);
    TakeSide(object, DATADIR_SET, inventory);
    return S_OK;
}

HRESULT GetFormat(IDataObject* object, CLIPFORMAT format, STGMEDIUM* medium) {
    if (!object || !medium) return E_INVALIDARG;
    *medium = STGMEDIUM();
    FORMATETC etc = HGlobalFormatEtc(format);
    HRESULT hr = object->GetData(&etc, medium);
    if (FAILED(hr)) return hr;
    if (medium->tymed != TYMED_HGLOBAL || !medium->hGlobal) {
        // Someone answered with another medium than asked for.
        ReleaseStgMedium(medium);
        *medium = STGMEDIUM();
        return DV_E_TYMED;
    }
    return S_OK;
}

HRESULT ReadFormatBytes(IDataObject* object, CLIPFORMAT format, void* buffer, SIZE_T count) {
    if (!buffer && count) return E_POINTER;
    UniqueStgMedium medium;
    HRESULT hr = GetFormat(object, format, medium.out());
    if (FAILED(hr)) return hr;
    GlobalLocked<BYTE> block(medium.get()->hGlobal);
    if (!block) return E_UNEXPECTED;
    if (block.size() < count) return E_UNEXPECTED;
    if (count) memcpy(buffer, block.get(), count);
    return S_OK;
}

HRESULT ReadDwordFormat(IDataObject* object, CLIPFORMAT format, DWORD* value) {
    if (!value) return E_POINTER;
    *value = 0;
    DWORD read = 0;
    HRESULT hr = ReadFormatBytes(object, format, &read, sizeof(read));
    if (SUCCEEDED(hr)) *value = read;
    return hr;
}

DWORD ReadPreferredDropEffect(IDataObject* object) {
    DWORD effect = 0;
    ReadDwordFormat(object, ClipboardFormat(ModuleClipboardFormat::PreferredDropEffect), &effect);
    return effect;
}

HRESULT WriteDwordFormat(IDataObject* object, CLIPFORMAT format, DWORD value) {
    if (!object) return E_INVALIDARG;
    STGMEDIUM medium = {};
    medium.tymed = TYMED_HGLOBAL;
    HRESULT hr = MakeGlobalBlock(&value, sizeof(value), &medium.hGlobal);
    if (FAILED(hr)) return hr;
    FORMATETC etc = HGlobalFormatEtc(format);
    hr = object->SetData(&etc, &medium, TRUE);
    if (FAILED(hr)) GlobalFree(medium.hGlobal);
    if (hr == E_NOTIMPL) {
        ComPtr<IModuleChangeSink> own;
        if (SUCCEEDED(object->QueryInterface(IID_IModuleChangeSink, &own))) {
            UniqueBstr message(DwordFormatMessage(format, value).c_str());
            hr = message.get() ? own->OnChange(message.get()) : E_OUTOFMEMORY;
        }
    }
    return hr;
}

std::wstring DwordFormatMessage(CLIPFORMAT format, DWORD value) {
    wchar_t message[48];
    swprintf(message, ARRAYSIZE(message), L"SetData:%u:%X", static_cast<unsigned>(format),
             static_cast<unsigned>(value));
    return message;
}

bool ParseDwordFormatMessage(const wchar_t* message, CLIPFORMAT* format, DWORD* value) {
    if (!message || wcsncmp(message, L"SetData:", 8) != 0) return false;
    unsigned number = 0, bits = 0;
    wchar_t end = 0;
    if (swscanf(message + 8, L"%u:%X%lc", &number, &bits, &end) != 2 || number == 0 ||
        number > 0xFFFF)
        return false;
    *format = static_cast<CLIPFORMAT>(number);
    *value = bits;
    return true;
}

HRESULT MakeGlobalBlock(const void* bytes, SIZE_T size, HGLOBAL* block) {
    if (!block) return E_POINTER;
    *block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size ? size : 1);
    if (!*block) return E_OUTOFMEMORY;
    if (bytes && size) {
        GlobalLocked<BYTE> locked(*block);
        if (!locked) {
            GlobalFree(*block);
            *block = nullptr;
            return E_OUTOFMEMORY;
        }
        memcpy(locked.get(), bytes, size);
    }
    return S_OK;
}
