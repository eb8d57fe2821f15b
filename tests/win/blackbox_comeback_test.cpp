// A card that comes back, through the real program's windows: the same
// card inserted twice, then with one photo changed under an old name. The
// confirmation window says what is new, the second import copies nothing
// and asks nothing, and "Ponechat oba" in the real question keeps both.
#include <windows.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "framework/Strings.h"
#include "support/ProgramRun.h"
#include "support/RunningProgram.h"
#include "support/UiTest.h"
#include "support/WinTest.h"
#include "support/WineDrive.h"

namespace {

const wchar_t kConfirm[] = L"Kolibrio2 - Byl vložen fotoaparát";
const wchar_t kResults[] = L"Kolibrio2 - Výsledky kopírování";
const wchar_t kOverwrite[] = L"Kolibrio2 - Potvrdit nahrazení souboru";

class BlackboxComeback : public ::testing::Test {
protected:
    void SetUp() override {
        card_ = wintest::MakeTempDir();
        letter_ = wintest::FreeDriveLetter();
        ASSERT_NE(letter_, 0);
        CreateDirectoryW((card_ + L"DCIM").c_str(), nullptr);
        for (int k = 1; k <= 3; ++k)
            ASSERT_TRUE(wintest::WriteFileBytes(card_ + L"DCIM\\IMG_" + std::to_wstring(k) + L".jpg",
                                                std::string(4000 + k, static_cast<char>('a' + k))));
        ASSERT_TRUE(wintest::DefineWineDrive(letter_, card_, DRIVE_REMOVABLE));
    }
    void TearDown() override {
        wintest::RemoveWineDrive(letter_);
        wintest::RemoveTree(card_);
    }
    // The card arrives; the confirmation window's line is returned and Ano
    // pressed.
    std::wstring Insert(wintest::RunningProgram& p) {
        // An arrival while the previous run still lets go of its history
        // (after its result box) is not taken, as a second card is not; on
        // a slow machine that takes a while, and the user inserts the card
        // again.
        HWND confirm = nullptr;
        for (int attempt = 0; attempt < 3 && !confirm; ++attempt) {
            DWORD_PTR result = 0;
            p.SendVolume(DBT_DEVICEARRIVAL, letter_, result, 300);  // the import runs inside the handler
            wintest::WaitFor([&] { return (confirm = p.Visible(kConfirm)) != nullptr; }, 10000);
        }
        EXPECT_NE(confirm, nullptr) << "no confirmation after three arrivals";
        if (!confirm) return {};
        const std::wstring line = FindLine(confirm);
        wintest::ClickButton(confirm, L"Ano");
        return line;
    }
    // The text of a control anywhere in the window that begins like the
    // history's line.
    static std::wstring FindLine(HWND window) {
        std::wstring found;
        EnumChildWindows(window, LineOf, reinterpret_cast<LPARAM>(&found));
        return found;
    }
    static BOOL CALLBACK LineOf(HWND child, LPARAM lp) {
        const std::wstring text = wintest::ControlText(child);
        if (text.rfind(L"Nových souborů:", 0) != 0 && text.rfind(L"Všechny soubory", 0) != 0) return TRUE;
        *reinterpret_cast<std::wstring*>(lp) = text;
        return FALSE;
    }
    // Waits for the result box, returns whether it says text, and closes it.
    static bool ResultSays(wintest::RunningProgram& p, const std::wstring& text) {
        HWND box = nullptr;
        EXPECT_TRUE(wintest::WaitFor([&] { return (box = wintest::FindMessageBox(p.Process().Pid(), kResults)) != nullptr; },
                                     15000));
        if (!box) return false;
        const bool says = wintest::HasChildText(box, text);
        wintest::ClickButton(box, L"&OK");
        EXPECT_TRUE(wintest::WaitFor([&] { return p.Visible(kResults) == nullptr; }, 5000));
        return says;
    }

