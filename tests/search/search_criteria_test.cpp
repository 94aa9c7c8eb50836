#include <gtest/gtest.h>

#include <string>

#include "common/holders.h"
#include "common/resource_module.h"
#include "item_id/module_item_id.h"
#include "resources/string_ids.h"
#include "search/search_criteria.h"
#include "tests/search/search_test_files.h"

namespace {

const wchar_t kVersionLine[] = L"QEL_SEARCH_CONFIG_VERSION=1-0\r\n";

// The items Load hands out, freed with the test; Save can write them again.
struct Loaded : SearchResultItems {
    ~Loaded() { FreeLoadedItems(items, count); }
    size_t ResultCount() const override { return count; }
    LPCITEMIDLIST ResultAt(size_t index) const override { return items[index]; }

    LPITEMIDLIST* items = nullptr;
    UINT capacity = 0;
    UINT count = 0;
};

std::wstring TempPath() {
    wchar_t path[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, path);
    return path;
}

class SearchCriteriaFile : public testing::Test {
protected:
    void TearDown() override { DeleteFileW(file_.c_str()); }

    const std::wstring temp_ = TempPath();
    const std::wstring file_ =
        temp_ + L"ktxsearch-" + std::to_wstring(GetCurrentProcessId()) + L".ssc";

    HRESULT Load(SearchCriteria* criteria, Loaded* loaded) {
        return criteria->Load(file_.c_str(), &loaded->items, &loaded->capacity, &loaded->count);
    }
    // The text as a file, with the byte-order mark in front.
    HRESULT LoadText(const std::wstring& content, SearchCriteria* criteria, Loaded* loaded) {
        WriteFileBytes(file_, Utf16Bytes(L"\xFEFF" + content));
        return Load(criteria, loaded);
    }
    HRESULT LoadText(const std::wstring& content, SearchCriteria* criteria) {
        Loaded loaded;
        return LoadText(content, criteria, &loaded);
    }
};

// Every field and item read from a file is written back the same; values
// raw, numbers in the %d form, dates as whole days.
TEST_F(SearchCriteriaFile, RoundTripOfEveryStoredFieldAndTheResults) {
    const std::string file = Utf16Bytes(
        L"\xFEFF"
        L"QEL_SEARCH_CONFIG_VERSION=1-0\r\n"
        L"NAME=*.jpg\r\n"
        L"TEXT=Gr\x00fc\x00df" L"e a=b|c\r\n"
        L"PATH=\\B:\\Pictures\\2007\r\n"
        L"INCLUDE_SUBFOLDERS=FALSE\r\n"
        L"CONSIDER_FILEDATES=TRUE\r\n"
        L"SEARCH_DATE_TYPE=2\r\n"
        L"SEARCH_TIME_TYPE=1\r\n"
        L"LOWER_DATE=2007/03/09\r\n"
        L"HIGHER_DATE=2008/12/31\r\n"
        L"MONTHS=999\r\n"
        L"DAYS=0\r\n"
        L"FILETYPE_NAME=JPEG image\r\n"
        L"SEARCH_SIZE_TYPE=2\r\n"
        L"LIMIT=123456\r\n"
        L"CASESENSITIVE=TRUE\r\n"
        L"SAVE_RESULT=TRUE\r\n"
        L"ITEM=\\A:\\Data\\Photo.jpg|PHOTO.JPG|123456|32|2007/3/9/14/5/6/789|"
        L"2008/1/2/0/0/0/0|2007/12/31/23/59/59/999\r\n"
        // Unknown times; a size that reads negative.
        L"ITEM=\\B:\\Big||-1|18|0/0/0/0/0/0/0|0/0/0/0/0/0/0|0/0/0/0/0/0/0\r\n");
    WriteFileBytes(file_, file);
    SearchCriteria read;
    Loaded loaded;
    ASSERT_EQ(S_OK, Load(&read, &loaded));
    EXPECT_EQ(L"*", read.fileTypePattern);   // never stored
    EXPECT_EQ(32u, loaded.capacity);
    ASSERT_EQ(2u, loaded.count);
    ASSERT_TRUE(IsValidItemId(loaded.items[0]));
    EXPECT_EQ(1u, CountItems(loaded.items[0]));   // one-item lists
    EXPECT_EQ(0xFFFFFFFFu, ItemSize(loaded.items[1]));
    // The first day at its start, the last at its end.
    const SYSTEMTIME low = LocalDate(2007, 3, 9, 0, 0, 0, 0);
    const SYSTEMTIME high = LocalDate(2008, 12, 31, 23, 59, 59, 999);
    EXPECT_EQ(0, memcmp(&low, &read.lowerDate, sizeof(low)));
    EXPECT_EQ(0, memcmp(&high, &read.higherDate, sizeof(high)));

    ASSERT_EQ(S_OK, read.Save(file_.c_str(), &loaded));
    EXPECT_EQ(file, ReadFileBytes(file_));
    // Any non-zero flag is TRUE; without Save Result the items stay out.
    read.caseSensitive = 7;
    read.saveResult = 0;
    ASSERT_EQ(S_OK, read.Save(file_.c_str(), &loaded));
    const std::string saved = ReadFileBytes(file_);
    EXPECT_NE(std::string::npos, saved.find(Utf16Bytes(L"\nCASESENSITIVE=TRUE\r\n")));
    EXPECT_EQ(std::string::npos, saved.find(Utf16Bytes(L"ITEM=")));
}

// Whatever is wrong, reading stops there: what came before stays applied.
TEST_F(SearchCriteriaFile, MalformedFilesAreRefusedAndKeepWhatCameBefore) {
    auto file = [](const std::wstring& afterVersion) {
        return Utf16Bytes(std::wstring(1, wchar_t(0xFEFF)) + kVersionLine + afterVersion);
    };
    auto badLine = [&](const wchar_t* line) {
        return file(std::wstring(L"NAME=applied\r\n") + line + L"\r\nTEXT=not applied\r\n");
    };
    // Past the size check, but not a search file unless in UTF-16 with its mark.
    const std::wstring lines =
        std::wstring(kVersionLine) + L"NAME=changed\r\nTEXT=changed in a file of some size\r\n";
    struct Case {
        std::string bytes;
        HRESULT expected;
        const wchar_t* name;   // after Load
    };
    const Case cases[] = {
        {"", E_FAIL, L"kept"},
        {file(L"").substr(0, 60), E_FAIL, L"kept"},   // the mark and the version line only
        {"\xEF\xBB\xBF" + std::string(lines.begin(), lines.end()), E_FAIL, L"kept"},   // UTF-8
        {Utf16Bytes(lines), E_FAIL, L"kept"},   // no byte-order mark
        {Utf16Bytes(L"\xFEFFQEL_SEARCH_CONFIG_VERSION=1-1\r\nNAME=changed\r\n"), E_INVALIDARG,
         L"kept"},
        {Utf16Bytes(L"\xFEFFNAME=changed\r\nQEL_SEARCH_CONFIG_VERSION=1-0\r\n"), E_INVALIDARG,
         L"kept"},
        {badLine(L"MONTHS=1000"), E_INVALIDARG, L"applied"},
        {badLine(L"DAYS=-1"), E_INVALIDARG, L"applied"},
        {badLine(L"LIMIT=1000000"), E_INVALIDARG, L"applied"},
        {badLine(L"SEARCH_DATE_TYPE=3"), E_INVALIDARG, L"applied"},
        {badLine(L"SEARCH_SIZE_TYPE=99999999999999999999"), E_INVALIDARG, L"applied"},
        {badLine(L"CASESENSITIVE=yes"), E_INVALIDARG, L"applied"},
        {badLine(L"LOWER_DATE=2007/2/31"), E_INVALIDARG, L"applied"},
        {badLine(L"HIGHER_DATE=2007-03-09"), E_INVALIDARG, L"applied"},
        {badLine(L"HIGHER_DATE=2007/13/09"), E_INVALIDARG, L"applied"},
        {badLine(L"LOWER_DATE=2007/03/32"), E_INVALIDARG, L"applied"},
        {badLine(L"LOWER_DATE=-007/03/09"), E_INVALIDARG, L"applied"},
        {badLine(L"COMMENT=hello"), E_INVALIDARG, L"applied"},
        {badLine(L"NAME"), E_INVALIDARG, L"applied"},
        {badLine(L"=x"), E_INVALIDARG, L"applied"},
        // A last line without its line end loses its last character.
        {file(L"NAME=applied\r\nSAVE_RESULT=TRUE"), E_INVALIDARG, L"applied"},
        {file(L"NAME=abcd"), S_OK, L"abc"},
        {file(L"NAME=xyz\r\n") + "Z", S_OK, L"xyz"},   // an odd byte is not a code unit
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(&test - cases);
        SearchCriteria c;
        c.name = L"kept";
        c.text = L"before";
        WriteFileBytes(file_, test.bytes);
        Loaded loaded;
        EXPECT_EQ(test.expected, Load(&c, &loaded));
        EXPECT_EQ(test.name, c.name);
        EXPECT_EQ(L"before", c.text);
        EXPECT_EQ(0, c.saveResult);
        EXPECT_EQ(0u, loaded.count);
    }

    SearchCriteria c;
    Loaded loaded;
    EXPECT_EQ(E_INVALIDARG, c.Load(file_.c_str(), nullptr, &loaded.capacity, &loaded.count));
    EXPECT_EQ(E_INVALIDARG, c.Load(file_.c_str(), &loaded.items, nullptr, &loaded.count));
    EXPECT_EQ(E_INVALIDARG, c.Load(file_.c_str(), &loaded.items, &loaded.capacity, nullptr));
    const std::wstring missing = file_ + L".missing";
    EXPECT_EQ(E_FAIL, c.Load(missing.c_str(), &loaded.items, &loaded.capacity, &loaded.count));
    EXPECT_EQ(E_FAIL, c.Load(temp_.c_str(), &loaded.items, &loaded.capacity, &loaded.count));
}

TEST_F(SearchCriteriaFile, ReaderIsLenientWhereItMayBe) {
    SearchCriteria c;
    // Version line and keys in any case; empty lines; the last key wins.
    EXPECT_EQ(S_OK, LoadText(L"qel_search_config_version=1-0\r\n\r\n"
                             L"name=first\r\nName=a=b\r\n"
                             L"Include_Subfolders=false\r\nCaseSensitive=True\r\n"
                             L"MONTHS=0\r\nSEARCH_SIZE_TYPE=abc\r\nLIMIT=  +42kb\r\n"
                             L"DAYS=007\r\nLOWER_DATE=2007/02/31\r\nTEXT=\r\n",
                             &c));
    EXPECT_EQ(L"a=b", c.name);
    EXPECT_EQ(0, c.includeSubfolders);
    EXPECT_EQ(1, c.caseSensitive);
    EXPECT_EQ(0, c.months);
    EXPECT_EQ(0, c.sizeType);
    EXPECT_EQ(42, c.limit);
    EXPECT_EQ(7, c.days);
    EXPECT_EQ(31, c.lowerDate.wDay);   // not checked against the month
    EXPECT_TRUE(c.text.empty());
    // Keys that are absent keep their values.
    EXPECT_EQ(2, c.timeType);
}

TEST_F(SearchCriteriaFile, SaveReportsTheSystemError) {
    SearchCriteria c;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
              c.Save((temp_ + L"no\\such\\folder.ssc").c_str(), nullptr));
}

