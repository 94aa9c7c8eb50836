#include "tests/tools/server_test_support.h"

#include <shlwapi.h>

#include "module_access/listing_layout.h"

using Microsoft::WRL::ComPtr;

void ServerTest::SetUp() {
    ASSERT_TRUE(module_.ok());
    ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    comReady_ = true;
    ASSERT_HRESULT_SUCCEEDED(module_.Create(&access_));
}

void ServerTest::TearDown() {
    access_.Reset();
    if (comReady_) CoUninitialize();
}

HRESULT ServerTest::List(const wchar_t* request, std::vector<ListedRow>* rows, bool foldersOnly) {
    rows->clear();
    UniqueBstr text(request);
    UniqueVariant result;
    HRESULT hr = access_->ListFolder(text.get(), foldersOnly ? VARIANT_TRUE : VARIANT_FALSE, result.get());
    if (result.get()->vt == VT_EMPTY) return hr;
    // Entries x fields, 0-based, each field of the one type the library decodes.
    using namespace listing_layout;
    SAFEARRAY* array = result.get()->vt == (VT_ARRAY | VT_VARIANT) ? result.get()->parray : nullptr;
    LONG lastEntry = -1, lastField = -1;
    if (!array || SafeArrayGetDim(array) != 2 || FAILED(SafeArrayGetUBound(array, 1, &lastEntry)) ||
        FAILED(SafeArrayGetUBound(array, 2, &lastField)) || lastField != kFieldCount - 1) {
        ADD_FAILURE() << "not an array of " << kFieldCount << " VARIANT fields per entry: " << request;
        return hr;
    }
    for (LONG i = 0; i <= lastEntry; ++i) {
        UniqueVariant f[kFieldCount];
        for (LONG j = 0; j < static_cast<LONG>(kFieldCount); ++j) {
            LONG index[2] = {i, j};
            SafeArrayGetElement(array, index, f[j].get());
            EXPECT_EQ(kFieldType[j], f[j].get()->vt) << request << " field " << j;
        }
        ListedRow row;
        row.name = f[kName].get()->bstrVal ? f[kName].get()->bstrVal : L"";
        row.shortName = f[kShortName].get()->bstrVal ? f[kShortName].get()->bstrVal : L"";
        row.size = static_cast<DWORD>(f[kSize].get()->lVal);
        row.attributes = static_cast<DWORD>(f[kAttributes].get()->lVal);
        rows->push_back(row);
    }
    return hr;
}

bool ServerTest::Lookup(const wchar_t* path, ListedRow* row) {
    std::vector<ListedRow> rows;
    EXPECT_HRESULT_SUCCEEDED(List(path, &rows)) << path;
    if (rows.empty()) return false;
    EXPECT_EQ(1u, rows.size()) << path;
    if (row) *row = rows[0];
    return true;
}

std::vector<std::wstring> ServerTest::Names(const wchar_t* request, bool foldersOnly) {
    std::vector<ListedRow> rows;
    EXPECT_HRESULT_SUCCEEDED(List(request, &rows, foldersOnly)) << request;
    std::vector<std::wstring> names;
    for (const ListedRow& row : rows) names.push_back(row.name);
    return names;
}

HRESULT ServerTest::Call(PathCall operation, const wchar_t* path) {
    UniqueBstr text(path);
    return (access_.Get()->*operation)(text.get());
}

HRESULT ServerTest::Call(TwoPathCall operation, const wchar_t* first, const wchar_t* second) {
    UniqueBstr one(first), two(second);
    return (access_.Get()->*operation)(one.get(), two.get());
}

HRESULT ServerTest::Write(const wchar_t* path, const std::string& bytes, LONG attributes) {
    ComPtr<IStream> source;
    source.Attach(SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size())));
    if (!source) return E_OUTOFMEMORY;
    UniqueBstr target(path);
    return access_->WriteFile(target.get(), source.Get(), attributes);
}

HRESULT ServerTest::Open(const wchar_t* path, ComPtr<IStream>* stream) {
    UniqueBstr text(path);
    ComPtr<IUnknown> unknown;
    HRESULT hr = access_->OpenFile(text.get(), &unknown);
    return FAILED(hr) ? hr : unknown.As(stream);
}

std::string ServerTest::PcFile(const wchar_t* modulePath) {
    std::string bytes;
    UniqueHandle file(CreateFileW(module_.PcPath(modulePath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) return "<missing>";
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got) bytes.append(buffer, got);
    return bytes;
}

bool ServerTest::PcExists(const wchar_t* modulePath) {
    return GetFileAttributesW(module_.PcPath(modulePath).c_str()) != INVALID_FILE_ATTRIBUTES;
}
