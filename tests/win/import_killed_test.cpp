// A run ended by force (the process killed, the power cut) leaves its
// temporary copy in the archive, and no record of a file that is not
// there. The next run imports that file, removes the leftover and says so;
// the real program, a card announced as the system does.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/Strings.h"
#include "import/ImportHistory.h"
#include "support/CardImport.h"
#include "support/RunningProgram.h"
#include "support/UiTest.h"
#include "support/WinTest.h"
#include "support/WineDrive.h"

namespace {

const wchar_t kResults[] = L"Kolibrio2 - Výsledky kopírování";

std::vector<std::wstring> PartFiles(const std::wstring& folder) {
    return wintest::NamesMatching(folder + L"~kolibrio*.part");
}

TEST(ImportKilled, TheNextRunRemovesTheTemporaryCopy) {
    const std::wstring card = wintest::MakeTempDir();
    const wchar_t letter = wintest::FreeDriveLetter();
    ASSERT_NE(letter, 0);
    ASSERT_TRUE(wintest::DefineWineDrive(letter, card, DRIVE_REMOVABLE));
    CreateDirectoryW((card + L"DCIM").c_str(), nullptr);
    // A long video, so that the copy is under way when the process is
    // killed: sparse, so it costs the test no disk and no time to make.
    const std::wstring video = card + L"DCIM\\MVI_0001.jpg";
    HANDLE f = CreateFileW(video.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = 300LL << 20;
    SetFilePointerEx(f, size, nullptr, FILE_BEGIN);
    ASSERT_TRUE(SetEndOfFile(f));
    CloseHandle(f);

    // Both programs run from one folder: the portable program's history of
    // imports lies beside its settings.
    const std::wstring archive = wintest::MakeTempDir(), program = wintest::MakeTempDir();
    {
        wintest::RunningProgram first(true, "", archive, program);
        ASSERT_TRUE(wintest::StartCardImport(first.Process().Pid(), letter));
        ASSERT_TRUE(wintest::WaitFor([&] { return !PartFiles(archive).empty(); }, 20000)) << "the copy never began";
        first.Kill();
    }
    ASSERT_EQ(PartFiles(archive).size(), 1u) << "the killed copy stays behind";
    EXPECT_FALSE(wintest::FileExists(archive + L"MVI_0001.jpg"));
    {
        // The history knows nothing of the file that is not in the archive.
        THistoryError error;
        auto history = TImportHistory::Open(fw::Utf8(program + L"import_history.db"), error);
        ASSERT_TRUE(history) << error.Message;
        EXPECT_EQ(history->Count().value_or(-1), 0);
    }

    // The card now holds a small photo besides.
    ASSERT_TRUE(wintest::WriteFileBytes(card + L"DCIM\\IMG_0002.jpg", std::string(5000, 'p')));
    {
        wintest::RunningProgram second(true, "", archive, program);
        ASSERT_TRUE(wintest::StartCardImport(second.Process().Pid(), letter));
        HWND box = nullptr;
        ASSERT_TRUE(wintest::WaitFor([&] { return (box = second.Visible(kResults)) != nullptr; }, 60000));
        EXPECT_NE(wintest::FindChildByText(box, L"Kopírování proběhlo úspěšně.\r\n\r\n"
                                                L"Zkopírováno souborů: 2 (300,0 MB), přeskočeno: 0, nezdařilo se: 0.\r\n"
                                                L"Smazáno dočasných souborů z dřívějšího přerušeného kopírování: 1."),
                  nullptr);
        EXPECT_TRUE(PartFiles(archive).empty());
        EXPECT_EQ(wintest::ReadFileBytes(archive + L"IMG_0002.jpg"), std::string(5000, 'p'));
        WIN32_FILE_ATTRIBUTE_DATA data{};
        ASSERT_TRUE(GetFileAttributesExW((archive + L"MVI_0001.jpg").c_str(), GetFileExInfoStandard, &data));
        EXPECT_EQ(data.nFileSizeLow, 300u << 20) << "the next run imports it whole";
    }
    wintest::RemoveWineDrive(letter);
    wintest::RemoveTree(card);
    wintest::RemoveTree(archive);
    wintest::RemoveTree(program);
}

}  // namespace
