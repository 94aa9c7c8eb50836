#include "view/status_texts.h"

#include <commctrl.h>

#include "common/formatting.h"
#include "common/resource_module.h"
#include "resources/string_ids.h"

int32_t AddToStatusSum(int32_t sum, uint32_t size) {
    return static_cast<int32_t>(static_cast<uint32_t>(sum) + size);
}

namespace {

std::wstring FormatStatusSize(int32_t bytes) {
    // A wrapped sum is shown as the 32-bit quantity it holds.
    return FormatByteSize(static_cast<uint32_t>(bytes));
}

}  // namespace

StatusTexts ComposeStatusTexts(int selectedCount, int itemCount, int32_t fileBytes) {
    StatusTexts texts;
    if (selectedCount <= 0) {
        texts.count = Resources().FormatString(IDS_STATUS_OBJECTS, {itemCount});
        texts.size = FormatStatusSize(fileBytes);
    } else {
        texts.count = Resources().FormatString(IDS_STATUS_OBJECTS_SELECTED, {selectedCount});
        if (fileBytes != 0) texts.size = FormatStatusSize(fileBytes);
    }
    return texts;
}

int StatusCountPartWidth(HWND window) {
    std::wstring widest = Resources().FormatString(IDS_STATUS_OBJECTS_SELECTED, {1000000000});
    HDC dc = GetDC(window);
    if (!dc) return 256;
    SIZE extent = {};
    BOOL measured = GetTextExtentPoint32W(dc, widest.c_str(), static_cast<int>(widest.size()), &extent);
    ReleaseDC(window, dc);
    return measured ? extent.cx : 256;
}

bool ShowStatusTexts(HWND statusBar, int countWidth, const StatusTexts& texts) {
    if (!statusBar) return false;
    SendMessageW(statusBar, SB_SIMPLE, FALSE, 0);
    int parts[2] = {countWidth, -1};
    if (!SendMessageW(statusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts))) return false;
    SendMessageW(statusBar, SB_SETICON, 0, 0);
    SendMessageW(statusBar, SB_SETICON, 1, 0);
    SendMessageW(statusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(texts.count.c_str()));
    SendMessageW(statusBar, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(texts.size.c_str()));
    return true;
}
