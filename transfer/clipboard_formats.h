// Owns the clipboard formats: their registration when the library loads (in
// a fixed order), their ids, and the small operations on any data object:
// taking stock of what a foreign object offers (FormatInventory), getting a
// format, reading its first bytes, reading "Preferred DropEffect" and writing
// a DWORD format. Block layouts live in their own headers:
// hdrop_format.h, directory_data_format.h, shell_id_list_format.h.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <string>

#include "common/holders.h"

// The registered formats, in registration order.
enum class ModuleClipboardFormat {
    ShellIdListArray,
    FileContents,
    FileGroupDescriptorW,
    PreferredDropEffect,
    PasteSucceeded,
    PerformedDropEffect,
    LogicalPerformedDropEffect,
    DirectoryData,
    Converted,
    ViewAddress,
    TargetClsid,
    Count
};

// The registered name of a format ("Shell IDList Array", ...).
const wchar_t* ClipboardFormatName(ModuleClipboardFormat format);

// Registers every format in order: false when one of the first ten fails
// ("TargetCLSID" may stay 0).
bool RegisterModuleClipboardFormats();
// The format's number; registered on first use when the library's load has
// not done it (programs that link the code directly). 0 only for an
// unregistered "TargetCLSID".
UINT ClipboardFormatId(ModuleClipboardFormat format);
inline CLIPFORMAT ClipboardFormat(ModuleClipboardFormat format) {
    return static_cast<CLIPFORMAT>(ClipboardFormatId(format));
}

// A block from another program that does not hold what its format says
// (offsets, counts or lists pointing outside it): "The data is invalid."
constexpr HRESULT E_BAD_FORMAT_BLOCK = static_cast<HRESULT>(0x8007000DL);

// Files of the PC: recognised by value, never registered.
constexpr CLIPFORMAT kHdropFormat = CF_HDROP;

// {format, no target device, content, lindex, TYMED_HGLOBAL}
FORMATETC HGlobalFormatEtc(CLIPFORMAT format, LONG index = -1);

// Releases a medium when it goes out of scope.
class UniqueStgMedium {
public:
    UniqueStgMedium() = default;
    UniqueStgMedium(const UniqueStgMedium&) = delete;
    UniqueStgMedium& operator=(const UniqueStgMedium&) = delete;
    ~UniqueStgMedium() { reset(); }
    STGMEDIUM* get() { return &medium_; }
    const STGMEDIUM* get() const { return &medium_; }
    // For functions that fill a medium: releases the old one first.
    STGMEDIUM* out() { reset(); return &medium_; }
    void reset();

private:
    STGMEDIUM medium_ = {};
};

// What a foreign data object offers (get side) and accepts (set side).
struct FormatInventory {
    enum : DWORD {
        FileContents = 0x001,
        FileGroupDescriptorW = 0x002,
        PreferredDropEffect = 0x004,
        PasteSucceeded = 0x008,
        PerformedDropEffect = 0x010,
        LogicalPerformedDropEffect = 0x020,
        Hdrop = 0x040,
        DirectoryData = 0x080,
        TargetClsid = 0x100,
        Converted = 0x200,
        ViewAddress = 0x400,
    };
    static constexpr int kBits = 11;

    DWORD get = 0;
    DWORD set = 0;
    // The FORMATETC each recognised format was listed with (target device
    // dropped), indexed by bit number.
    FORMATETC saved[kBits] = {};

    bool CanGet(DWORD bits) const { return (get & bits) != 0; }
    // The listed FORMATETC of one bit, or null when it was not listed.
    const FORMATETC* Saved(DWORD bit) const;
};

// The inventory bit of a format on one side (0 when not recognised there).
DWORD InventoryBit(CLIPFORMAT format, bool setSide);

// Enumerates the get side, then the set side. A side the object cannot
// enumerate stays empty; fails only for a null argument.
HRESULT TakeFormatInventory(IDataObject* object, FormatInventory* inventory);

// GetData with {format, no device, content, -1, TYMED_HGLOBAL}. On success
// the medium holds a global memory block.
HRESULT GetFormat(IDataObject* object, CLIPFORMAT format, STGMEDIUM* medium);
// The first `count` bytes of a format: E_UNEXPECTED when its block is shorter.
HRESULT ReadFormatBytes(IDataObject* object, CLIPFORMAT format, void* buffer, SIZE_T count);
// A DWORD format's value (its first four bytes).
HRESULT ReadDwordFormat(IDataObject* object, CLIPFORMAT format, DWORD* value);
// "Preferred DropEffect", or 0 when it cannot be read.
DWORD ReadPreferredDropEffect(IDataObject* object);
// SetData of four bytes holding `value` (the object takes the block). Wine
// cannot carry SetData to another apartment (its proxy answers E_NOTIMPL);
// the library's own data objects then get the value through their
// IModuleChangeSink as a DwordFormatMessage.
HRESULT WriteDwordFormat(IDataObject* object, CLIPFORMAT format, DWORD value);

// "SetData:<format number>:<value in hex>", the message that carries a DWORD
// format to a data object of the library through IModuleChangeSink.
std::wstring DwordFormatMessage(CLIPFORMAT format, DWORD value);
bool ParseDwordFormatMessage(const wchar_t* message, CLIPFORMAT* format, DWORD* value);

// A moveable, zeroed global block holding `bytes` (may be null: zeros).
HRESULT MakeGlobalBlock(const void* bytes, SIZE_T size, HGLOBAL* block);

// A moveable, zeroed global block of `size` bytes that `write(bytes)` fills
// while it is locked; `*out` is set only on success.
template <class Write>
HRESULT WriteGlobalBlock(SIZE_T size, HGLOBAL* out, Write write) {
    HGLOBAL block = nullptr;
    HRESULT hr = MakeGlobalBlock(nullptr, size, &block);
    if (FAILED(hr)) return hr;
    {
        GlobalLocked<BYTE> locked(block);
        if (!locked) {
            GlobalFree(block);
            return E_OUTOFMEMORY;
        }
        write(locked.get());
    }
    *out = block;
    return S_OK;
}
