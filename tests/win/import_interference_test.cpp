// A real import while the settings window is used: its buttons, its
// previews and its patterns field run from the window events the import
// services, as they do when the user works in the window during a run.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/Unit1_win.h"
#include "framework/Strings.h"
#include "import/ImportRun_win.h"
#include "import/UnitMyDlg_win.h"
#include "settings/Settings.h"
#include "settings/SettingsStore_win.h"
#include "support/ImportScript.h"
#include "support/Questions.h"
#include "support/UiTest.h"
#include "support/WinTest.h"

namespace {

using Names = std::vector<std::string>;

Names FilesIn(const std::wstring& folder) {
    Names out;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) out.push_back(fw::Utf8(fd.cFileName));
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    std::sort(out.begin(), out.end());
    return out;
}

// The target of file k: its index padded to the width of the run's count.
std::string Numbered(int k, const char* ext, int width = 3) {
    char buf[32];
    snprintf(buf, sizeof buf, "%0*d_f%03d.%s", width, k, k, ext);
    return buf;
}

class ImportInterference : public ::testing::Test {
protected:
    void SetUp() override {
        wintest::InitApp();
        root_ = wintest::MakeTempDir();
        src_ = root_ + L"card\\";
        dst_ = root_ + L"archive\\";
        CreateDirectoryW(src_.c_str(), nullptr);
        CreateDirectoryW(dst_.c_str(), nullptr);
        // What the window loads again on Cancel: the settings the run started with.
        std::string ini = "[Mask]\r\nCurrentMask=%index%_%file_name%.%file_ext%\r\nPath=" + fw::Utf8(dst_) +
                          "\r\n[Options]\r\nAutoUpdate=0\r\nFileExtension=*.jpg;*.avi\r\nTimeForMask=FileTime\r\n";
        wintest::WriteFileBytes(root_ + L"setting.ini", fw::Utf8ToAnsi(ini));
        SetSettingsFolder(fw::Utf8(root_));
        wintest::gQuestions.clear();
        wintest::gAnswer = 1;
        SetMessageDlgHook(wintest::RecordQuestion);
        TTrayIkona::SetShellNotify(wintest::IgnoreShell);
        ImportJob() = TImportJob();
    }
    void TearDown() override {
        SetMessageDlgHook(nullptr);
        TTrayIkona::SetShellNotify(nullptr);
        SetSettingsFolder("");
        wintest::RemoveTree(root_);
    }
    // Files f001.<ext>.. on the card, taken one second apart in that order.
    void PutFiles(int from, int to, const char* ext) {
        for (int k = from; k <= to; ++k) {
            char name[32];
            snprintf(name, sizeof name, "f%03d.%s", k, ext);
            std::wstring path = src_ + fw::Wide(name);
            ASSERT_TRUE(wintest::WriteFileBytes(path, name));
            SYSTEMTIME st{2009, 6, 0, 1, 10, static_cast<WORD>(k / 60), static_cast<WORD>(k % 60), 0};
            FILETIME local, utc;
            SystemTimeToFileTime(&st, &local);
            LocalFileTimeToFileTime(&local, &utc);
            HANDLE f = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            SetFileTime(f, nullptr, nullptr, &utc);
            CloseHandle(f);
        }
    }
    std::wstring root_, src_, dst_;
};

// The settings window's previews count in the shared naming state (110
// preview files, its own index); the run names 150 files while the window
// previews, is cancelled and shows its preview tab.
TEST_F(ImportInterference, PreviewsDuringTheRunChangeNoNameAndDropNoFile) {
    TForm1 form;
    ASSERT_TRUE(form.SettingsWindow);
    TSettingsWindow& w = *form.SettingsWindow;
    PutFiles(1, 150, "jpg");
    wintest::ScriptedImportUi ui;
    ui.answers.assign(200, 7);  // two files under one name would ask: No, so that the run goes on
    int services = 0;
    ui.onProcessMessages = [&] {
        ++services;
        if (services % 3 == 0) w.Timer1Timer();  // the live preview, every half second
        if (services % 23 == 0) w.ButtonStornoClick();  // Cancel (or Esc) in the settings window
        if (services % 11 == 0) w.sPageControl2Change();  // the "Náhled" tab
    };
    StartImport(fw::Utf8(src_), ui);
    Names expected;
    for (int k = 1; k <= 150; ++k) expected.push_back(Numbered(k, "jpg"));
    EXPECT_EQ(FilesIn(dst_), expected);
    for (int k : {1, 77, 150}) EXPECT_EQ(wintest::ReadFileBytes(dst_ + fw::Wide(Numbered(k, "jpg"))),
                                         Numbered(k, "jpg").substr(4));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.substr(0, ui.messages[0].text.find("\r\n\r\n")), "Kopírování proběhlo úspěšně.");
    EXPECT_GT(services, 300);  // the window was used throughout the naming and copying
}

// Leaving the patterns field, Cancel and the factory settings replace the
// pattern list while the scan runs; the scan goes on with the list it
// started with.
TEST_F(ImportInterference, PatternsReplacedDuringTheScan) {
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    Settings().ExtensionList = {"*.jpg", "*.avi"};
    Settings().SkipImported = false;  // the history of imports is tested on its own
    PutFiles(1, 30, "jpg");
    PutFiles(31, 40, "avi");
    wintest::ScriptedImportUi ui;
    int services = 0;
    ui.onProcessMessages = [&] {
        // The first service comes before the scan, while the progress
        // window appears; the others come from the scan and later.
        if (ui.copying || ++services == 1) return;
        w.sEditFileExtension.SetText(services % 2 ? "*.png;*.orf;*.mov;*.wav;*.tif" : "*.x");
        w.sEditFileExtensionExit();
        if (services % 5 == 0) w.ButtonStornoClick();
    };
    StartImport(fw::Utf8(src_), ui);
    Names expected;
    for (int k = 1; k <= 30; ++k) expected.push_back(Numbered(k, "jpg", 2));
    for (int k = 31; k <= 40; ++k) expected.push_back(Numbered(k, "avi", 2));
    EXPECT_EQ(FilesIn(dst_), expected);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.substr(0, ui.messages[0].text.find("\r\n\r\n")), "Kopírování proběhlo úspěšně.");
}

}  // namespace
