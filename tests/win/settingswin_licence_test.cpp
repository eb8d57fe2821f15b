// The licence window: the text beside the executable on every show, the
// error for a missing file, the layout on resizing and the drag strip.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/Unit3_win.h"
#include "framework/Application.h"
#include "framework/StringList.h"
#include "framework/Strings.h"
#include "support/UiTest.h"
#include "support/WinTest.h"

namespace {

class LicenceWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        wintest::InitApp();
        file = fw::Wide(fw::App().ExeFolder()) + L"Licence.txt";
        DeleteFileW(file.c_str());
    }
    void TearDown() override { DeleteFileW(file.c_str()); }
    void WriteLicence(const std::string& utf8) { ASSERT_TRUE(wintest::WriteFileBytes(file, fw::Utf8ToAnsi(utf8))); }
    std::wstring file;
};

}  // namespace

TEST_F(LicenceWindowTest, ReloadsTheFileOnEveryShowAndReportsAMissingOne) {
    TForm3 form;
    EXPECT_EQ(form.Caption(), "Kolibrio 2 - Licence");

    WriteLicence("Licenční ujednání\r\nprvní verze\r\n");
    form.Show();
    EXPECT_EQ(form.sMemo1.Text(), "Licenční ujednání\r\nprvní verze\r\n");
    form.sBitBtn1Click();
    EXPECT_FALSE(form.Visible());

    WriteLicence("druhá verze\n");  // LF line ends too
    form.Show();
    EXPECT_EQ(form.sMemo1.Text(), "druhá verze\r\n");
    form.Hide();

    // Missing: the general error report, then the window with its old text.
    ASSERT_TRUE(DeleteFileW(file.c_str()));
    std::wstring reported;
    wintest::WhenWindowAppears(L"Kolibrio 2", [&](HWND box) {
        reported = wintest::WindowText(wintest::FindChildByText(box, L"Cannot open file " + file));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    form.Show();
    EXPECT_EQ(reported, L"Cannot open file " + file);
    EXPECT_TRUE(form.Visible());
    EXPECT_EQ(form.sMemo1.Text(), "druhá verze\r\n");
    form.Hide();
}

TEST_F(LicenceWindowTest, ResizingKeepsOkCentredAndTheTextFillingTheWindow) {
    TForm3 form;
    WriteLicence("x");
    form.Show();
    for (const auto& [w, h] : {std::pair{700, 500}, std::pair{320, 260}}) {
        SetWindowPos(form.Handle(), nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER);
        const RECT memo = wintest::ChildRect(form.sMemo1.Handle());
        const RECT panel = wintest::ChildRect(form.sPanel1.Handle());
        const RECT ok = wintest::ChildRect(form.sBitBtn1.Handle());
        EXPECT_EQ(memo.left, 0);
        EXPECT_EQ(memo.top, 0);
        EXPECT_EQ(memo.right, form.ClientWidth());
        EXPECT_EQ(memo.bottom, panel.top);
        EXPECT_NEAR((ok.left + ok.right) / 2, form.ClientWidth() / 2, 1);
    }
    EXPECT_NE(GetWindowLongW(form.sMemo1.Handle(), GWL_STYLE) & ES_READONLY, 0);
    form.Hide();
}

TEST_F(LicenceWindowTest, TheTopStripOfTheClientAreaDragsTheWindow) {
    TForm3 form;
    WriteLicence("x");
    form.Show();
    RECT window;
    GetWindowRect(form.Handle(), &window);
    POINT client = {0, 0};
    ClientToScreen(form.Handle(), &client);
    const int x = client.x + 100;
    auto hit = [&](int y) { return SendMessageW(form.Handle(), WM_NCHITTEST, 0, MAKELPARAM(x, y)); };
    // Points of the client area down to 25 pixels below the window's top
    // edge act as the caption; below that the client area is itself.
    const int firstClientRow = client.y;
    ASSERT_LE(firstClientRow - window.top, 25) << "the frame alone is taller than the strip";
    EXPECT_EQ(hit(firstClientRow), HTCAPTION);
    EXPECT_EQ(hit(window.top + 25), HTCAPTION);
    EXPECT_EQ(hit(window.top + 26), HTCLIENT);
    EXPECT_EQ(hit(window.top + 120), HTCLIENT);
    form.Hide();
}

TEST(LicenceFile, ShippedTextIsCzechInTheAnsiCodePage) {
    fw::StringList lines;
    lines.LoadFromFile(fw::Utf8(wintest::BuildDir()) + "Licence.txt");
    ASSERT_GT(lines.Lines.size(), 10u);
    EXPECT_EQ(lines.Lines[0], "Licenční ujednání programu Kolibrio 2");
    EXPECT_NE(lines.Text().find("freeware"), std::string::npos);
}
