// Listings of the module: the server's ListFolder answer decoded into file
// records and item identifiers. Callers run inside EnterComThread and pass
// their own ModuleAccess instance.
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <shtypes.h>

#include <string>
#include <vector>

#include "module_access/module_access_h.h"
#include "item_id/module_item_id.h"

// One entry of a listing. The texts point into the listing's VARIANT.
struct FileRecord {
    const wchar_t* name = L"";       // within the listed folder ("A:" at the top)
    const wchar_t* shortName = L"";  // 8.3 name
    DWORD size = 0;
    DWORD attributes = 0;
    double created = 0;
    double accessed = 0;
    double modified = 0;
};

// Reads ListFolder's answer in place: a 2-D array of VARIANTs, entries first
// (entry i, field j at linear position i + N*j).
class ListingDecoder {
public:
    ListingDecoder() = default;
    ~ListingDecoder() { Close(); }
    ListingDecoder(const ListingDecoder&) = delete;
    ListingDecoder& operator=(const ListingDecoder&) = delete;

    // S_OK with the entries of an array; S_FALSE and no entries for any
    // other type or a null array; E_FAIL for an array of the wrong shape.
    // `result` must outlive the decoder.
    HRESULT Open(const VARIANT* result);
    void Close();
    ULONG Count() const { return count_; }
    FileRecord Record(ULONG index) const;

private:
    SAFEARRAY* array_ = nullptr;
    const VARIANT* data_ = nullptr;
    ULONG count_ = 0;
};

// The item of a record listed in `folderPath` (its path: folder + "\" + name).
LPITEMIDLIST MakeItemFromRecord(const wchar_t* folderPath, const FileRecord& record);

// A growing array of owned identifiers, grown 32 entries at a time.
class ItemArray {
public:
    static constexpr UINT kGrowth = 32;

    ItemArray() = default;
    ~ItemArray() { Clear(); }
    ItemArray(ItemArray&& other) noexcept;
    ItemArray& operator=(ItemArray&& other) noexcept;
    ItemArray(const ItemArray&) = delete;
    ItemArray& operator=(const ItemArray&) = delete;

    // Makes room for one more entry (growing by 32 when full).
    HRESULT Reserve();
    // Makes room for `more` entries at once: a listing knows its entry count
    // before it decodes, so the array is copied once instead of every 32
    // entries. The capacity stays a multiple of 32; an array that already
    // holds entries grows by half at least, so that a recursive listing
    // growing folder by folder copies its entries a bounded number of times.
    HRESULT Reserve(UINT more);
    // Takes ownership of `item`; the item is freed when room cannot be made.
    HRESULT Append(LPITEMIDLIST item);
    // Frees every item and the storage: null array, zero count and capacity.
    void Clear();
    // Hands the identifiers over to the caller, who frees each of them.
    LPITEMIDLIST* Detach(UINT* count);

    LPITEMIDLIST* items() const { return items_; }
    UINT count() const { return count_; }
    UINT capacity() const { return capacity_; }
    LPCITEMIDLIST operator[](UINT i) const { return items_[i]; }

private:
    HRESULT GrowTo(UINT capacity);

    LPITEMIDLIST* items_ = nullptr;
    UINT capacity_ = 0;
    UINT count_ = 0;
};

// The folder's direct contents (pattern "*"), replacing `items`. No entries:
// success and no items. E_POINTER for a null output or access pointer.
HRESULT ListItems(const wchar_t* folderPath, std::vector<IdListHolder>* items, ModuleAccess* access,
                  bool foldersOnly);

// How deep any walk of the module goes. A server that answers a folder with
// a folder inside it (or with itself) would otherwise recurse until the stack
// runs out; real module trees are a few levels deep. Deeper is reported as
// HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE).
constexpr int kMaxListingDepth = 128;

// Appends the entries matching `pattern` to `items`, depth first when
// recursive (a folder's own item precedes its contents). Any failure frees
// every item of the array, earlier ones included.
HRESULT ListItemsEx(const wchar_t* folderPath, const wchar_t* pattern, ItemArray* items,
                    ModuleAccess* access, bool foldersOnly, bool recursive);

// The record of one item by its full path: success with a null item when it
// does not exist (an empty answer or no entries); E_FAIL when the answer is
// neither empty nor an array.
HRESULT GetItemRecord(const wchar_t* path, ModuleAccess* access, LPITEMIDLIST* item);

// A drive's identifier for its properties, from GetDiskSpace (MakeDriveItem).
// `drivePath` is "\A:" (or "A:"); the identifier's path is "\A:".
HRESULT GetDriveItem(const wchar_t* drivePath, ModuleAccess* access, LPITEMIDLIST* item);

// Adds the sizes of the files of a selection to *total, descending into
// folders and drives; folders that cannot be listed add nothing. With `pump`
// the thread's pending messages are dispatched before each item.
HRESULT TotalFileSize(const wchar_t* folderPath, const LPCITEMIDLIST* items, UINT count,
                      ULONGLONG* total, bool pump, ModuleAccess* access);

// The request ListItemsEx sends: the folder ("\" when empty), a trailing "\",
// then the pattern.
std::wstring ListingRequest(const wchar_t* folderPath, const wchar_t* pattern);
