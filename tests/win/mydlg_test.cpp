// The program's message box as a real window, answered by the test.
#include <windows.h>

#include <gtest/gtest.h>

#include "framework/Strings.h"
#include "import/UnitMyDlg_win.h"
#include "settings/Settings.h"
#include "support/UiTest.h"
#include "support/WinTest.h"

using wintest::ChildRect;
using wintest::FindChildByText;
using wintest::WhenWindowAppears;

class MyDlgTest : public ::testing::Test {
protected:
    void SetUp() override { wintest::InitApp(); }
};

TEST_F(MyDlgTest, LaysOutAndReturnsThePressedButton) {
    bool checked = false;
    WhenWindowAppears(L"Kolibrio2 - Chyba", [&](HWND dlg) {
        HWND label = FindChildByText(dlg, L"Soubor nelze zkopírovat.");
        HWND ok = FindChildByText(dlg, L"&OK");
        ASSERT_TRUE(label && ok);
        RECT lr = ChildRect(label), orc = ChildRect(ok), client = wintest::ClientRectOf(dlg);
        TDlgSizes sizes{32, 32, lr.right - lr.left, lr.bottom - lr.top, 75, 25};
        TDlgLayout l = LayoutMessageDialog(sizes, MsgBtn::OK, MsgBtn::OK);
        EXPECT_EQ(client.right, l.clientWidth);
        EXPECT_EQ(client.bottom, l.clientHeight);
        EXPECT_EQ(lr.left, l.labelLeft);
        EXPECT_EQ(orc.left, l.buttons[2].left);
        EXPECT_EQ(orc.top, l.buttons[2].top);
        EXPECT_EQ(orc.right - orc.left, 75);
        EXPECT_EQ(GetFocus(), ok);
        // Only the requested button is shown.
        EXPECT_FALSE(IsWindowVisible(FindChildByText(dlg, L"&Ano")));
        EXPECT_FALSE(IsWindowVisible(FindChildByText(dlg, L"Ano pro vše")));
        checked = true;
        SendMessageW(ok, BM_CLICK, 0, 0);
    });
    int r = MyMessageDlg("Soubor nelze zkopírovat.", "Kolibrio2 - Chyba", mkError, MsgBtn::OK, MsgBtn::OK);
    EXPECT_TRUE(checked);
    EXPECT_EQ(r, 1);
}

TEST_F(MyDlgTest, FiveButtonsInBitOrderWithTheFocusedOneAnsweringEnter) {
    std::vector<std::wstring> order;
    WhenWindowAppears(L"Kolibrio2 - Otázka", [&](HWND dlg) {
        const wchar_t* captions[] = {L"&Ano", L"&Ne", L"Z&rušit", L"Ne pro vše", L"Ano pro vše"};
        int lastLeft = -1;
        for (const wchar_t* c : captions) {
            HWND b = FindChildByText(dlg, c);
            ASSERT_TRUE(b) << fw::Utf8(c);
            EXPECT_TRUE(IsWindowVisible(b));
            RECT r = ChildRect(b);
            EXPECT_GT(r.left, lastLeft);
            lastLeft = r.left;
        }
        EXPECT_EQ(wintest::ClientRectOf(dlg).right, 423);
        HWND no = FindChildByText(dlg, L"&Ne");
        EXPECT_EQ(GetFocus(), no);
        // Esc does nothing; Enter presses the focused button.
        PostMessageW(no, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageW(no, WM_KEYDOWN, VK_RETURN, 0);
    });
    int r = MyMessageDlg("Soubor již existuje.", "Kolibrio2 - Otázka", mkInformation,
                         MsgBtn::Yes | MsgBtn::No | MsgBtn::Cancel | MsgBtn::NoAll | MsgBtn::YesAll, MsgBtn::No);
    EXPECT_EQ(r, 7);
}

TEST_F(MyDlgTest, CloseBoxAnswersCancelAndEveryButtonGivesItsResult) {
    WhenWindowAppears(L"Kolibrio2 - Otázka", [](HWND dlg) { PostMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_EQ(MyMessageDlg("Ukončit?", "Kolibrio2 - Otázka", mkConfirmation, MsgBtn::Yes | MsgBtn::No, MsgBtn::No), 2);

    struct Case { const wchar_t* caption; TMsgButtons bit; int result; } cases[] = {
        {L"&Ano", MsgBtn::Yes, 6}, {L"&Ne", MsgBtn::No, 7}, {L"&OK", MsgBtn::OK, 1}, {L"Z&rušit", MsgBtn::Cancel, 2},
        {L"A&bort", MsgBtn::Abort, 3}, {L"&Znovu", MsgBtn::Retry, 4}, {L"&Ignoruj", MsgBtn::Ignore, 5},
        {L"Ne pro vše", MsgBtn::NoAll, 9}, {L"Ano pro vše", MsgBtn::YesAll, 10},
    };
    for (const Case& c : cases) {
        std::wstring caption = c.caption;
        WhenWindowAppears(L"Dotaz", [caption](HWND dlg) {
            HWND b = FindChildByText(dlg, caption);
            if (b) SendMessageW(b, BM_CLICK, 0, 0);
        });
        EXPECT_EQ(MyMessageDlg("Text", "Dotaz", mkWarning, 0x37F, c.bit), c.result) << fw::Utf8(c.caption);
    }
}

TEST_F(MyDlgTest, MultiLineTextMakesTheDialogTaller) {
    int oneLine = 0, threeLines = 0;
    WhenWindowAppears(L"Výška", [&](HWND dlg) {
        oneLine = wintest::ClientRectOf(dlg).bottom;
        SendMessageW(FindChildByText(dlg, L"&OK"), BM_CLICK, 0, 0);
    });
    MyMessageDlg("Jeden řádek", "Výška", mkInformation, MsgBtn::OK, MsgBtn::OK);
    WhenWindowAppears(L"Výška", [&](HWND dlg) {
        threeLines = wintest::ClientRectOf(dlg).bottom;
        HWND ok = FindChildByText(dlg, L"&OK");
        EXPECT_EQ(ChildRect(ok).bottom, threeLines - 8);
        SendMessageW(ok, BM_CLICK, 0, 0);
    });
    MyMessageDlg("První\r\nDruhý\r\nTřetí", "Výška", mkInformation, MsgBtn::OK, MsgBtn::OK);
    EXPECT_GT(threeLines, oneLine);
}
