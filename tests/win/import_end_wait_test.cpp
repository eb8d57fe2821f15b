// A check stuck in the file system (a share that stopped answering) while
// the run waits for it, at its end or before a file whose target the
// stuck copy is to take: Storno, "Ukončit" and the request to end that the
// uninstaller sends to the guard's hidden window each end the run within
// the patience counted from the moment they come, and the copy given up
// never takes its name, not even when its check ends later, be it while
// the program runs its exit. The end of the program cannot be taken back
// within a process, so each case runs in a process of its own: this
// program started again for that case alone.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/Unit1_win.h"
#include "app/TrayIkona_win.h"
#include "framework/Application.h"
#include "framework/Strings.h"
#include "import/ImportRun_win.h"
#include "import/UnitMyDlg_win.h"
#include "import/VerifyCopy_win.h"
#include "import/unitDlgFilecopy_win.h"
#include "settings/Settings.h"
#include "settings/SettingsStore_win.h"
#include "support/ChildProcess.h"
#include "support/ImportScript.h"
#include "support/ImportSettings.h"
#include "support/Questions.h"
#include "support/UiTest.h"
#include "support/WinTest.h"

namespace {

using Names = std::vector<std::string>;

const wchar_t kCaseVariable[] = L"KOLIBRIO_END_CASE";
const char kErrorHead[] = "Během kopírování došlo k chybě:\r\n";
constexpr DWORD kPatienceMs = 1000;

struct EndCase {
    const wchar_t* key;
    const char* what;
    bool sameTarget;  // two files for one target: the second waits in the loop
    bool atExit;      // the stuck check ends only once the process runs its exit
};
const EndCase kCases[] = {
    {L"storno", "Storno during the final wait", false, false},
    {L"exit", "\"Ukončit\" during the final wait", false, false},
    {L"close", "WM_CLOSE to the guard's window during the final wait", false, false},
    {L"storno-target", "Storno while a file waits for the check of its target's copy", true, false},
    {L"storno-exit", "Storno during the final wait, the check ending at the process's exit", false, true},
};

using wintest::Pattern;

// The check of a.jpg's copy stops before its read-back until released, as
// on a share that stopped answering; a wait that outlasts the test's own
// bound lets it go, so that a run that waits for it ends and is seen.
HANDLE gStuck = nullptr, gRelease = nullptr;
wchar_t gStuckCopy[1024];  // plain memory: read while the process runs its exit
void StuckReadBack(const std::string& path) {
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, gStuckCopy, 1024);
    SetEvent(gStuck);
    WaitForSingleObject(gRelease, 30000);
}

// Registered before any object of the program is made, so that it runs
// after every one of them is destroyed: the stuck check ends there, and
// the process's exit waits until its copy has gone (or ends with code 4).
bool gReleaseAtExit = false;
void ReleaseAtExit() {
    if (!gReleaseAtExit) return;
    SetEvent(gRelease);
    for (int k = 0; k < 1000 && GetFileAttributesW(gStuckCopy) != INVALID_FILE_ATTRIBUTES; ++k) Sleep(10);
    if (GetFileAttributesW(gStuckCopy) != INVALID_FILE_ATTRIBUTES) _exit(4);
}
__attribute__((constructor(101))) void RegisterReleaseAtExit() { std::atexit(ReleaseAtExit); }

HWND GuardWindow() {
    for (HWND w = nullptr; (w = FindWindowExW(HWND_MESSAGE, w, L"Kolibrio2_TB-Venor", nullptr)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == GetCurrentProcessId()) return w;
    }
    return nullptr;
}

const EndCase* ChosenCase() {
    wchar_t key[32] = {};
    if (!GetEnvironmentVariableW(kCaseVariable, key, 32)) return nullptr;
    for (const EndCase& c : kCases)
        if (std::wstring(key) == c.key) return &c;
    return nullptr;
}

}  // namespace

TEST(ImportEndDuringAWait, EachEndStopsTheWaitAndTheCopyNeverTakesItsName) {
    wchar_t self[MAX_PATH] = {};
    ASSERT_TRUE(GetModuleFileNameW(nullptr, self, MAX_PATH));
    for (const EndCase& c : kCases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(SetEnvironmentVariableW(kCaseVariable, c.key));
        wintest::ChildProcess child;
        ASSERT_TRUE(child.Start(self, {L"--gtest_filter=ImportEndDuringAWait.DISABLED_OneEnd",
                                       L"--gtest_also_run_disabled_tests", L"--gtest_color=no"}));
        EXPECT_TRUE(child.WaitExit(120000)) << "the case's process never ended";
        EXPECT_EQ(child.ExitCode(), 0u) << "see the case's own output above (4: its copy never went at exit)";
    }
    SetEnvironmentVariableW(kCaseVariable, nullptr);
}

