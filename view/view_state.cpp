#include "view/view_state.h"

#include <cstring>

namespace {

bool ReadExactly(IStream* stream, void* buffer, ULONG size) {
    ULONG read = 0;
    HRESULT hr = stream->Read(buffer, size, &read);
    return SUCCEEDED(hr) && read == size;
}

HRESULT WriteAll(IStream* stream, const void* data, ULONG size) {
    ULONG written = 0;
    HRESULT hr = stream->Write(data, size, &written);
    if (FAILED(hr)) return hr;
    return written == size ? S_OK : STG_E_MEDIUMFULL;
}

void AppendBytes(std::vector<BYTE>* out, const void* data, size_t size) {
    const BYTE* bytes = static_cast<const BYTE*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

void AppendUint32(std::vector<BYTE>* out, uint32_t value) { AppendBytes(out, &value, 4); }

void AppendName(std::vector<BYTE>* out, const std::wstring& name) {
    AppendUint32(out, static_cast<uint32_t>(name.size() + 1));
    AppendBytes(out, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
}

uint32_t Uint32At(const BYTE* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

bool RowData(HWND list, int row, LPARAM* data) {
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return false;
    *data = item.lParam;
    return true;
}

bool RowName(HWND list, int row, const RowItemText& rows, std::wstring* name) {
    LPARAM data = 0;
    return RowData(list, row, &data) && rows.displayName && rows.displayName(data, name);
}

int RowCount(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

int FindRowByName(HWND list, const std::wstring& wanted, const RowItemText& rows) {
    int count = RowCount(list);
    std::wstring name;
    for (int row = 0; row < count; ++row) {
        if (RowName(list, row, rows, &name) && lstrcmpiW(name.c_str(), wanted.c_str()) == 0)
            return row;
    }
    return -1;
}

// Walks the records of a block: a 4-byte count, then per record a fixed part
// and n UTF-16 characters. A fixed part reaching past the end stops the walk;
// a record with n < 1 or a name reaching past the end is skipped.
template <class Visit>
void WalkNamedRecords(const BYTE* block, size_t size, size_t fixedSize, Visit visit) {
    if (!block || size < 4) return;
    uint32_t count = Uint32At(block);
    size_t pos = 4;
    for (uint32_t i = 0; i < count; ++i) {
        if (fixedSize > size - pos) return;
        const BYTE* fixed = block + pos;
        uint32_t n = Uint32At(fixed + fixedSize - 4);
        pos += fixedSize;
        if (n < 1) continue;
        uint64_t nameBytes = uint64_t(n) * sizeof(wchar_t);
        if (nameBytes > size - pos) return;   // nothing sensible can follow it
        const wchar_t* chars = reinterpret_cast<const wchar_t*>(block + pos);
        pos += static_cast<size_t>(nameBytes);
        // The saved terminator is not trusted: the name ends at the first
        // NUL or after n - 1 characters.
        size_t length = 0;
        while (length + 1 < n && chars[length] != L'\0') ++length;
        std::wstring name;
        name.resize(length);
        if (length) memcpy(&name[0], chars, length * sizeof(wchar_t));
        visit(fixed, name);
    }
}

}  // namespace

bool ReadViewStateHead(IStream* stream, ViewStateHead* head) {
    if (!stream || !head) return false;
    uint32_t magic = 0;
    if (!ReadExactly(stream, &magic, 4) || magic != kViewStateMagic) return false;
    BYTE bytes[20];
    if (!ReadExactly(stream, bytes, sizeof(bytes))) return false;
    for (int i = 0; i < kViewStateColumns; ++i)
        head->widths[i] = static_cast<int32_t>(Uint32At(bytes + 4 * i));
    head->sortCommand = Uint32At(bytes + 16);
    return true;
}

bool ReadColumnOrder(IStream* stream, int32_t order[kViewStateColumns]) {
    BYTE bytes[16];
    if (!stream || !ReadExactly(stream, bytes, sizeof(bytes))) return false;
    for (int i = 0; i < kViewStateColumns; ++i) order[i] = static_cast<int32_t>(Uint32At(bytes + 4 * i));
    return true;
}

bool ReadIconPositionBlock(IStream* stream, std::vector<BYTE>* block) {
    block->clear();
    uint32_t size = 0;
    if (!stream || !ReadExactly(stream, &size, 4)) return false;
    if (size == 0) return true;
    // The stream's own size bounds what can be there; a damaged size must not
    // make us reserve gigabytes.
    STATSTG stat = {};
    if (SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME))) {
        LARGE_INTEGER zero = {};
        ULARGE_INTEGER here = {};
        if (SUCCEEDED(stream->Seek(zero, STREAM_SEEK_CUR, &here)) &&
            stat.cbSize.QuadPart >= here.QuadPart && size > stat.cbSize.QuadPart - here.QuadPart)
            return false;
    }
    std::vector<BYTE> bytes;
    try {
        bytes.resize(size);
    } catch (...) {
        return false;
    }
    if (!ReadExactly(stream, bytes.data(), size)) return false;
    block->swap(bytes);
    return true;
}

HRESULT WriteViewState(IStream* stream, const ViewStateHead& head,
                       const int32_t order[kViewStateColumns], const std::vector<BYTE>& iconBlock) {
    if (!stream) return E_POINTER;
    const uint32_t magic = kViewStateMagic;
    HRESULT hr = WriteAll(stream, &magic, 4);
    if (FAILED(hr)) return hr;
    uint32_t middle[kViewStateColumns + 1];
    for (int i = 0; i < kViewStateColumns; ++i) middle[i] = static_cast<uint32_t>(head.widths[i]);
    middle[kViewStateColumns] = head.sortCommand;
    hr = WriteAll(stream, middle, sizeof(middle));
    if (FAILED(hr)) return hr;
    hr = WriteAll(stream, order, 16);
    if (FAILED(hr)) return hr;
    const uint32_t size = static_cast<uint32_t>(iconBlock.size());
    hr = WriteAll(stream, &size, 4);
    if (FAILED(hr) || size == 0) return hr;
    return WriteAll(stream, iconBlock.data(), size);
}

std::vector<BYTE> BuildIconPositionBlock(HWND list, const RowItemText& rows) {
    std::vector<BYTE> block;
    int count = RowCount(list);
    AppendUint32(&block, static_cast<uint32_t>(count));
    for (int row = 0; row < count; ++row) {
        POINT pt = {};
        if (!SendMessageW(list, LVM_GETITEMPOSITION, row, reinterpret_cast<LPARAM>(&pt))) {
            AppendUint32(&block, 0);
            AppendUint32(&block, 0);
            AppendUint32(&block, 0);
            continue;
        }
        AppendUint32(&block, static_cast<uint32_t>(pt.x));
        AppendUint32(&block, static_cast<uint32_t>(pt.y));
        std::wstring name;
        if (RowName(list, row, rows, &name))
            AppendName(&block, name);
        else
            AppendUint32(&block, 0);
    }
    return block;
}

int RestoreIconPositions(HWND list, const BYTE* block, size_t size, const RowItemText& rows) {
    int placed = 0;
    WalkNamedRecords(block, size, 12, [&](const BYTE* fixed, const std::wstring& name) {
        int row = FindRowByName(list, name, rows);
        if (row < 0) return;
        LONG x = static_cast<LONG>(Uint32At(fixed));
        LONG y = static_cast<LONG>(Uint32At(fixed + 4));
        // Make room: an icon already lying on the saved spot steps aside.
        int count = RowCount(list);
        for (int other = 0; other < count; ++other) {
            if (other == row) continue;
            POINT pt = {};
            if (!SendMessageW(list, LVM_GETITEMPOSITION, other, reinterpret_cast<LPARAM>(&pt))) continue;
            if (labs(pt.x - x) < 4 && labs(pt.y - y) < 4) {
                POINT moved = {pt.x + 12, pt.y + 12};
                SendMessageW(list, LVM_SETITEMPOSITION32, other, reinterpret_cast<LPARAM>(&moved));
            }
        }
        POINT target = {x, y};
        SendMessageW(list, LVM_SETITEMPOSITION32, row, reinterpret_cast<LPARAM>(&target));
        ++placed;
    });
    return placed;
}

std::vector<BYTE> BuildSelectionBlock(HWND list, const RowItemText& rows) {
    std::vector<BYTE> block;
    AppendUint32(&block, 0);
    uint32_t selected = 0;
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0) {
        std::wstring name;
        if (RowName(list, row, rows, &name))
            AppendName(&block, name);
        else
            AppendUint32(&block, 0);
        ++selected;
    }
    memcpy(block.data(), &selected, 4);
    return block;
}

void RestoreSelection(HWND list, const BYTE* block, size_t size, const std::wstring& focusedPath,
                      const RowItemText& rows) {
    WalkNamedRecords(block, size, 4, [&](const BYTE*, const std::wstring& name) {
        int row = FindRowByName(list, name, rows);
        if (row < 0) return;
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED;
        state.state = LVIS_SELECTED;
        SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    });
    if (focusedPath.empty() || !rows.fullPath) return;
    int count = RowCount(list);
    for (int row = 0; row < count; ++row) {
        LPARAM data = 0;
        std::wstring path;
        if (!RowData(list, row, &data) || !rows.fullPath(data, &path)) continue;
        if (lstrcmpiW(path.c_str(), focusedPath.c_str()) != 0) continue;
        LVITEMW state = {};
        state.stateMask = LVIS_FOCUSED;
        state.state = LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    }
}

std::wstring FocusedItemPath(HWND list, const RowItemText& rows) {
    int row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    LPARAM data = 0;
    std::wstring path;
    if (row < 0 || !RowData(list, row, &data) || !rows.fullPath || !rows.fullPath(data, &path))
        return std::wstring();
    return path;
}