// Bad ITEM= lines are skipped and reading goes on; the items read come back
// with a later error, in an array grown by 32.
TEST_F(SearchCriteriaFile, ItemsSurviveBadItemsAndALaterError) {
    const std::wstring times = L"|0/0/0/0/0/0/0|0/0/0/0/0/0/0|0/0/0/0/0/0/0\r\n";
    std::wstring text = kVersionLine;
    for (int i = 0; i < 32; ++i) text += L"ITEM=\\A:\\f" + std::to_wstring(i) + L"|F|1|32" + times;
    text += L"ITEM=\\A:\\six|X|1|32|0/0/0/0/0/0/0|0/0/0/0/0/0/0\r\n"
            L"ITEM=\\A:\\eight|X|1|32|0/0/0/0/0/0/0|0/0/0/0/0/0/0|0/0/0/0/0/0/0|\r\n"
            L"ITEM=\\A:\\date|X|1|32|0/0/0/0/0/0|0/0/0/0/0/0/0|0/0/0/0/0/0/0\r\n"
            L"ITEM=\r\n";
    // Sizes and attributes are read leniently, without a check.
    text += L"ITEM=\\A:\\y|Y|12kb|abc" + times;
    text += L"NAME=after\r\nCOLOR=blue\r\nITEM=\\A:\\late|F|1|32" + times;
    SearchCriteria c;
    Loaded loaded;
    EXPECT_EQ(E_INVALIDARG, LoadText(text, &c, &loaded));
    EXPECT_EQ(L"after", c.name);
    ASSERT_EQ(33u, loaded.count);
    EXPECT_EQ(64u, loaded.capacity);
    EXPECT_STREQ(L"\\A:\\f31", ItemPath(loaded.items[31]));
    EXPECT_STREQ(L"\\A:\\y", ItemPath(loaded.items[32]));
    EXPECT_EQ(12u, ItemSize(loaded.items[32]));
    EXPECT_EQ(0u, ItemAttributes(loaded.items[32]));
    EXPECT_EQ(nullptr, loaded.items[33]);   // the new entries are zeroed

    // A bad item alone is reported too.
    EXPECT_EQ(E_INVALIDARG, LoadText(std::wstring(kVersionLine) + L"ITEM=\r\nNAME=last\r\n", &c));
    EXPECT_EQ(L"last", c.name);
}

