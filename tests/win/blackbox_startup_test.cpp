// Kolibrio2.exe as a process: it starts hidden in the tray and counts its
// start in the registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>

#include "support/ChildProcess.h"
#include "support/WinTest.h"

namespace {

const wchar_t* const kCounters = wintest::kCountersKey;

std::optional<DWORD> RunCount() {
    return wintest::ReadDword(kCounters, L"runcount");
}

void SetRunCount(std::optional<DWORD> value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kCounters, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (value)
        RegSetValueExW(key, L"runcount", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&*value), sizeof(DWORD));
    else
        RegDeleteValueW(key, L"runcount");
    RegCloseKey(key);
}

struct WindowSearch {
    DWORD pid;
    const wchar_t* className;
    int visible = 0;
    HWND found = nullptr;
};

BOOL CALLBACK Scan(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<WindowSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid) return TRUE;
    if (IsWindowVisible(hwnd)) ++s->visible;
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 63);
    if (s->className && !lstrcmpW(cls, s->className)) s->found = hwnd;
    return TRUE;
}

WindowSearch ScanProcess(DWORD pid, const wchar_t* className) {
    WindowSearch s{pid, className};
    EnumWindows(Scan, reinterpret_cast<LPARAM>(&s));
    return s;
}

// A copy of the program in a folder of its own, as an installation has it,
// with the online check switched off so that no test reaches for the
// vendor's host.
class InstalledProgram {
public:
    InstalledProgram() {
        folder_ = wintest::MakeTempDir();
        std::wstring build = wintest::BuildDir();
        CopyFileW((build + L"Kolibrio2.exe").c_str(), (folder_ + L"Kolibrio2.exe").c_str(), FALSE);
        wintest::WriteFileBytes(folder_ + L"setting.ini", "[Options]\r\nAutoUpdate=0\r\n");
    }
    ~InstalledProgram() { wintest::RemoveTree(folder_); }
    std::wstring Exe() const { return folder_ + L"Kolibrio2.exe"; }

private:
    std::wstring folder_;
};

// Ends the program the way a log-off does.
void EndProgram(wintest::ChildProcess& program) {
    HWND main = wintest::FindProcessWindow(program.Pid(), L"Kolibrio 2 - nastavení", false);
    ASSERT_NE(main, nullptr);
    DWORD_PTR result = 0;
    SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
    EXPECT_TRUE(result);
    SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, 5000, &result);
    ASSERT_TRUE(program.WaitExit(10000));
    EXPECT_EQ(program.ExitCode(), 0u);
}

}  // namespace

TEST(Startup, SitsHiddenInTheTrayAndCountsTheStart) {
    SetRunCount(5);
    InstalledProgram installed;
    wintest::ChildProcess program;
    ASSERT_TRUE(program.Start(installed.Exe(), {}));
    ASSERT_TRUE(wintest::WaitFor([&] { return ScanProcess(program.Pid(), L"TIconManager").found != nullptr; }, 20000))
        << "the tray manager's hidden window";
    ASSERT_TRUE(wintest::WaitFor([] { return RunCount() == 6u; }, 5000));
    wintest::Pump(1000);
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(ScanProcess(program.Pid(), nullptr).visible, 0) << "no visible top-level window";
    EndProgram(program);
}

TEST(Startup, StartsWithoutTheCounterAndNeverCreatesIt) {
    SetRunCount(std::nullopt);
    InstalledProgram installed;
    wintest::ChildProcess program;
    ASSERT_TRUE(program.Start(installed.Exe(), {}));
    ASSERT_TRUE(wintest::WaitFor([&] { return ScanProcess(program.Pid(), L"TIconManager").found != nullptr; }, 20000));
    wintest::Pump(500);
    EXPECT_TRUE(program.Running());
    EXPECT_FALSE(RunCount().has_value());
    EndProgram(program);
}
