// The installer as a user meets it: installed silently into a fresh
// prefix, the installed program started from its folder, then removed by
// its uninstaller. The tests of this file run in order and share the one
// installation.
#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "framework/Strings.h"
#include "support/CardImport.h"
#include "support/ChildProcess.h"
#include "support/ProgramRun.h"
#include "support/UiTest.h"
#include "support/WinTest.h"

namespace {

const wchar_t* const kCounters = wintest::kCountersKey;
const wchar_t kVendor[] = L"SOFTWARE\\TB-Venor";
const wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kUninstall[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kolibrio2";

std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, path))) return {};
    std::wstring s = path;
    if (!s.empty() && s.back() != L'\\') s += L'\\';
    return s;
}

// Program Files of the installed program's kind: a 32-bit program on 64-bit
// Windows is shown its own "Program Files (x86)" by the shell, and finds
// the other one only in the environment.
std::wstring InstallDir() {
    wchar_t native[MAX_PATH] = {};
    if (sizeof(void*) == 4 && GetEnvironmentVariableW(L"ProgramW6432", native, MAX_PATH) > 0)
        return std::wstring(native) + L"\\Kolibrio 2\\";
    return ShellFolder(CSIDL_PROGRAM_FILES) + L"Kolibrio 2\\";
}
std::wstring StartMenuDir() { return ShellFolder(CSIDL_COMMON_PROGRAMS) + L"Kolibrio 2\\"; }

// Runs a command line (the installer wants /D= last and unquoted) and
// waits for it; the exit code, or nothing when it did not start or end.
std::optional<DWORD> RunAndWait(const std::wstring& exe, const std::wstring& args, DWORD timeoutMs) {
    std::wstring cmd = L"\"" + exe + L"\" " + args;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return std::nullopt;
    CloseHandle(pi.hThread);
    std::optional<DWORD> code;
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD c = 0;
        GetExitCodeProcess(pi.hProcess, &c);
        code = c;
    } else {
        TerminateProcess(pi.hProcess, 99);
    }
    CloseHandle(pi.hProcess);
    return code;
}

// True on 64-bit Windows, whichever program asks.
bool SystemIs64Bit() {
    SYSTEM_INFO info;
    GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

// The installer writes its keys, and the installed program reads them, in
// the registry view of the program it installs: the 64-bit one on 64-bit
// Windows, whatever this test program's own width.
REGSAM InstalledView() { return SystemIs64Bit() ? KEY_WOW64_64KEY : 0; }

bool KeyExists(const wchar_t* path, REGSAM view = InstalledView()) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::optional<std::wstring> ReadString(const wchar_t* path, const wchar_t* name) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | InstalledView(), &key) != ERROR_SUCCESS)
        return std::nullopt;
    wchar_t buf[1024] = {};
    DWORD size = sizeof buf - sizeof buf[0], type = 0;
    const LONG r = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    std::wstring value(buf, size / sizeof buf[0]);
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    return value;
}

std::optional<DWORD> ReadCounter(const wchar_t* name) { return wintest::ReadDword(kCounters, name, InstalledView()); }

// The build tree of the program the installer puts onto this system.
std::wstring InstalledKindBuildDir() {
    return wintest::BuildDir() + (SystemIs64Bit() ? L"..\\win64\\" : L"..\\win\\");
}

// The files that go beside the program, relative to res\beside of the
// source tree (placeholders starting with a full stop are not shipped).
void ListFiles(const std::wstring& root, const std::wstring& rel, std::vector<std::wstring>& out) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((root + rel + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        if (fd.cFileName[0] == L'.') continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(root, rel + fd.cFileName + L"\\", out);
        else
            out.push_back(rel + fd.cFileName);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

std::vector<std::wstring> ShippedFiles() {
    std::vector<std::wstring> files;
    ListFiles(wintest::SourceDir() + L"res\\beside\\", L"", files);
    return files;
}

// True when the key's access list allows the Users group every right the
// program asks for when it opens the key.
bool UsersMayWriteKey(const wchar_t* path) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, READ_CONTROL | InstalledView(), &key) != ERROR_SUCCESS)
        return false;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    DWORD r = GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &sd);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) return false;
    BYTE usersSid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof usersSid;
    CreateWellKnownSid(WinBuiltinUsersSid, nullptr, usersSid, &sidSize);
    bool allowed = false;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) continue;
        auto* allow = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (allow->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || (allow->Header.AceFlags & INHERIT_ONLY_ACE)) continue;
        if (EqualSid(&allow->SidStart, usersSid) && (allow->Mask & KEY_ALL_ACCESS) == KEY_ALL_ACCESS) allowed = true;
    }
    LocalFree(sd);
    return allowed;
}

