// Two imports into one folder at once (two sessions of Windows, two
// computers writing to a shared archive; here two processes of this
// program): the removal of leftovers at the start of the second run takes
// only copies whose owner is gone, never the first run's live copy, though
// that copy, complete and waiting for its check, carries the card file's
// old time.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "framework/Strings.h"
#include "import/CopyOwner_win.h"
#include "import/ImportRun_win.h"
#include "import/VerifyCopy_win.h"
#include "settings/Settings.h"
#include "support/ChildProcess.h"
#include "support/ImportScript.h"
#include "support/ImportSettings.h"
#include "support/UiTest.h"
#include "support/WinTest.h"

namespace {

using Names = std::vector<std::string>;

const wchar_t kArchiveVariable[] = L"KOLIBRIO_SWEEP_ARCHIVE";
const wchar_t kCardVariable[] = L"KOLIBRIO_SWEEP_CARD";

using wintest::Pattern;

// A photo taken long ago: its copy gets this time before it takes its name.
void PutOld(const std::wstring& path, const std::string& bytes) {
    ASSERT_TRUE(wintest::WriteFileBytes(path, bytes));
    SYSTEMTIME st{2009, 6, 0, 1, 8, 0, 0, 0};
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    HANDLE f = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    SetFileTime(f, &ft, nullptr, &ft);
    CloseHandle(f);
}

std::wstring Variable(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    return GetEnvironmentVariableW(name, value, MAX_PATH) ? value : L"";
}

void SetUpRun(const std::wstring& archive) {
    wintest::InitApp();
    wintest::UsePlainImportSettings(archive);
    Settings().VerifyCopy = true;
    ImportJob() = TImportJob();
}

std::wstring gArchive, gCard2;
std::atomic<DWORD> gSecondExit{STILL_ACTIVE};
std::atomic<int> gParts{-1};

// a.jpg's copy is complete, waiting for its check: now a leftover of a run
// whose owner is gone appears, and a second import into the archive runs
// from start to end in another process.
void SecondImportMeanwhile(const std::string&) {
    if (gSecondExit != STILL_ACTIVE) return;
    // This process's number with another start: a process gone long ago
    // that had the number this one has now.
    TCopyOwner gone = ThisCopyOwner();
    gone.started ^= 1;
    const std::string leftover = TemporaryTargetName(fw::Utf8(gArchive) + "x.jpg", 5, gone);
    PutOld(fw::Wide(leftover), "left by a killed run");
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SetEnvironmentVariableW(kArchiveVariable, gArchive.c_str());
    SetEnvironmentVariableW(kCardVariable, gCard2.c_str());
    wintest::ChildProcess second;
    if (!second.Start(self, {L"--gtest_filter=ImportsSideBySide.DISABLED_SecondImport",
                             L"--gtest_also_run_disabled_tests", L"--gtest_color=no"}))
        return;
    if (second.WaitExit(60000)) gSecondExit = second.ExitCode();
    gParts = static_cast<int>(wintest::NamesMatching(gArchive + L"~kolibrio*.part").size());
}

}  // namespace

TEST(ImportsSideBySide, NeitherLosesACopyToTheOthersSweep) {
    const std::wstring root = wintest::MakeTempDir();
    const std::wstring card1 = root + L"card1\\";
    gArchive = root + L"archive\\";
    gCard2 = root + L"card2\\";
    for (const std::wstring& folder : {card1, gArchive, gCard2}) CreateDirectoryW(folder.c_str(), nullptr);
    const std::string a = Pattern(3000, 1), b = Pattern(5000, 2);
    PutOld(card1 + L"a.jpg", a);
    PutOld(gCard2 + L"b.jpg", b);
    SetUpRun(gArchive);
    SetBeforeReadBack(SecondImportMeanwhile);
    wintest::ScriptedImportUi ui;
    StartImport(fw::Utf8(card1), ui);
    SetBeforeReadBack(nullptr);

    EXPECT_EQ(gSecondExit, 0u) << "the second import's own checks failed: see its output above";
    EXPECT_EQ(gParts, 1) << "after the second run: the first run's copy only";
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Kopírování proběhlo úspěšně.\r\n\r\n"
                                   "Zkopírováno souborů: 1 (2,9 kB), přeskočeno: 0, nezdařilo se: 0.");
    EXPECT_EQ(wintest::FilesBelow(gArchive), (Names{"a.jpg", "b.jpg"}));
    EXPECT_TRUE(wintest::ReadFileBytes(gArchive + L"a.jpg") == a);
    EXPECT_TRUE(wintest::ReadFileBytes(gArchive + L"b.jpg") == b);
    wintest::RemoveTree(root);
}

// The second import, in a process of its own (started by the test above
// while the first run's copy waits for its check).
TEST(ImportsSideBySide, DISABLED_SecondImport) {
    const std::wstring archive = Variable(kArchiveVariable), card = Variable(kCardVariable);
    ASSERT_FALSE(archive.empty()) << "run by the test above, which names the folders";
    const Names before = wintest::FilesBelow(archive);
    ASSERT_EQ(before.size(), 2u) << "the first run's copy and the leftover";
    SetUpRun(archive);
    wintest::ScriptedImportUi ui;
    StartImport(fw::Utf8(card), ui);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Kopírování proběhlo úspěšně.\r\n\r\n"
                                   "Zkopírováno souborů: 1 (4,9 kB), přeskočeno: 0, nezdařilo se: 0.\r\n"
                                   "Smazáno dočasných souborů z dřívějšího přerušeného kopírování: 1.");
    EXPECT_TRUE(wintest::FileExists(archive + L"b.jpg"));
}
