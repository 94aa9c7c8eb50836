// Helpers of the substitute server tests: a COM-ready fixture over a fresh
// sample module that reads ListFolder's answers strictly.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/holders.h"
#include "testing/substitute_server.h"

struct ListedRow {
    std::wstring name, shortName;
    DWORD size = 0, attributes = 0;
};

class ServerTest : public testing::Test {
protected:
    using PathCall = HRESULT (STDMETHODCALLTYPE ModuleAccess::*)(BSTR);
    using TwoPathCall = HRESULT (STDMETHODCALLTYPE ModuleAccess::*)(BSTR, BSTR);

    void SetUp() override;
    void TearDown() override;

    // Fails the test when the answer strays from the seven-field layout.
    HRESULT List(const wchar_t* request, std::vector<ListedRow>* rows, bool foldersOnly = false);
    // The single-item lookup; false when the item does not exist.
    bool Lookup(const wchar_t* path, ListedRow* row = nullptr);
    std::vector<std::wstring> Names(const wchar_t* request, bool foldersOnly = false);
    HRESULT Call(PathCall operation, const wchar_t* path);
    HRESULT Call(TwoPathCall operation, const wchar_t* first, const wchar_t* second);
    HRESULT Write(const wchar_t* path, const std::string& bytes, LONG attributes = FILE_ATTRIBUTE_ARCHIVE);
    HRESULT Open(const wchar_t* path, Microsoft::WRL::ComPtr<IStream>* stream);
    std::string PcFile(const wchar_t* modulePath);
    bool PcExists(const wchar_t* modulePath);

    SubstituteModule module_;
    bool comReady_ = false;
    Microsoft::WRL::ComPtr<ModuleAccess> access_;
};
