// Another program asks the running Kolibrio2.exe to end, as the uninstaller
// and an installer run over an installation do: WM_CLOSE to the hidden
// window of its single-instance guard, found by its class. The program ends
// as "Ukončit" ends it, without the question, whatever it is doing, and an
// import in progress leaves nothing half placed.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/CardImport.h"
#include "support/ChildProcess.h"
#include "support/ProgramRun.h"
#include "support/WinTest.h"

namespace {

const wchar_t kGuardClass[] = L"Kolibrio2_TB-Venor";
const wchar_t kMainWindow[] = L"Kolibrio 2 - nastavení";

// A copy of the program in a folder of its own.
class ProgramFolder {
public:
    explicit ProgramFolder(const std::string& settings) : folder_(wintest::MakeTempDir()) {
        CopyFileW((wintest::BuildDir() + L"Kolibrio2.exe").c_str(), Exe().c_str(), FALSE);
        wintest::WriteFileBytes(Ini(), settings);
    }
    ~ProgramFolder() { wintest::RemoveTree(folder_); }
    std::wstring Exe() const { return folder_ + L"Kolibrio2.exe"; }
    std::wstring Ini() const { return folder_ + L"setting.ini"; }

private:
    std::wstring folder_;
};

// Started and ready: the last of its five windows exists.
bool Start(wintest::ChildProcess& program, const ProgramFolder& folder) {
    return program.Start(folder.Exe(), {}) &&
           wintest::WaitFor([&] { return wintest::FindProcessWindow(program.Pid(), L"Dialog", false) != nullptr; },
                            20000) &&
           WaitForInputIdle(program.Handle(), 5000) == 0;
}

// The guard's hidden window of a process, as a program outside finds it.
HWND GuardWindow(DWORD pid) {
    for (HWND w = nullptr; (w = FindWindowExW(HWND_MESSAGE, w, kGuardClass, nullptr)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid) return w;
    }
    return nullptr;
}

// Asks as the uninstaller does; true when the program then ended by itself
// with exit code 0.
bool AskToEnd(wintest::ChildProcess& program) {
    HWND guard = GuardWindow(program.Pid());
    if (!guard || !PostMessageW(guard, WM_CLOSE, 0, 0)) {
        ADD_FAILURE() << "no hidden window of the guard to ask";
        return false;
    }
    return program.WaitExit(10000) && program.ExitCode() == 0;
}

}  // namespace

TEST(EndRequest, TheProgramEndsFromWhatItIsDoing) {
    const std::string settings = "[Mask]\r\nPath=C:\\Foto\\\r\n[Options]\r\nAutoUpdate=0\r\n";
    struct Case {
        const char* state;
        // Brings the running program into the state; then, after its end,
        // checks what stayed behind.
        std::function<void(wintest::ChildProcess&, const ProgramFolder&)> enter, after;
    };
    wintest::ChildProcess second;
    std::string before;
    const Case cases[] = {
        {"idle in the tray", [](auto&, auto&) {}, [](auto&, auto&) {}},
        {"settings window open with an edit not saved",
         [&](wintest::ChildProcess& p, const ProgramFolder& f) {
             before = wintest::ReadFileBytes(f.Ini());
             HWND main = wintest::FindProcessWindow(p.Pid(), kMainWindow, false);
             ASSERT_NE(main, nullptr);
             ShowWindow(main, SW_SHOWNORMAL);
             HWND path = wintest::FindControlByText(main, L"C:\\Foto\\");
             ASSERT_NE(path, nullptr);
             SendMessageW(path, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"C:\\Jinam\\"));
             ASSERT_NE(wintest::FindControlByText(main, L"C:\\Jinam\\"), nullptr);
         },
         [&](auto&, const ProgramFolder& f) {
             EXPECT_EQ(wintest::ReadFileBytes(f.Ini()), before) << "nothing is saved at the end";
         }},
        {"its answer to a second start open",
         [&](wintest::ChildProcess& p, const ProgramFolder& f) {
             ASSERT_TRUE(second.Start(f.Exe(), {}));
             ASSERT_TRUE(wintest::WaitFor([&] { return wintest::FindMessageBox(p.Pid(), L"Kolibrio2") != nullptr; },
                                          15000));
         },
         [&](auto&, auto&) {
             // The box went with the program, and the copy waiting for it
             // was let go.
             EXPECT_TRUE(second.WaitExit(12000));
             EXPECT_EQ(second.ExitCode(), 0u);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        ProgramFolder folder(settings);
        wintest::ChildProcess program;
        ASSERT_TRUE(Start(program, folder));
        c.enter(program, folder);
        EXPECT_TRUE(AskToEnd(program));
        c.after(program, folder);
    }
}

// The card's first photo is placed, the second one's target exists and the
// program asks before replacing it: then the request comes. The run ends as
// cancelled, the placed copy stays whole, the existing file stays as it
// was, and no temporary copy is left.
TEST(EndRequest, AnImportInProgressEndsAsCancelledLeavingNothingHalfPlaced) {
    wintest::Card card;
    if (!card.Ready()) GTEST_SKIP() << "Wine's mount manager gives no drive letter for the card here";
    const std::string a(300 * 1024, 'a');
    ASSERT_TRUE(card.Put(L"a.jpg", a, 1));
    ASSERT_TRUE(card.Put(L"b.jpg", "new", 2));
    const std::wstring target = wintest::MakeTempDir();
    ASSERT_TRUE(wintest::WriteFileBytes(target + L"b.jpg", "old"));

    ProgramFolder folder(wintest::CardImportSettings(target));
    wintest::ChildProcess program;
    ASSERT_TRUE(Start(program, folder));
    ASSERT_TRUE(wintest::StartCardImport(program.Pid(), card.Letter()));
    ASSERT_TRUE(wintest::WaitFor([&] { return wintest::OverwriteQuestion(program.Pid()) != nullptr; }, 20000))
        << "the question about b.jpg";
    EXPECT_TRUE(AskToEnd(program));

    EXPECT_EQ(wintest::FilesBelow(target), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    EXPECT_TRUE(wintest::ReadFileBytes(target + L"a.jpg") == a);
    EXPECT_EQ(wintest::ReadFileBytes(target + L"b.jpg"), "old");
    EXPECT_TRUE(card.Read(L"a.jpg") == a);
    EXPECT_EQ(card.Read(L"b.jpg"), "new");
    wintest::RemoveTree(target);
}
