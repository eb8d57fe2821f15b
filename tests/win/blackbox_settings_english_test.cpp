// Kolibrio2.exe on a Windows whose ANSI code page is not the Czech one: this
// program runs under an English locale (code page 1252, see wine-run.sh).
// The factory settings still read with their Czech month and day names, and
// a target folder named in Japanese is saved and is there after a restart.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/Strings.h"
#include "settings/Settings.h"
#include "settings/SettingsStore_win.h"
#include "support/ProgramRun.h"
#include "support/SettingsTestSupport.h"
#include "support/WinTest.h"

namespace {

const wchar_t kMainWindow[] = L"Kolibrio 2 - nastavení";
const wchar_t kLongMonths[] = L"ledna;února;března;dubna;května;června;července;srpna;září;října;listopadu;prosince";
const wchar_t kLongDays[] = L"pondělí;úterý;středa;čtvrtek;pátek;sobota;neděle";
const wchar_t kShortDays[] = L"po;út;st;čt;pá;so;ne";

// A copy of the program as the installer leaves it: the factory file beside
// it and as its first setting.ini, with the online check switched off and a
// target folder of the test's choice written into it.
class ProgramFolder {
public:
    explicit ProgramFolder(const std::wstring& path) : folder_(wintest::MakeTempDir()) {
        CopyFileW((wintest::BuildDir() + L"Kolibrio2.exe").c_str(), Exe().c_str(), FALSE);
        const std::wstring factory = wintest::SourceDir() + L"res\\beside\\setting_def.ini";
        CopyFileW(factory.c_str(), (folder_ + L"setting_def.ini").c_str(), FALSE);
        CopyFileW(factory.c_str(), Ini().c_str(), FALSE);
        WritePrivateProfileStringW(L"Options", L"AutoUpdate", L"0", Ini().c_str());
        WritePrivateProfileStringW(L"Mask", L"Path", path.c_str(), Ini().c_str());
    }
    ~ProgramFolder() { wintest::RemoveTree(folder_); }
    std::wstring Exe() const { return folder_ + L"Kolibrio2.exe"; }
    std::wstring Ini() const { return folder_ + L"setting.ini"; }

private:
    std::wstring folder_;
};

// Starts the program and waits until its windows are made; its main window
// (the settings window, hidden), or nullptr.
HWND Start(wintest::ChildProcess& program, const ProgramFolder& folder) {
    if (!program.Start(folder.Exe(), {})) return nullptr;
    HWND main = nullptr;
    wintest::WaitFor(
        [&] {
            main = wintest::FindProcessWindow(program.Pid(), kMainWindow, false);
            return main && wintest::FindProcessWindow(program.Pid(), L"Dialog", false);
        },
        20000);
    WaitForInputIdle(program.Handle(), 5000);
    return main;
}

class WesternWindows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(GetACP(), 1252u) << "wine-run.sh runs this program under an English locale";
    }
};

}  // namespace

// Read in code page 1252, the Czech names of the old factory file were
// "bøezna" and "ètvrtek".
TEST_F(WesternWindows, FactoryNamesReadRightInTheStore) {
    const std::wstring folder = wintest::MakeTempDir();
    ASSERT_TRUE(CopyFileW((wintest::SourceDir() + L"res\\beside\\setting_def.ini").c_str(),
                          (folder + L"setting.ini").c_str(), FALSE));
    SetSettingsFolder(fw::Utf8(folder));
    LoadSettings();
    const TDateNameTables& t = Settings().DateNameTables;
    EXPECT_EQ(t.LongMonth[2], "března");
    EXPECT_EQ(t.LongDay[4], "čtvrtek");  // Sunday first
    EXPECT_EQ(t.ShortDay[2], "út");
    EXPECT_EQ(Settings().LongNameMonth, fw::Utf8(kLongMonths));
    SetSettingsFolder("");
    wintest::RemoveTree(folder);
}

// A file in this Windows' code page reads as it always did; a file in UTF-8
// without a byte-order mark (written on a Czech Windows, or by an editor)
// is not taken for one in the code page: "Řím" does not become "Øím".
TEST_F(WesternWindows, FilesInTheCodePageAndInUtf8ReadRight) {
    const std::wstring folder = wintest::MakeTempDir();
    SetSettingsFolder(fw::Utf8(folder));
    const struct {
        const char* name;
        std::string bytes;
        std::string path;
    } cases[] = {
        {"Windows-1252", "[Mask]\r\nPath=E:\\Caf\xE9 \xC6r\xF8\\\r\n", "E:\\Café Ærø\\"},
        {"UTF-8 without its mark", "[Mask]\r\nPath=E:\\\xC5\x98\xC3\xADm\\\r\n", "E:\\Řím\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(settingstest::WriteFileFresh(folder + L"setting.ini", c.bytes));
        LoadSettings();
        EXPECT_EQ(Settings().Path, c.path);
        SaveSettings();
        EXPECT_TRUE(settingstest::IsUtf16Le(wintest::ReadFileBytes(folder + L"setting.ini")));
        Settings().Path.clear();
        LoadSettings();
        EXPECT_EQ(Settings().Path, c.path) << "after the save";
    }
    SetSettingsFolder("");
    wintest::RemoveTree(folder);
}

TEST_F(WesternWindows, FactoryNamesReadRightInTheProgram) {
    ProgramFolder folder(L"C:\\Foto\\");
    wintest::ChildProcess program;
    HWND main = Start(program, folder);
    ASSERT_NE(main, nullptr);
    for (const wchar_t* names : {kLongMonths, kLongDays, kShortDays})
        EXPECT_NE(wintest::FindControlByText(main, names), nullptr) << fw::Utf8(names);
    EXPECT_TRUE(wintest::EndProgramAsLogOff(program));
}

TEST_F(WesternWindows, AJapaneseFolderIsSavedAndKeptOverARestart) {
    const std::wstring japanese = L"C:\\写真\\";
    ProgramFolder folder(L"C:\\Foto\\");
    {
        wintest::ChildProcess program;
        HWND main = Start(program, folder);
        ASSERT_NE(main, nullptr);
        ShowWindow(main, SW_SHOWNORMAL);
        HWND path = wintest::FindControlByText(main, L"C:\\Foto\\");
        ASSERT_NE(path, nullptr) << "the target folder's field";
        SendMessageW(path, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(japanese.c_str()));
        ASSERT_TRUE(wintest::ClickButton(main, L"OK"));
        // OK saves and hides the window.
        ASSERT_TRUE(wintest::WaitFor([&] { return !IsWindowVisible(main); }, 10000))
            << "the settings window is still open: the save was refused";
        EXPECT_TRUE(wintest::EndProgramAsLogOff(program));
    }
    const std::string bytes = wintest::ReadFileBytes(folder.Ini());
    EXPECT_TRUE(settingstest::IsUtf16Le(bytes));
    EXPECT_NE(settingstest::IniText(bytes).find("\r\nPath=C:\\写真\\\r\n"), std::string::npos)
        << settingstest::IniText(bytes);

    wintest::ChildProcess again;
    HWND main = Start(again, folder);
    ASSERT_NE(main, nullptr);
    EXPECT_NE(wintest::FindControlByText(main, japanese), nullptr) << "the folder shown after the restart";
    EXPECT_EQ(wintest::FindControlByText(main, L"C:\\??\\"), nullptr);
    EXPECT_NE(wintest::FindControlByText(main, kLongMonths), nullptr);
    EXPECT_TRUE(wintest::EndProgramAsLogOff(again));
}
