#include "item_id/module_item_id.h"

#include <shellapi.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <cstring>
#include <cwchar>

#include "common/formatting.h"
#include "common/resource_module.h"
#include "resources/string_ids.h"

using Microsoft::WRL::ComPtr;

namespace {

const wchar_t kRootName[] = L"Module";

// Identifiers sit at any byte offset inside a list: read fields by copying.
template <class T>
T ReadField(LPCITEMIDLIST item, size_t offset) {
    T value;
    memcpy(&value, reinterpret_cast<const BYTE*>(item) + offset, sizeof(value));
    return value;
}

USHORT ByteCount(LPCITEMIDLIST item) { return ReadField<USHORT>(item, 0); }

// The count of a list entry, 0 at the end. An entry shorter than its own
// count field ends the list too: stepping over it would make the next
// entry's first byte part of its count, and a copy that puts other bytes
// there would change what the list says.
USHORT ListEntryCount(LPCITEMIDLIST item) {
    const USHORT cb = ByteCount(item);
    return cb < sizeof(USHORT) ? 0 : cb;
}

// Bytes of the items before the terminator.
SIZE_T ItemBytes(LPCITEMIDLIST list) {
    SIZE_T bytes = 0;
    if (!list) return 0;
    for (LPCITEMIDLIST p = list; ListEntryCount(p) != 0; p = NextItem(p))
        bytes += ListEntryCount(p);
    return bytes;
}

// A new list of `bytes` item bytes followed by the terminator.
LPITEMIDLIST AllocateList(SIZE_T bytes) {
    auto* list = static_cast<BYTE*>(ShellAlloc(bytes + sizeof(USHORT)));
    if (list) memset(list + bytes, 0, sizeof(USHORT));
    return reinterpret_cast<LPITEMIDLIST>(list);
}

INIT_ONCE g_allocatorOnce = INIT_ONCE_STATIC_INIT;
IMalloc* g_allocator = nullptr;

BOOL CALLBACK GetAllocator(PINIT_ONCE, PVOID, PVOID*) {
    if (FAILED(SHGetMalloc(&g_allocator))) g_allocator = nullptr;
    return TRUE;
}

// Every question to the shell about a name's look: by name and attributes
// alone, never by a file on the PC.
bool AskShell(const wchar_t* name, DWORD attributes, UINT flags, SHFILEINFOW* info) {
    return SHGetFileInfoW(name ? name : L"", attributes & kShellLookAttributes, info, sizeof(*info),
                          flags | SHGFI_USEFILEATTRIBUTES) != 0;
}

UINT IconFlags(bool small, bool open) {
    return (small ? SHGFI_SMALLICON : SHGFI_LARGEICON) | (open ? SHGFI_OPENICON : 0);
}

// Drives borrow the look of the PC's first hard disk.
constexpr wchar_t kDriveLookName[] = L"C:\\";

}  // namespace

LPCITEMIDLIST NextItem(LPCITEMIDLIST item) {
    return reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const BYTE*>(item) +
                                           ListEntryCount(item));
}

IMalloc* ShellAllocator() {
    InitOnceExecuteOnce(&g_allocatorOnce, GetAllocator, nullptr, nullptr);
    return g_allocator;
}

void* ShellAlloc(SIZE_T bytes) {
    IMalloc* allocator = ShellAllocator();
    return allocator ? allocator->Alloc(bytes) : nullptr;
}

void ShellFree(void* p) {
    if (!p) return;
    if (IMalloc* allocator = ShellAllocator()) allocator->Free(p);
}

// --- Construction and access ---------------------------------------------

