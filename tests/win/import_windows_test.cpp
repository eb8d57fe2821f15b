// The progress and confirmation windows for real, under the X server, with
// the message box answered through its hook.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "device/Unit2_win.h"
#include "framework/Application.h"
#include "framework/Strings.h"
#include "import/ImportRun_win.h"
#include "import/UnitMyDlg_win.h"
#include "import/unitDlgFilecopy_win.h"
#include "settings/Settings.h"
#include "support/UiTest.h"
#include "support/WinTest.h"

namespace {

std::vector<std::string> gCaptions;
int gAnswer = 1;
std::function<void()> gOnMessage;

int Answer(const std::string&, const std::string& caption, TMsgDlgKind, TMsgButtons, TMsgButtons) {
    gCaptions.push_back(caption);
    if (gOnMessage) gOnMessage();
    return gAnswer;
}

std::string TextOf(fw::Control& c) { return c.Text(); }

class ImportWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        wintest::InitApp();
        progress_ = new TDlgFilecopy();
        confirm_ = new TOKBottomDlg1();
    }
    void SetUp() override {
        root_ = wintest::MakeTempDir();
        CreateDirectoryW((root_ + L"card").c_str(), nullptr);
        CreateDirectoryW((root_ + L"out").c_str(), nullptr);
        Settings().Path = fw::Utf8(root_ + L"out\\");
        Settings().CurrentMask = "%file_name%_%index%.%file_ext%";
        Settings().ExtensionList = {"*.jpg"};
        Settings().TimeForMask = TTimeSource::FileTime;
        Settings().SkipImported = false;  // the history of imports is tested on its own
        ImportJob() = TImportJob();
        gCaptions.clear();
        gAnswer = 1;
        gOnMessage = nullptr;
        SetMessageDlgHook(Answer);
    }
    void TearDown() override {
        SetMessageDlgHook(nullptr);
        wintest::RemoveTree(root_);
    }
    std::wstring root_;
    static TDlgFilecopy* progress_;
    static TOKBottomDlg1* confirm_;
};
TDlgFilecopy* ImportWindows::progress_ = nullptr;
TOKBottomDlg1* ImportWindows::confirm_ = nullptr;

TEST_F(ImportWindows, ConfirmThenCopyWithTheRealWindows) {
    wintest::WriteFileBytes(root_ + L"card\\P1.jpg", std::string(70000, 'p'));
    std::string source = fw::Utf8(root_ + L"card\\");
    std::string seen;
    bool checked = false;
    wintest::WhenWindowAppears(L"Kolibrio2 - Byl vložen fotoaparát", [&](HWND h) {
        EXPECT_EQ(h, confirm_->Handle());
        EXPECT_NE(wintest::FindChildByText(h, L"Byla zaznamenána přítomnost fotoaparátu..."), nullptr);
        EXPECT_NE(wintest::FindChildByText(h, L"Chcete začít kopírovat fotografie\r\npodle aktuálního nastavení?"),
                  nullptr);
        for (const wchar_t* t : {L"Orientační náhled aktuálního nastavení masky:", L"Kopírovat z:", L"Do adresáře:",
                                 L"Jména souborů:", L"Maska:", L"Upravit nastavení", L"Ano", L"Ne"})
            EXPECT_NE(wintest::FindChildByText(h, t), nullptr) << fw::Utf8(t);
        EXPECT_EQ(TextOf(confirm_->LabelFoto), source);
        EXPECT_EQ(TextOf(confirm_->LabelMask), Settings().CurrentMask);
        EXPECT_EQ(TextOf(confirm_->LabelSoub), "P1070283_1.JPG");
        EXPECT_EQ(TextOf(confirm_->LabelPath), Settings().Path);
        EXPECT_TRUE(confirm_->ButtonOK.Focused());
        checked = true;
        SendMessageW(confirm_->ButtonOK.Handle(), BM_CLICK, 0, 0);
    });
    gOnMessage = [&] {
        // The result comes while the progress window still shows the run.
        EXPECT_TRUE(progress_->Visible());
        seen = TextOf(progress_->sLabelCaption);
        EXPECT_EQ(progress_->sProgressBarAll.Position(), 70000);
        EXPECT_EQ(progress_->sProgressBarFile.Position(), 70000);
        EXPECT_NE(TextOf(progress_->LabelFrom).find("P1.jpg"), std::string::npos);
        EXPECT_NE(TextOf(progress_->LabelTo).find("P1_1.jpg"), std::string::npos);
    };
    StartImport(source);
    EXPECT_TRUE(checked);
    EXPECT_EQ(seen, "Probíhá kopírování fotografií. Prosím čekejte...");
    EXPECT_EQ(gCaptions, std::vector<std::string>{"Kolibrio2 - Výsledky kopírování"});
    EXPECT_TRUE(wintest::FileExists(root_ + L"out\\P1_1.jpg"));
    EXPECT_FALSE(progress_->Visible());
    EXPECT_EQ(fw::App().Title(), "Kolibrio 2");
    // The application's window flashes for six ticks, then stops.
    EXPECT_TRUE(wintest::WaitFor([&] { return !confirm_->TimerFlash.Enabled(); }, 8000));
    EXPECT_EQ(confirm_->FlashTicks(), 6);
}

