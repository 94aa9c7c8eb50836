// 8.3 names for the module's items, made up as FAT makes them.
#pragma once
#include <map>
#include <set>
#include <string>

namespace store {

// Hands out 8.3 names in one folder the way FAT does: the name itself when
// it already fits, else BASE~n.EXT with the lowest free n.
class ShortNamer {
public:
    void Reserve(const std::wstring& shortName);
    std::wstring Make(const std::wstring& name);

private:
    std::set<std::wstring> taken_;
    std::map<std::wstring, unsigned> next_;
};

}  // namespace store
