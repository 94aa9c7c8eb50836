#include "search/search_settings.h"

#include "handlers/settings_store.h"

// The values live in the settings store; this is the search window's view of them.

bool ReadSaveResultSetting() { return ReadSaveResult(); }

void StoreSaveResultSetting(bool on) { WriteSaveResult(on); }

std::vector<std::wstring> ReadNameHistory() { return ReadSearchHistory(); }

void StoreNameHistory(const std::vector<std::wstring>& history) {
    std::vector<std::wstring> all = history;
    all.resize(kNameHistorySize);
    WriteSearchHistory(all);
}

std::vector<std::wstring> AddToNameHistory(std::vector<std::wstring> history, const std::wstring& name) {
    history.resize(kNameHistorySize);
    if (name.empty()) return history;
    for (size_t i = 0; i < history.size(); ++i) {
        if (lstrcmpiW(history[i].c_str(), name.c_str()) == 0) {
            history.erase(history.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    history.insert(history.begin(), name);
    history.resize(kNameHistorySize);
    return history;
}
