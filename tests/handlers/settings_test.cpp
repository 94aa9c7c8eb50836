// The settings store against a private stand-in for HKEY_CURRENT_USER, and
// the device-information services against the substitute server.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "common/resource_module.h"
#include "handlers/device_info.h"
#include "handlers/settings_store.h"
#include "tests/support/substitute_server.h"

namespace {

const wchar_t kScratchKey[] = L"Software\\KTXTest\\SettingsHive";

// Redirects HKEY_CURRENT_USER of this process to an empty scratch key.
class SettingsStore : public testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kScratchKey);
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kScratchKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &hive_, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, hive_), ERROR_SUCCESS);
    }
    void TearDown() override {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegCloseKey(hive_);
        RegDeleteTreeW(HKEY_CURRENT_USER, kScratchKey);
    }
    void SetString(const wchar_t* name, const wchar_t* value) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKeyPath, name, REG_SZ, value,
                                  static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    HKEY hive_ = nullptr;
};

}  // namespace

TEST_F(SettingsStore, PortIndexFromTheStoredName) {
    EXPECT_EQ(ReadPortIndex(), 0) << "no key";
    EXPECT_EQ(PortName(31), L"COM32");
    EXPECT_EQ(PortName(32), L"");
    const struct {
        const wchar_t* stored;
        int index;
    } cases[] = {{L"com7", 6}, {L"COM32", 31}, {L"COM40", 0}, {L"", 0}, {L"LPT1", 0}};
    for (const auto& c : cases) {
        SetString(L"Port", c.stored);
        EXPECT_EQ(ReadPortIndex(), c.index) << c.stored;
    }
    ASSERT_EQ(WritePortSetting(L"COM3"), S_OK);
    EXPECT_EQ(ReadPortIndex(), 2);
    // Written as a string with its terminator.
    DWORD type = 0, bytes = 0;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kSettingsKeyPath, L"Port", RRF_RT_ANY, &type,
                           nullptr, &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(bytes, 5 * sizeof(wchar_t));
}

TEST_F(SettingsStore, SaveResultLooksAtTheFirstCharacterOnly) {
    EXPECT_FALSE(ReadSaveResult()) << "missing";
    const struct {
        const wchar_t* stored;
        bool on;
    } cases[] = {{L"1", true}, {L"10", true}, {L"0", false}, {L"", false}, {L"01", false}};
    for (const auto& c : cases) {
        SetString(L"SaveResult", c.stored);
        EXPECT_EQ(ReadSaveResult(), c.on) << c.stored;
    }
    ASSERT_EQ(WriteSaveResult(true), S_OK);
    EXPECT_TRUE(ReadSaveResult());
}

TEST_F(SettingsStore, SearchHistoryKeepsFiveAndDropsTheRest) {
    EXPECT_EQ(ReadSearchHistory(), std::vector<std::wstring>(5));
    ASSERT_EQ(WriteSearchHistory({L"a*", L"b*", L"c*", L"d*", L"e*", L"f*"}), S_OK);
    EXPECT_EQ(ReadSearchHistory(), (std::vector<std::wstring>{L"a*", L"b*", L"c*", L"d*", L"e*"}));
    std::wstring text;
    EXPECT_FALSE(ReadSettingString(L"Searched5", &text));
    ASSERT_EQ(WriteSearchHistory({L"x.txt", L"y"}), S_OK);
    EXPECT_EQ(ReadSearchHistory(), (std::vector<std::wstring>{L"x.txt", L"y", L"", L"", L""}));
    EXPECT_FALSE(ReadSettingString(L"Searched2", &text));
    // A gap keeps the names after it in their places.
    SetString(L"Searched1", L"");
    SetString(L"Searched3", L"z");
    EXPECT_EQ(ReadSearchHistory(), (std::vector<std::wstring>{L"x.txt", L"", L"", L"z", L""}));
}

namespace {

HRESULT NoDeviceInfoServer(DeviceInfo** out) {
    *out = nullptr;
    return REGDB_E_CLASSNOTREG;
}

class DeviceInformation : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module_.ok());
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        // One instance held for the whole test: each call below creates and
        // releases its own, and under Wine an activation that meets the
        // server process on its way out fails instead of starting a new one.
        ASSERT_HRESULT_SUCCEEDED(CreateDeviceInfo(&keepAlive_));
    }
    void TearDown() override {
        if (keepAlive_) keepAlive_->Release();
        CoUninitialize();
    }
    SubstituteModule module_;
    DeviceInfo* keepAlive_ = nullptr;
};

}  // namespace

TEST_F(DeviceInformation, ModelNamesAndTheirNumbers) {
    const std::wstring longName(101, L'M');
    const struct {
        std::wstring model;
        int result;
        std::wstring buffer;
    } cases[] = {
        {L"ZR71", kModelZR71, L"ZR71"},
        {L"zr71", kModelZR71, L"zr71"},
        {L"Zp03", kModelZP03, L"Zp03"},
        {L"ZR710", kModelUnknown, L"ZR710"},
        {longName, kModelUnknown, std::wstring(kModelBufferChars - 1, L'M')},
    };
    for (const auto& c : cases) {
        module_.SetModel(c.model);
        wchar_t buffer[kModelBufferChars + 8];
        wmemset(buffer, L'#', ARRAYSIZE(buffer));
        EXPECT_EQ(GetModuleModel(buffer), c.result) << c.model;
        EXPECT_EQ(std::wstring(buffer), c.buffer);
        EXPECT_EQ(buffer[kModelBufferChars], L'#') << "nothing written past the buffer";
    }
}

TEST_F(DeviceInformation, FailuresLeaveAnEmptyModelAndNoPorts) {
    wchar_t buffer[kModelBufferChars] = L"stale";
    module_.FailNthCall(L"GetModel", 1, E_FAIL);
    EXPECT_EQ(GetModuleModel(buffer), kModelUnknown);
    EXPECT_EQ(buffer[0], L'\0');
    module_.FailNthCall(L"GetPorts", 1, E_FAIL);
    EXPECT_EQ(ReadPortMask(), 0u);

    module_.SetPortMask(0x40);
    EXPECT_EQ(ReadPortMask(), 0x40u);

    DeviceInfoCreator previous = SetDeviceInfoCreator(NoDeviceInfoServer);
    wcscpy_s(buffer, L"stale");
    EXPECT_EQ(GetModuleModel(buffer), kModelUnknown);
    EXPECT_EQ(buffer[0], L'\0');
    EXPECT_EQ(ReadPortMask(), 0u);
    SetDeviceInfoCreator(previous);
}