TEST(SearchCriteriaDescribe, PlainAndFileNameForms) {
    const ResourceModule& res = Resources();
    const std::wstring files = res.LoadString(IDS_SEARCH_DESC_FILES);
    const std::wstring ofType = res.LoadString(IDS_SEARCH_DESC_OF_TYPE);
    const std::wstring withNames = res.LoadString(IDS_SEARCH_DESC_WITH_NAMES);
    const std::wstring withText = res.LoadString(IDS_SEARCH_DESC_WITH_TEXT);

    SearchCriteria c;
    EXPECT_EQ(res.LoadString(IDS_SEARCH_DESC_ALL_FILES), c.Describe().fileName);
    c.fileTypeName = L"ALL FILES AND FOLDERS";   // compared without regard to case
    c.name = L"*.t?t";
    SearchDescription d = c.Describe();
    EXPECT_EQ(files + L" " + withNames + L" *.t?t", d.plain);
    EXPECT_EQ(files + L" " + withNames + L" @_t!t", d.fileName);

    c.fileTypeName = L"Text \"plain\" <a/b:c\\d|e>";
    c.name.clear();
    c.text = L"x.y";
    d = c.Describe();
    EXPECT_EQ(files + L" " + ofType + L" Text \"plain\" <a/b:c\\d|e> " + withText + L" x.y",
              d.plain);
    EXPECT_EQ(files + L" " + ofType + L" Text _plain_ _a_b_c_d_e_ " + withText + L" x_y",
              d.fileName);

    c.text = std::wstring(400, L'q');
    d = c.Describe();
    EXPECT_EQ(kMaxDescriptionFileName, d.fileName.size());
}

}  // namespace
