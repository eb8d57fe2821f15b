#include "support/RunningProgram.h"


#include <gtest/gtest.h>

#include "support/CardImport.h"
#include "support/WinTest.h"

namespace wintest {

RunningProgram::RunningProgram(bool autoRecognize, const std::string& extraOptions, const std::wstring& target,
                               const std::wstring& programFolder) {
    ownFolder_ = programFolder.empty();
    folder_ = ownFolder_ ? MakeTempDir() : programFolder;
    ownTarget_ = target.empty();
    target_ = ownTarget_ ? MakeTempDir() : target;
    Start(CardImportSettings(target_, autoRecognize) + extraOptions);
}

RunningProgram::RunningProgram(std::string (*settings)(const std::wstring& target)) {
    folder_ = MakeTempDir();
    target_ = MakeTempDir();
    Start(settings(target_));
}

void RunningProgram::Start(const std::string& ini) {
    CopyFileW((BuildDir() + L"Kolibrio2.exe").c_str(), (folder_ + L"Kolibrio2.exe").c_str(), FALSE);
    WriteFileBytes(folder_ + L"setting.ini", ini);
    EXPECT_TRUE(process_.Start(folder_ + L"Kolibrio2.exe", {}));
    // Ready once the last of its five windows (the message dialog) exists:
    // the main window comes first and may already answer messages while
    // the others are still being created.
    EXPECT_TRUE(WaitFor([&] { return MainWindow() && FindProcessWindow(process_.Pid(), L"Dialog", false); }, 20000));
    WaitForInputIdle(process_.Handle(), 5000);
}

RunningProgram::~RunningProgram() {
    Kill();
    if (ownFolder_) RemoveTree(folder_);
    if (ownTarget_) RemoveTree(target_);
}

HWND RunningProgram::MainWindow() const {
    return FindProcessWindow(process_.Pid(), L"Kolibrio 2 - nastavení", false);
}

HWND RunningProgram::Visible(const std::wstring& title) const { return FindProcessWindow(process_.Pid(), title, true); }

void RunningProgram::Kill() {
    if (!process_.Running()) return;
    TerminateProcess(process_.Handle(), 0);
    process_.WaitExit(5000);
}

bool RunningProgram::SendVolume(UINT event, wchar_t letter, DWORD_PTR& result, UINT timeoutMs) const {
    return SendVolumeEvent(MainWindow(), event, letter, result, timeoutMs);
}

}  // namespace wintest
