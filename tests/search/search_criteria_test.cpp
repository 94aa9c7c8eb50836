#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/holders.h"
#include "common/item_time.h"
#include "common/resource_module.h"
#include "resources/string_ids.h"
#include "search/saved_item.h"
#include "search/search_criteria.h"
#include "tests/search/search_test_files.h"

namespace {

// A well-formed file's seventeen lines, as the writer emits them.
const wchar_t kDefaultLines[] =
    L"QEL_SEARCH_CONFIG_VERSION=1-0\r\n"
    L"NAME=\r\n"
    L"TEXT=\r\n"
    L"PATH=\r\n"
    L"INCLUDE_SUBFOLDERS=TRUE\r\n"
    L"CONSIDER_FILEDATES=FALSE\r\n"
    L"SEARCH_DATE_TYPE=0\r\n"
    L"SEARCH_TIME_TYPE=2\r\n"
    L"LOWER_DATE=2007/03/09\r\n"
    L"HIGHER_DATE=2007/03/09\r\n"
    L"MONTHS=1\r\n"
    L"DAYS=1\r\n"
    L"FILETYPE_NAME=All files and folders\r\n"
    L"SEARCH_SIZE_TYPE=0\r\n"
    L"LIMIT=0\r\n"
    L"CASESENSITIVE=FALSE\r\n"
    L"SAVE_RESULT=FALSE\r\n";

// The items Load hands out, freed with the test.
struct Loaded {
    ~Loaded() { FreeLoadedItems(items, count); }
    LPITEMIDLIST* items = nullptr;
    UINT capacity = 0;
    UINT count = 0;
};

class SearchCriteriaFile : public testing::Test {
protected:
    TempFolder folder_;
    std::wstring file_ = folder_.Path(L"search.ssc");

