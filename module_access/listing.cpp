#include "module_access/listing.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>
#include <vector>

#include "common/holders.h"
#include "module_access/listing_layout.h"

namespace {

const HRESULT kTooDeep = HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
// The most entries whose pointers a 32-bit size still counts, in whole steps.
constexpr UINT kMaxEntries = (0xFFFFFFFFu / sizeof(LPITEMIDLIST)) / ItemArray::kGrowth * ItemArray::kGrowth;

// The value parts are read as the record says they are; strings only when
// tagged as such, since an untagged pointer could point anywhere.
const wchar_t* StringField(const VARIANT& v) {
    return V_VT(&v) == VT_BSTR && V_BSTR(&v) ? V_BSTR(&v) : L"";
}

// The folder path without a trailing "\", so that "\" + name never doubles it.
std::wstring ItemPrefix(const wchar_t* folderPath) {
    std::wstring prefix = folderPath ? folderPath : L"";
    if (!prefix.empty() && prefix.back() == L'\\') prefix.pop_back();
    return prefix;
}

HRESULT CallListFolder(ModuleAccess* access, const std::wstring& request, bool foldersOnly,
                       VARIANT* result) {
    UniqueBstr bstr(request.c_str(), static_cast<UINT>(request.size()));
    if (!bstr.get()) return E_OUTOFMEMORY;
    return access->ListFolder(bstr.get(), foldersOnly ? VARIANT_TRUE : VARIANT_FALSE, result);
}

// A name that cannot stand for an item of the listed folder: empty, "." or
// "..", or one with a "\" in it. Made into a path, each would name the folder
// itself, its parent or something deeper, and every walk (sizes, deletes,
// moves) would act there.
bool UsableName(const wchar_t* name) {
    if (!name || !*name || wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0) return false;
    return wcschr(name, L'\\') == nullptr;
}

// `path` holds the folder's prefix and is reused from entry to entry.
LPITEMIDLIST MakeItemInto(std::wstring& path, size_t prefixLength, const FileRecord& record) {
    path.resize(prefixLength);
    path += L'\\';
    path += record.name;
    return MakeItemId(path.c_str(), record.shortName, record.size, record.attributes,
                      record.created, record.accessed, record.modified);
}

// `pending` counts the entries the outer levels still have to append after
// this folder, so that one reservation holds everything known so far.
HRESULT ListInto(const wchar_t* folderPath, const wchar_t* pattern, ItemArray* items,
                 ModuleAccess* access, bool foldersOnly, bool recursive, int depth,
                 ULONGLONG pending) {
    if (depth > kMaxListingDepth) return kTooDeep;
    UniqueVariant result;
    HRESULT hr = CallListFolder(access, ListingRequest(folderPath, pattern), foldersOnly,
                                result.out());
    if (FAILED(hr)) return hr;

    ListingDecoder decoder;
    hr = decoder.Open(result.get());
    if (FAILED(hr)) return hr;
    const ULONG count = decoder.Count();
    if (pending + count > kMaxEntries) return E_OUTOFMEMORY;
    hr = items->Reserve(static_cast<UINT>(pending + count));
    if (FAILED(hr)) return hr;
    std::wstring path = ItemPrefix(folderPath);
    const size_t prefixLength = path.size();
    for (ULONG i = 0; i < count; ++i) {
        const FileRecord record = decoder.Record(i);
        if (!UsableName(record.name)) continue;
        LPITEMIDLIST item = MakeItemInto(path, prefixLength, record);
        if (!item) return E_OUTOFMEMORY;
        hr = items->Append(item);
        if (FAILED(hr)) return hr;
        if (recursive && IsContainerItem(item)) {
            const std::wstring child = ItemPath(item);
            hr = ListInto(child.c_str(), pattern, items, access, foldersOnly, recursive, depth + 1,
                          pending + (count - i - 1));
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

// False once the walk has gone too deep: it is given up as a whole, since a
// server that answers folders with themselves can make every level wider.
bool AddSizes(const LPCITEMIDLIST* items, UINT count, ULONGLONG* total, bool pump,
              ModuleAccess* access, int depth) {
    for (UINT i = 0; i < count; ++i) {
        if (pump) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        LPCITEMIDLIST item = items[i];
        if (!item) continue;
        if (!IsContainerItem(item)) {
            *total += ItemSize(item);
            continue;
        }
        if (depth >= kMaxListingDepth) return false;
        std::vector<IdListHolder> children;
        if (FAILED(ListItems(ItemPath(item), &children, access, false)) || children.empty()) continue;
        std::vector<LPCITEMIDLIST> raw;
        try {
            raw.reserve(children.size());
        } catch (const std::bad_alloc&) {
            continue;
        }
        for (const IdListHolder& child : children) raw.push_back(child.get());
        if (!AddSizes(raw.data(), static_cast<UINT>(raw.size()), total, pump, access, depth + 1)) return false;
    }
    return true;
}

}  // namespace

// --- Decoding --------------------------------------------------------------

HRESULT ListingDecoder::Open(const VARIANT* result) {
    Close();
    if (!result || V_VT(result) != (VT_ARRAY | VT_VARIANT) || !V_ARRAY(result)) return S_FALSE;
    SAFEARRAY* array = V_ARRAY(result);
    if (SafeArrayGetDim(array) != 2 || SafeArrayGetElemsize(array) != sizeof(VARIANT))
        return E_FAIL;
    LONG lower1 = 0, upper1 = -1, lower2 = 0, upper2 = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower1)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper1)) ||
        FAILED(SafeArrayGetLBound(array, 2, &lower2)) ||
        FAILED(SafeArrayGetUBound(array, 2, &upper2)))
        return E_FAIL;
    const LONGLONG entries = static_cast<LONGLONG>(upper1) - lower1 + 1;
    const LONGLONG fields = static_cast<LONGLONG>(upper2) - lower2 + 1;
    if (entries <= 0 || fields <= 0) return S_OK;  // an array without entries
    if (fields < listing_layout::kFieldCount) return E_FAIL;

    void* data = nullptr;
    HRESULT hr = SafeArrayAccessData(array, &data);
    if (FAILED(hr)) return hr;
    array_ = array;
    data_ = static_cast<const VARIANT*>(data);
    count_ = static_cast<ULONG>(entries);
    return S_OK;
}

