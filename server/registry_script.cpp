#include "server/registry_script.h"

#include <cwctype>

namespace {

struct Token {
    std::wstring text;
    bool quoted = false;
    bool Is(const wchar_t* word) const { return !quoted && lstrcmpiW(text.c_str(), word) == 0; }
};

bool Tokenize(const std::wstring& text, std::vector<Token>* tokens) {
    size_t i = 0;
    while (i < text.size()) {
        wchar_t c = text[i];
        if (std::iswspace(c)) {
            ++i;
        } else if (c == L'}' || c == L'=') {
            tokens->push_back(Token{std::wstring(1, c)});
            ++i;
        } else if (c == L'\'') {
            // A doubled quote stands for one inside the text.
            Token token;
            token.quoted = true;
            for (++i;; ++i) {
                if (i >= text.size()) return false;
                if (text[i] != L'\'') {
                    token.text += text[i];
                } else if (i + 1 < text.size() && text[i + 1] == L'\'') {
                    token.text += L'\'';
                    ++i;
                } else {
                    ++i;
                    break;
                }
            }
            tokens->push_back(token);
        } else {
            // A word runs to the next blank: "{" opens a key only standing
            // alone, and key names such as class ids begin with it.
            size_t start = i;
            while (i < text.size() && !std::iswspace(text[i])) ++i;
            tokens->push_back(Token{text.substr(start, i - start)});
        }
    }
    return true;
}

bool RootKey(const Token& token, HKEY* root) {
    const struct {
        const wchar_t* name;
        HKEY key;
    } roots[] = {{L"HKCR", HKEY_CLASSES_ROOT},    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                 {L"HKLM", HKEY_LOCAL_MACHINE},   {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                 {L"HKCU", HKEY_CURRENT_USER},    {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                 {L"HKU", HKEY_USERS},            {L"HKEY_USERS", HKEY_USERS}};
    for (const auto& r : roots) {
        if (token.Is(r.name)) {
            *root = r.key;
            return true;
        }
    }
    return false;
}

class ScriptReader {
public:
    explicit ScriptReader(const std::vector<Token>& tokens) : tokens_(tokens) {}

    bool Read(ScriptRemovals* removals) {
        while (next_ < tokens_.size()) {
            HKEY root = nullptr;
            if (!RootKey(tokens_[next_++], &root) || !Take(L"{") || !Body(root, std::wstring(), removals))
                return false;
        }
        return true;
    }

private:
    bool AtDelimiter(const wchar_t* delimiter) const {
        return next_ < tokens_.size() && !tokens_[next_].quoted && tokens_[next_].text == delimiter;
    }
    bool Take(const wchar_t* delimiter) {
        if (!AtDelimiter(delimiter)) return false;
        ++next_;
        return true;
    }
    bool TakeName(std::wstring* name) {
        if (next_ >= tokens_.size() || AtDelimiter(L"{") || AtDelimiter(L"}") || AtDelimiter(L"=")) return false;
        *name = tokens_[next_++].text;
        return true;
    }
    // "= type data"
    bool TakeData() {
        std::wstring type, data;
        return Take(L"=") && TakeName(&type) && TakeName(&data);
    }

    // The entries between a key's braces, up to and with its closing brace.
    bool Body(HKEY root, const std::wstring& path, ScriptRemovals* removals) {
        for (;;) {
            if (Take(L"}")) return true;
            if (next_ >= tokens_.size()) return false;
            const Token& first = tokens_[next_];
            if (first.Is(L"val")) {
                ++next_;
                std::wstring name;
                if (!TakeName(&name) || !TakeData()) return false;
                removals->values.push_back(ScriptValue{root, path, name});
                continue;
            }
            const bool forceRemove = first.Is(L"ForceRemove");
            if (forceRemove || first.Is(L"NoRemove") || first.Is(L"Delete")) ++next_;
            std::wstring name;
            if (!TakeName(&name)) return false;
            const std::wstring key = path.empty() ? name : path + L"\\" + name;
            if (AtDelimiter(L"=") && !TakeData()) return false;
            if (forceRemove) removals->forceRemoveKeys.push_back(ScriptKey{root, key});
            if (Take(L"{") && !Body(root, key, removals)) return false;
        }
    }

    const std::vector<Token>& tokens_;
    size_t next_ = 0;
};

}  // namespace

bool ReadScriptRemovals(const std::wstring& script, ScriptRemovals* removals) {
    *removals = ScriptRemovals();
    std::vector<Token> tokens;
    ScriptRemovals read;
    if (!Tokenize(script, &tokens) || !ScriptReader(tokens).Read(&read)) return false;
    *removals = std::move(read);
    return true;
}

std::wstring LoadScriptText(HMODULE module, UINT id,
                            const std::vector<std::pair<std::wstring, std::wstring>>& replacements) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), L"REGISTRY");
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    const int size = found ? static_cast<int>(SizeofResource(module, found)) : 0;
    if (!bytes || size <= 0) return std::wstring();
    int length = MultiByteToWideChar(CP_ACP, 0, bytes, size, nullptr, 0);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, bytes, size, &text[0], length);
    for (const auto& replacement : replacements) {
        const std::wstring marker = L"%" + replacement.first + L"%";
        for (size_t at = text.find(marker); at != std::wstring::npos;
             at = text.find(marker, at + replacement.second.size()))
            text.replace(at, marker.size(), replacement.second);
    }
    return text;
}