class Release : public ::testing::Test {
protected:
    static void SetUpTestSuite() { installerExit = RunAndWait(wintest::ReleaseInstaller(), L"/S", 120000); }
    void SetUp() override { ASSERT_EQ(installerExit, std::optional<DWORD>(0)) << "the silent installer"; }
    static std::optional<DWORD> installerExit;
};
std::optional<DWORD> Release::installerExit;

}  // namespace

TEST_F(Release, InstallsTheProgramOfTheSystemsKindAndItsFiles) {
    const std::wstring dir = InstallDir();
    // The program of the system's kind, whichever tree this test is of.
    const std::string installed = wintest::ReadFileBytes(dir + L"Kolibrio2.exe");
    ASSERT_FALSE(installed.empty());
    EXPECT_TRUE(installed == wintest::ReadFileBytes(InstalledKindBuildDir() + L"Kolibrio2.exe"))
        << (SystemIs64Bit() ? "not the 64-bit program on 64-bit Windows" : "not the 32-bit program on 32-bit Windows");
    // Shipped without debug information; the symbols stay beside the build.
    EXPECT_LT(installed.size(), 4u << 20);
    EXPECT_TRUE(wintest::FileExists(InstalledKindBuildDir() + L"Kolibrio2.exe.debug"));
    EXPECT_NE(installed.find(".gnu_debuglink"), std::string::npos);
    const std::vector<std::wstring> shipped = ShippedFiles();
    for (const wchar_t* needed : {L"setting_def.ini", L"Licence.txt"})
        EXPECT_NE(std::find(shipped.begin(), shipped.end(), needed), shipped.end()) << fw::Utf8(needed);
    EXPECT_TRUE(std::any_of(shipped.begin(), shipped.end(), [](const std::wstring& f) { return f.rfind(L"skins\\", 0) == 0; }));
    for (const std::wstring& f : shipped) {
        SCOPED_TRACE(fw::Utf8(f));
        ASSERT_TRUE(wintest::FileExists(dir + f));
        EXPECT_EQ(wintest::ReadFileBytes(dir + f), wintest::ReadFileBytes(wintest::SourceDir() + L"res\\beside\\" + f));
    }
    EXPECT_TRUE(wintest::FileExists(dir + L"Uninstall.exe"));
    // The first start already has the factory settings.
    EXPECT_EQ(wintest::ReadFileBytes(dir + L"setting.ini"), wintest::ReadFileBytes(dir + L"setting_def.ini"));
}

// The counters live in the registry view of the installed program, where
// it reads and increments them; on 64-bit Windows not in the 32-bit view.
TEST_F(Release, CountersAreInTheInstalledProgramsRegistryView) {
    ASSERT_TRUE(KeyExists(kCounters, KEY_WOW64_64KEY));
    EXPECT_TRUE(KeyExists(kUninstall, KEY_WOW64_64KEY));
    if (SystemIs64Bit()) {
        EXPECT_FALSE(KeyExists(kCounters, KEY_WOW64_32KEY)) << "a second, unused set of counters in the 32-bit view";
        EXPECT_FALSE(KeyExists(kUninstall, KEY_WOW64_32KEY));
    } else {
        std::cout << "[   NOTE   ] a 32-bit prefix has one registry view\n";
    }
}

