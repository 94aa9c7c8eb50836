// PC files for transfer tests: a private folder in the prefix's temp folder,
// removed with everything in it afterwards.
#pragma once
#include <windows.h>

#include <string>

std::string ReadPcFile(const std::wstring& path);

class PcFolder {
public:
    PcFolder();
    ~PcFolder();
    PcFolder(const PcFolder&) = delete;
    PcFolder& operator=(const PcFolder&) = delete;

    const std::wstring& root() const { return root_; }
    std::wstring Path(const std::wstring& relative) const { return root_ + L"\\" + relative; }
    // Creates the file and the folders on its way.
    void Write(const std::wstring& relative, const std::string& bytes) const;
    // A file of that size that takes no room (its bytes read as zeros).
    void WriteSparse(const std::wstring& relative, ULONGLONG size) const;
    void MakeFolder(const std::wstring& relative) const;

private:
    std::wstring root_;
};

// Removes a PC tree whatever its attributes.
void RemovePcTree(const std::wstring& path);