LPITEMIDLIST MakeItemId(const wchar_t* path, const wchar_t* shortName, DWORD size,
                        DWORD attributes, double created, double accessed, double modified) {
    if (!path) path = L"";
    if (!shortName) shortName = L"";
    const size_t pathLength = wcslen(path);
    const size_t shortLength = wcslen(shortName);
    const size_t bytes = kModuleItemMinSize + 2 * (pathLength + shortLength);
    if (bytes > 0xFFFE) return nullptr;

    auto* item = reinterpret_cast<ModuleItemId*>(AllocateList(bytes));
    if (!item) return nullptr;
    const USHORT cb = static_cast<USHORT>(bytes);
    const USHORT signature = kModuleItemSignature;
    const USHORT pathChars = static_cast<USHORT>(pathLength + 1);
    BYTE* raw = reinterpret_cast<BYTE*>(item);
    memcpy(raw + offsetof(ModuleItemId, cb), &cb, sizeof(cb));
    memcpy(raw + offsetof(ModuleItemId, signature), &signature, sizeof(signature));
    memcpy(raw + offsetof(ModuleItemId, size), &size, sizeof(size));
    memcpy(raw + offsetof(ModuleItemId, attributes), &attributes, sizeof(attributes));
    memcpy(raw + offsetof(ModuleItemId, created), &created, sizeof(created));
    memcpy(raw + offsetof(ModuleItemId, accessed), &accessed, sizeof(accessed));
    memcpy(raw + offsetof(ModuleItemId, modified), &modified, sizeof(modified));
    memcpy(raw + offsetof(ModuleItemId, pathChars), &pathChars, sizeof(pathChars));
    BYTE* text = raw + kModuleItemHeaderSize;
    memcpy(text, path, 2 * (pathLength + 1));
    memcpy(text + 2 * (pathLength + 1), shortName, 2 * (shortLength + 1));
    return reinterpret_cast<LPITEMIDLIST>(item);
}

LPITEMIDLIST MakeDriveItem(const wchar_t* drivePath, DWORD capacity, DWORD freeBytes) {
    return MakeItemId(drivePath, drivePath, capacity, 0, 0, 0, static_cast<double>(freeBytes));
}

bool IsValidItemId(LPCITEMIDLIST item) {
    if (!item) return false;
    const USHORT cb = ByteCount(item);
    if (cb < kModuleItemMinSize || (cb & 1) != 0) return false;
    if (ReadField<USHORT>(item, offsetof(ModuleItemId, signature)) != kModuleItemSignature)
        return false;

    const UINT chars = (cb - kModuleItemHeaderSize) / 2;
    const UINT n = ReadField<USHORT>(item, offsetof(ModuleItemId, pathChars));
    if (n == 0 || n >= chars) return false;

    auto at = [item](UINT index) {
        return ReadField<WCHAR>(item, kModuleItemHeaderSize + 2 * static_cast<size_t>(index));
    };
    if (at(n - 1) != 0 || at(chars - 1) != 0) return false;
    for (UINT i = 0; i + 1 < n; ++i)
        if (at(i) == 0) return false;
    for (UINT i = n; i + 1 < chars; ++i)
        if (at(i) == 0) return false;
    return true;
}

const wchar_t* ItemPath(LPCITEMIDLIST item) {
    return reinterpret_cast<const ModuleItemId*>(item)->path;
}

const wchar_t* ItemName(LPCITEMIDLIST item) {
    const wchar_t* path = ItemPath(item);
    const wchar_t* slash = wcsrchr(path, L'\\');
    if (slash) return slash + 1;
    if (path[0] != 0 && path[1] == L':') return path + 2;
    return path;
}

const wchar_t* ItemShortName(LPCITEMIDLIST item) {
    return ItemPath(item) + ReadField<USHORT>(item, offsetof(ModuleItemId, pathChars));
}

DWORD ItemSize(LPCITEMIDLIST item) { return ReadField<DWORD>(item, offsetof(ModuleItemId, size)); }
DWORD ItemAttributes(LPCITEMIDLIST item) {
    return ReadField<DWORD>(item, offsetof(ModuleItemId, attributes));
}
double ItemCreated(LPCITEMIDLIST item) {
    return ReadField<double>(item, offsetof(ModuleItemId, created));
}
double ItemAccessed(LPCITEMIDLIST item) {
    return ReadField<double>(item, offsetof(ModuleItemId, accessed));
}
double ItemModified(LPCITEMIDLIST item) {
    return ReadField<double>(item, offsetof(ModuleItemId, modified));
}

