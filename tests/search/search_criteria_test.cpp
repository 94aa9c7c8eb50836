#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/holders.h"
#include "common/item_time.h"
#include "common/resource_module.h"
#include "resources/string_ids.h"
#include "namespace/module_item_id.h"
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

    // Values raw, numbers in the %d form, any non-zero flag as TRUE.
    c.name = L"a=b|c";
    c.includeSubfolders = 7;
    c.months = -3;
    ASSERT_EQ(S_OK, c.Save(file_.c_str(), nullptr));   // replaces the file
    std::wstring content = ReadUtf16File(file_);
    EXPECT_NE(std::wstring::npos, content.find(L"\r\nNAME=a=b|c\r\n"));
    EXPECT_NE(std::wstring::npos, content.find(L"\r\nINCLUDE_SUBFOLDERS=TRUE\r\n"));
    EXPECT_NE(std::wstring::npos, content.find(L"\r\nMONTHS=-3\r\n"));
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
    EXPECT_TRUE(read.name == saved.name && read.text == saved.text && read.path == saved.path);
    EXPECT_EQ(L"JPEG image", read.fileTypeName);
    EXPECT_EQ(L"*", read.fileTypePattern);   // never stored
    const LONG expected[] = {0, 1, 2, 1, 999, 0, 2, 123456, 1, 1};
    const LONG actual[] = {read.includeSubfolders, read.considerFileDates, read.dateType,
                           read.timeType, read.months, read.days, read.sizeType, read.limit,
                           read.caseSensitive, read.saveResult};
    EXPECT_EQ(0, memcmp(expected, actual, sizeof(expected)));

    // Whole days: the first at its start, the last at its end.
    const SYSTEMTIME& low = read.lowerDate;
    EXPECT_TRUE(low.wYear == 2007 && low.wMonth == 3 && low.wDay == 9 && low.wDayOfWeek == 0);
    EXPECT_TRUE(low.wHour == 0 && low.wMinute == 0 && low.wSecond == 0 && low.wMilliseconds == 0);
    const SYSTEMTIME& high = read.higherDate;
    EXPECT_TRUE(high.wYear == 2008 && high.wMonth == 12 && high.wDay == 31 && high.wDayOfWeek == 0);
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

// A results list for Save: items in list order.
class ResultList : public SearchResultItems {
public:
    void Add(const wchar_t* path, const wchar_t* shortName, DWORD size, DWORD attributes,
             double created, double accessed, double modified) {
        items_.emplace_back(
            MakeItemId(path, shortName, size, attributes, created, accessed, modified));
    }
    size_t ResultCount() const override { return items_.size(); }
    LPCITEMIDLIST ResultAt(size_t index) const override { return items_[index].get(); }

private:
    std::vector<IdListHolder> items_;
};

double LocalTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms) {
    SYSTEMTIME st = {};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = second;
    st.wMilliseconds = ms;
    double t = 0;
    EXPECT_TRUE(LocalSystemTimeToTime(st, &t));
    return t;
}

TEST_F(SearchCriteriaFile, SavedItemsComeBackInOrder) {
    const double created = LocalTime(2007, 3, 9, 14, 5, 6, 789);
    const double accessed = LocalTime(2008, 1, 2, 0, 0, 0, 0);
    const double modified = LocalTime(2007, 12, 31, 23, 59, 59, 999);
    ResultList results;
    results.Add(L"\\A:\\Data\\Photo.jpg", L"PHOTO.JPG", 123456, FILE_ATTRIBUTE_ARCHIVE, created,
                accessed, modified);
    results.Add(L"\\B:\\Big", L"", 0xFFFFFFFF, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN,
                0, 0, 0);   // unknown times; a size that reads negative

    SearchCriteria saved;
    saved.saveResult = 1;
    ASSERT_EQ(S_OK, saved.Save(file_.c_str(), &results));
    std::wstring content = ReadUtf16File(file_);
    EXPECT_NE(std::wstring::npos,
              content.find(L"\r\nSAVE_RESULT=TRUE\r\n"
                           L"ITEM=\\A:\\Data\\Photo.jpg|PHOTO.JPG|123456|32|2007/3/9/14/5/6/789|"
                           L"2008/1/2/0/0/0/0|2007/12/31/23/59/59/999\r\n"
                           L"ITEM=\\B:\\Big||-1|18|0/0/0/0/0/0/0|0/0/0/0/0/0/0|0/0/0/0/0/0/0\r\n"));

    SearchCriteria read;
    Loaded loaded;
    ASSERT_EQ(S_OK, read.Load(file_.c_str(), &loaded.items, &loaded.capacity, &loaded.count));
    ASSERT_EQ(2u, loaded.count);
    EXPECT_EQ(32u, loaded.capacity);
    LPCITEMIDLIST first = loaded.items[0];
    ASSERT_TRUE(IsValidItemId(first));
    EXPECT_STREQ(L"\\A:\\Data\\Photo.jpg", ItemPath(first));
    EXPECT_STREQ(L"PHOTO.JPG", ItemShortName(first));
    EXPECT_EQ(123456u, ItemSize(first));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), ItemAttributes(first));
    const double ms = 1.0 / 86400000;
    EXPECT_NEAR(created, ItemCreated(first), ms / 2);
    EXPECT_NEAR(accessed, ItemAccessed(first), ms / 2);
    EXPECT_NEAR(modified, ItemModified(first), ms / 2);
    EXPECT_EQ(1u, CountItems(first));   // a one-item list
    LPCITEMIDLIST second = loaded.items[1];
    EXPECT_STREQ(L"", ItemShortName(second));
    EXPECT_EQ(0xFFFFFFFFu, ItemSize(second));
    EXPECT_EQ(0.0, ItemCreated(second));
    EXPECT_EQ(0.0, ItemAccessed(second));
    EXPECT_EQ(0.0, ItemModified(second));

    // Without Save Result the items stay out of the file.
    saved.saveResult = 0;
    ASSERT_EQ(S_OK, saved.Save(file_.c_str(), &results));
    EXPECT_EQ(std::wstring::npos, ReadUtf16File(file_).find(L"ITEM="));
}