TEST_F(Release, CreatesTheCountersTheAutorunAndTheStartMenuEntry) {
    EXPECT_EQ(ReadCounter(L"runcount"), std::optional<DWORD>(0));
    EXPECT_EQ(ReadCounter(L"copycount"), std::optional<DWORD>(0));
    std::optional<std::wstring> id = ReadString(kCounters, L"ID");
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(id->size(), 36u);
    EXPECT_EQ(id->find_first_not_of(L"0123456789ABCDEFabcdef-"), std::wstring::npos) << fw::Utf8(*id);
    EXPECT_TRUE(UsersMayWriteKey(kCounters)) << "a standard user's program counts its starts";
    EXPECT_EQ(ReadString(kRun, L"Kolibrio2"), L"\"" + InstallDir() + L"Kolibrio2.exe\"");
    EXPECT_TRUE(wintest::FileExists(StartMenuDir() + L"Kolibrio 2.lnk"));
    EXPECT_EQ(ReadString(kUninstall, L"DisplayName"), std::wstring(L"Kolibrio 2"));
}

// Windows virtualises a standard user's writes below Program Files only for
// a 32-bit program that declares no execution level. The installed program
// keeps its settings in the profile, but the 32-bit portable one unpacked
// into a protected folder still relies on it, as earlier versions did.
TEST_F(Release, ProgramDeclaresNoExecutionLevel) {
    HMODULE exe = LoadLibraryExW((InstallDir() + L"Kolibrio2.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    HRSRC res = FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_NE(res, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(exe, res)));
    std::string manifest(text, SizeofResource(exe, res));
    FreeLibrary(exe);
    EXPECT_NE(manifest.find("<assembly"), std::string::npos);
    EXPECT_EQ(manifest.find("requestedExecutionLevel"), std::string::npos);
    EXPECT_EQ(manifest.find("trustInfo"), std::string::npos);
}

namespace {

// The installed program with a setting.ini of its own, in the user's
// profile where the installed program keeps it: the online check is
// switched off so that no test reaches for the vendor's host (the factory
// settings have it on).
bool StartInstalled(wintest::ChildProcess& program, const std::string& settings) {
    const std::wstring dir = InstallDir();
    const std::wstring profile = ShellFolder(CSIDL_APPDATA) + L"Kolibrio 2\\";
    CreateDirectoryW(profile.c_str(), nullptr);
    return wintest::WriteFileBytes(profile + L"setting.ini", settings) && program.Start(dir + L"Kolibrio2.exe", {}) &&
           wintest::WaitFor(
               [&] {
                   return !wintest::ScanProcessWindows(program.Pid(), L"TIconManager").ofClass.empty() &&
                          wintest::FindProcessWindow(program.Pid(), L"Kolibrio 2 - nastavení", false);
               },
               20000);
}

}  // namespace

TEST_F(Release, InstalledProgramStartsFromItsFolderAndCountsItsStart) {
    const std::optional<std::wstring> id = ReadString(kCounters, L"ID");
    wintest::ChildProcess program;
    ASSERT_TRUE(StartInstalled(program, wintest::kOfflineSettings));
    EXPECT_TRUE(wintest::WaitFor([] { return ReadCounter(L"runcount") == 1u; }, 5000));
    EXPECT_EQ(ReadCounter(L"copycount"), std::optional<DWORD>(0));
    EXPECT_EQ(ReadString(kCounters, L"ID"), id) << "the program never writes the ID";
    EXPECT_EQ(wintest::ScanProcessWindows(program.Pid()).visible, 0);
    EXPECT_TRUE(wintest::EndProgramAsLogOff(program));
}

// The skin named in the installed setting.ini, not the default one, found
// in the installed skins folder: the settings window wears its colour.
TEST_F(Release, InstalledProgramWearsTheSkinNamedInItsSettings) {
    wintest::ChildProcess program;
    ASSERT_TRUE(StartInstalled(program, "[Skin]\r\nSkinName=Nebe\r\n[Options]\r\nAutoUpdate=0\r\n"));
    HWND main = wintest::FindProcessWindow(program.Pid(), L"Kolibrio 2 - nastavení", false);
    ASSERT_NE(main, nullptr);
    ShowWindow(main, SW_SHOWNORMAL);
    wintest::Pump(1000);
    RECT r;
    GetWindowRect(main, &r);
    HDC screen = GetDC(nullptr);
    int skinned = 0;
    const COLORREF nebe = RGB(0xE3, 0xEE, 0xF9);  // Window= of skins\Nebe.ini
    for (int y = r.top + 40; y < r.bottom - 10; y += 12)
        for (int x = r.left + 10; x < r.right - 10; x += 12)
            if (GetPixel(screen, x, y) == nebe) ++skinned;
    ReleaseDC(nullptr, screen);
    ShowWindow(main, SW_HIDE);
    EXPECT_GT(skinned, 0) << "no pixel of the window in the colour of the skin Nebe";
    EXPECT_TRUE(wintest::EndProgramAsLogOff(program));
}

// Installing again over an installation keeps the user's settings, the
// counts and the ID.
TEST_F(Release, UpgradeKeepsTheUsersSettingsAndCounts) {
    const std::wstring dir = InstallDir();
    const std::string own = "[Mask]\r\nMask=%yyyy%\\%file_name%.%file_ext%\r\n[Options]\r\nAutoUpdate=0\r\n";
    ASSERT_TRUE(wintest::WriteFileBytes(dir + L"setting.ini", own));
    const std::optional<std::wstring> id = ReadString(kCounters, L"ID");
    const std::optional<DWORD> runs = ReadCounter(L"runcount");
    ASSERT_EQ(RunAndWait(wintest::ReleaseInstaller(), L"/S", 120000), std::optional<DWORD>(0));
    EXPECT_EQ(wintest::ReadFileBytes(dir + L"setting.ini"), own);
    EXPECT_EQ(ReadString(kCounters, L"ID"), id);
    EXPECT_EQ(ReadCounter(L"runcount"), runs);
}

namespace {

// The uninstaller's words when the program does not end.
const wchar_t kStillRunning[] =
    L"Program Kolibrio 2 je spuštěn a nepodařilo se jej ukončit.\r\nUkončete jej (v nabídce jeho ikony v oznamovací "
    L"oblasti zvolte Ukončit) a spusťte odinstalaci znovu.";

struct ChildTextSearch {
    DWORD pid;
    const std::wstring* text;
    HWND found;
};

BOOL CALLBACK ChildTextSearchProc(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<ChildTextSearch*>(lp);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner != s->pid || !IsWindowVisible(hwnd) || !wintest::FindChildByText(hwnd, *s->text)) return TRUE;
    s->found = hwnd;
    return FALSE;
}

// A visible top-level window of a process with a child that shows exactly
// this text, or nullptr.
HWND WindowWithChildText(DWORD pid, const std::wstring& text) {
    ChildTextSearch s{pid, &text, nullptr};
    EnumWindows(ChildTextSearchProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// What an installation consists of: its files and their contents, its keys.
struct Installation {
    std::vector<std::string> files;
    std::vector<std::string> contents;
    bool uninstallKey, counters, runValue, startMenu;
    bool operator==(const Installation& o) const {
        return files == o.files && contents == o.contents && uninstallKey == o.uninstallKey &&
               counters == o.counters && runValue == o.runValue && startMenu == o.startMenu;
    }
};

Installation TakeStock() {
    Installation i;
    i.files = wintest::FilesBelow(InstallDir());
    for (const std::string& f : i.files) i.contents.push_back(wintest::ReadFileBytes(InstallDir() + fw::Wide(f)));
    i.uninstallKey = KeyExists(kUninstall);
    i.counters = KeyExists(kCounters);
    i.runValue = ReadString(kRun, L"Kolibrio2").has_value();
    i.startMenu = wintest::FileExists(StartMenuDir() + L"Kolibrio 2.lnk");
    return i;
}

}  // namespace

// An upgrade while the program runs: the running copy is asked to end and
// is gone before its files are replaced.
TEST_F(Release, UpgradeEndsTheRunningProgramFirst) {
    wintest::ChildProcess program;
    ASSERT_TRUE(StartInstalled(program, wintest::kOfflineSettings));
    ASSERT_EQ(RunAndWait(wintest::ReleaseInstaller(), L"/S", 120000), std::optional<DWORD>(0));
    EXPECT_TRUE(program.WaitExit(0)) << "still running after the upgrade";
    EXPECT_EQ(program.ExitCode(), 0u) << "ended by itself, not killed";
    EXPECT_TRUE(wintest::ReadFileBytes(InstallDir() + L"Kolibrio2.exe") ==
                wintest::ReadFileBytes(InstalledKindBuildDir() + L"Kolibrio2.exe"))
        << "the program was not replaced";
}

// A program that does not end (its user-interface thread hangs): the
// installer waits for it, then stops before it has replaced anything. The
// program, let go again, finds the request waiting and ends.
TEST_F(Release, UpgradeReplacesNothingWhileTheProgramDoesNotEnd) {
    wintest::ChildProcess program;
    ASSERT_TRUE(StartInstalled(program, wintest::kOfflineSettings));
    const std::wstring licence = InstallDir() + L"Licence.txt";
    ASSERT_TRUE(wintest::WriteFileBytes(licence, "a file the upgrade would replace"));
    const Installation before = TakeStock();
    ASSERT_TRUE(program.Suspend());
    const DWORD t0 = GetTickCount();
    EXPECT_EQ(RunAndWait(wintest::ReleaseInstaller(), L"/S", 120000), std::optional<DWORD>(2))
        << "the installer stopped";
    const DWORD waited = GetTickCount() - t0;
    EXPECT_GE(waited, 9000u) << "it gave the program its time";
    EXPECT_TRUE(TakeStock() == before);
    EXPECT_TRUE(program.Running());
    program.Resume();
    EXPECT_TRUE(program.WaitExit(10000)) << "the request was waiting for the program";
    EXPECT_EQ(program.ExitCode(), 0u);
    const std::string shipped = wintest::ReadFileBytes(wintest::SourceDir() + L"res\\beside\\Licence.txt");
    ASSERT_TRUE(wintest::WriteFileBytes(licence, shipped));
}

// Removing it through the wizard while the program hangs: the uninstaller
// says why it stops, and the installation stays whole.
TEST_F(Release, UninstallerSaysSoAndRemovesNothingWhileTheProgramDoesNotEnd) {
    wintest::ChildProcess program;
    ASSERT_TRUE(StartInstalled(program, wintest::kOfflineSettings));
    const Installation before = TakeStock();
    ASSERT_TRUE(program.Suspend());

    // Run in place (_?=), so that the process seen is the one that works.
    std::wstring dir = InstallDir();
    dir.pop_back();
    wintest::ChildProcess uninstaller;
    ASSERT_TRUE(uninstaller.StartWithCommandLine(InstallDir() + L"Uninstall.exe", L"_?=" + dir));
    HWND wizard = nullptr, button = nullptr;
    ASSERT_TRUE(wintest::WaitFor(
        [&] {
            wizard = WindowWithChildText(uninstaller.Pid(), L"&Odinstalovat");
            button = wizard ? wintest::FindChildByText(wizard, L"&Odinstalovat") : nullptr;
            return button && IsWindowVisible(button) && IsWindowEnabled(button);
        },
        30000));
    // A click that comes while the wizard still sets its page up is lost:
    // the button is pressed until the wizard goes on.
    HWND box = nullptr;
    DWORD clicked = GetTickCount() - 1000;
    ASSERT_TRUE(wintest::WaitFor(
        [&] {
            if ((box = WindowWithChildText(uninstaller.Pid(), kStillRunning)) != nullptr) return true;
            if (wintest::WindowText(button) == L"&Odinstalovat" && IsWindowEnabled(button) &&
                GetTickCount() - clicked >= 1000) {
                PostMessageW(button, BM_CLICK, 0, 0);
                clicked = GetTickCount();
            }
            return false;
        },
        60000))
        << "the uninstaller's message";
    EXPECT_TRUE(TakeStock() == before) << "changed while it asked";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    // The wizard ends as a stopped one, and the user closes it.
    ASSERT_TRUE(wintest::WaitFor(
        [&] { return wintest::FindChildByText(wizard, L"Odinstalace přerušena") != nullptr; }, 10000));
    ASSERT_TRUE(wintest::ClickButton(wizard, L"Storno"));
    ASSERT_TRUE(uninstaller.WaitExit(10000));
    EXPECT_EQ(uninstaller.ExitCode(), 2u);
    EXPECT_TRUE(TakeStock() == before) << "something was removed";
    EXPECT_TRUE(program.Running());
    program.Resume();
    EXPECT_TRUE(program.WaitExit(10000)) << "the request was waiting for the program";
    EXPECT_EQ(program.ExitCode(), 0u);
}

TEST_F(Release, UninstallerRemovesWhatWasInstalledAndKeepsThePhotos) {
    const std::wstring dir = InstallDir();
    // Photos imported to the default target and, by a user who chose so,
    // into the program's own folder.
    const std::wstring archive = ShellFolder(CSIDL_PERSONAL) + L"My Kolibrio\\2024\\05\\";
    SHCreateDirectoryExW(nullptr, archive.c_str(), nullptr);
    ASSERT_NE(GetFileAttributesW(archive.c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(CreateDirectoryW((dir + L"Foto").c_str(), nullptr));
    ASSERT_TRUE(wintest::WriteFileBytes(archive + L"IMG_0001.jpg", "photo one"));
    ASSERT_TRUE(wintest::WriteFileBytes(dir + L"Foto\\IMG_0002.jpg", "photo two"));

    // The program runs and imports a card: its first photo is placed, the
    // second one's target exists and the program asks before replacing it.
    wintest::Card card;
    if (!card.Ready()) GTEST_SKIP() << "Wine's mount manager gives no drive letter for the card here";
    const std::string a(300 * 1024, 'a');
    ASSERT_TRUE(card.Put(L"a.jpg", a, 1));
    ASSERT_TRUE(card.Put(L"b.jpg", "new", 2));
    const std::wstring target = wintest::MakeTempDir();
    ASSERT_TRUE(wintest::WriteFileBytes(target + L"b.jpg", "old"));
    wintest::ChildProcess program;
    ASSERT_TRUE(StartInstalled(program, wintest::CardImportSettings(target)));
    ASSERT_TRUE(wintest::StartCardImport(program.Pid(), card.Letter()));
    ASSERT_TRUE(wintest::WaitFor([&] { return wintest::OverwriteQuestion(program.Pid()) != nullptr; }, 20000));

    // The uninstaller hands over to a copy of itself outside the folder and
    // ends; the copy's work is seen in its results.
    ASSERT_EQ(RunAndWait(dir + L"Uninstall.exe", L"/S", 60000), std::optional<DWORD>(0));
    const std::vector<std::wstring> shipped = ShippedFiles();
    auto gone = [&] {
        if (wintest::FileExists(dir + L"Uninstall.exe") || KeyExists(kUninstall)) return false;
        if (GetFileAttributesW(StartMenuDir().c_str()) != INVALID_FILE_ATTRIBUTES) return false;
        return true;
    };
    ASSERT_TRUE(wintest::WaitFor(gone, 60000));
    // The program was asked to end and ended by itself; its run stopped as
    // cancelled, with the placed copy whole and nothing half placed.
    ASSERT_TRUE(program.WaitExit(0)) << "the program runs on without its files";
    EXPECT_EQ(program.ExitCode(), 0u);
    EXPECT_EQ(wintest::FilesBelow(target), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    EXPECT_TRUE(wintest::ReadFileBytes(target + L"a.jpg") == a);
    EXPECT_EQ(wintest::ReadFileBytes(target + L"b.jpg"), "old");
    wintest::RemoveTree(target);

    EXPECT_FALSE(wintest::FileExists(dir + L"Kolibrio2.exe"));
    EXPECT_FALSE(wintest::FileExists(dir + L"setting.ini"));
    for (const std::wstring& f : shipped) EXPECT_FALSE(wintest::FileExists(dir + f)) << fw::Utf8(f);
    EXPECT_EQ(GetFileAttributesW((dir + L"skins").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(ReadString(kRun, L"Kolibrio2").has_value());
    EXPECT_FALSE(KeyExists(kCounters));
    EXPECT_FALSE(KeyExists(kVendor));

    EXPECT_EQ(wintest::ReadFileBytes(archive + L"IMG_0001.jpg"), "photo one");
    EXPECT_EQ(wintest::ReadFileBytes(dir + L"Foto\\IMG_0002.jpg"), "photo two");
}
