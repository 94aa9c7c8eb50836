// The module trees the listing benchmarks share: drive A with \Items holding
// `count` one-byte files, kept in the temporary folder between runs (a tree
// of 50,000 files takes a while to make).
#pragma once
#include <windows.h>

#include <string>

#include "tools/substitute_common/tree_builder.h"

namespace bench {

constexpr wchar_t kItemsFolder[] = L"\\A:\\Items";

// The tree's PC folder, made when missing; empty on failure.
inline std::wstring ItemsTree(unsigned count) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring tree = std::wstring(temp) + L"ktx_items_bench_" + std::to_wstring(count);
    const std::wstring marker = tree + L"\\complete";
    if (GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES) return tree;
    CreateDirectoryW(tree.c_str(), nullptr);
    HRESULT hr = substitute::PrepareDrive(tree, L'A', 64u * 1024 * 1024, L"ITEMS");
    if (SUCCEEDED(hr)) hr = substitute::BuildFiles(tree, L'A', L"Items", count, 1, L"Photo ", L".jpg");
    if (FAILED(hr)) return std::wstring();
    CloseHandle(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return tree;
}

}  // namespace bench
