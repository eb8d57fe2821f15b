// "Ukončit" confirmed while an import runs: from then on every message box
// of the program returns 2 at once, and the run must end, as a cancelled
// one, so that the program can end. Its own program: the application's
// end cannot be taken back within a process.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "framework/Application.h"
#include "framework/Strings.h"
#include "import/ImportRun_win.h"
#include "import/UnitMyDlg_win.h"
#include "settings/Settings.h"
#include "support/ImportScript.h"
#include "support/UiTest.h"
#include "support/WinTest.h"

namespace {

// Records each question and answers it with the real message box.
class RealQuestionsUi : public wintest::ScriptedImportUi {
public:
    int Message(const std::string& text, const std::string& caption, TMsgDlgKind kind, TMsgButtons buttons,
                TMsgButtons focus) override {
        ScriptedImportUi::Message(text, caption, kind, buttons, focus);
        if (messages.size() > 50) return 6;  // a run that keeps asking would never end: stop it here
        return MyMessageDlg(text, caption, kind, buttons, focus);
    }
};

void SetWriteTime(const std::wstring& path, WORD second) {
    SYSTEMTIME st{2009, 6, 0, 1, 10, 0, second, 0};
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    HANDLE f = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(f, nullptr, nullptr, &ft);
    CloseHandle(f);
}

DWORD WINAPI Watchdog(void*) {
    Sleep(120000);
    std::fprintf(stderr, "the run did not end within two minutes after the program's end\n");
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return 0;
}

TEST(ImportAtTheProgramsEnd, TheRunEndsAsCancelledWithoutAPartialFile) {
    wintest::InitApp();
    std::wstring root = wintest::MakeTempDir();
    std::wstring src = root + L"card\\", dst = root + L"archive\\";
    CreateDirectoryW(src.c_str(), nullptr);
    CreateDirectoryW(dst.c_str(), nullptr);
    TSettings& s = Settings();
    s.SkipImported = false;  // the history of imports is tested on its own
    s.Path = fw::Utf8(dst);
    s.CurrentMask = "%file_name%.%file_ext%";
    s.ExtensionList = {"*.jpg"};
    s.TimeForMask = TTimeSource::FileTime;
    // a.jpg is being copied when the program is ended; b.jpg's target
    // exists, so its copy would ask before overwriting.
    ASSERT_TRUE(wintest::WriteFileBytes(src + L"a.jpg", std::string(400000, 'a')));
    ASSERT_TRUE(wintest::WriteFileBytes(src + L"b.jpg", "new"));
    ASSERT_TRUE(wintest::WriteFileBytes(dst + L"b.jpg", "old"));
    SetWriteTime(src + L"a.jpg", 1);
    SetWriteTime(src + L"b.jpg", 2);

    CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
    RealQuestionsUi ui;
    ui.onProcessMessages = [&] {
        if (ui.copying && !fw::App().Terminated()) fw::App().Terminate();  // "Ukončit", answered Ano
    };
    StartImport(fw::Utf8(src), ui);

    EXPECT_TRUE(fw::App().Terminated());
    EXPECT_EQ(wintest::ReadFileBytes(dst + L"b.jpg"), "old");
    // a.jpg was cut off: nothing of it stays, not under its name, not as a
    // temporary file.
    EXPECT_FALSE(wintest::FileExists(dst + L"a.jpg"));
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dst + L"*").c_str(), &fd);
    int files = 0;
    if (h != INVALID_HANDLE_VALUE) {
        do files += !(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    EXPECT_EQ(files, 1);
    for (const auto& m : ui.messages) EXPECT_EQ(m.text.find("Kopírování proběhlo úspěšně."), std::string::npos);
    EXPECT_LE(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages.back().text.rfind("Kopírování bylo přerušeno.\r\n\r\n", 0), 0u);  // the counts follow
    EXPECT_FALSE(ImportJob().Running);
    wintest::RemoveTree(root);
}

}  // namespace