bool IsDrivePath(const wchar_t* path) {
    if (!path) return false;
    if (path[0] == L'\\') ++path;
    return path[0] >= L'A' && path[0] <= L'Z' && path[1] == L':' && path[2] == 0;
}

bool IsDriveItem(LPCITEMIDLIST item) { return IsDrivePath(ItemPath(item)); }

bool IsContainerItem(LPCITEMIDLIST item) {
    return (ItemAttributes(item) & FILE_ATTRIBUTE_DIRECTORY) != 0 || IsDriveItem(item);
}

// --- Lists -----------------------------------------------------------------

UINT IdListSize(LPCITEMIDLIST list) {
    return list ? static_cast<UINT>(ItemBytes(list) + sizeof(USHORT)) : 0;
}

HRESULT CopyIdList(LPCITEMIDLIST list, LPITEMIDLIST* copy) {
    if (!copy) return E_POINTER;
    *copy = nullptr;
    if (!list) return S_OK;
    const SIZE_T bytes = ItemBytes(list);
    LPITEMIDLIST result = AllocateList(bytes);
    if (!result) return E_OUTOFMEMORY;
    memcpy(result, list, bytes);
    *copy = result;
    return S_OK;
}

UINT CountItems(LPCITEMIDLIST list) {
    UINT count = 0;
    if (!list) return 0;
    for (LPCITEMIDLIST p = list; ListEntryCount(p) != 0; p = NextItem(p)) ++count;
    return count;
}

LPCITEMIDLIST ItemAt(LPCITEMIDLIST list, int k) {
    if (!list) return nullptr;
    LPCITEMIDLIST p = list;
    for (int i = 0; i < k; ++i) {
        if (ListEntryCount(p) == 0) return nullptr;
        p = NextItem(p);
    }
    return ListEntryCount(p) != 0 ? p : nullptr;
}

LPCITEMIDLIST LastItem(LPCITEMIDLIST list) {
    if (!list || ListEntryCount(list) == 0) return nullptr;
    LPCITEMIDLIST p = list;
    while (ListEntryCount(NextItem(p)) != 0) p = NextItem(p);
    return p;
}

LPITEMIDLIST SubList(LPCITEMIDLIST list, int first, int last) {
    if (last < first) return nullptr;
    LPCITEMIDLIST start = ItemAt(list, first);
    if (!start) return nullptr;
    SIZE_T bytes = 0;
    LPCITEMIDLIST p = start;
    for (int i = first < 0 ? 0 : first; i <= last && ListEntryCount(p) != 0; ++i) {
        bytes += ListEntryCount(p);
        p = NextItem(p);
    }
    LPITEMIDLIST result = AllocateList(bytes);
    if (result) memcpy(result, start, bytes);
    return result;
}

LPITEMIDLIST JoinIdLists(LPCITEMIDLIST a, LPCITEMIDLIST b) {
    const SIZE_T bytesA = ItemBytes(a);
    const SIZE_T bytesB = ItemBytes(b);
    LPITEMIDLIST result = AllocateList(bytesA + bytesB);
    if (!result) return nullptr;
    if (bytesA) memcpy(result, a, bytesA);
    if (bytesB) memcpy(reinterpret_cast<BYTE*>(result) + bytesA, b, bytesB);
    return result;
}

IdListHolder& IdListHolder::operator=(IdListHolder&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
}

HRESULT IdListHolder::Assign(LPCITEMIDLIST list) {
    // Copy first: `list` may be the held list itself.
    LPITEMIDLIST copy = nullptr;
    HRESULT hr = CopyIdList(list, &copy);
    reset(copy);
    return hr;
}

void IdListHolder::reset(LPITEMIDLIST owned) {
    if (list_ && list_ != owned) ShellFree(list_);
    list_ = owned;
}

// --- Describing an item ----------------------------------------------------

