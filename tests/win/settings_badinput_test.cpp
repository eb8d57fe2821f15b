#include <windows.h>

#include <gtest/gtest.h>

#include <random>

#include "base/Text.h"
#include "framework/Strings.h"
#include "settings/ListText.h"
#include "settings/Settings.h"
#include "settings/SettingsStore_win.h"
#include "support/SettingsTestSupport.h"
#include "support/WinTest.h"

namespace {

class BadInput : public settingstest::SettingsFolderTest {
protected:
    // Loads a setting.ini of the given bytes and checks that loading left
    // the file exactly as it was.
    void LoadFrom(const std::string& bytes) {
        ASSERT_TRUE(settingstest::WriteFileFresh(IniPath(), bytes));
        const FILETIME before = LastWrite();
        LoadSettings();
        LoadSettings();
        EXPECT_EQ(wintest::ReadFileBytes(IniPath()), bytes);
        const FILETIME after = LastWrite();
        EXPECT_EQ(CompareFileTime(&before, &after), 0);
        EXPECT_TRUE(EndsWith(Settings().Path, "\\"));
    }

    FILETIME LastWrite() const {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        GetFileAttributesExW(IniPath().c_str(), GetFileExInfoStandard, &data);
        return data.ftLastWriteTime;
    }

    void ExpectDefaults() const {
        const TSettings d;
        const TSettings& s = Settings();
        EXPECT_EQ(s.CurrentMask, "");
        EXPECT_EQ(s.Path, WithTrailingBackslash(settingstest::DocumentsFolder()) + "My Kolibrio\\");
        EXPECT_TRUE(s.CatalogueList.empty());
        EXPECT_EQ(s.FileExtension, d.FileExtension);
        EXPECT_EQ(s.TimeForMask, d.TimeForMask);
        EXPECT_EQ(s.SkinName, d.SkinName);
        EXPECT_EQ(s.LongNameMonth, d.LongNameMonth);
        EXPECT_EQ(s.ShortNameDay, d.ShortNameDay);
        EXPECT_TRUE(s.AutoRecognize && s.Hint && s.AutoUpdate);
        EXPECT_EQ(s.DateNameTables.LongMonth[0], "ledna");
    }
};

}  // namespace

TEST_F(BadInput, RandomBytesNeitherCrashNorGetRewritten) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        std::string bytes(rng() % 65536, '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        SCOPED_TRACE("seed " + std::to_string(seed));
        LoadFrom(bytes);
    }
}

TEST_F(BadInput, RandomBytesBeforeASectionLeaveItReadable) {
    for (unsigned seed = 100; seed < 106; ++seed) {
        std::mt19937 rng(seed);
        std::string bytes(4096, '\0');
        for (char& c : bytes) c = static_cast<char>(rng() % 255 + 1);  // no NUL
        SCOPED_TRACE("seed " + std::to_string(seed));
        LoadFrom(bytes + "\r\n[Options]\r\nHint=0\r\n");
        EXPECT_FALSE(Settings().Hint);
    }
}

TEST_F(BadInput, NulBytesGiveTheDefaults) {
    LoadFrom(std::string(4096, '\0'));
    ExpectDefaults();
    LoadFrom(std::string("[Mask]\0CurrentMask=x\0\0", 23));
    EXPECT_TRUE(EndsWith(Settings().Path, "My Kolibrio\\"));
}

TEST_F(BadInput, MegabyteLinesAreReadWholeOrSkipped) {
    std::string big;
    while (big.size() < (1u << 20)) big += "%yyyy%\\%mm%\\fotka \"" + std::to_string(big.size()) + "\"; ";
    big = Trim(big);
    LoadFrom("[Mask]\r\nCurrentMask=" + big + "\r\n[Options]\r\nHint=0\r\n");
    EXPECT_EQ(Settings().CurrentMask, big);
    EXPECT_FALSE(Settings().Hint);

    // A megabyte of text that is no key at all.
    LoadFrom("[Options]\r\n" + std::string(1u << 20, 'q') + "\r\nAutoUpdate=0\r\n");
    EXPECT_FALSE(Settings().AutoUpdate);
    EXPECT_EQ(Settings().CurrentMask, "");
}

TEST_F(BadInput, KeysOfTheWrongKindFallBackWhereTheyCannotBeRead) {
    LoadFrom(
        "CurrentMask=outside any section\r\n"
        "[Mask\r\n"
        "=no key\r\n"
        "[Options]\r\n"
        "AutoRecognize=ano\r\n"
        "Hint=0.5\r\n"
        "AutoUpdate=\r\n"
        "TimeForMask=0\r\n"
        "FileExtension=\r\n"
        "LongNameMonth=12\r\n"
        "ShortNameDay=;;;;;;\r\n"
        "[Mask]\r\n"
        "ListMask=\"unclosed, quote\r\n");
    const TSettings& s = Settings();
    EXPECT_EQ(s.CurrentMask, "");
    EXPECT_TRUE(s.AutoRecognize);
    EXPECT_TRUE(s.Hint);
    EXPECT_TRUE(s.AutoUpdate);
    EXPECT_EQ(s.TimeForMask, TTimeSource::None);
    EXPECT_TRUE(s.ExtensionList.empty());
    EXPECT_EQ(s.FileExtension, "");
    EXPECT_EQ(s.LongNameMonth, "12");
    wchar_t january[64];
    ASSERT_GT(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SMONTHNAME1, january, 64), 1);
    EXPECT_EQ(s.DateNameTables.LongMonth[0], fw::Utf8(january));
    // Seven empty names are seven names.
    for (const auto& day : s.DateNameTables.ShortDay) EXPECT_EQ(day, "");
    EXPECT_EQ(s.CatalogueList, (std::vector<std::string>{"unclosed, quote"}));
}

TEST_F(BadInput, RegistryValuesOfTheWrongKind) {
    HKEY run;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &run, nullptr),
              ERROR_SUCCESS);
    DWORD one = 1;
    RegSetValueExW(run, L"Kolibrio2", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), sizeof one);
    RegCloseKey(run);
    LoadSettings();
    EXPECT_TRUE(Settings().AutoRun);
    EXPECT_EQ(settingstest::RunValue(), L"\"" + settingstest::ExePath() + L"\"");

    HKEY counters;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TB-Venor\\Kolibrio 2", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &counters, nullptr),
              ERROR_SUCCESS);
    const BYTE four[4] = {1, 2, 3, 4};
    RegSetValueExW(counters, L"copycount", 0, REG_BINARY, four, sizeof four);
    DWORD top = 0xFFFFFFFF;
    RegSetValueExW(counters, L"runcount", 0, REG_DWORD, reinterpret_cast<BYTE*>(&top), sizeof top);
    EXPECT_FALSE(IncrementCounter("copycount"));
    EXPECT_TRUE(IncrementCounter("runcount"));
    DWORD value = 7, size = sizeof value;
    RegQueryValueExW(counters, L"runcount", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    EXPECT_EQ(value, 0u);
    BYTE back[4] = {};
    size = sizeof back;
    DWORD type = 0;
    RegQueryValueExW(counters, L"copycount", nullptr, &type, back, &size);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(back[3], 4);
    RegCloseKey(counters);
}