    std::wstring card_;
    wchar_t letter_ = 0;
};

TEST_F(BlackboxComeback, TheSameCardTwiceThenAChangedPhotoKeptBeside) {
    wintest::RunningProgram p(true);
    EXPECT_EQ(Insert(p), L"Nových souborů: 3 (11,7 kB), již v archivu: 0");
    EXPECT_TRUE(ResultSays(p, L"Kopírování proběhlo úspěšně.\r\n\r\n"
                              L"Zkopírováno souborů: 3 (11,7 kB), přeskočeno: 0, nezdařilo se: 0."));

    // The same card again: nothing to copy, nothing to ask, and no run that
    // counts zeros.
    EXPECT_EQ(Insert(p), L"Všechny soubory z karty už jsou v archivu.");
    EXPECT_TRUE(ResultSays(p, L"Nic nebylo zkopírováno: všechny soubory z karty (3) už jsou v archivu."));
    EXPECT_EQ(p.Visible(kOverwrite), nullptr);

    // A photo edited in the camera keeps its name but is another file: the
    // question comes, and "Ponechat oba" keeps both.
    ASSERT_TRUE(wintest::WriteFileBytes(card_ + L"DCIM\\IMG_2.jpg", std::string(5000, 'x')));
    EXPECT_EQ(Insert(p), L"Nových souborů: 1 (4,9 kB), již v archivu: 2");
    HWND question = nullptr;
    ASSERT_TRUE(wintest::WaitFor([&] { return (question = p.Visible(kOverwrite)) != nullptr; }, 10000));
    ASSERT_TRUE(wintest::WaitFor([&] { return wintest::HasChildText(question, L"Ponechat oba"); }, 5000));
    for (const wchar_t* button : {L"&Ano", L"&Ne", L"Z&rušit", L"Ne pro vše", L"Ano pro vše"})
        EXPECT_TRUE(wintest::HasChildText(question, button)) << fw::Utf8(button);
    ASSERT_TRUE(wintest::ClickButton(question, L"Ponechat oba"));
    EXPECT_TRUE(ResultSays(p, L"Kopírování proběhlo úspěšně.\r\n\r\n"
                              L"Zkopírováno souborů: 1 (4,9 kB), přeskočeno: 0, nezdařilo se: 0, již v archivu: 2."));
    EXPECT_EQ(wintest::ReadFileBytes(p.Target() + L"IMG_2.jpg"), std::string(4002, 'c'));
    EXPECT_EQ(wintest::ReadFileBytes(p.Target() + L"IMG_2 (2).jpg"), std::string(5000, 'x'));
    EXPECT_EQ(wintest::FilesBelow(p.Target()).size(), 4u);
}

// The archive moved to a new, empty folder (the old disk failed): the old
// card goes into it whole, and there it is known from then on.
TEST_F(BlackboxComeback, ANewEmptyTargetFolderGetsTheWholeOldCard) {
    const std::wstring programFolder = wintest::MakeTempDir();
    {
        wintest::RunningProgram p(true, "", L"", programFolder);
        EXPECT_EQ(Insert(p), L"Nových souborů: 3 (11,7 kB), již v archivu: 0");
        EXPECT_TRUE(ResultSays(p, L"Kopírování proběhlo úspěšně.\r\n\r\n"
                                  L"Zkopírováno souborů: 3 (11,7 kB), přeskočeno: 0, nezdařilo se: 0."));
        EXPECT_EQ(wintest::FilesBelow(p.Target()).size(), 3u);
    }
    const std::wstring fresh = wintest::MakeTempDir();
    {
        wintest::RunningProgram p(true, "", fresh, programFolder);
        EXPECT_EQ(Insert(p), L"Nových souborů: 3 (11,7 kB), již v archivu: 0");
        EXPECT_TRUE(ResultSays(p, L"Kopírování proběhlo úspěšně.\r\n\r\n"
                                  L"Zkopírováno souborů: 3 (11,7 kB), přeskočeno: 0, nezdařilo se: 0."));
        for (int k = 1; k <= 3; ++k)
            EXPECT_EQ(wintest::ReadFileBytes(fresh + L"IMG_" + std::to_wstring(k) + L".jpg"),
                      std::string(4000 + k, static_cast<char>('a' + k)));
        EXPECT_EQ(Insert(p), L"Všechny soubory z karty už jsou v archivu.");
        EXPECT_TRUE(ResultSays(p, L"Nic nebylo zkopírováno: všechny soubory z karty (3) už jsou v archivu."));
    }
    wintest::RemoveTree(fresh);
    wintest::RemoveTree(programFolder);
}

// Another card of the same camera (the same names) put in while the
// confirmation waits: the card in hand is copied and recorded as what it
// is. Then each card twice more: every photo of both cards is in the
// archive exactly once.
TEST_F(BlackboxComeback, ACardSwappedWhileTheConfirmationIsOpen) {
    const std::wstring other = wintest::MakeTempDir();
    CreateDirectoryW((other + L"DCIM").c_str(), nullptr);
    for (int k = 1; k <= 3; ++k)
        ASSERT_TRUE(wintest::WriteFileBytes(other + L"DCIM\\IMG_" + std::to_wstring(k) + L".jpg",
                                            std::string(5000 + k, static_cast<char>('A' + k))));
    wintest::RunningProgram p(true);
    DWORD_PTR result = 0;
    p.SendVolume(DBT_DEVICEARRIVAL, letter_, result, 300);
    HWND confirm = nullptr;
    ASSERT_TRUE(wintest::WaitFor([&] { return (confirm = p.Visible(kConfirm)) != nullptr; }, 10000));
    EXPECT_EQ(FindLine(confirm), L"Nových souborů: 3 (11,7 kB), již v archivu: 0");
    ASSERT_TRUE(wintest::DefineWineDrive(letter_, other, DRIVE_REMOVABLE));
    wintest::ClickButton(confirm, L"Ano");
    EXPECT_TRUE(ResultSays(p, L"Kopírování proběhlo úspěšně.\r\n\r\n"
                              L"Zkopírováno souborů: 3 (14,7 kB), přeskočeno: 0, nezdařilo se: 0."));
    // A different photo under a taken name is kept beside it.
    auto finish = [&p] {
        for (int round = 0; round < 10; ++round) {
            HWND question = nullptr, box = nullptr;
            wintest::WaitFor([&] {
                question = p.Visible(kOverwrite);
                box = wintest::FindMessageBox(p.Process().Pid(), kResults);
                return question || box;
            }, 15000);
            if (box) {
                wintest::ClickButton(box, L"&OK");
                wintest::WaitFor([&] { return p.Visible(kResults) == nullptr; }, 5000);
                return;
            }
            if (!question) break;
            ASSERT_TRUE(wintest::WaitFor([&] { return wintest::HasChildText(question, L"Ponechat oba"); }, 5000));
            wintest::ClickButton(question, L"Ponechat oba");
            wintest::WaitFor([&] { return !IsWindow(question) || !IsWindowVisible(question); }, 5000);
        }
        ADD_FAILURE() << "the run did not end";
    };
    for (const std::wstring& card : {card_, other, card_, other}) {
        ASSERT_TRUE(wintest::DefineWineDrive(letter_, card, DRIVE_REMOVABLE));
        Insert(p);
        finish();
    }
    std::multiset<std::string> held, shot;
    for (const std::string& name : wintest::FilesBelow(p.Target()))
        held.insert(wintest::ReadFileBytes(p.Target() + fw::Wide(name)));
    for (int k = 1; k <= 3; ++k) {
        shot.insert(std::string(4000 + k, static_cast<char>('a' + k)));
        shot.insert(std::string(5000 + k, static_cast<char>('A' + k)));
    }
    EXPECT_EQ(held, shot);
    wintest::RemoveTree(other);
}

}  // namespace
