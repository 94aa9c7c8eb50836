#include "view/pane_content.h"

#include "common/formatting.h"
#include "common/paths.h"
#include "common/resource_module.h"
#include "item_id/module_item_id.h"
#include "resources/string_ids.h"
#include "view/status_texts.h"

namespace {

// "Module Disk (A:)", as the pane writes a drive.
std::wstring DiskTitle(const std::wstring& name) {
    return Resources().LoadString(IDS_MODULE_DISK) + L" (" + name + L")";
}

bool IsFolder(LPCITEMIDLIST item) { return (ItemAttributes(item) & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// A drive keeps its free bytes in the time field.
uint64_t FreeBytes(LPCITEMIDLIST drive) {
    double free = ItemModified(drive);
    return free > 0 ? static_cast<uint64_t>(free) : 0;
}

PaneLine Line(std::wstring text, PaneFont font = PaneFont::Normal, int gapAfter = 0) {
    PaneLine line;
    line.text = std::move(text);
    line.font = font;
    line.gapAfter = gapAfter;
    return line;
}

void DescribeDrive(LPCITEMIDLIST drive, PaneContent* content) {
    const uint64_t capacity = ItemSize(drive);
    const uint64_t free = FreeBytes(drive);
    const uint64_t used = capacity > free ? capacity - free : 0;
    const std::wstring separator = L": ";
    content->lines.push_back(Line(DiskTitle(ItemName(drive)), PaneFont::Bold));
    content->lines.push_back(Line(Resources().LoadString(IDS_MODULE_DISK), PaneFont::Normal, 8));
    content->lines.push_back(
        Line(Resources().LoadString(IDS_PANE_CAPACITY) + separator + FormatByteSize(capacity), PaneFont::Normal, 8));
    PaneLine usedLine = Line(Resources().LoadString(IDS_PANE_USED) + separator + FormatByteSize(used),
                             PaneFont::Normal, 8);
    usedLine.legend = PaneLegend::Used;
    content->lines.push_back(usedLine);
    PaneLine freeLine = Line(Resources().LoadString(IDS_PANE_FREE) + separator + FormatByteSize(free),
                             PaneFont::Normal, 24);
    freeLine.legend = PaneLegend::Free;
    content->lines.push_back(freeLine);
    content->pie = true;
    content->capacity = capacity;
    content->freeBytes = free;
}

void DescribeItem(LPCITEMIDLIST item, PaneContent* content) {
    const bool folder = IsFolder(item);
    content->lines.push_back(Line(ItemName(item), PaneFont::Bold));
    content->lines.push_back(Line(ItemTypeName(item), PaneFont::Normal, 8));
    content->lines.push_back(Line(Resources().LoadString(IDS_PANE_MODIFIED)));
    content->lines.push_back(Line(FormatDateTime(ItemModified(item), true, true, false)));
    if (!folder) {
        PaneLine size = Line(Resources().FormatString(IDS_PANE_SIZE, {FormatByteSize(ItemSize(item))}));
        size.gapBefore = 8;
        content->lines.push_back(size);
    }
}

void DescribeSeveral(PaneFolderKind kind, const std::vector<LPCITEMIDLIST>& selected, PaneContent* content) {
    const int count = static_cast<int>(selected.size());
    content->lines.push_back(Line(Resources().FormatString(IDS_PANE_ITEMS_SELECTED, {count}), PaneFont::Normal, 8));
    if (kind != PaneFolderKind::Root) {
        int32_t sum = 0;
        for (LPCITEMIDLIST item : selected)
            if (!IsFolder(item)) sum = AddToStatusSum(sum, ItemSize(item));
        content->lines.push_back(Line(Resources().LoadString(IDS_PANE_TOTAL_FILE_SIZE)));
        content->lines.push_back(Line(FormatByteSize(static_cast<uint32_t>(sum))));
    }
    if (selected.size() > kPaneNamedRowsMax) return;
    for (size_t i = 0; i < selected.size(); ++i) {
        LPCITEMIDLIST item = selected[i];
        PaneLine name = Line(kind == PaneFolderKind::Root ? DiskTitle(ItemName(item)) : ItemName(item));
        if (i == 0) name.gapBefore = 8;
        content->lines.push_back(name);
    }
}

}  // namespace

std::wstring PaneTitle(PaneFolderKind kind, const std::wstring& folderPath, const std::wstring& model) {
    switch (kind) {
    case PaneFolderKind::Root: {
        std::wstring title = Resources().LoadString(IDS_MODULE);
        if (!model.empty()) title += L" " + model.substr(0, kPaneModelChars);
        return title;
    }
    case PaneFolderKind::Drive:
        return DiskTitle(FileNamePart(folderPath));
    case PaneFolderKind::Folder:
        break;
    }
    return FileNamePart(folderPath);
}

PaneContent ComposePaneContent(PaneFolderKind kind, const std::wstring& folderPath, const std::wstring& model,
                               const std::vector<LPCITEMIDLIST>& selected) {
    PaneContent content;
    content.title = PaneTitle(kind, folderPath, model);
    if (selected.empty()) {
        content.lines.push_back(Line(Resources().LoadString(IDS_PANE_SELECT_HINT)));
    } else if (selected.size() == 1 && kind == PaneFolderKind::Root) {
        DescribeDrive(selected.front(), &content);
    } else if (selected.size() == 1) {
        DescribeItem(selected.front(), &content);
    } else {
        DescribeSeveral(kind, selected, &content);
    }
    return content;
}
