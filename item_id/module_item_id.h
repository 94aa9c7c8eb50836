// The item identifier of a module drive, folder or file, and the helpers that
// check, copy, split, join and describe item-identifier lists. A leaf: it
// knows nothing of the module-access server (module_access/absolute_lists.h
// builds absolute lists with it). Every
// identifier carries its item's whole module path, so the last identifier of
// a list names the item on its own. All identifier memory belongs to the
// shell allocator.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shtypes.h>

#include <cstddef>
#include <string>


#pragma pack(push, 1)
// Little-endian, unaligned: read it only through the accessors below.
struct ModuleItemId {
    USHORT cb;           // 42 + 2 * (path length + short-name length)
    USHORT signature;    // kModuleItemSignature
    DWORD size;          // drive item: capacity
    DWORD attributes;    // FILE_ATTRIBUTE_*
    double created;      // item time values (OLE dates, local time)
    double accessed;
    double modified;     // drive item: free bytes
    USHORT pathChars;    // path length + 1; also locates the short name
    WCHAR path[1];       // path, NUL, short name, NUL
};
#pragma pack(pop)

constexpr USHORT kModuleItemSignature = 100;
constexpr UINT kModuleItemHeaderSize = 38;
constexpr UINT kModuleItemMinSize = 42;
static_assert(offsetof(ModuleItemId, pathChars) == 36, "layout");
static_assert(offsetof(ModuleItemId, path) == kModuleItemHeaderSize, "layout");

// Process-wide shell allocator, obtained once (at load, or on first use).
IMalloc* ShellAllocator();
void* ShellAlloc(SIZE_T bytes);
void ShellFree(void* p);

// --- Construction and access ---------------------------------------------

// A new identifier followed by a zero count, so it is a complete list too.
// Null on allocation failure or when the texts do not fit a 16-bit count.
LPITEMIDLIST MakeItemId(const wchar_t* path, const wchar_t* shortName, DWORD size,
                        DWORD attributes, double created, double accessed, double modified);

// The identifier of a drive for its own properties: its capacity as size,
// its free bytes as the last-write value, attributes and other dates 0, the
// short name equal to the path ("\A:").
LPITEMIDLIST MakeDriveItem(const wchar_t* drivePath, DWORD capacity, DWORD freeBytes);

// The acceptance test for identifiers from outside. Reads at most the item's
// own byte count (and never past it), whatever the bytes say.
bool IsValidItemId(LPCITEMIDLIST item);

// Getters of a valid identifier (the first item of `item`).
const wchar_t* ItemPath(LPCITEMIDLIST item);
// The characters after the last "\" of the path, or after a leading "X:".
const wchar_t* ItemName(LPCITEMIDLIST item);
const wchar_t* ItemShortName(LPCITEMIDLIST item);
DWORD ItemSize(LPCITEMIDLIST item);
DWORD ItemAttributes(LPCITEMIDLIST item);
double ItemCreated(LPCITEMIDLIST item);
double ItemAccessed(LPCITEMIDLIST item);
double ItemModified(LPCITEMIDLIST item);

// "X:" or "\X:" with X an upper-case letter A-Z.
bool IsDrivePath(const wchar_t* path);
bool IsDriveItem(LPCITEMIDLIST item);
// A folder (attribute 0x10) or a drive: something a listing descends into.
bool IsContainerItem(LPCITEMIDLIST item);

// --- Lists (terminated by a zero byte count) -------------------------------

// Exactly the bytes up to and including the terminator; null copies to null.
HRESULT CopyIdList(LPCITEMIDLIST list, LPITEMIDLIST* copy);
UINT CountItems(LPCITEMIDLIST list);
// Item k (k <= 0: the first); null when the list ends before item k.
LPCITEMIDLIST ItemAt(LPCITEMIDLIST list, int k);
// The last item before the terminator; null for an empty list.
LPCITEMIDLIST LastItem(LPCITEMIDLIST list);
// The entry after `item`; the terminator (or an entry too short to step
// over) stays where it is.
LPCITEMIDLIST NextItem(LPCITEMIDLIST item);
// Items first..last inclusive as a new list; null when last < first, when the
// list ends before item first, or on allocation failure.
LPITEMIDLIST SubList(LPCITEMIDLIST list, int first, int last);
// The items of a, then those of b (a null list is empty); null on allocation failure.
LPITEMIDLIST JoinIdLists(LPCITEMIDLIST a, LPCITEMIDLIST b);
// Bytes up to and including the terminator (0 for null).
UINT IdListSize(LPCITEMIDLIST list);

// The one owner of an identifier list: move-only, freed with the shell
// allocator (every list the library holds comes from it or from the shell).
// Copies are explicit: `Assign(list)`. Lists of them: std::vector<IdListHolder>.
class IdListHolder {
public:
    IdListHolder() = default;
    // Takes ownership.
    explicit IdListHolder(LPITEMIDLIST owned) : list_(owned) {}
    IdListHolder(IdListHolder&& other) noexcept : list_(other.release()) {}
    IdListHolder(const IdListHolder&) = delete;
    IdListHolder& operator=(const IdListHolder&) = delete;
    ~IdListHolder() { reset(); }

    IdListHolder& operator=(IdListHolder&& other) noexcept;

    // Replaces the held list by a copy of `list`: E_OUTOFMEMORY leaves it empty.
    HRESULT Assign(LPCITEMIDLIST list);

    LPITEMIDLIST get() const { return list_; }
    explicit operator bool() const { return list_ != nullptr; }
    LPITEMIDLIST release() {
        LPITEMIDLIST l = list_;
        list_ = nullptr;
        return l;
    }
    void reset(LPITEMIDLIST owned = nullptr);
    // For functions that hand out a new list: frees the old one first.
    LPITEMIDLIST* out() {
        reset();
        return &list_;
    }

private:
    LPITEMIDLIST list_ = nullptr;
};

// --- Describing an item ----------------------------------------------------

// "Module Disk" for a drive, else the shell's type name of the item's name.
std::wstring ItemTypeName(LPCITEMIDLIST item);
// "Module" followed by the parent of the item's path.
std::wstring ItemLocation(LPCITEMIDLIST item);
// The parent of a module path: text before the last "\", or "X:" when the
// scan from the end reaches a leading drive first.
std::wstring ItemParentPath(const wchar_t* path);

// The attributes the shell's look of a name depends on; the others are
// dropped before it is asked.
constexpr DWORD kShellLookAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY;
// The shell's type name for a file of that name and attributes ("" when it fails).
std::wstring TypeNameForName(const wchar_t* name, DWORD attributes);
// "Module Disk (A:)": a drive's name in its folder.
std::wstring DriveDisplayName(LPCITEMIDLIST drive);

// Icons as the shell shows a file of the item's name and attributes; drives
// look like the PC's "C:\". The caller destroys the icon handles.
HICON ItemIcon(LPCITEMIDLIST item, bool small, bool open = false);
HICON DriveIcon(bool small);
// System-image-list indexes; -1 when the shell fails.
int ItemIconIndex(LPCITEMIDLIST item, bool small, bool open = false);
// The same by name and attributes alone (an empty or null name for none).
int IconIndexForName(const wchar_t* name, DWORD attributes, bool small, bool open = false);
// The shell's system image lists (shared, never destroyed).
HIMAGELIST SystemImageList(bool small);

// --- Text form (saved search results) --------------------------------------

// path|short name|size|attributes|created|accessed|modified
std::wstring ItemToText(LPCITEMIDLIST item);
// Null when the field count is not seven, a date does not parse, or memory fails.
LPITEMIDLIST ItemFromText(const std::wstring& text);
