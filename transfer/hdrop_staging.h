// Staging folders: where module files are downloaded for programs that take
// only PC files (CF_HDROP). One folder per data object under
// %TEMP%\KTX Staging, named after the owning process (id and start time),
// so that folders left behind by a host that crashed are recognised and
// swept when the library is next loaded.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

// The settings value (DWORD under HKCU\Software\Velkor\Brantlow) that turns
// the staging off when 0; missing means on.
extern const wchar_t kStageFilesValue[];
bool HdropStagingEnabled();

class StagingFolder {
public:
    // A new, empty folder of this process.
    static HRESULT Create(std::unique_ptr<StagingFolder>* out);
    // Removes the folder and everything in it.
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    const std::wstring& path() const { return path_; }

private:
    explicit StagingFolder(std::wstring path) : path_(std::move(path)) {}
    std::wstring path_;
};

// %TEMP%\KTX Staging (without a trailing backslash).
std::wstring StagingRoot();
// Removes the staging folders whose process is gone. Plain file calls only:
// safe while the library is being loaded.
void SweepStaleStagingFolders();
// Deletes a PC folder with everything in it, read-only files included.
bool RemoveFolderTree(const std::wstring& path);