    HRESULT LoadText(const std::wstring& content, SearchCriteria* criteria, Loaded* loaded) {
        WriteUtf16File(file_, content);
        return criteria->Load(file_.c_str(), &loaded->items, &loaded->capacity, &loaded->count);
    }
    HRESULT LoadText(const std::wstring& content, SearchCriteria* criteria) {
        Loaded loaded;
        return LoadText(content, criteria, &loaded);
    }
};

SYSTEMTIME Date(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    SYSTEMTIME st = {};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = 17;
    st.wMilliseconds = 450;
    st.wDayOfWeek = 5;
    return st;
}

TEST(SearchCriteriaInitial, ValuesOfANewWindow) {
    SYSTEMTIME before;
    GetLocalTime(&before);
    SearchCriteria c;
    EXPECT_TRUE(c.name.empty() && c.text.empty() && c.path.empty());
    EXPECT_EQ(1, c.includeSubfolders);
    EXPECT_EQ(0, c.considerFileDates);
    EXPECT_EQ(0, c.dateType);
    EXPECT_EQ(2, c.timeType);
    EXPECT_EQ(before.wYear, c.lowerDate.wYear);
    EXPECT_EQ(before.wDay, c.higherDate.wDay);
    EXPECT_EQ(1, c.months);
    EXPECT_EQ(1, c.days);
    EXPECT_EQ(Resources().LoadString(IDS_SEARCH_ALL_FILES_AND_FOLDERS), c.fileTypeName);
    EXPECT_FALSE(c.fileTypeName.empty());
    EXPECT_EQ(L"*", c.fileTypePattern);
    EXPECT_EQ(0, c.sizeType);
    EXPECT_EQ(0, c.limit);
    EXPECT_EQ(0, c.caseSensitive);
    EXPECT_EQ(0, c.saveResult);
}

TEST_F(SearchCriteriaFile, WriterEmitsTheSeventeenLines) {
    SearchCriteria c;
    c.lowerDate = Date(2007, 3, 9, 10, 0);
    c.higherDate = Date(2007, 3, 9, 10, 0);
    c.fileTypeName = L"All files and folders";
    c.saveResult = 0;
    ASSERT_EQ(S_OK, c.Save(file_.c_str(), nullptr));
    std::string bytes = ReadFileBytes(file_);
    std::wstring expected = std::wstring(1, wchar_t(0xFEFF)) + kDefaultLines;
    ASSERT_EQ(expected.size() * 2, bytes.size());
    EXPECT_EQ(0, memcmp(bytes.data(), expected.data(), bytes.size()));

    // Every value written raw; numbers in the %d form; flags as words.
    c.name = L"a=b|c";
    c.text = L"\x00e4\x00f6\x00fc \x20ac";
    c.path = L"\\A:\\Data";
    c.includeSubfolders = 7;
    c.considerFileDates = 1;
    c.months = -3;
    c.limit = 999999;
    ASSERT_EQ(S_OK, c.Save(file_.c_str(), nullptr));   // replaces the file
    std::wstring content = ReadUtf16File(file_);
    EXPECT_NE(std::wstring::npos, content.find(L"\r\nNAME=a=b|c\r\nTEXT=\x00e4\x00f6\x00fc \x20ac\r\n"));
    EXPECT_NE(std::wstring::npos, content.find(L"\r\nPATH=\\A:\\Data\r\nINCLUDE_SUBFOLDERS=TRUE\r\n"
                                               L"CONSIDER_FILEDATES=TRUE\r\n"));
    EXPECT_NE(std::wstring::npos, content.find(L"\r\nMONTHS=-3\r\n"));
    EXPECT_NE(std::wstring::npos, content.find(L"\r\nLIMIT=999999\r\n"));
}

TEST_F(SearchCriteriaFile, RoundTripRestoresEveryStoredField) {
    SearchCriteria saved;
    saved.name = L"*.jpg";
    saved.text = L"Gr\x00fc\x00df" L"e";
    saved.path = L"\\B:\\Pictures\\2007";
    saved.includeSubfolders = 0;
    saved.considerFileDates = 1;
    saved.dateType = 2;
    saved.timeType = 1;
    saved.lowerDate = Date(2007, 3, 9, 15, 20);
    saved.higherDate = Date(2008, 12, 31, 0, 0);
    saved.months = 999;
    saved.days = 0;
    saved.fileTypeName = L"JPEG image";
    saved.fileTypePattern = L"*.jpg|*.jpeg";
    saved.sizeType = 2;
    saved.limit = 123456;
    saved.caseSensitive = 1;
    saved.saveResult = 1;
    ASSERT_EQ(S_OK, saved.Save(file_.c_str(), nullptr));

    SearchCriteria read;
    Loaded loaded;
    ASSERT_EQ(S_OK, read.Load(file_.c_str(), &loaded.items, &loaded.capacity, &loaded.count));
    EXPECT_EQ(0u, loaded.count);
    EXPECT_EQ(saved.name, read.name);
    EXPECT_EQ(saved.text, read.text);
    EXPECT_EQ(saved.path, read.path);
    EXPECT_EQ(0, read.includeSubfolders);
    EXPECT_EQ(1, read.considerFileDates);
    EXPECT_EQ(2, read.dateType);
    EXPECT_EQ(1, read.timeType);
    EXPECT_EQ(999, read.months);
    EXPECT_EQ(0, read.days);
    EXPECT_EQ(L"JPEG image", read.fileTypeName);
    EXPECT_EQ(L"*", read.fileTypePattern);   // never stored
    EXPECT_EQ(2, read.sizeType);
    EXPECT_EQ(123456, read.limit);
    EXPECT_EQ(1, read.caseSensitive);
    EXPECT_EQ(1, read.saveResult);

    const SYSTEMTIME& low = read.lowerDate;
    EXPECT_EQ(2007, low.wYear);
    EXPECT_EQ(3, low.wMonth);
    EXPECT_EQ(9, low.wDay);
    EXPECT_EQ(0, low.wDayOfWeek);
    EXPECT_TRUE(low.wHour == 0 && low.wMinute == 0 && low.wSecond == 0 && low.wMilliseconds == 0);
    const SYSTEMTIME& high = read.higherDate;
    EXPECT_EQ(2008, high.wYear);
    EXPECT_EQ(12, high.wMonth);
    EXPECT_EQ(31, high.wDay);
    EXPECT_EQ(0, high.wDayOfWeek);
    EXPECT_TRUE(high.wHour == 23 && high.wMinute == 59 && high.wSecond == 59 &&
                high.wMilliseconds == 999);
}

TEST_F(SearchCriteriaFile, RefusesWhatIsNotASearchFile) {
    SearchCriteria c;
    c.name = L"kept";
    Loaded loaded;
    EXPECT_EQ(E_INVALIDARG, c.Load(file_.c_str(), nullptr, &loaded.capacity, &loaded.count));
    EXPECT_EQ(E_INVALIDARG, c.Load(file_.c_str(), &loaded.items, nullptr, &loaded.count));
    EXPECT_EQ(E_INVALIDARG, c.Load(file_.c_str(), &loaded.items, &loaded.capacity, nullptr));
    EXPECT_EQ(E_FAIL, c.Load(folder_.Path(L"missing.ssc").c_str(), &loaded.items,
                             &loaded.capacity, &loaded.count));
    EXPECT_EQ(E_FAIL, c.Load(folder_.path().c_str(), &loaded.items, &loaded.capacity,
                             &loaded.count));

    // The same lines in UTF-8, or in UTF-16 without the mark.
    std::wstring lines = std::wstring(kDefaultLines) + L"NAME=changed\r\n";
    std::string utf8(lines.begin(), lines.end());
    WriteFileBytes(file_, "\xEF\xBB\xBF" + utf8);
    EXPECT_EQ(E_FAIL, c.Load(file_.c_str(), &loaded.items, &loaded.capacity, &loaded.count));
    WriteFileBytes(file_, std::string(reinterpret_cast<const char*>(lines.data()), lines.size() * 2));
    EXPECT_EQ(E_FAIL, c.Load(file_.c_str(), &loaded.items, &loaded.capacity, &loaded.count));

    // 60 bytes hold the mark and the version line and nothing else.
    WriteUtf16File(file_, L"QEL_SEARCH_CONFIG_VERSION=1-0");
    EXPECT_EQ(E_FAIL, c.Load(file_.c_str(), &loaded.items, &loaded.capacity, &loaded.count));
    WriteFileBytes(file_, "");
    EXPECT_EQ(E_FAIL, c.Load(file_.c_str(), &loaded.items, &loaded.capacity, &loaded.count));

    EXPECT_EQ(E_INVALIDARG, LoadText(L"QEL_SEARCH_CONFIG_VERSION=1-1\r\nNAME=changed\r\n", &c));
    EXPECT_EQ(E_INVALIDARG, LoadText(L"NAME=changed\r\nQEL_SEARCH_CONFIG_VERSION=1-0\r\n", &c));
    EXPECT_EQ(L"kept", c.name);
    EXPECT_EQ(nullptr, loaded.items);
    EXPECT_EQ(0u, loaded.count);
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
    EXPECT_EQ(2, c.lowerDate.wMonth);
    EXPECT_EQ(31, c.lowerDate.wDay);   // not checked against the month
    EXPECT_TRUE(c.text.empty());
    // Keys that are absent keep their values.
    EXPECT_EQ(2, c.timeType);
}

TEST_F(SearchCriteriaFile, ABadLineStopsReadingButKeepsWhatCameBefore) {
    struct Case {
        const wchar_t* badLine;
    } cases[] = {
        {L"MONTHS=1000"},
        {L"DAYS=-1"},
        {L"LIMIT=1000000"},
        {L"SEARCH_DATE_TYPE=3"},
        {L"SEARCH_TIME_TYPE=-1"},
        {L"SEARCH_SIZE_TYPE=99999999999999999999"},
        {L"CASESENSITIVE=yes"},
        {L"SAVE_RESULT="},
        {L"LOWER_DATE=2007/2/31"},
        {L"HIGHER_DATE=2007-03-09"},
        {L"HIGHER_DATE=2007/13/09"},
        {L"LOWER_DATE=2007/03/00"},
        {L"LOWER_DATE=2007/03/32"},
        {L"LOWER_DATE=-007/03/09"},
        {L"COMMENT=hello"},
        {L"NAME"},
        {L"=x"},
    };
    for (const Case& test : cases) {
        SearchCriteria c;
        c.text = L"before";
        HRESULT hr = LoadText(std::wstring(L"QEL_SEARCH_CONFIG_VERSION=1-0\r\nNAME=applied\r\n") +
                                  test.badLine + L"\r\nTEXT=not applied\r\n",
                              &c);
        EXPECT_EQ(E_INVALIDARG, hr) << testing::PrintToString(std::wstring(test.badLine));
        EXPECT_EQ(L"applied", c.name);
        EXPECT_EQ(L"before", c.text);
    }
}

TEST_F(SearchCriteriaFile, LastLineWithoutLineEndLosesItsLastCharacter) {
    SearchCriteria c;
    EXPECT_EQ(E_INVALIDARG,
              LoadText(L"QEL_SEARCH_CONFIG_VERSION=1-0\r\nSAVE_RESULT=TRUE", &c));
    EXPECT_EQ(0, c.saveResult);
    EXPECT_EQ(S_OK, LoadText(L"QEL_SEARCH_CONFIG_VERSION=1-0\r\nNAME=abcd", &c));
    EXPECT_EQ(L"abc", c.name);
    // An odd byte at the end is not a code unit.
    WriteFileBytes(file_, Utf16Bytes(L"\xFEFFQEL_SEARCH_CONFIG_VERSION=1-0\r\nNAME=xyz\r\n") + "Z");
    Loaded loaded;
    EXPECT_EQ(S_OK, c.Load(file_.c_str(), &loaded.items, &loaded.capacity, &loaded.count));
    EXPECT_EQ(L"xyz", c.name);
}

TEST_F(SearchCriteriaFile, SaveReportsTheSystemError) {
    SearchCriteria c;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
              c.Save(folder_.Path(L"no\\such\\folder.ssc").c_str(), nullptr));
    // Held open without sharing by someone else.
    UniqueHandle held(CreateFileW(file_.c_str(), GENERIC_READ, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.valid());
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), c.Save(file_.c_str(), nullptr));
}

TEST(SearchCriteriaDescribe, PlainAndFileNameForms) {
    const ResourceModule& res = Resources();
    const std::wstring files = res.LoadString(IDS_SEARCH_DESC_FILES);
    const std::wstring ofType = res.LoadString(IDS_SEARCH_DESC_OF_TYPE);
    const std::wstring withNames = res.LoadString(IDS_SEARCH_DESC_WITH_NAMES);
    const std::wstring withText = res.LoadString(IDS_SEARCH_DESC_WITH_TEXT);

    SearchCriteria c;
    EXPECT_EQ(res.LoadString(IDS_SEARCH_DESC_ALL_FILES), c.Describe().plain);
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
    EXPECT_GT(d.plain.size(), kMaxDescriptionFileName);
}

}  // namespace
