// The main window in this process: its tray menu, the exit question and
// the hiding rules.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Unit1_win.h"
#include "framework/Application.h"
#include "framework/Strings.h"
#include "import/ImportJob.h"
#include "import/UnitMyDlg_win.h"
#include "settings/SettingsStore_win.h"
#include "support/Questions.h"
#include "support/UiTest.h"
#include "support/WinTest.h"

namespace {

using wintest::gAnswer;
using wintest::gQuestions;
using wintest::IgnoreShell;
using wintest::RecordQuestion;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        wintest::InitApp();
        folder = wintest::MakeTempDir();
        // No online check: tests never reach for the vendor's host.
        wintest::WriteFileBytes(folder + L"setting.ini", "[Options]\r\nAutoUpdate=0\r\n");
        SetSettingsFolder(fw::Utf8(folder));
        gQuestions.clear();
        SetMessageDlgHook(RecordQuestion);
        TTrayIkona::SetShellNotify(IgnoreShell);
    }
    void TearDown() override {
        SetMessageDlgHook(nullptr);
        TTrayIkona::SetShellNotify(nullptr);
        SetSettingsFolder("");
        wintest::RemoveTree(folder);
    }
    std::wstring folder;
};

using wintest::MenuText;

}  // namespace

TEST_F(MainWindowTest, TrayMenuAndStartState) {
    TForm1 form;
    ASSERT_FALSE(form.HandedOver());
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(form.Caption(), "Kolibrio 2 - nastavení");
    EXPECT_TRUE(form.TrayIkona1.IconVisible());
    EXPECT_EQ(form.TrayIkona1.Hint(), "Kolibrio 2");
    EXPECT_TRUE(form.TrayIkona1.HideTask());
    EXPECT_EQ(form.TrayIkona1.PopupMenu(), &form.PopupMenu1);
    EXPECT_TRUE(form.Timer1.Enabled());
    EXPECT_EQ(form.Timer1.Interval(), 500u);

    HMENU menu = form.PopupMenu1.Handle();
    ASSERT_EQ(GetMenuItemCount(menu), 3);
    EXPECT_EQ(MenuText(menu, 0), L"Nastavení...");
    EXPECT_EQ(MenuText(menu, 1), L"Zpracovat fotografie ze složky...");
    EXPECT_EQ(MenuText(menu, 2), L"Ukončit");
    EXPECT_EQ(GetMenuDefaultItem(menu, TRUE, 0), 0u);
    EXPECT_FALSE(IsWindowVisible(fw::App().Handle())) << "no taskbar button while hidden";
    // The preview names files with the import's own counters.
    EXPECT_EQ(&form.SettingsWindow->MaskState(), &ImportJob().Mask);
}

TEST_F(MainWindowTest, ExitQuestionEndsOnlyOnYes) {
    TForm1 form;
    gAnswer = 7;
    form.MenuUkoncitClick();
    ASSERT_EQ(gQuestions.size(), 1u);
    EXPECT_EQ(gQuestions[0].text, "Opravdu chcete ukončit aplikaci Kolibrio 2 ?");
    EXPECT_EQ(gQuestions[0].caption, "Kolibrio2 - Otázka");
    EXPECT_EQ(gQuestions[0].kind, mkConfirmation);
    EXPECT_EQ(gQuestions[0].buttons, MsgBtn::Yes | MsgBtn::No);
    EXPECT_EQ(gQuestions[0].focus, MsgBtn::No);
    EXPECT_FALSE(fw::App().Terminated());
    gAnswer = 6;
    form.MenuUkoncitClick();
    EXPECT_TRUE(fw::App().Terminated());
    // Leave the quit message for nobody: this test process goes on.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

TEST_F(MainWindowTest, SecondInstanceNoticeAndHidingRules) {
    TForm1 form;
    form.OneInstance1InstanceStarted(form.OneInstance1.get(), {});
    ASSERT_EQ(gQuestions.size(), 1u);
    EXPECT_EQ(gQuestions[0].text, "Aplikace Kolibrio 2 je již spuštěna.");
    EXPECT_EQ(gQuestions[0].caption, "Kolibrio2");
    EXPECT_EQ(gQuestions[0].kind, mkInformation);
    EXPECT_EQ(gQuestions[0].buttons, MsgBtn::OK);
    EXPECT_EQ(gQuestions[0].focus, MsgBtn::OK);

    form.TrayIkona1DblClick();
    EXPECT_TRUE(form.Visible());
    EXPECT_TRUE(IsWindowVisible(fw::App().Handle())) << "a visible window brings the taskbar button";
    // The close box only hides the window, which stays alive.
    SendMessageW(form.Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(form.Visible());
    EXPECT_TRUE(IsWindow(form.Handle()));
    EXPECT_FALSE(IsWindowVisible(fw::App().Handle()));
    form.MenuSettingClick();
    EXPECT_TRUE(form.Visible());
    form.ApplicationEvents1Minimize();
    EXPECT_FALSE(form.Visible());
}

namespace {
// The system message box of the general error report, if one is open.
BOOL CALLBACK FindReportBoxProc(HWND hwnd, LPARAM lp) {
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 31);
    if (IsWindowVisible(hwnd) && !lstrcmpW(cls, L"#32770") && wintest::WindowText(hwnd) == L"Kolibrio 2") {
        *reinterpret_cast<HWND*>(lp) = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindReportBox() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindReportBoxProc, reinterpret_cast<LPARAM>(&found));
    return found;
}
}  // namespace

TEST_F(MainWindowTest, AnExceptionFromAHandlerIsReportedAndTheProgramGoesOn) {
    TForm1 form;
    form.Timer1.SetEnabled(false);
    bool thrown = false, seen = false, after = false;
    fw::Timer once(50, nullptr);
    once.OnTimer = [&] {
        if (thrown) return;
        thrown = true;
        throw std::runtime_error("Unable to write to X");
    };
    // Answers the report from a timer of the report's own modal loop.
    fw::Timer answer(100, nullptr);
    answer.OnTimer = [&] {
        HWND box = FindReportBox();
        if (!box) return;
        seen = wintest::FindChildByText(box, L"Unable to write to X") != nullptr;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        answer.SetEnabled(false);
    };
    answer.SetEnabled(true);
    once.SetEnabled(true);
    ASSERT_TRUE(wintest::WaitFor([&] { return seen && !FindReportBox(); }, 10000));
    // Handlers keep running afterwards.
    fw::Timer later(50, nullptr);
    later.OnTimer = [&] { after = true; };
    later.SetEnabled(true);
    EXPECT_TRUE(wintest::WaitFor([&] { return after; }, 5000));
    EXPECT_TRUE(IsWindow(form.Handle()));
}