TEST_F(SearchCriteriaFile, BadItemsAreSkippedAndReadingGoesOn) {
    const std::wstring good = L"ITEM=\\A:\\x|X|1|32|0/0/0/0/0/0/0|0/0/0/0/0/0/0|2007/3/9/1/2/3/4\r\n";
    SearchCriteria c;
    Loaded loaded;
    EXPECT_EQ(E_INVALIDARG,
              LoadText(L"QEL_SEARCH_CONFIG_VERSION=1-0\r\n" + good +
                           L"ITEM=\\A:\\six|X|1|32|0/0/0/0/0/0/0|0/0/0/0/0/0/0\r\n"
                           L"ITEM=\\A:\\eight|X|1|32|0/0/0/0/0/0/0|0/0/0/0/0/0/0|0/0/0/0/0/0/0|\r\n"
                           L"ITEM=\\A:\\date|X|1|32|0/0/0/0/0/0|0/0/0/0/0/0/0|0/0/0/0/0/0/0\r\n"
                           L"ITEM=\r\n" + good + L"NAME=after\r\n",
                       &c, &loaded));
    EXPECT_EQ(2u, loaded.count);
    EXPECT_EQ(L"after", c.name);
    // Sizes and attributes are read leniently, without a check.
    Loaded lenient;
    EXPECT_EQ(S_OK, LoadText(L"QEL_SEARCH_CONFIG_VERSION=1-0\r\n"
                             L"ITEM=\\A:\\y|Y|12kb|abc|0/0/0/0/0/0/0|0/0/0/0/0/0/0|0/0/0/0/0/0/0\r\n",
                             &c, &lenient));
    ASSERT_EQ(1u, lenient.count);
    EXPECT_EQ(12u, ItemSize(lenient.items[0]));
    EXPECT_EQ(0u, ItemAttributes(lenient.items[0]));
}

TEST_F(SearchCriteriaFile, ItemsGrowBy32AndSurviveALaterError) {
    std::wstring text = L"QEL_SEARCH_CONFIG_VERSION=1-0\r\n";
    for (int i = 0; i < 33; ++i)
        text += L"ITEM=\\A:\\f" + std::to_wstring(i) + L"|F|1|32|0/0/0/0/0/0/0|0/0/0/0/0/0/0|0/0/0/0/0/0/0\r\n";
    SearchCriteria c;
    Loaded many;
    EXPECT_EQ(S_OK, LoadText(text, &c, &many));
    EXPECT_EQ(33u, many.count);
    EXPECT_EQ(64u, many.capacity);
    EXPECT_STREQ(L"\\A:\\f32", ItemPath(many.items[32]));
    EXPECT_EQ(nullptr, many.items[33]);   // the new entries are zeroed

    // An unknown key after twenty items: the error and the twenty items.
    text = L"QEL_SEARCH_CONFIG_VERSION=1-0\r\n";
    for (int i = 0; i < 20; ++i)
        text += L"ITEM=\\A:\\f" + std::to_wstring(i) + L"|F|1|32|0/0/0/0/0/0/0|0/0/0/0/0/0/0|0/0/0/0/0/0/0\r\n";
    text += L"COLOR=blue\r\nITEM=\\A:\\late|F|1|32|0/0/0/0/0/0/0|0/0/0/0/0/0/0|0/0/0/0/0/0/0\r\n";
    Loaded twenty;
    EXPECT_EQ(E_INVALIDARG, LoadText(text, &c, &twenty));
    EXPECT_EQ(20u, twenty.count);
    EXPECT_STREQ(L"\\A:\\f19", ItemPath(twenty.items[19]));
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
