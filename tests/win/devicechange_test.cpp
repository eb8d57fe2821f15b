#include "device/DeviceChange_win.h"

#include <windows.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/Form.h"
#include "support/WineDrive.h"
#include "support/WinTest.h"

namespace {

DEV_BROADCAST_VOLUME Volume(char letter) {
    DEV_BROADCAST_VOLUME v = {};
    v.dbcv_size = sizeof v;
    v.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    v.dbcv_unitmask = 1u << (letter - 'A');
    return v;
}

TEST(DeviceChangeMessage, FixedSystemDriveIsNotImported) {
    ASSERT_EQ(GetDriveTypeW(L"C:\\"), static_cast<UINT>(DRIVE_FIXED));
    EXPECT_FALSE(IsRemovableDrive('C'));
    DEV_BROADCAST_VOLUME v = Volume('C');
    TDeviceChangeDecision d = DecideDeviceChangeMessage(DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&v), true);
    EXPECT_EQ(d.result, 1);
    EXPECT_TRUE(d.importPath.empty());
}

TEST(DeviceChangeMessage, HeaderIsReadOnlyWhereItIsOne) {
    // Events other than an arrival are never read: this lParam would fault.
    const LPARAM bogus = 1;
    for (WPARAM event : {WPARAM(DBT_DEVICEREMOVECOMPLETE), WPARAM(DBT_DEVNODES_CHANGED), WPARAM(DBT_QUERYCHANGECONFIG)}) {
        TDeviceChangeDecision d = DecideDeviceChangeMessage(event, bogus, true);
        EXPECT_EQ(d.result, 1);
        EXPECT_TRUE(d.importPath.empty());
    }
    // A volume header too short to hold its unit mask.
    DEV_BROADCAST_HDR shortHeader = {sizeof(DEV_BROADCAST_HDR), DBT_DEVTYP_VOLUME, 0};
    EXPECT_TRUE(DecideDeviceChangeMessage(DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&shortHeader), true)
                    .importPath.empty());
    EXPECT_TRUE(DecideDeviceChangeMessage(DBT_DEVICEARRIVAL, 0, true).importPath.empty());
}

// A real removable drive under Wine, and the notification the system sends
// when it appears, delivered to a top-level window of the program's kind.
class RemovableDrive : public ::testing::Test {
protected:
    void SetUp() override {
        letter_ = wintest::FreeDriveLetter();
        ASSERT_NE(letter_, 0);
        folder_ = wintest::MakeTempDir();
        ASSERT_TRUE(CreateDirectoryW((folder_ + L"DCIM").c_str(), nullptr));
        window_ = std::make_unique<fw::MessageWindow>(
            [this](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
                if (msg != WM_DEVICECHANGE) return DefWindowProcW(hwnd, msg, wp, lp);
                TDeviceChangeDecision d = DecideDeviceChangeMessage(wp, lp, autoRecognize_);
                if (!d.importPath.empty()) imports_.push_back(d.importPath);
                return d.result;
            },
            false);
        ASSERT_NE(window_->Handle(), nullptr);
    }
    void TearDown() override {
        window_.reset();
        if (defined_) wintest::RemoveWineDrive(letter_);
        wintest::RemoveTree(folder_);
    }
    void Define(UINT type) {
        if (defined_) ASSERT_TRUE(wintest::RemoveWineDrive(letter_));
        ASSERT_TRUE(wintest::DefineWineDrive(letter_, folder_, type));
        defined_ = true;
        ASSERT_EQ(GetDriveTypeW((std::wstring(1, letter_) + L":\\").c_str()), type);
    }
    LRESULT Notify(WPARAM event, DWORD unitMask) {
        DEV_BROADCAST_VOLUME v = {};
        v.dbcv_size = sizeof v;
        v.dbcv_devicetype = DBT_DEVTYP_VOLUME;
        v.dbcv_unitmask = unitMask;
        v.dbcv_flags = DBTF_MEDIA;
        return SendMessageW(window_->Handle(), WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&v));
    }
    DWORD Mask() const { return 1u << (letter_ - L'A'); }

    wchar_t letter_ = 0;
    std::wstring folder_;
    bool defined_ = false;
    bool autoRecognize_ = true;
    std::unique_ptr<fw::MessageWindow> window_;
    std::vector<std::string> imports_;
};

TEST_F(RemovableDrive, ArrivalOfACardLeadsToItsDcimFolder) {
    Define(DRIVE_REMOVABLE);
    EXPECT_TRUE(IsRemovableDrive(static_cast<char>(letter_)));
    EXPECT_EQ(Notify(DBT_DEVICEARRIVAL, Mask()), 1);
    EXPECT_EQ(imports_, std::vector<std::string>{std::string(1, static_cast<char>(letter_)) + ":\\DCIM\\"});
    // Removal is answered, granted and ignored.
    EXPECT_EQ(Notify(DBT_DEVICEQUERYREMOVE, Mask()), 1);
    EXPECT_EQ(Notify(DBT_DEVICEREMOVECOMPLETE, Mask()), 1);
    EXPECT_EQ(imports_.size(), 1u);
}

TEST_F(RemovableDrive, OnlyTheLowestVolumeOfAMaskCounts) {
    Define(DRIVE_REMOVABLE);
    // C: is fixed and lower than the card: the card is not looked at.
    EXPECT_EQ(Notify(DBT_DEVICEARRIVAL, Mask() | (1u << 2)), 1);
    EXPECT_TRUE(imports_.empty());
    // Z: is never reported.
    EXPECT_EQ(Notify(DBT_DEVICEARRIVAL, 1u << 25), 1);
    EXPECT_TRUE(imports_.empty());
}

TEST_F(RemovableDrive, FixedDiskAndRecognitionSwitchedOffAreIgnored) {
    Define(DRIVE_REMOVABLE);
    autoRecognize_ = false;
    EXPECT_EQ(Notify(DBT_DEVICEARRIVAL, Mask()), 1);
    EXPECT_TRUE(imports_.empty());

    // A USB disk that reports itself as fixed, even with a DCIM folder.
    autoRecognize_ = true;
    Define(DRIVE_FIXED);
    EXPECT_FALSE(IsRemovableDrive(static_cast<char>(letter_)));
    EXPECT_EQ(Notify(DBT_DEVICEARRIVAL, Mask()), 1);
    EXPECT_TRUE(imports_.empty());
}

}  // namespace
