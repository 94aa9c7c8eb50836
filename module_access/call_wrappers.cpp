#include "module_access/call_wrappers.h"

#include <climits>
#include <cwchar>

#include "common/holders.h"
#include "common/paths.h"
#include "common/prompt.h"
#include "common/resource_module.h"
#include "common/result_codes.h"
#include "module_access/listing.h"
#include "module_access/module_errors.h"
#include "module_access/module_limits.h"
#include "resources/string_ids.h"
#include "item_id/module_item_id.h"

namespace {

// Shows the message of a failed operation unless the user cancelled it.
HRESULT Report(HRESULT hr, HWND owner, const std::wstring& text, const std::wstring& caption,
               UINT icon = MB_ICONERROR) {
    if (FAILED(hr) && hr != E_OPERATION_CANCELLED) ShowMessageBox(owner, text, caption, icon);
    return hr;
}

bool Failed(HRESULT hr) { return FAILED(hr) && hr != E_OPERATION_CANCELLED; }

}  // namespace

std::wstring DriveArgument(const wchar_t* drive) {
    if (!drive) return std::wstring();
    std::wstring letter = DrivePart(drive);
    return letter.empty() ? std::wstring(drive) : letter;
}

bool HasInvalidNameCharacter(const wchar_t* name) {
    return name && wcspbrk(name, L"\"*/:<>?\\|") != nullptr;
}

HRESULT SetDriveLabel(ModuleAccess* access, HWND owner, const wchar_t* drive, const wchar_t* label) {
    if (!access) return E_POINTER;
    UniqueBstr driveArg(DriveArgument(drive).c_str());
    UniqueBstr labelArg(label ? label : L"");
    HRESULT hr = access->SetLabel(driveArg.get(), labelArg.get());
    if (!Failed(hr)) return hr;
    return Report(hr, owner,
                  Resources().FormatString(IDS_ERR_LABEL, {label ? label : L"", ErrorText(hr)}),
                  Resources().LoadString(IDS_ERR_GENERAL_CAPTION));
}

HRESULT SetItemAttributes(ModuleAccess* access, HWND owner, const wchar_t* path, DWORD attributes) {
    if (!access) return E_POINTER;
    UniqueBstr pathArg(path ? path : L"");
    HRESULT hr = access->SetAttributes(pathArg.get(), static_cast<LONG>(attributes));
    if (!Failed(hr)) return hr;
    const std::wstring name = FileNamePart(pathArg.c_str());
    return Report(hr, owner, Resources().FormatString(IDS_ERR_ATTRIBUTES, {name, ErrorText(hr)}),
                  Resources().FormatString(IDS_ERR_ATTRIBUTES_CAPTION, {name}));
}

HRESULT CreateStandardFoldersOn(ModuleAccess* access, HWND owner, const wchar_t* drive) {
    if (!access) return E_POINTER;
    UniqueBstr driveArg(DriveArgument(drive).c_str());
    HRESULT hr = access->CreateStandardFolders(driveArg.get());
    if (!Failed(hr)) return hr;
    return Report(hr, owner, Resources().FormatString(IDS_ERR_STANDARD_FOLDERS, {ErrorText(hr)}),
                  Resources().LoadString(IDS_ERR_STANDARD_FOLDERS_CAPTION));
}

HRESULT FormatDrive(ModuleAccess* access, HWND owner, const wchar_t* drive) {
    if (!access) return E_POINTER;
    UniqueBstr driveArg(DriveArgument(drive).c_str());
    HRESULT hr = access->Format(driveArg.get());
    if (!Failed(hr)) return hr;
    return Report(hr, owner, Resources().FormatString(IDS_ERR_FORMAT, {ErrorText(hr)}),
                  Resources().LoadString(IDS_ERR_FORMAT_CAPTION));
}

std::wstring CreateNewFolder(ModuleAccess* access, HWND owner, const wchar_t* parentPath,
                             HRESULT* result) {
    HRESULT ignored;
    HRESULT& hr = result ? *result : ignored;
    if (!access) {
        hr = E_POINTER;
        return std::wstring();
    }
    const std::wstring prefix = std::wstring(parentPath ? parentPath : L"") + L"\\";
    std::wstring candidate = prefix + Resources().LoadString(IDS_NEW_FOLDER);
    for (int number = 2;; ++number) {
        IdListHolder existing;
        hr = GetItemRecord(candidate.c_str(), access, existing.out());
        if (FAILED(hr) || !existing || number == INT_MAX) break;
        candidate = prefix + Resources().FormatString(IDS_NEW_FOLDER_NUMBERED, {number});
    }
    if (SUCCEEDED(hr)) {
        UniqueBstr pathArg(candidate.c_str());
        hr = access->CreateFolder(pathArg.get());
    }
    if (SUCCEEDED(hr)) return candidate;
    Report(hr, owner, ErrorText(hr), Resources().LoadString(IDS_ERR_CREATE_OBJECT_CAPTION),
           MB_ICONWARNING);
    return std::wstring();
}

HRESULT RenameItem(ModuleAccess* access, HWND owner, LPCITEMIDLIST item, const wchar_t* newName,
                   std::wstring* newPath) {
    if (!access) return E_POINTER;
    if (!item || !newName) return E_INVALIDARG;
    const std::wstring oldPath = ItemPath(item);
    if (IsDrivePath(oldPath.c_str())) return E_FAIL;

    const std::wstring caption = Resources().LoadString(IDS_ERR_RENAME_CAPTION);
    const std::wstring oldName = FileNamePart(oldPath);
    if (HasInvalidNameCharacter(newName)) {
        ShowMessageBox(owner, Resources().LoadString(IDS_ERR_INVALID_NAME_CHARS), caption,
                       MB_ICONERROR);
        return E_FAIL;
    }

    const std::wstring target = ItemParentPath(oldPath.c_str()) + L"\\" + newName;
    if (oldPath.size() > kMaxModulePathLength || target.size() > kMaxModulePathLength ||
        wcslen(newName) > kMaxModuleNameLength) {
        const HRESULT tooLong = HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
        SetErrorInfo(0, nullptr);  // the text is the code's own, not a stale description
        return Report(tooLong, owner, Resources().FormatString(IDS_ERR_RENAME, {oldName, ErrorText(tooLong)}),
                      caption);
    }
    IdListHolder existing;
    HRESULT hr = GetItemRecord(target.c_str(), access, existing.out());
    if (SUCCEEDED(hr) && existing) {
        ShowMessageBox(owner, Resources().FormatString(IDS_ERR_RENAME_EXISTS, {oldName}), caption,
                       MB_ICONERROR);
        return E_FAIL;
    }
    if (SUCCEEDED(hr)) {
        UniqueBstr from(oldPath.c_str());
        UniqueBstr to(target.c_str());
        hr = (ItemAttributes(item) & FILE_ATTRIBUTE_DIRECTORY) ? access->RenameFolder(from.get(), to.get())
                                                               : access->RenameFile(from.get(), to.get());
    }
    if (SUCCEEDED(hr)) {
        if (newPath) *newPath = target;
        return hr;
    }
    return Report(hr, owner, Resources().FormatString(IDS_ERR_RENAME, {oldName, ErrorText(hr)}),
                  caption);
}