void ListingDecoder::Close() {
    if (array_) SafeArrayUnaccessData(array_);
    array_ = nullptr;
    data_ = nullptr;
    count_ = 0;
}

FileRecord ListingDecoder::Record(ULONG index) const {
    FileRecord record;
    if (index >= count_) return record;
    using namespace listing_layout;
    auto field = [this, index](Field f) -> const VARIANT& {
        return data_[Position(count_, index, f)];
    };
    record.name = StringField(field(kName));
    record.shortName = StringField(field(kShortName));
    record.size = static_cast<DWORD>(V_I4(&field(kSize)));
    record.attributes = static_cast<DWORD>(V_I4(&field(kAttributes)));
    record.created = V_DATE(&field(kCreated));
    record.accessed = V_DATE(&field(kAccessed));
    record.modified = V_DATE(&field(kModified));
    return record;
}

LPITEMIDLIST MakeItemFromRecord(const wchar_t* folderPath, const FileRecord& record) {
    std::wstring path = folderPath ? folderPath : L"";
    return MakeItemInto(path, path.size(), record);
}

// --- Item arrays -------------------------------------------------------------

ItemArray::ItemArray(ItemArray&& other) noexcept
    : items_(other.items_), capacity_(other.capacity_), count_(other.count_) {
    other.items_ = nullptr;
    other.capacity_ = other.count_ = 0;
}

ItemArray& ItemArray::operator=(ItemArray&& other) noexcept {
    if (this != &other) {
        Clear();
        items_ = other.items_;
        capacity_ = other.capacity_;
        count_ = other.count_;
        other.items_ = nullptr;
        other.capacity_ = other.count_ = 0;
    }
    return *this;
}

HRESULT ItemArray::Reserve() {
    if (count_ < capacity_) return S_OK;
    if (capacity_ > kMaxEntries - kGrowth) return E_OUTOFMEMORY;
    return GrowTo(capacity_ + kGrowth);
}

HRESULT ItemArray::Reserve(UINT more) {
    ULONGLONG needed = static_cast<ULONGLONG>(count_) + more;
    if (needed <= capacity_) return S_OK;
    if (count_ > 0) needed = std::max<ULONGLONG>(needed, capacity_ + capacity_ / 2ull);
    needed = (needed + kGrowth - 1) / kGrowth * kGrowth;
    if (needed > kMaxEntries) return E_OUTOFMEMORY;
    return GrowTo(static_cast<UINT>(needed));
}

HRESULT ItemArray::GrowTo(UINT capacity) {
    auto* grown = static_cast<LPITEMIDLIST*>(ShellAlloc(capacity * sizeof(LPITEMIDLIST)));
    if (!grown) return E_OUTOFMEMORY;
    if (count_) memcpy(grown, items_, count_ * sizeof(LPITEMIDLIST));
    memset(grown + count_, 0, (capacity - count_) * sizeof(LPITEMIDLIST));
    ShellFree(items_);
    items_ = grown;
    capacity_ = capacity;
    return S_OK;
}

