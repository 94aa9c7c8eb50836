// What the search window keeps in the settings store: the Save Result option
// and the history of searched names. Failures to write are ignored: the
// window works on without them.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

constexpr size_t kNameHistorySize = 5;

// "1..." is on; a missing, empty or other value is off.
bool ReadSaveResultSetting();
void StoreSaveResultSetting(bool on);

// Searched0..Searched4, most recent first; always five entries, missing ones empty.
std::vector<std::wstring> ReadNameHistory();
void StoreNameHistory(const std::vector<std::wstring>& history);

// The history after `name` was searched: an entry equal to it (ignoring case)
// goes, the rest move down one place and the fifth drops out. An empty name
// changes nothing.
std::vector<std::wstring> AddToNameHistory(std::vector<std::wstring> history, const std::wstring& name);