// One case, in a process of its own (started by the test above).
TEST(ImportEndDuringAWait, DISABLED_OneEnd) {
    const EndCase* c = ChosenCase();
    ASSERT_NE(c, nullptr) << "run by the test above, which names the case";
    SCOPED_TRACE(c->what);
    wintest::InitApp();
    const std::wstring root = wintest::MakeTempDir(), src = root + L"card\\", dst = root + L"archive\\";
    CreateDirectoryW(src.c_str(), nullptr);
    CreateDirectoryW(dst.c_str(), nullptr);
    // The real main window with its guard, and the progress window's Storno;
    // their questions are answered Ano.
    wintest::WriteFileBytes(root + L"setting.ini", "[Options]\r\nAutoUpdate=0\r\n");
    SetSettingsFolder(fw::Utf8(root));
    SetMessageDlgHook(wintest::RecordQuestion);
    wintest::gAnswer = 6;
    TTrayIkona::SetShellNotify(wintest::IgnoreShell);
    TForm1 form;
    ASSERT_FALSE(form.HandedOver());
    TDlgFilecopy progress;

    wintest::UsePlainImportSettings(dst);
    TSettings& s = Settings();
    if (c->sameTarget) s.CurrentMask = "same.%file_ext%";
    s.VerifyCopy = true;
    ASSERT_TRUE(wintest::WriteFileBytes(src + L"a.jpg", Pattern(3000, 1)));
    if (c->sameTarget) {
        ASSERT_TRUE(wintest::WriteFileBytes(src + L"b.jpg", Pattern(4000, 2)));
        // b.jpg after a.jpg
        HANDLE b = CreateFileW((src + L"b.jpg").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER t;
        t.LowPart = now.dwLowDateTime;
        t.HighPart = now.dwHighDateTime;
        t.QuadPart += 36000000000ULL;  // an hour
        const FILETIME later{t.LowPart, t.HighPart};
        SetFileTime(b, nullptr, nullptr, &later);
        CloseHandle(b);
    }
    gStuck = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    gRelease = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetBeforeReadBack(StuckReadBack);
    SetCheckPatienceForTests(kPatienceMs);

    HWND guard = GuardWindow();
    ASSERT_NE(guard, nullptr);
    wintest::ScriptedImportUi ui;
    ui.answers = {7};  // Ne, should b.jpg's target be asked about: it is not to be copied
    DWORD askedAt = 0;
    ui.onProcessMessages = [&] {
        // The run services the program's real events, where the request
        // to end reaches the guard's window.
        fw::App().ProcessMessages();
        if (askedAt || WaitForSingleObject(gStuck, 0) != WAIT_OBJECT_0) return;
        askedAt = GetTickCount();
        const std::wstring key = c->key;
        if (key == L"exit") {
            form.MenuUkoncitClick();
        } else if (key == L"close") {
            PostMessageW(guard, WM_CLOSE, 0, 0);
        } else {
            progress.ButtonStornoClick();
        }
    };
    StartImport(fw::Utf8(src), ui);
    const DWORD ended = GetTickCount();

    ASSERT_NE(askedAt, 0u) << "the check never got stuck";
    EXPECT_LT(ended - askedAt, kPatienceMs + 4000) << "the run waited past its patience";
    EXPECT_TRUE(ImportJob().Cancelled);
    if (std::wstring(c->key) == L"exit" || std::wstring(c->key) == L"close") {
        EXPECT_TRUE(fw::App().Terminated());
    }
    for (const std::string& name : wintest::FilesBelow(dst))
        EXPECT_TRUE(name != "a.jpg" && name != "same.jpg") << "a copy took its name: " << name;
    // The error box, then the notice of the cancelled run; nothing asked.
    const std::string results = "Kolibrio2 - Výsledky kopírování";
    ASSERT_EQ(ui.Captions(), (Names{results, results}));
    EXPECT_EQ(ui.messages[0].text.rfind(std::string(kErrorHead) + "a.jpg: Kopii nebylo možné ověřit", 0), 0u)
        << ui.messages[0].text;
    EXPECT_NE(ui.messages.back().text.find("Zkopírováno souborů: 0 (0 B), přeskočeno: 0, nezdařilo se: 1."),
              std::string::npos)
        << ui.messages.back().text;

    if (c->atExit) {
        // The check ends only once everything here is gone.
        gReleaseAtExit = true;
        return;
    }
    // The check ends now: its copy goes instead of taking its name.
    SetEvent(gRelease);
    EXPECT_TRUE(wintest::WaitFor([&] { return wintest::FilesBelow(dst).empty(); }, 10000))
        << wintest::FilesBelow(dst).size();
    SetBeforeReadBack(nullptr);
    SetMessageDlgHook(nullptr);
    TTrayIkona::SetShellNotify(nullptr);
    SetSettingsFolder("");
    wintest::RemoveTree(root);
}
