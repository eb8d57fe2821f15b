// setting.ini as files come: in every encoding an editor or an earlier
// version leaves, saved whole or not at all, in a folder that may not be
// there or may not take it.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "framework/Strings.h"
#include "settings/ProfileFile_win.h"
#include "settings/Settings.h"
#include "settings/SettingsStore_win.h"
#include "support/SettingsTestSupport.h"
#include "support/WinTest.h"

using settingstest::ExpectRefusal;
using settingstest::RunValue;

namespace {

class SettingsFile : public settingstest::SettingsFolderTest {
protected:
    void TearDown() override {
        SetReplaceFaultForTests(0);
        settingstest::SettingsFolderTest::TearDown();
    }
};

std::string Utf16(const std::wstring& text, bool bigEndian) {
    std::string bytes;
    for (wchar_t c : text) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

std::string Ini(const std::string& path) {
    return "[Mask]\r\nPath=" + path + "\r\n[Options]\r\nHint=0\r\n";
}

}  // namespace

// Every form is read by the profile functions as the text it holds, and the
// next save keeps that text, in UTF-16. The ANSI code page here is 1250 (a
// Western one is the _english test's).
TEST_F(SettingsFile, EveryEncodingReadsRightAndSavesAsItReads) {
    ASSERT_EQ(GetACP(), 1250u);
    const std::string world = "E:\\Řím\\写真 \xF0\x9F\x93\xB7\\";  // past the Basic Multilingual Plane too
    const std::string czech = "E:\\Řím\\Žluťoučký kůň\\";
    const std::wstring text = fw::Wide(Ini(world));
    struct Case {
        const char* name;
        std::string bytes;
        std::string path;
    } cases[] = {
        {"UTF-16 LE with its mark", "\xFF\xFE" + Utf16(text, false), world},
        {"UTF-16 LE without", Utf16(text, false), world},
        {"UTF-16 BE with its mark", "\xFE\xFF" + Utf16(text, true), world},
        {"UTF-16 BE without", Utf16(text, true), world},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + Ini(world), world},
        {"UTF-8 without", Ini(world), world},
        {"Windows-1250", fw::Utf8ToAnsi(Ini(czech)), czech},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(settingstest::WriteFileFresh(IniPath(), c.bytes));
        Settings().Hint = true;
        LoadSettings();
        EXPECT_EQ(Settings().Path, c.path);
        EXPECT_FALSE(Settings().Hint);
        EXPECT_EQ(wintest::ReadFileBytes(IniPath()), c.bytes) << "loading never writes";

        Settings().CurrentMask = "maska";
        SaveSettings();
        const std::string saved = wintest::ReadFileBytes(IniPath());
        ASSERT_TRUE(settingstest::IsUtf16Le(saved));
        EXPECT_NE(settingstest::IniText(saved).find("\r\nPath=" + c.path + "\r\n"), std::string::npos)
            << settingstest::IniText(saved);
        Settings().Path.clear();
        LoadSettings();
        EXPECT_EQ(Settings().Path, c.path);
        EXPECT_EQ(Settings().CurrentMask, "maska");
    }
    EXPECT_EQ(wintest::FilesBelow(Folder()), (std::vector<std::string>{"setting.ini"}));
}

// Written and flushed, the new version fails to replace the old one (the
// disk went away, another program holds the file): the old file stays byte
// for byte, the new one does not stay beside it, and the next save works.
TEST_F(SettingsFile, AFailureBeforeTheReplaceKeepsTheOldFileWhole) {
    const std::string older = fw::Utf8ToAnsi("; moje\r\n[Mask]\r\nCurrentMask=stará\r\n[Jiný]\r\nKlíč=ano\r\n");
    ASSERT_TRUE(settingstest::WriteFileFresh(IniPath(), older));
    LoadSettings();
    ASSERT_EQ(Settings().CurrentMask, "stará");
    Settings().CurrentMask = "nová";
    Settings().AutoRun = true;
    SetReplaceFaultForTests(ERROR_NOT_READY);
    try {
        SaveSettings();
        ADD_FAILURE() << "saved through a failed replace";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), SaveFailureText(fw::Utf8(IniPath()), ERROR_NOT_READY));
        ExpectRefusal(e.what(), fw::Utf8(IniPath()));
    }
    EXPECT_TRUE(wintest::ReadFileBytes(IniPath()) == older);
    EXPECT_EQ(wintest::FilesBelow(Folder()), (std::vector<std::string>{"setting.ini"}));
    EXPECT_FALSE(RunValue()) << "the autorun value follows a saved file only";
    EXPECT_EQ(Settings().CurrentMask, "nová") << "what the user set stays in force";
    LoadSettings();
    EXPECT_EQ(Settings().CurrentMask, "stará");

    SetReplaceFaultForTests(0);
    Settings().CurrentMask = "nová";
    Settings().AutoRun = true;
    SaveSettings();
    const std::string text = settingstest::IniText(wintest::ReadFileBytes(IniPath()));
    EXPECT_EQ(text.rfind("; moje\r\n[Mask]\r\nCurrentMask=nová\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("[Jiný]\r\nKlíč=ano\r\n"), std::string::npos) << text;
    EXPECT_TRUE(RunValue().has_value());
}

// A settings folder that cannot be made (a file stands under its name): the
// text names the folder and the reason, nothing is made or lost, and the
// program goes on with what it has; once the way is free the save works.
TEST_F(SettingsFile, AFolderThatCannotBeMadeIsNamedAndNothingIsLost) {
    const std::wstring blocker = Folder() + L"Kolibrio 2";
    ASSERT_TRUE(wintest::WriteFileBytes(blocker, "a file, not a folder"));
    const std::string folder = fw::Utf8(blocker) + "\\";
    SetSettingsFolder(folder);
    LoadSettings();
    Settings().CurrentMask = "moje maska";
    try {
        SaveSettings();
        ADD_FAILURE() << "saved into a file";
    } catch (const std::runtime_error& e) {
        ExpectRefusal(e.what(), folder);
    }
    EXPECT_EQ(wintest::ReadFileBytes(blocker), "a file, not a folder");
    EXPECT_EQ(Settings().CurrentMask, "moje maska");

    ASSERT_TRUE(DeleteFileW(blocker.c_str()));
    SaveSettings();
    LoadSettings();
    EXPECT_EQ(Settings().CurrentMask, "moje maska");
}

// A folder below one that is gone is made with it.
TEST_F(SettingsFile, AMissingFolderIsMadeAtTheSave) {
    const std::string folder = fw::Utf8(Folder()) + "Data\\Kolibrio 2\\";
    SetSettingsFolder(folder);
    LoadSettings();
    Settings().CurrentMask = "%file_name%";
    SaveSettings();
    EXPECT_TRUE(settingstest::IsUtf16Le(wintest::ReadFileBytes(fw::Wide(folder) + L"setting.ini")));
    Settings().CurrentMask.clear();
    LoadSettings();
    EXPECT_EQ(Settings().CurrentMask, "%file_name%");
}
