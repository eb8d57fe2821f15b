// Kolibrio2.exe started more than once: later copies hand over to the first
// and end; the first says that it is already running.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/ProgramRun.h"
#include "support/WinTest.h"

namespace {

const wchar_t kBoxCaption[] = L"Kolibrio2";
const wchar_t kBoxText[] = L"Aplikace Kolibrio 2 je již spuštěna.";
const wchar_t kTrayClass[] = L"TIconManager";

// A copy of the program (this tree's, or the one of the build tree named)
// in a folder of its own with the online check off.
class ProgramFolder {
public:
    explicit ProgramFolder(const std::wstring& tree = {}) : folder_(wintest::MakeTempDir()) {
        const std::wstring exe = tree.empty() ? wintest::BuildDir() + L"Kolibrio2.exe"
                                              : wintest::BuildDir() + L"..\\" + tree + L"\\Kolibrio2.exe";
        CopyFileW(exe.c_str(), Exe().c_str(), FALSE);
        wintest::WriteFileBytes(folder_ + L"setting.ini", wintest::kOfflineSettings);
    }
    ~ProgramFolder() { wintest::RemoveTree(folder_); }
    std::wstring Exe() const { return folder_ + L"Kolibrio2.exe"; }

private:
    std::wstring folder_;
};

bool HasTray(DWORD pid) { return !wintest::ScanProcessWindows(pid, kTrayClass).ofClass.empty(); }

}  // namespace

TEST(Instance, SecondStartEndsAndTheFirstSaysItIsRunning) {
    ProgramFolder folder;
    wintest::ChildProcess first;
    ASSERT_TRUE(first.Start(folder.Exe(), {}));
    ASSERT_TRUE(wintest::WaitFor([&] { return HasTray(first.Pid()); }, 20000));

    wintest::ChildProcess second;
    const DWORD t0 = GetTickCount();
    ASSERT_TRUE(second.Start(folder.Exe(), {L"E:\\DCIM\\"}));
    int secondVisible = 0;
    HWND box = nullptr;
    // The second copy waits for the box to be answered; meanwhile it must
    // show nothing of its own.
    ASSERT_TRUE(wintest::WaitFor(
        [&] {
            secondVisible = std::max(secondVisible, wintest::ScanProcessWindows(second.Pid()).visible);
            box = wintest::FindMessageBox(first.Pid(), kBoxCaption);
            return box != nullptr;
        },
        15000))
        << "the first copy's message box";
    const DWORD boxAfter = GetTickCount() - t0;
    EXPECT_TRUE(wintest::HasChildText(box, kBoxText));
    EXPECT_TRUE(second.Running()) << "the second copy waits until the box is answered";
    ASSERT_TRUE(wintest::ClickButton(box, L"&OK"));

    ASSERT_TRUE(wintest::WaitFor([&] { return !second.Running(); }, 12000)) << "the second copy ends";
    const DWORD endedAfter = GetTickCount() - t0;
    EXPECT_EQ(second.ExitCode(), 0u);
    EXPECT_EQ(secondVisible, 0);

    // Once: no second box follows, the first copy runs on with one tray window.
    wintest::Pump(1500);
    EXPECT_EQ(wintest::FindProcessWindow(first.Pid(), kBoxCaption, true), nullptr);
    EXPECT_TRUE(first.Running());
    EXPECT_EQ(wintest::ScanProcessWindows(first.Pid(), kTrayClass).ofClass.size(), 1u);
    std::printf("second start: box after %lu ms, copy ended %lu ms after its start\n",
                static_cast<unsigned long>(boxAfter), static_cast<unsigned long>(endedAfter));
    EXPECT_TRUE(wintest::EndProgramAsLogOff(first));
}

