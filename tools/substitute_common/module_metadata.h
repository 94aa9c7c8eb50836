// What a PC directory tree cannot hold for a module: the five attribute bits,
// short (8.3) names, item times that must survive a checkout, drive labels
// and capacities. Kept in one UTF-8 text file beside the drive folders:
//
//   <root>\module_metadata.txt
//   # comment
//   drive <TAB> A <TAB> capacity in bytes <TAB> label
//   item <TAB> \A:\Data\Photo.jpg <TAB> short name <TAB> attributes (hex)
//        <TAB> created <TAB> last access <TAB> last write
//
// Every item field after the path may be empty: the server then derives it
// (folder or archive bit, a generated short name, the PC file's times).
// Times are local, "YYYY-MM-DD hh:mm:ss".
#pragma once
#include <windows.h>

#include <map>
#include <string>

namespace substitute {

constexpr wchar_t kMetadataFileName[] = L"module_metadata.txt";
constexpr DWORD kDefaultCapacity = 16u * 1024u * 1024u;

struct ItemMetadata {
    std::wstring path;  // module path as written, "\A:\Data\Photo.jpg"
    std::wstring shortName;
    bool hasAttributes = false;
    DWORD attributes = 0;
    double created = 0;  // 0: take the PC file's time
    double accessed = 0;
    double modified = 0;
};

struct DriveMetadata {
    bool hasCapacity = false;
    DWORD capacity = 0;
    std::wstring label;
};

// Case-insensitive key of a module path.
std::wstring MetadataKey(const std::wstring& path);

class ModuleMetadata {
public:
    // A missing file is an empty set; a malformed line is skipped.
    HRESULT Load(const std::wstring& file);
    HRESULT Save(const std::wstring& file) const;

    ItemMetadata* Find(const std::wstring& path);
    ItemMetadata& Ensure(const std::wstring& path);
    void Remove(const std::wstring& path);
    // Removes the item and everything below it.
    void RemoveTree(const std::wstring& path);
    // Moves the item and everything below it to a new path.
    void MoveTree(const std::wstring& from, const std::wstring& to);

    const std::map<std::wstring, ItemMetadata>& items() const { return items_; }
    DriveMetadata& Drive(wchar_t letter) { return drives_[letter]; }
    const DriveMetadata* FindDrive(wchar_t letter) const;

private:
    std::map<std::wstring, ItemMetadata> items_;  // by MetadataKey
    std::map<wchar_t, DriveMetadata> drives_;
};

// Local time text <-> OLE date; 0 stands for "not set".
std::wstring FormatMetadataTime(double time);
double ParseMetadataTime(const std::wstring& text);

// Full local-time OLE date of a PC file time (UTC); 0 when not representable.
double OleDateFromFileTime(const FILETIME& utc);
double OleDateNow();

// UTF-8 <-> UTF-16.
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace substitute