HRESULT ItemArray::Append(LPITEMIDLIST item) {
    HRESULT hr = Reserve();
    if (FAILED(hr)) {
        ShellFree(item);
        return hr;
    }
    items_[count_++] = item;
    return S_OK;
}

void ItemArray::Clear() {
    for (UINT i = 0; i < count_; ++i) ShellFree(items_[i]);
    ShellFree(items_);
    items_ = nullptr;
    capacity_ = count_ = 0;
}

LPITEMIDLIST* ItemArray::Detach(UINT* count) {
    LPITEMIDLIST* items = items_;
    if (count) *count = count_;
    items_ = nullptr;
    capacity_ = count_ = 0;
    return items;
}

// --- Listings ------------------------------------------------------------------

std::wstring ListingRequest(const wchar_t* folderPath, const wchar_t* pattern) {
    std::wstring request = folderPath && *folderPath ? folderPath : L"\\";
    if (request.back() != L'\\') request += L'\\';
    if (pattern) request += pattern;
    return request;
}

HRESULT ListItemsEx(const wchar_t* folderPath, const wchar_t* pattern, ItemArray* items,
                    ModuleAccess* access, bool foldersOnly, bool recursive) {
    if (!items || !access) return E_INVALIDARG;
    HRESULT hr = ListInto(folderPath, pattern, items, access, foldersOnly, recursive, 0, 0);
    if (FAILED(hr)) items->Clear();
    return hr;
}

HRESULT ListItems(const wchar_t* folderPath, std::vector<IdListHolder>* items, ModuleAccess* access,
                  bool foldersOnly) {
    if (!items || !access) return E_POINTER;
    items->clear();
    ItemArray listed;
    HRESULT hr = ListItemsEx(folderPath, L"*", &listed, access, foldersOnly, false);
    if (FAILED(hr) || listed.count() == 0) return hr;

    std::vector<IdListHolder> result;
    try {
        result.reserve(listed.count());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    UINT n = 0;
    LPITEMIDLIST* raw = listed.Detach(&n);
    for (UINT i = 0; i < n; ++i) result.emplace_back(raw[i]);
    ShellFree(raw);
    *items = std::move(result);
    return S_OK;
}

HRESULT GetItemRecord(const wchar_t* path, ModuleAccess* access, LPITEMIDLIST* item) {
    if (!item) return E_INVALIDARG;
    *item = nullptr;
    if (!path) return E_INVALIDARG;
    if (!access) return E_POINTER;
    UniqueVariant result;
    HRESULT hr = CallListFolder(access, path, false, result.out());
    if (FAILED(hr)) return hr;
    // "Nothing matches" comes as an empty answer or an empty array; any
    // other kind of answer is not a listing at all.
    const VARTYPE type = V_VT(result.get());
    if (type == VT_EMPTY || type == VT_NULL) return S_OK;
    if ((type & VT_ARRAY) == 0) return E_FAIL;

    ListingDecoder decoder;
    hr = decoder.Open(result.get());
    if (FAILED(hr)) return hr;
    if (decoder.Count() == 0) return S_OK;
    const FileRecord record = decoder.Record(0);
    if (!UsableName(record.name)) return E_FAIL;
    const std::wstring parent = ItemParentPath(path);
    *item = MakeItemFromRecord(parent.c_str(), record);
    return *item ? S_OK : E_OUTOFMEMORY;
}

HRESULT GetDriveItem(const wchar_t* drivePath, ModuleAccess* access, LPITEMIDLIST* item) {
    if (!item) return E_INVALIDARG;
    *item = nullptr;
    if (!access) return E_POINTER;
    if (!IsDrivePath(drivePath)) return E_INVALIDARG;
    const std::wstring path = drivePath[0] == L'\\' ? drivePath : L"\\" + std::wstring(drivePath);
    UniqueBstr request(path.c_str());
    LONG capacity = 0, freeBytes = 0;
    HRESULT hr = access->GetDiskSpace(request.get(), &capacity, &freeBytes);
    if (FAILED(hr)) return hr;
    *item = MakeDriveItem(path.c_str(), static_cast<DWORD>(capacity), static_cast<DWORD>(freeBytes));
    return *item ? S_OK : E_OUTOFMEMORY;
}

HRESULT TotalFileSize(const wchar_t* folderPath, const LPCITEMIDLIST* items, UINT count,
                      ULONGLONG* total, bool pump, ModuleAccess* access) {
    if (!total) return E_POINTER;
    if (!items || count == 0) return S_OK;
    if (!access) return E_POINTER;
    AddSizes(items, count, total, pump, access, 0);
    return S_OK;
}
