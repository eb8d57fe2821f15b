// The windows as a Windows user handles them: activation, minimising,
// the taskbar button's close, Esc in a drop-down list and the checks for
// leaving a field, through the real window messages of this process.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/Unit1_win.h"
#include "app/Unit3_win.h"
#include "device/Unit2_win.h"
#include "framework/Application.h"
#include "framework/Strings.h"
#include "framework/UiThread.h"
#include "import/UnitMyDlg_win.h"
#include "settings/Settings.h"
#include "settings/SettingsStore_win.h"
#include "support/Questions.h"
#include "support/UiTest.h"
#include "support/WinTest.h"

namespace {

using wintest::gAnswer;
using wintest::gQuestions;
using wintest::IgnoreShell;
using wintest::RecordQuestion;

// A window of another program to switch to (Alt+Tab, a click elsewhere).
class OtherProgram {
public:
    OtherProgram() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"OtherProgramWindow";
        RegisterClassW(&wc);
        hwnd_ = CreateWindowExW(0, wc.lpszClassName, L"Other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~OtherProgram() { DestroyWindow(hwnd_); }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;
    void Activate() const {
        SetActiveWindow(hwnd_);
        wintest::Pump(50);
    }
    HWND Handle() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

class WindowBehaviour : public ::testing::Test {
protected:
    void SetUp() override {
        wintest::InitApp();
        folder = wintest::MakeTempDir();
        // No online check: tests never reach for the vendor's host.
        wintest::WriteFileBytes(folder + L"setting.ini", "[Options]\r\nAutoUpdate=0\r\n");
        SetSettingsFolder(fw::Utf8(folder));
        gQuestions.clear();
        gAnswer = fw::mrOK;
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

void SysCommand(HWND hwnd, WPARAM command) {
    SendMessageW(hwnd, WM_SYSCOMMAND, command, 0);
    wintest::Pump(50);
}

// A key as the message loop hands it out, through the forms' key handling.
void PressKey(HWND target, WPARAM key) {
    MSG msg = {};
    msg.hwnd = target;
    msg.message = WM_KEYDOWN;
    msg.wParam = key;
    fw::App().HandleMessage(msg);
}

void CALLBACK RestoreProgram(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    SendMessageW(fw::App().Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
}

bool ListOpen(const fw::ComboBox& combo) {
    return SendMessageW(combo.Handle(), CB_GETDROPPEDSTATE, 0, 0) != 0;
}

}  // namespace

TEST_F(WindowBehaviour, EveryWindowGetsItsFocusedControlBackOnActivation) {
    TForm1 form;
    TOKBottomDlg1 arrival;
    TMyDlg box;
    box.Buttons = MsgBtn::Yes | MsgBtn::No | MsgBtn::NoAll | MsgBtn::YesAll;
    box.FocusButtons = MsgBtn::No;
    OtherProgram other;
    struct Case {
        const char* name;
        fw::Form& window;
        std::function<void()> show;
        fw::Control& focused;
    } cases[] = {
        {"settings", form, [&] { form.ShowSettingsWindow(); form.SettingsWindow->EditMask.SetFocus(); },
         form.SettingsWindow->EditMask},
        {"arrival", arrival, [&] { arrival.Show(); arrival.ButtonStorno.SetFocus(); }, arrival.ButtonStorno},
        {"box", box, [&] { box.Show(); }, box.BtnNo},
    };
    for (Case& c : cases) {
        c.show();
        wintest::WaitFor([&] { return c.focused.Focused(); }, 2000);
        ASSERT_TRUE(c.focused.Focused()) << c.name;
        // Back by a click on its title bar, and by the taskbar button.
        for (HWND back : {c.window.Handle(), fw::App().Handle()}) {
            other.Activate();
            EXPECT_FALSE(c.focused.Focused()) << c.name;
            SetActiveWindow(back);
            // A loaded machine may take longer than one short pump.
            wintest::WaitFor([&] { return GetFocus() == c.focused.Handle(); }, 2000);
            EXPECT_EQ(GetFocus(), c.focused.Handle()) << c.name;
        }
        c.window.Hide();
    }
    // Enter then answers with the focused button, not the first one.
    box.Show();
    other.Activate();
    SetActiveWindow(box.Handle());
    wintest::WaitFor([&] { return box.BtnNo.Focused(); }, 2000);
    PressKey(GetFocus(), VK_RETURN);
    EXPECT_EQ(box.GetModalResult(), fw::mrNo);
    box.Hide();
}

TEST_F(WindowBehaviour, AMinimisedBoxWaitsForItsAnswer) {
    TForm1 form;
    bool hiddenWhileMinimised = false, answered = false;
    wintest::WhenWindowAppears(L"Kolibrio2 - Otázka", [&](HWND box) {
        SysCommand(fw::App().Handle(), SC_MINIMIZE);
        hiddenWhileMinimised = !IsWindowVisible(box) && IsWindow(box);
        // The restore comes later, from the box's own modal loop.
        wintest::WhenWindowAppears(L"Kolibrio2 - Otázka", [&](HWND again) {
            answered = true;
            SendMessageW(wintest::FindChildByText(again, L"&Ne"), BM_CLICK, 0, 0);
        });
        SetTimer(nullptr, 0, 300, RestoreProgram);
    });
    SetMessageDlgHook(nullptr);
    const int answer = MyMessageDlg("Soubor již existuje.", "Kolibrio2 - Otázka", mkConfirmation,
                                    MsgBtn::Yes | MsgBtn::No, MsgBtn::No);
    EXPECT_TRUE(hiddenWhileMinimised);
    EXPECT_TRUE(answered);
    EXPECT_EQ(answer, fw::mrNo);
    EXPECT_FALSE(IsIconic(fw::App().Handle()));
}

TEST_F(WindowBehaviour, MinimiseReturnsToTheTrayAndTheTaskbarCloseHidesTheSettings) {
    TForm1 form;
    form.ShowSettingsWindow();
    ASSERT_TRUE(IsWindowVisible(fw::App().Handle()));
    SysCommand(fw::App().Handle(), SC_MINIMIZE);
    EXPECT_FALSE(form.Visible());
    EXPECT_FALSE(IsWindowVisible(fw::App().Handle())) << "no taskbar entry in the tray";
    EXPECT_FALSE(IsIconic(fw::App().Handle()));
    // Nothing comes back by itself; the tray brings the window as usual.
    form.TrayIkona1DblClick();
    EXPECT_TRUE(form.Visible());
    EXPECT_TRUE(IsWindowVisible(fw::App().Handle()));
    EXPECT_FALSE(IsIconic(fw::App().Handle()));

    // "Close window" on the taskbar button closes it as its close box does.
    SysCommand(fw::App().Handle(), SC_CLOSE);
    EXPECT_FALSE(form.Visible());
    EXPECT_TRUE(IsWindow(form.Handle()));
    EXPECT_FALSE(IsWindowVisible(fw::App().Handle()));
}

namespace {
// The licence text may be missing beside the test program (another test
// removes it): the general error report that says so is answered at once.
BOOL CALLBACK AnswerReportBox(HWND hwnd, LPARAM) {
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    if (IsWindowVisible(hwnd) && !lstrcmpW(cls, L"#32770") && wintest::WindowText(hwnd) == L"Kolibrio 2")
        PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
    return TRUE;
}
void CALLBACK AnswerReportBoxes(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), AnswerReportBox, 0);
}
}  // namespace

TEST_F(WindowBehaviour, TheLicenceWindowMinimisesAlone) {
    TForm1 form;
    TForm3 licence;
    const UINT_PTR answering = SetTimer(nullptr, 0, 50, AnswerReportBoxes);
    form.ShowSettingsWindow();
    licence.Show();
    SysCommand(licence.Handle(), SC_MINIMIZE);
    EXPECT_TRUE(IsIconic(licence.Handle()));
    EXPECT_TRUE(form.Visible());
    EXPECT_FALSE(IsIconic(fw::App().Handle()));
    // "Licence..." again brings it back.
    form.SettingsWindow->sWebLabel5Click();
    EXPECT_FALSE(IsIconic(licence.Handle()));
    KillTimer(nullptr, answering);
    licence.Hide();
    form.Hide();
}

TEST_F(WindowBehaviour, EscClosesAnOpenListFirstAndOnlyThenCancels) {
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    form.ShowSettingsWindow();
    w.sPageControl1.SetActivePage(1);
    w.sComboBoxSkin.SetFocus();
    SendMessageW(w.sComboBoxSkin.Handle(), CB_SHOWDROPDOWN, TRUE, 0);
    ASSERT_TRUE(ListOpen(w.sComboBoxSkin));
    w.EditMask.SetText("edited");  // what Cancel would throw away

    PressKey(w.sComboBoxSkin.Handle(), VK_ESCAPE);
    EXPECT_FALSE(ListOpen(w.sComboBoxSkin));
    EXPECT_TRUE(form.Visible());
    EXPECT_EQ(w.EditMask.Text(), "edited");

    PressKey(w.sComboBoxSkin.Handle(), VK_ESCAPE);
    EXPECT_FALSE(form.Visible());
    EXPECT_NE(w.EditMask.Text(), "edited");
}

namespace {
// A box that takes the focus while it is up and gives it back as it closes,
// like the real one.
HWND gBoxStandIn = nullptr;
HWND gBoxOwner = nullptr;
int AskLikeABox(const std::string& text, const std::string& caption, TMsgDlgKind kind, TMsgButtons buttons,
                TMsgButtons focus) {
    RecordQuestion(text, caption, kind, buttons, focus);
    SetActiveWindow(gBoxStandIn);
    SetFocus(gBoxStandIn);
    SetActiveWindow(gBoxOwner);
    return fw::mrOK;
}
}  // namespace

TEST_F(WindowBehaviour, FieldChecksRunWhenMovingWithinTheWindowOncePerExit) {
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    OtherProgram other;
    form.ShowSettingsWindow();
    w.sPageControl1.SetActivePage(2);
    w.sEditNameMonth.SetFocus();
    w.sEditNameMonth.SetText("leden;únor");
    w.sEditShortNameMonth.SetText("I;II");

    // Switching programs and back runs no check.
    other.Activate();
    EXPECT_TRUE(gQuestions.empty());
    SetActiveWindow(form.Handle());
    // The focus comes back through posted messages: on a loaded machine
    // after more than a moment.
    EXPECT_TRUE(wintest::WaitFor([&] { return w.sEditNameMonth.Focused(); }, 3000));
    EXPECT_TRUE(gQuestions.empty());

    // Tab to the next bad field: one warning; the box taking the focus from
    // the second field does not nest its warning in the first.
    gBoxStandIn = other.Handle();
    gBoxOwner = form.Handle();
    SetMessageDlgHook(AskLikeABox);
    PressKey(w.sEditNameMonth.Handle(), VK_TAB);
    ASSERT_TRUE(w.sEditShortNameMonth.Focused());
    ASSERT_EQ(gQuestions.size(), 1u);
    EXPECT_NE(gQuestions[0].text.find("dlouhých názvech měsíců"), std::string::npos);
    // Leaving the second field reports it, once.
    w.sEditNameDay.SetFocus();
    ASSERT_EQ(gQuestions.size(), 2u);
    EXPECT_NE(gQuestions[1].text.find("krátkých názvech měsíců"), std::string::npos);
    form.Hide();
}

TEST_F(WindowBehaviour, TheArrivalWindowKeepsItsToolTipsUntilTheSettingsWindowWasShown) {
    wintest::WriteFileBytes(folder + L"setting.ini", "[Options]\r\nAutoUpdate=0\r\nHint=0\r\n");
    TForm1 form;  // created first, as at start-up
    TOKBottomDlg1 arrival;
    arrival.Show();
    EXPECT_TRUE(arrival.ShowHints());
    arrival.Hide();
    form.ShowSettingsWindow();
    form.Hide();
    arrival.Show();
    EXPECT_FALSE(arrival.ShowHints());
    arrival.Hide();
}

namespace {
DWORD WINAPI PostAFailingCall(void*) {
    fw::PostToUi([] { throw std::runtime_error("Chyba z vlákna"); });
    return 0;
}
bool gReportSeen = false;
void CALLBACK AnswerWorkerReport(HWND, UINT, UINT_PTR id, DWORD) {
    struct Find {
        static BOOL CALLBACK Proc(HWND hwnd, LPARAM lp) {
            wchar_t cls[16] = {};
            GetClassNameW(hwnd, cls, 16);
            if (IsWindowVisible(hwnd) && !lstrcmpW(cls, L"#32770") && wintest::WindowText(hwnd) == L"Kolibrio 2" &&
                wintest::FindChildByText(hwnd, L"Chyba z vlákna")) {
                *reinterpret_cast<HWND*>(lp) = hwnd;
                return FALSE;
            }
            return TRUE;
        }
    };
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), Find::Proc, reinterpret_cast<LPARAM>(&box));
    if (!box) return;
    gReportSeen = true;
    KillTimer(nullptr, id);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}
}  // namespace

TEST_F(WindowBehaviour, AWorkersFailingCallGetsTheGeneralErrorReport) {
    gReportSeen = false;
    SetTimer(nullptr, 0, 50, AnswerWorkerReport);
    HANDLE worker = CreateThread(nullptr, 0, PostAFailingCall, nullptr, 0, nullptr);
    ASSERT_TRUE(worker);
    WaitForSingleObject(worker, 10000);
    CloseHandle(worker);
    EXPECT_TRUE(wintest::WaitFor([] { return gReportSeen; }, 10000));
    // The program goes on: later calls still run.
    bool ran = false;
    fw::PostToUi([&ran] { ran = true; });
    EXPECT_TRUE(wintest::WaitFor([&ran] { return ran; }, 5000));
}

TEST_F(WindowBehaviour, EnterAndDoubleClickInTheMaskEditor) {
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    form.ShowSettingsWindow();
    Settings().CatalogueList = {"first", "second\\%dd%"};
    w.CatalogueLoaded();

    // Enter in the mask field puts the mask into the catalogue.
    w.EditMask.SetFocus();
    w.EditMask.SetText("%yyyy%");
    PressKey(w.EditMask.Handle(), VK_RETURN);
    EXPECT_EQ(Settings().CatalogueList, (std::vector<std::string>{"first", "second\\%dd%", "%yyyy%"}));
    EXPECT_TRUE(form.Visible());

    // Enter in the catalogue, and a double-click on a line, use the line.
    w.sListBox1.SetFocus();
    w.sListBox1.SetCaretIndex(1);
    PressKey(w.sListBox1.Handle(), VK_RETURN);
    EXPECT_EQ(w.EditMask.Text(), "second\\%dd%");
    RECT line;
    SendMessageW(w.sListBox1.Handle(), LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&line));
    const LPARAM at = MAKELPARAM(line.left + 3, line.top + 2);
    SendMessageW(w.sListBox1.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(w.sListBox1.Handle(), WM_LBUTTONUP, 0, at);
    SendMessageW(w.sListBox1.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageW(w.sListBox1.Handle(), WM_LBUTTONUP, 0, at);
    EXPECT_EQ(w.EditMask.Text(), "first");
    form.Hide();
}

TEST_F(WindowBehaviour, EditingTheSettingsFromTheArrivalWindow) {
    TForm1 form;
    TOKBottomDlg1 arrival;
    TSettingsWindow& w = *form.SettingsWindow;
    form.SettingsWindow->EditMask.SetText("before");
    arrival.Show();
    ASSERT_EQ(arrival.LabelMask.Text(), "before");
    // Cancel keeps the labels; OK shows the new mask and folder.
    struct Case {
        fw::Button& button;
        const char* shownMask;
        const char* shownPath;
    } cases[] = {{w.ButtonStorno, "before", "C:\\Old\\"}, {w.ButtonOK, "after", "C:\\New\\"}};
    w.EditPath.SetText("C:\\Old\\");
    arrival.RefreshLabels(false);
    for (Case& c : cases) {
        fw::Button* press = &c.button;
        wintest::WhenWindowAppears(L"Kolibrio 2 - nastavení", [&w, press](HWND) {
            w.EditMask.SetText("after");
            w.EditPath.SetText("C:\\New\\");
            SendMessageW(press->Handle(), BM_CLICK, 0, 0);
        });
        arrival.sBitBtn1Click();
        EXPECT_EQ(arrival.LabelMask.Text(), c.shownMask);
        EXPECT_EQ(arrival.LabelPath.Text(), c.shownPath);
        EXPECT_FALSE(form.Visible());
    }
    arrival.Hide();
}