// The engine's calls as a long file and then a short one make them, straight
// into the program's windows: what must be on screen at once is there at
// once, however rarely the window is otherwise brought up to date.
TEST_F(ImportWindows, FinalFiguresReachTheScreenAtEveryFileEndQuestionAndRunEnd) {
    TDlgFilecopy& d = *progress_;
    IImportUi& ui = WindowImportUi();
    TImportJob& job = ImportJob();
    ui.ShowPreparing();
    ui.BeginCopying();
    job.BarMax = 3000010;
    job.BarPosition = 0;
    ui.OverallChanged();

    // A long file: its first tenth comes when the screen is due, so its bar
    // shows short of the end; its end must then show at once.
    ui.SetFileBar(0, 0);
    ui.SetFileLabels("C:\\card\\long.avi", "D:\\archive\\long.avi");
    ui.SetFileBar(0, 3000000);
    Sleep(120);
    ui.SetFileBar(300000, 3000000);
    job.BarPosition = 300000;
    ui.OverallChanged();
    EXPECT_EQ(d.sProgressBarFile.Position(), 300000);
    EXPECT_EQ(TextOf(d.LabelFrom), "C:\\card\\long.avi");
    ui.SetFileBar(3000000, 3000000);
    job.BarPosition = 3000000;
    ui.OverallChanged();
    EXPECT_EQ(d.sProgressBarFile.Position(), 3000000);
    EXPECT_EQ(d.sProgressBarFile.Max(), 3000000);
    EXPECT_EQ(d.sProgressBarAll.Position(), 3000000);

    // A question shows the file it asks about, whatever the screen's pace.
    ui.SetFileBar(0, 0);
    ui.SetFileLabels("C:\\card\\short.jpg", "D:\\archive\\short.jpg");
    ui.Message("?", "Kolibrio2 - Potvrdit nahrazení souboru", mkInformation, MsgBtn::Yes, MsgBtn::Yes);
    EXPECT_EQ(TextOf(d.LabelTo), "D:\\archive\\short.jpg");
    EXPECT_EQ(d.sProgressBarFile.Position(), 0);

    // The end of the run shows the last file complete.
    ui.SetFileBar(0, 10);
    ui.SetFileBar(10, 10);
    job.BarPosition = 3000010;
    ui.OverallChanged();
    ui.SetSpeedTimer(false);
    ui.SpeedTick();
    EXPECT_EQ(d.sProgressBarFile.Position(), 10);
    EXPECT_EQ(d.sProgressBarFile.Max(), 10);
    EXPECT_EQ(d.sProgressBarAll.Position(), 3000010);
    EXPECT_EQ(d.sProgressBarAll.Max(), 3000010);
    EXPECT_EQ(TextOf(d.LabelFrom), "C:\\card\\short.jpg");
    EXPECT_EQ(fw::App().Title(), "100% - Kolibrio 2");
    ui.HideProgress();
}

TEST_F(ImportWindows, ARunOfManyFilesEndsWithTheLastFileOnScreen) {
    // Thirty files a second apart in time, the last one the largest.
    for (int k = 1; k <= 30; ++k) {
        const std::wstring path = root_ + L"card\\P" + std::to_wstring(100 + k) + L".jpg";
        wintest::WriteFileBytes(path, std::string(1000 * k, static_cast<char>('a' + k % 26)));
        SYSTEMTIME st{2009, 6, 0, 1, 10, 0, static_cast<WORD>(k), 0};
        FILETIME local, utc;
        SystemTimeToFileTime(&st, &local);
        LocalFileTimeToFileTime(&local, &utc);
        HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        SetFileTime(h, nullptr, nullptr, &utc);
        CloseHandle(h);
    }
    wintest::WhenWindowAppears(L"Kolibrio2 - Byl vložen fotoaparát",
                               [&](HWND) { SendMessageW(confirm_->ButtonOK.Handle(), BM_CLICK, 0, 0); });
    int fileBar = -1, overall = -1;
    std::string from, to;
    gOnMessage = [&] {
        fileBar = progress_->sProgressBarFile.Position();
        overall = progress_->sProgressBarAll.Position();
        from = TextOf(progress_->LabelFrom);
        to = TextOf(progress_->LabelTo);
    };
    StartImport(fw::Utf8(root_ + L"card\\"));
    EXPECT_EQ(gCaptions, std::vector<std::string>{"Kolibrio2 - Výsledky kopírování"});
    EXPECT_EQ(overall, 465000);
    EXPECT_EQ(fileBar, 30000);
    EXPECT_EQ(from.substr(from.size() - 8), "P130.jpg");
    EXPECT_EQ(to.substr(to.size() - 11), "P130_30.jpg");
}

