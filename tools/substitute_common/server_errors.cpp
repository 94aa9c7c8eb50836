#include "tools/substitute_common/server_errors.h"

#include <oleauto.h>

#include "module_access/module_access_h.h"

namespace substitute {

HRESULT ReportFailure(HRESULT hr, const std::wstring& description) {
    if (description.empty()) {
        SetErrorInfo(0, nullptr);
        return hr;
    }
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create))) return hr;
    create->SetGUID(IID_ModuleAccess);
    create->SetSource(const_cast<LPOLESTR>(L"KTX.ModuleAccess"));
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
        SetErrorInfo(0, info);
        info->Release();
    }
    create->Release();
    return hr;
}

HRESULT ReportWin32Failure(DWORD error, const std::wstring& what) {
    return ReportFailure(HRESULT_FROM_WIN32(error), what);
}

}  // namespace substitute
