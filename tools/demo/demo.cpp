// Shows what the library's common formatting gives in each of its languages.
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/formatting.h"
#include "common/item_time.h"
#include "common/resource_module.h"

namespace {

void Print(const std::wstring& text) {
    std::wstring line = text + L"\n";
    int n = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr,
                                0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &utf8[0], n,
                        nullptr, nullptr);
    fwrite(utf8.data(), 1, utf8.size(), stdout);
}

}  // namespace

int main() {
    const struct { LANGID id; const wchar_t* name; } languages[] = {
        {kLangEnglishUs, L"English (United States)"},
        {kLangEnglishUk, L"English (United Kingdom)"},
        {kLangGerman, L"Deutsch"},
    };
    const unsigned long long sizes[] = {0, 1, 999, 1000, 1536, 10240, 1023999, 1048576,
                                        1073741824ULL, 5497558138880ULL};
    SYSTEMTIME st = {};
    st.wYear = 2026; st.wMonth = 12; st.wDay = 5; st.wHour = 9; st.wMinute = 41; st.wSecond = 7;
    double when = 0;
    LocalSystemTimeToTime(st, &when);

    for (const auto& lang : languages) {
        Resources().Set(GetModuleHandleW(nullptr), lang.id);
        Print(std::wstring(L"== ") + lang.name);
        for (unsigned long long size : sizes)
            Print(L"  " + FormatNumber(static_cast<long long>(size)) + L" -> " + FormatByteSize(size));
    }
    Print(L"== Dates in the user's locale");
    Print(L"  long:  " + FormatDateTime(when, false, false, false));
    Print(L"  short: " + FormatDateTime(when, true, true, false));
    Print(L"  item time text: " + FormatItemTime(when));
    return 0;
}