// Storno pressed while a long file is being copied asks at once, not when
// the file is done; Yes leaves the old target as it was.
TEST_F(ImportWindows, StornoDuringALongFileAsksAtOnce) {
    const int64_t size = 64LL << 20;
    wintest::WriteFileBytes(root_ + L"card\\BIG.jpg", std::string(static_cast<size_t>(size), 'n'));
    wintest::WriteFileBytes(root_ + L"out\\BIG_1.jpg", "old");
    wintest::WhenWindowAppears(L"Kolibrio2 - Byl vložen fotoaparát",
                               [&](HWND) { SendMessageW(confirm_->ButtonOK.Handle(), BM_CLICK, 0, 0); });
    int64_t copiedAtQuestion = -1;
    gOnMessage = [&] {
        const std::string& caption = gCaptions.back();
        if (caption == "Kolibrio2 - Potvrdit nahrazení souboru") {
            // Overwrite: yes; and the user presses Storno as the copy begins.
            gAnswer = 6;
            PostMessageW(progress_->ButtonStorno.Handle(), BM_CLICK, 0, 0);
        } else if (caption == "Kolibrio2 - Otázka") {
            // What the copy has written so far, under a name of its own.
            copiedAtQuestion = 0;
            WIN32_FIND_DATAW fd;
            HANDLE h = FindFirstFileW((root_ + L"out\\*").c_str(), &fd);
            if (h != INVALID_HANDLE_VALUE) {
                do {
                    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && std::wstring(fd.cFileName) != L"BIG_1.jpg")
                        copiedAtQuestion += (static_cast<int64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
                } while (FindNextFileW(h, &fd));
                FindClose(h);
            }
            gAnswer = 6;
        } else {
            gAnswer = 1;
        }
    };
    StartImport(fw::Utf8(root_ + L"card\\"));
    EXPECT_EQ(gCaptions, (std::vector<std::string>{"Kolibrio2 - Potvrdit nahrazení souboru", "Kolibrio2 - Otázka",
                                                   "Kolibrio2 - Výsledky kopírování"}));
    EXPECT_GT(copiedAtQuestion, 0);
    EXPECT_LT(copiedAtQuestion, size);
    EXPECT_TRUE(ImportJob().Cancelled);
    EXPECT_EQ(wintest::ReadFileBytes(root_ + L"out\\BIG_1.jpg"), "old");
}