std::wstring ItemTypeName(LPCITEMIDLIST item) {
    if (IsDriveItem(item)) return Resources().LoadString(IDS_MODULE_DISK);
    return TypeNameForName(ItemName(item), ItemAttributes(item));
}

std::wstring TypeNameForName(const wchar_t* name, DWORD attributes) {
    SHFILEINFOW info = {};
    return AskShell(name, attributes, SHGFI_TYPENAME, &info) ? info.szTypeName : std::wstring();
}

std::wstring DriveDisplayName(LPCITEMIDLIST drive) {
    return Resources().LoadString(IDS_MODULE_DISK) + L" (" + ItemShortName(drive) + L")";
}

std::wstring ItemParentPath(const wchar_t* path) {
    if (!path) return std::wstring();
    for (size_t i = wcslen(path); i-- > 0;) {
        if (path[i] == L'\\') return std::wstring(path, i);
        if (i == 1 && path[1] == L':') return std::wstring(path, 2);
    }
    return std::wstring();
}

std::wstring ItemLocation(LPCITEMIDLIST item) {
    return kRootName + ItemParentPath(ItemPath(item));
}

int IconIndexForName(const wchar_t* name, DWORD attributes, bool small, bool open) {
    SHFILEINFOW info = {};
    return AskShell(name, attributes, SHGFI_SYSICONINDEX | IconFlags(small, open), &info) ? info.iIcon
                                                                                          : -1;
}

HIMAGELIST SystemImageList(bool small) {
    SHFILEINFOW info = {};
    return reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(L"", FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                                                       SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES |
                                                           IconFlags(small, false)));
}

HICON DriveIcon(bool small) {
    SHFILEINFOW info = {};
    return AskShell(kDriveLookName, 0, SHGFI_ICON | IconFlags(small, false), &info) ? info.hIcon : nullptr;
}

HICON ItemIcon(LPCITEMIDLIST item, bool small, bool open) {
    if (IsDriveItem(item)) return DriveIcon(small);
    SHFILEINFOW info = {};
    return AskShell(ItemName(item), ItemAttributes(item), SHGFI_ICON | IconFlags(small, open), &info)
               ? info.hIcon
               : nullptr;
}

int ItemIconIndex(LPCITEMIDLIST item, bool small, bool open) {
    if (IsDriveItem(item)) return IconIndexForName(kDriveLookName, 0, small, false);
    return IconIndexForName(ItemName(item), ItemAttributes(item), small, open);
}

// --- Text form ---------------------------------------------------------------

std::wstring ItemToText(LPCITEMIDLIST item) {
    std::wstring text = ItemPath(item);
    text += L'|';
    text += ItemShortName(item);
    text += L'|';
    text += std::to_wstring(static_cast<LONG>(ItemSize(item)));
    text += L'|';
    text += std::to_wstring(static_cast<LONG>(ItemAttributes(item)));
    for (double time : {ItemCreated(item), ItemAccessed(item), ItemModified(item)}) {
        text += L'|';
        text += FormatItemTime(time);
    }
    return text;
}

LPITEMIDLIST ItemFromText(const std::wstring& text) {
    std::wstring fields[7];
    size_t count = 0;
    size_t start = 0;
    for (;;) {
        const size_t bar = text.find(L'|', start);
        if (count == 7) return nullptr;
        fields[count++] = text.substr(start, bar == std::wstring::npos ? bar : bar - start);
        if (bar == std::wstring::npos) break;
        start = bar + 1;
    }
    if (count != 7) return nullptr;
    double times[3] = {};
    for (int i = 0; i < 3; ++i)
        if (!ParseItemTime(fields[4 + i], &times[i])) return nullptr;
    const DWORD size = static_cast<DWORD>(ReadLenientInteger(fields[2]));
    const DWORD attributes = static_cast<DWORD>(ReadLenientInteger(fields[3]));
    return MakeItemId(fields[0].c_str(), fields[1].c_str(), size, attributes, times[0], times[1],
                      times[2]);
}
