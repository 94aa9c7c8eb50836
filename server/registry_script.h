// What a class's registry script names, read for unregistration: the keys it
// marks ForceRemove and the values it writes with `val`. Not every registrar
// removes these as a script promises (a ForceRemove key that has gained
// subkeys of others stays, `val` entries in shared keys stay), so the library
// finishes the removal itself.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

struct ScriptKey {
    HKEY root;
    std::wstring path;
};

struct ScriptValue {
    HKEY root;
    std::wstring key;
    std::wstring name;
};

struct ScriptRemovals {
    std::vector<ScriptKey> forceRemoveKeys;
    std::vector<ScriptValue> values;
};

// Reads a script's text after its %NAME% replacements. False, with nothing
// kept, for text the registrar would not take either (an unknown root,
// unbalanced braces, a value without its data).
bool ReadScriptRemovals(const std::wstring& script, ScriptRemovals* removals);

// The text of the REGISTRY resource `id` of `module` with each %NAME%
// replaced; empty when there is no such resource.
std::wstring LoadScriptText(HMODULE module, UINT id,
                            const std::vector<std::pair<std::wstring, std::wstring>>& replacements);
