// A card arriving at the running program: a drive letter mapped onto a
// temporary card folder, a real WM_DEVICECHANGE sent to the program's main
// window, and the confirmation window answered as the user would.
#include <windows.h>
#include <dbt.h>

#include <gtest/gtest.h>


#include "framework/Strings.h"
#include "support/RunningProgram.h"
#include "support/UiTest.h"
#include "support/WinTest.h"
#include "support/WineDrive.h"

namespace {

const wchar_t kConfirm[] = L"Kolibrio2 - Byl vložen fotoaparát";
const wchar_t kResults[] = L"Kolibrio2 - Výsledky kopírování";

using Program = wintest::RunningProgram;

class DeviceArrival : public ::testing::Test {
protected:
    void SetUp() override {
        card_ = wintest::MakeTempDir();
        letter_ = wintest::FreeDriveLetter();
        ASSERT_NE(letter_, 0);
    }
    void TearDown() override {
        wintest::RemoveWineDrive(letter_);
        wintest::RemoveTree(card_);
    }
    void MakeDcim() {
        CreateDirectoryW((card_ + L"DCIM").c_str(), nullptr);
        CreateDirectoryW((card_ + L"DCIM\\100CAM").c_str(), nullptr);
        wintest::WriteFileBytes(card_ + L"DCIM\\100CAM\\P1.jpg", std::string(5000, 'c'));
    }
    // Nothing opens for this arrival: the program answers at once.
    void ExpectIgnored(Program& p, UINT event) {
        DWORD_PTR result = 0;
        EXPECT_TRUE(p.SendVolume(event, letter_, result, 5000));
        EXPECT_EQ(result, 1u);
        wintest::Pump(500);
        EXPECT_EQ(p.Visible(kConfirm), nullptr);
    }
    std::wstring card_;
    wchar_t letter_ = 0;
};

TEST_F(DeviceArrival, ACardWithDcimIsOfferedAndImported) {
    MakeDcim();
    ASSERT_TRUE(wintest::DefineWineDrive(letter_, card_, DRIVE_REMOVABLE));
    std::wstring root = std::wstring(1, letter_) + L":\\";
    ASSERT_EQ(GetDriveTypeW(root.c_str()), static_cast<UINT>(DRIVE_REMOVABLE));
    ASSERT_NE(GetFileAttributesW((root + L"DCIM\\").c_str()), INVALID_FILE_ATTRIBUTES);
    Program p(true);
    DWORD_PTR result = 0;
    // The import runs inside the handler: the send times out while it waits.
    p.SendVolume(DBT_DEVICEARRIVAL, letter_, result, 300);
    HWND confirm = nullptr;
    ASSERT_TRUE(wintest::WaitFor([&] { return (confirm = p.Visible(kConfirm)) != nullptr; }, 10000));
    std::wstring dcim = std::wstring(1, letter_) + L":\\DCIM\\";
    EXPECT_NE(wintest::FindChildByText(confirm, dcim), nullptr);

    // Another card while this import runs starts nothing nested: the
    // program answers at once and no second window opens.
    DWORD_PTR second = 0;
    EXPECT_TRUE(p.SendVolume(DBT_DEVICEARRIVAL, letter_, second, 5000));
    EXPECT_EQ(second, 1u);

    HWND yes = wintest::FindChildByText(confirm, L"Ano");
    ASSERT_NE(yes, nullptr);
    PostMessageW(yes, BM_CLICK, 0, 0);
    HWND box = nullptr;
    ASSERT_TRUE(wintest::WaitFor([&] { return (box = p.Visible(kResults)) != nullptr; }, 15000));
    EXPECT_NE(wintest::FindChildByText(box, L"Kopírování proběhlo úspěšně.\r\n\r\n"
                                            L"Zkopírováno souborů: 1 (4,9 kB), přeskočeno: 0, nezdařilo se: 0."),
              nullptr);
    EXPECT_EQ(wintest::ReadFileBytes(p.Target() + L"P1.jpg"), std::string(5000, 'c'));
    PostMessageW(box, WM_CLOSE, 0, 0);
    EXPECT_TRUE(wintest::WaitFor([&] { return p.Visible(kResults) == nullptr; }, 5000));
}

TEST_F(DeviceArrival, ArrivalsThatOpenNothing) {
    {
        SCOPED_TRACE("removable card without DCIM");
        ASSERT_TRUE(wintest::DefineWineDrive(letter_, card_, DRIVE_REMOVABLE));
        Program p(true);
        ExpectIgnored(p, DBT_DEVICEARRIVAL);
    }
    MakeDcim();
    {
        SCOPED_TRACE("recognition switched off");
        Program p(false);
        ExpectIgnored(p, DBT_DEVICEARRIVAL);
    }
    {
        SCOPED_TRACE("removal");
        Program p(true);
        ExpectIgnored(p, DBT_DEVICEREMOVECOMPLETE);
    }
    {
        SCOPED_TRACE("fixed drive");
        wintest::RemoveWineDrive(letter_);
        ASSERT_TRUE(wintest::DefineWineDrive(letter_, card_, DRIVE_FIXED));
        Program p(true);
        ExpectIgnored(p, DBT_DEVICEARRIVAL);
    }
}

}  // namespace