TEST(Instance, FiveCopiesAtOnceLeaveOneRunning) {
    constexpr int kCopies = 5;
    ProgramFolder folder;
    std::vector<std::unique_ptr<wintest::ChildProcess>> copies;
    for (int i = 0; i < kCopies; ++i) {
        copies.push_back(std::make_unique<wintest::ChildProcess>());
        ASSERT_TRUE(copies.back()->Start(folder.Exe(), {}, true));
    }
    const DWORD t0 = GetTickCount();
    for (auto& c : copies) c->Resume();

    // Answer every box as it comes, note when each copy ends.
    std::vector<DWORD> endedAt(kCopies, 0);
    int boxes = 0;
    DWORD lastBox = 0;
    auto running = [&] {
        return std::count_if(copies.begin(), copies.end(), [](const auto& c) { return c->Running(); });
    };
    while (GetTickCount() - t0 < 30000) {
        for (int i = 0; i < kCopies; ++i) {
            if (!endedAt[i] && !copies[i]->Running()) endedAt[i] = GetTickCount() - t0;
            if (!copies[i]->Running()) continue;
            HWND box = wintest::FindMessageBox(copies[i]->Pid(), kBoxCaption);
            // A box stays on screen a moment after its click; count it once.
            if (box && GetTickCount() - lastBox > 300) {
                EXPECT_TRUE(wintest::HasChildText(box, kBoxText));
                if (wintest::ClickButton(box, L"&OK")) {
                    ++boxes;
                    lastBox = GetTickCount();
                }
            }
        }
        if (running() == 1 && boxes >= kCopies - 1) break;
        wintest::Pump(20);
    }
    const DWORD settled = GetTickCount() - t0;
    wintest::Pump(1500);  // a copy that had become a second receiver would still run now

    ASSERT_EQ(running(), 1);
    int receiver = -1;
    for (int i = 0; i < kCopies; ++i) {
        if (copies[i]->Running()) {
            receiver = i;
            continue;
        }
        EXPECT_EQ(copies[i]->ExitCode(), 0u) << "copy " << i;
        EXPECT_LE(endedAt[i], 20000u) << "copy " << i << " hung";
    }
    ASSERT_GE(receiver, 0);
    EXPECT_EQ(boxes, kCopies - 1);
    size_t trays = 0;
    for (auto& c : copies) trays += wintest::ScanProcessWindows(c->Pid(), kTrayClass).ofClass.size();
    EXPECT_EQ(trays, 1u);
    // Copies waiting for the token back compete with copies still waiting to
    // write, so a copy may end only after later boxes were answered.
    DWORD slowest = *std::max_element(endedAt.begin(), endedAt.end());
    std::printf("five at once: settled after %lu ms, slowest hand-over ended after %lu ms, %d boxes\n",
                static_cast<unsigned long>(settled), static_cast<unsigned long>(slowest), boxes);
    EXPECT_TRUE(wintest::EndProgramAsLogOff(*copies[receiver]));
}

// The 32-bit program (say, the portable one) and the 64-bit one (installed)
// on one 64-bit Windows: whichever starts second finds the first through
// the shared block and hands over, so one program watches the cards.
class MixedWidths : public ::testing::TestWithParam<bool> {};

TEST_P(MixedWidths, TheSecondCopyHandsOverToTheFirst) {
    if (sizeof(void*) == 8) GTEST_SKIP() << "run by the 32-bit tree, where 32-bit programs run here";
    const bool firstIs32 = GetParam();
    ProgramFolder folder32(L"win"), folder64(L"win64");
    wintest::ChildProcess first, second;
    ASSERT_TRUE(first.Start(firstIs32 ? folder32.Exe() : folder64.Exe(), {}));
    ASSERT_TRUE(wintest::WaitFor([&] { return HasTray(first.Pid()); }, 30000));
    ASSERT_TRUE(second.Start(firstIs32 ? folder64.Exe() : folder32.Exe(), {L"E:\\DCIM\\"}));
    HWND box = nullptr;
    ASSERT_TRUE(wintest::WaitFor([&] { return (box = wintest::FindMessageBox(first.Pid(), kBoxCaption)) != nullptr; },
                                 30000))
        << "the first copy's message box";
    EXPECT_TRUE(wintest::HasChildText(box, kBoxText));
    ASSERT_TRUE(wintest::ClickButton(box, L"&OK"));
    ASSERT_TRUE(wintest::WaitFor([&] { return !second.Running(); }, 20000)) << "the second copy ends";
    EXPECT_EQ(second.ExitCode(), 0u);
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(wintest::EndProgramAsLogOff(first));
}

INSTANTIATE_TEST_SUITE_P(Instance, MixedWidths, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& i) {
                             return std::string(i.param ? "ThirtyTwoBitFirst" : "SixtyFourBitFirst");
                         });
