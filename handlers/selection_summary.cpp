#include "handlers/selection_summary.h"

#include "common/formatting.h"
#include "common/resource_module.h"
#include "module_access/call_wrappers.h"
#include "resources/handlers_ids.h"
#include "resources/string_ids.h"

const AttributeBox kAttributeBoxes[4] = {
    {IDC_ATTR_READONLY, FILE_ATTRIBUTE_READONLY},
    {IDC_ATTR_HIDDEN, FILE_ATTRIBUTE_HIDDEN},
    {IDC_ATTR_ARCHIVE, FILE_ATTRIBUTE_ARCHIVE},
    {IDC_ATTR_SYSTEM, FILE_ATTRIBUTE_SYSTEM},
};

namespace {

std::wstring CountOf(uint64_t count, UINT oneId, UINT manyId) {
    if (count == 1) return L"1 " + Resources().LoadString(oneId);
    return FormatNumber(static_cast<int64_t>(count)) + L" " + Resources().LoadString(manyId);
}

}  // namespace

std::wstring CountsText(uint64_t files, uint64_t folders) {
    return CountOf(files, IDS_PROP_FILE, IDS_PROP_FILES) + L", " +
           CountOf(folders, IDS_PROP_FOLDER, IDS_PROP_FOLDERS);
}

std::wstring SizeText(uint64_t bytes) {
    if (bytes == 1) return FormatByteSize(1) + L" (1 Byte)";
    return FormatByteSize(bytes) + L" (" + BytesText(bytes) + L")";
}

std::wstring BytesText(uint64_t bytes) {
    return FormatNumber(static_cast<int64_t>(bytes)) + L" Bytes";
}

std::wstring SharedText(const std::vector<std::wstring>& texts, UINT allPrefixId,
                        UINT variousId) {
    if (texts.empty()) return std::wstring();
    if (texts.size() == 1) return texts[0];
    for (const std::wstring& text : texts)
        if (text != texts[0]) return Resources().LoadString(variousId);
    return Resources().LoadString(allPrefixId) + L" " + texts[0];
}

UINT AttributeBoxState(DWORD attributesAny, DWORD attributesMixed, DWORD bit) {
    if (!(attributesAny & bit)) return BST_UNCHECKED;
    return (attributesMixed & bit) ? BST_INDETERMINATE : BST_CHECKED;
}

DWORD AppliedAttributes(DWORD current, const UINT (&boxStates)[4]) {
    DWORD value = current;
    for (size_t i = 0; i < ARRAYSIZE(kAttributeBoxes); ++i) {
        if (boxStates[i] == BST_CHECKED) value |= kAttributeBoxes[i].bit;
        if (boxStates[i] == BST_UNCHECKED) value &= ~kAttributeBoxes[i].bit;
    }
    return value;
}

std::wstring DrivePageTitle(const wchar_t* drivePath) {
    return Resources().LoadString(IDS_MODULE_DISK) + L" " + DriveArgument(drivePath);
}
