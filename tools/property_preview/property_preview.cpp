// Shows one of the library's property sheets on its own, for screenshots:
//   property_preview module|port
//   property_preview drive <capacity> <free bytes>   (drive A: with these figures)
//   property_preview items <module path>...
// The sheet is modal; the program ends when it is closed.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <shellapi.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "common/holders.h"
#include "common/resource_module.h"
#include "handlers/module_properties.h"
#include "handlers/property_sheet_handler.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "module_access/module_access.h"

using Microsoft::WRL::ComPtr;

namespace {

BOOL CALLBACK Collect(HPROPSHEETPAGE page, LPARAM lParam) {
    reinterpret_cast<std::vector<HPROPSHEETPAGE>*>(lParam)->push_back(page);
    return TRUE;
}

int Run(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring kind = argv[1];
    ComPtr<ModuleAccess> access;
    if (FAILED(CreateModuleAccess(&access))) return 3;

    std::vector<IdListHolder> items;
    UINT startPage = 0;
    if (kind == L"port") startPage = 1;
    if (kind == L"drive" && argc >= 4) {
        items.emplace_back(MakeDriveItem(L"\\A:", wcstoul(argv[2], nullptr, 10),
                                         wcstoul(argv[3], nullptr, 10)));
    } else if (kind == L"items") {
        for (int i = 2; i < argc; ++i) {
            IdListHolder item;
            if (FAILED(GetItemRecord(argv[i], access.Get(), item.out())) || !item) return 4;
            items.push_back(std::move(item));
        }
    }
    std::vector<LPCITEMIDLIST> lists;
    for (const IdListHolder& item : items) lists.push_back(item.get());

    ComPtr<PropertySheetHandler> handler;
    if (FAILED(MakeComObject(handler.GetAddressOf()))) return 5;
    if (FAILED(handler->InitializeWithItems(lists.data(), static_cast<UINT>(lists.size()), L"")))
        return 5;
    std::vector<HPROPSHEETPAGE> pages;
    handler->AddPages(&Collect, reinterpret_cast<LPARAM>(&pages));
    handler.Reset();
    if (pages.empty()) return 6;

    const std::wstring caption =
        ModulePropertiesCaption(lists.data(), static_cast<UINT>(lists.size()), L"");
    PROPSHEETHEADERW header = {};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_PROPTITLE | PSH_NOCONTEXTHELP;
    header.pszCaption = caption.c_str();
    header.nPages = static_cast<UINT>(pages.size());
    header.nStartPage = startPage;
    header.phpage = pages.data();
    PropertySheetW(&header);
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, wchar_t*, int) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    SelectResourceLanguage(false, instance);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (FAILED(EnterComThread())) return 1;
    int result = Run(argc, argv);
    LeaveComThread();
    LocalFree(argv);
    return result;
}
