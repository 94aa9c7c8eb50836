#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "common/resource_module.h"
#include "resources/string_ids.h"

namespace {

struct StringIdEntry { UINT id; const char* name; };
const StringIdEntry kAllStringIds[] = {
#include "string_id_list.inc"
};

std::wstring Text(UINT id, LANGID language, bool* found = nullptr) {
    return LoadStringForLanguage(GetModuleHandleW(nullptr), id, language, found);
}

ResourceModule ModuleIn(LANGID language) {
    ResourceModule module;
    module.Set(GetModuleHandleW(nullptr), language);
    return module;
}

// The inserts of a message pattern ("%1", "%2!d!", ...), sorted, so that two
// languages can be compared whatever order their sentences put them in.
std::vector<std::wstring> Inserts(const std::wstring& pattern) {
    std::vector<std::wstring> found;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != L'%' || i + 1 >= pattern.size()) continue;
        if (pattern[i + 1] == L'%') { ++i; continue; }
        size_t end = i + 1;
        while (end < pattern.size() && iswdigit(pattern[end])) ++end;
        if (end == i + 1) continue;
        if (end < pattern.size() && pattern[end] == L'!') {
            size_t close = pattern.find(L'!', end + 1);
            if (close != std::wstring::npos) end = close + 1;
        }
        found.push_back(pattern.substr(i, end - i));
        i = end - 1;
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

TEST(StringTables, ResourceScriptEscapesComeThroughExactly) {
    EXPECT_EQ(Text(IDS_ERR_INVALID_NAME_CHARS, kLangEnglishUs),
              L"A filename cannot contain any of the following characters:\n\t\\ / : * ? \" < > |");
    EXPECT_EQ(Text(IDS_CONFIRM_FILE_DELETE, kLangEnglishUs),
              L"The file '%1' will be permanently deleted.  Are you sure that you want to do this?");
    EXPECT_EQ(Text(IDS_SIZE_KB, kLangEnglishUs), L" KB") << "leading blank kept";
    // The invalid-name list must survive in every language: the rename check relies on it.
    for (LANGID lang : {kLangEnglishUk, kLangGerman}) {
        std::wstring text = Text(IDS_ERR_INVALID_NAME_CHARS, lang);
        EXPECT_NE(text.find(L"\n\t\\ / : * ? \" < > |"), std::wstring::npos) << lang;
    }
}

TEST(StringTables, RealMessagesFormattedInEnglishAndGerman) {
    ResourceModule us = ModuleIn(kLangEnglishUs);
    // The platform's formatter writes every line break as CR LF.
    EXPECT_EQ(us.FormatString(IDS_ERR_LABEL, {L"DATA", L"Busy."}),
              L"The data carrier label (DATA) could not be determined.\r\n\r\nBusy.");

    ResourceModule german = ModuleIn(kLangGerman);
    EXPECT_EQ(german.LoadString(IDS_TIP_PASTE), L"Einf\u00FCgen");
    EXPECT_EQ(german.FormatString(IDS_TIME_HOUR_MINUTE_SECOND, {1, 1, 1}),
              L"Verbleibende Zeit: 1 Stunde 1 Minute 1 Sekunde");
    EXPECT_EQ(german.LoadString(IDS_SIZE_ONE_BYTE), L"1 Byte");
}

// Every id the code names exists in all three languages. A translation that
// drops or retypes an insert shows wrong values or none at all; a unit that
// loses its leading blank sticks to the number.
TEST(StringTables, EveryIdInEveryLanguageWithTheInsertsAndBlanksOfUsEnglish) {
    std::set<UINT> seen;
    for (const StringIdEntry& entry : kAllStringIds) {
        EXPECT_TRUE(seen.insert(entry.id).second) << entry.name << " reuses id " << entry.id;
        bool found = false;
        std::wstring us = Text(entry.id, kLangEnglishUs, &found);
        EXPECT_TRUE(found) << entry.name << " missing in US English";
        for (LANGID lang : {kLangEnglishUk, kLangGerman}) {
            std::wstring other = Text(entry.id, lang, &found);
            EXPECT_TRUE(found) << entry.name << " missing in " << lang;
            EXPECT_EQ(Inserts(other), Inserts(us)) << entry.name << " in " << lang;
            EXPECT_EQ(!other.empty() && other[0] == L' ', !us.empty() && us[0] == L' ')
                << entry.name << " in " << lang;
        }
    }
}

// German left in English is a translation somebody forgot.
TEST(StringTables, GermanIsTranslatedExceptForNamesAndUnits) {
    const std::set<UINT> sameInGerman = {
        IDS_MODULE, IDS_COL_NAME, IDS_TIP_DETAILS,
        IDS_SIZE_KB, IDS_SIZE_MB, IDS_SIZE_GB, IDS_SIZE_TB, IDS_SIZE_PB,
    };
    for (const StringIdEntry& entry : kAllStringIds) {
        std::wstring us = Text(entry.id, kLangEnglishUs);
        std::wstring de = Text(entry.id, kLangGerman);
        if (sameInGerman.count(entry.id)) {
            EXPECT_EQ(de, us) << entry.name;
        } else {
            EXPECT_NE(de, us) << entry.name << " is still English";
        }
    }
}