TEST_F(ImportWindows, EscInTheConfirmationDeclines) {
    wintest::WriteFileBytes(root_ + L"card\\P1.jpg", "x");
    wintest::WhenWindowAppears(L"Kolibrio2 - Byl vložen fotoaparát", [&](HWND) {
        PostMessageW(confirm_->ButtonOK.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    StartImport(fw::Utf8(root_ + L"card\\"));
    EXPECT_TRUE(gCaptions.empty());
    EXPECT_FALSE(wintest::FileExists(root_ + L"out\\P1_1.jpg"));
    EXPECT_FALSE(progress_->Visible());
}

TEST_F(ImportWindows, LongPathsAreShortenedToTheLabels) {
    std::string deep = "C:\\" + std::string(60, 'a') + "\\" + std::string(60, 'b') + "\\" + std::string(60, 'c') +
                       "\\P1070283.JPG";
    progress_->SetPaths(deep, deep);
    std::string shown = TextOf(progress_->LabelFrom);
    EXPECT_NE(shown, deep);
    EXPECT_NE(shown.find("...\\"), std::string::npos);
    EXPECT_LE(progress_->LabelFrom.TextWidth(shown), 433);
}

TEST_F(ImportWindows, ProgressWindowTextsTimerAndStorno) {
    TDlgFilecopy& d = *progress_;
    EXPECT_EQ(d.Caption(), "Kolibrio2 - průběh kopírování, prosím čekejte...");
    for (const wchar_t* t : {L"Průběh kopírování souboru:", L"Celkový průběh:", L"Z:", L"Do:", L"Rychlost:",
                             L"Zbývá času:", L"Storno"})
        EXPECT_NE(wintest::FindChildByText(d.Handle(), t), nullptr) << fw::Utf8(t);

    // The worked example: half of 20 MB after five seconds.
    ImportJob().BarMax = 20000000;
    ImportJob().BarPosition = 10000000;
    ImportJob().StartTick = GetTickCount() - 5000;
    d.SetOverallProgress(ImportJob().BarPosition, ImportJob().BarMax);
    d.Timer1Timer();
    EXPECT_EQ(TextOf(d.LabelSpeed), "1953 KB/s");
    EXPECT_EQ(TextOf(d.sLabelRemaining), "0:00:05");
    EXPECT_EQ(fw::App().Title(), "50% - Kolibrio 2");

    // The end of a short run: a tick would show no speed before two
    // seconds; the last figures show the run's average and nothing left.
    d.LabelSpeed.SetText("0 KB/s");
    ImportJob().Tally.CopiedBytes = 4 * 1024 * 1024;
    ImportJob().BarPosition = ImportJob().BarMax;
    ImportJob().StartTick = GetTickCount() - 800;
    d.FinalTick();
    const std::string speed = TextOf(d.LabelSpeed);
    ASSERT_GE(speed.size(), 6u);
    const int kbs = std::stoi(speed);
    EXPECT_GT(kbs, 4096) << speed;  // 4 MiB in under a second
    EXPECT_LE(kbs, 5120) << speed;  // and in no less than 0.8 s
    EXPECT_EQ(speed.substr(speed.size() - 5), " KB/s");
    EXPECT_EQ(TextOf(d.sLabelRemaining), "0:00:00");
    EXPECT_EQ(fw::App().Title(), "100% - Kolibrio 2");

    // Esc asks the cancel question; No changes nothing, Yes cancels and hides.
    d.Show();
    gAnswer = 7;
    PostMessageW(d.ButtonStorno.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    for (int k = 0; k < 10; ++k) fw::App().ProcessMessages();  // the program's own loop sees the key
    EXPECT_EQ(gCaptions, std::vector<std::string>{"Kolibrio2 - Otázka"});
    EXPECT_FALSE(ImportJob().Cancelled);
    EXPECT_TRUE(d.Visible());
    gAnswer = 6;
    SendMessageW(d.ButtonStorno.Handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(ImportJob().Cancelled);
    EXPECT_FALSE(d.Visible());
    EXPECT_EQ(fw::App().Title(), "Kolibrio 2");

    // The close box and Alt+F4 are Storno: the cancel question, never a
    // copy that goes on unseen.
    for (const bool altF4 : {false, true}) {
        SCOPED_TRACE(altF4 ? "Alt+F4" : "close box");
        ImportJob().Cancelled = false;
        gCaptions.clear();
        fw::App().SetTitle("10% - Kolibrio 2");
        d.Show();
        auto close = [&] {
            if (altF4)
                SendMessageW(d.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
            else
                SendMessageW(d.Handle(), WM_CLOSE, 0, 0);
        };
        gAnswer = 7;
        close();
        EXPECT_EQ(gCaptions, std::vector<std::string>{"Kolibrio2 - Otázka"});
        EXPECT_TRUE(d.Visible());
        EXPECT_FALSE(ImportJob().Cancelled);
        gAnswer = 6;
        close();
        EXPECT_FALSE(d.Visible());
        EXPECT_TRUE(ImportJob().Cancelled);
        EXPECT_EQ(fw::App().Title(), "Kolibrio 2");
    }
    ImportJob().Cancelled = false;

    // Minimising it minimises the whole application.
    d.Show();
    SendMessageW(d.Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(IsIconic(fw::App().Handle()));
    fw::App().Restore();
    d.Hide();
}

TEST_F(ImportWindows, PreparationAnimationSteps) {
    TDlgFilecopy& d = *progress_;
    d.sProgressBarAll.SetPosition(0);
    for (int k = 0; k < 3; ++k) d.Timer2Timer();
    EXPECT_EQ(d.sProgressBarAll.Position(), 12);
    for (int k = 0; k < 22; ++k) d.Timer2Timer();
    EXPECT_EQ(d.sProgressBarAll.Position(), 100);
    d.Timer2Timer();
    EXPECT_LT(d.sProgressBarAll.Position(), 100);  // starts again from the beginning
}

}  // namespace
