// A card arriving at the running program: a drive letter mapped onto a
// temporary card folder, a real WM_DEVICECHANGE sent to the program's main
// window, and the confirmation window answered as the user would.
#include <windows.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "framework/Strings.h"
#include "support/ChildProcess.h"
#include "support/UiTest.h"
#include "support/WinTest.h"
#include "support/WineDrive.h"

namespace {

const wchar_t kConfirm[] = L"Kolibrio2 - Byl vložen fotoaparát";
const wchar_t kResults[] = L"Kolibrio2 - Výsledky kopírování";

class Program {
public:
    explicit Program(bool autoRecognize) {
        folder_ = wintest::MakeTempDir();
        target_ = wintest::MakeTempDir();
        CopyFileW((wintest::BuildDir() + L"Kolibrio2.exe").c_str(), (folder_ + L"Kolibrio2.exe").c_str(), FALSE);
        std::string ini = "[Mask]\r\nCurrentMask=%file_name%.%file_ext%\r\nPath=" + fw::Utf8ToAnsi(fw::Utf8(target_)) +
                          "\r\n[Options]\r\nAutoUpdate=0\r\nTimeForMask=FileTime\r\nFileExtension=*.jpg\r\n"
                          "AutoRecognize=" + (autoRecognize ? "1" : "0") + "\r\n";
        wintest::WriteFileBytes(folder_ + L"setting.ini", ini);
        EXPECT_TRUE(process_.Start(folder_ + L"Kolibrio2.exe", {}));
        // Ready once the last of its five windows (the message dialog) exists:
        // the main window comes first and may already answer messages while
        // the others are still being created.
        EXPECT_TRUE(wintest::WaitFor([&] { return MainWindow() && wintest::FindProcessWindow(process_.Pid(), L"Dialog", false); }, 20000));
        WaitForInputIdle(process_.Handle(), 5000);
    }
    ~Program() {
        TerminateProcess(process_.Handle(), 0);
        process_.WaitExit(5000);
        wintest::RemoveTree(folder_);
        wintest::RemoveTree(target_);
    }
    HWND MainWindow() { return wintest::FindProcessWindow(process_.Pid(), L"Kolibrio 2 - nastavení", false); }
    HWND Visible(const std::wstring& title) { return wintest::FindProcessWindow(process_.Pid(), title, true); }
    const std::wstring& Target() const { return target_; }

    // The system's notification for a volume; true when the program
    // answered it within the time (it answers only after an import).
    bool SendVolume(UINT event, wchar_t letter, DWORD_PTR& result, UINT timeoutMs) {
        DEV_BROADCAST_VOLUME v{};
        v.dbcv_size = sizeof v;
        v.dbcv_devicetype = DBT_DEVTYP_VOLUME;
        v.dbcv_unitmask = 1u << (letter - L'A');
        // The system copies the broadcast structure into the receiving
        // process for the device events, as it does for its own broadcasts.
        bool answered = SendMessageTimeoutW(MainWindow(), WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&v),
                                            SMTO_NORMAL, timeoutMs, &result) != 0;
        return answered;
    }

private:
    std::wstring folder_, target_;
    wintest::ChildProcess process_;
};

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
