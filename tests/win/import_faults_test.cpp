// Whole imports under faults: a target disk that fills up in the middle of
// a file, a card removed during a copy, names the ANSI code page cannot
// hold, source paths longer than MAX_PATH. Nothing is silently left behind,
// nothing incomplete stays, and no success covers a failure.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/Strings.h"
#include "import/FileAccess_win.h"
#include "import/ImportRun_win.h"
#include "settings/Settings.h"
#include "support/ImportScript.h"
#include "support/SmallVolume.h"
#include "support/WinTest.h"
#include "support/WineDrive.h"
#include "tests/core/exif_fixture.h"

namespace {

using Names = std::vector<std::string>;
const char kSuccess[] = "Kopírování proběhlo úspěšně.";
const char kErrorHead[] = "Během kopírování došlo k chybě:\r\n";

Names Tree(const std::wstring& base) { return wintest::FilesBelow(base); }

std::string Pattern(size_t size, int seed) {
    std::string s(size, '\0');
    for (size_t k = 0; k < size; ++k) s[k] = static_cast<char>((k * 131 + seed * 17) % 251);
    return s;
}

class ImportFaults : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = wintest::MakeTempDir();
        src_ = root_ + L"card\\";
        dst_ = root_ + L"archive\\";
        CreateDirectoryW(src_.c_str(), nullptr);
        CreateDirectoryW(dst_.c_str(), nullptr);
        TSettings& s = Settings();
        s.SkipImported = false;  // the history of imports is tested on its own
        s.Path = fw::Utf8(dst_);
        s.CurrentMask = "%file_name%.%file_ext%";
        s.ExtensionList = {"*.jpg"};
        s.TimeForMask = TTimeSource::FileTime;
        ImportJob() = TImportJob();
    }
    void TearDown() override { wintest::RemoveTree(root_); }

    // A file on the card, taken at the given second of one morning.
    void Put(const std::wstring& rel, const std::string& bytes, WORD second) {
        std::wstring path = L"\\\\?\\" + src_ + rel;
        ASSERT_TRUE(wintest::WriteFileBytes(path, bytes)) << fw::Utf8(rel);
        SYSTEMTIME st{2009, 6, 0, 1, 10, 0, second, 0};
        FILETIME local, utc;
        SystemTimeToFileTime(&st, &local);
        LocalFileTimeToFileTime(&local, &utc);
        HANDLE f = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        SetFileTime(f, nullptr, nullptr, &utc);
        CloseHandle(f);
    }
    std::string ReadSource(const std::wstring& rel) { return wintest::ReadFileBytes(L"\\\\?\\" + src_ + rel); }

    // The one result a failed run shows: the error box naming the file and
    // the system's reason, and no success message.
    void ExpectFailureNaming(const wintest::ScriptedImportUi& ui, const std::string& file, DWORD code) {
        ASSERT_EQ(ui.messages.size(), 1u);
        const std::string& text = ui.messages[0].text;
        EXPECT_EQ(ui.messages[0].kind, mkError);
        EXPECT_EQ(text.rfind(kErrorHead, 0), 0u) << text;
        // One line per failed file: its name and the reason.
        const std::string line = file.substr(file.rfind('\\') + 1) + ": " + fw::SystemErrorText(code) + ".";
        EXPECT_NE(text.find("\r\n" + line + "\r\n"), std::string::npos) << text;
    }

    std::wstring root_, src_, dst_;
};

TEST_F(ImportFaults, TargetDiskFullInTheMiddleOfAFile) {
    // A real full disk: a tmpfs of 1 MiB, mounted by a Unix shell and
    // mapped to a drive letter.
    wintest::SmallVolume volume(1024);
    if (!volume.Mounted())
        GTEST_SKIP() << "no tmpfs of 1 MiB could be mounted (it needs root, and a Wine that starts Unix "
                        "programs): the full disk is not tested";
    const wchar_t letter = wintest::FreeDriveLetter();
    // The drive goes before the volume is unmounted.
    struct DriveGone {
        wchar_t letter;
        ~DriveGone() {
            if (letter) wintest::RemoveWineDrive(letter);
        }
    } driveGone{letter};
    const std::wstring mountWin = volume.Folder();
    ASSERT_TRUE(letter && wintest::DefineWineDrive(letter, mountWin, DRIVE_FIXED));
    const std::wstring drive = std::wstring(1, letter) + L":\\";
    Settings().Path = fw::Utf8(drive);

    // 300 KiB fits; 900 KiB more does not; 200 KiB fits again once the
    // cut-off copy is gone.
    const std::string a = Pattern(300 * 1024, 1), c = Pattern(900 * 1024, 2), d = Pattern(200 * 1024, 3);
    Put(L"a.jpg", a, 1);
    Put(L"c.jpg", c, 2);
    Put(L"d.jpg", d, 3);
    wintest::ScriptedImportUi ui;
    StartImport(fw::Utf8(src_), ui);

    EXPECT_EQ(Tree(drive), (Names{"a.jpg", "d.jpg"}));  // nothing of c.jpg, not even a temporary file
    EXPECT_TRUE(wintest::ReadFileBytes(drive + L"a.jpg") == a);
    EXPECT_TRUE(wintest::ReadFileBytes(drive + L"d.jpg") == d);
    ExpectFailureNaming(ui, fw::Utf8(drive) + "c.jpg", ERROR_DISK_FULL);
    EXPECT_TRUE(ReadSource(L"a.jpg") == a && ReadSource(L"c.jpg") == c && ReadSource(L"d.jpg") == d);
    EXPECT_EQ(Tree(src_).size(), 3u);
}

// The card is pulled out while c.jpg is copied: from its third block on,
// every read fails as it does on a device that is gone. A file deleted
// under Wine stays readable, so the failure comes through the copy's read.
int gReads = 0;
bool RemovedCardRead(void* file, void* buffer, uint32_t size, uint32_t* read) {
    if (++gReads >= 5) {
        *read = 0;
        SetLastError(ERROR_NOT_READY);
        return false;
    }
    DWORD n = 0;
    BOOL ok = ReadFile(file, buffer, size, &n, nullptr);
    *read = n;
    return ok != FALSE;
}

TEST_F(ImportFaults, CardRemovedDuringACopy) {
    const std::string a = Pattern(5000, 1), b = Pattern(5000, 2), c = Pattern(100000, 3);
    Put(L"a.jpg", a, 1);  // one block
    Put(L"b.jpg", b, 2);  // one block
    Put(L"c.jpg", c, 3);  // four blocks; the card goes at the third
    gReads = 0;
    SetBlockReadForTests(RemovedCardRead);
    wintest::ScriptedImportUi ui;
    StartImport(fw::Utf8(src_), ui);
    SetBlockReadForTests(nullptr);

    EXPECT_EQ(gReads, 5);
    EXPECT_EQ(Tree(dst_), (Names{"a.jpg", "b.jpg"}));
    EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"a.jpg"), a);
    EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"b.jpg"), b);
    ExpectFailureNaming(ui, fw::Utf8(src_) + "c.jpg", ERROR_NOT_READY);
    EXPECT_TRUE(ReadSource(L"c.jpg") == c);
}

// Another program puts a file under the target's name while the copy of
// that file runs: it is never replaced unasked. The question comes as for
// any existing file, and its answer decides.
std::wstring gAppearing;
int gAppearAtRead = 0;
bool TargetAppearsRead(void* file, void* buffer, uint32_t size, uint32_t* read) {
    if (++gReads == gAppearAtRead) wintest::WriteFileBytes(gAppearing, "another program's file");
    DWORD n = 0;
    BOOL ok = ReadFile(file, buffer, size, &n, nullptr);
    *read = n;
    return ok != FALSE;
}

TEST_F(ImportFaults, TargetMadeByAnotherProgramDuringItsCopy) {
    const std::string a = Pattern(5000, 1), b = Pattern(5000, 2);
    struct Case {
        int answer;
        std::string kept;
    } cases[] = {{7, "another program's file"}, {6, b}};
    for (const Case& c : cases) {
        ImportJob() = TImportJob();
        Put(L"a.jpg", a, 1);
        Put(L"b.jpg", b, 2);
        gReads = 0;
        gAppearAtRead = 2;  // b.jpg's only block
        gAppearing = dst_ + L"b.jpg";
        SetBlockReadForTests(TargetAppearsRead);
        wintest::ScriptedImportUi ui;
        ui.answers = {c.answer};
        StartImport(fw::Utf8(src_), ui);
        SetBlockReadForTests(nullptr);

        EXPECT_EQ(ui.Captions(), (Names{"Kolibrio2 - Potvrdit nahrazení souboru", "Kolibrio2 - Výsledky kopírování"}))
            << c.answer;
        EXPECT_EQ(Tree(dst_), (Names{"a.jpg", "b.jpg"})) << c.answer;
        EXPECT_TRUE(wintest::ReadFileBytes(dst_ + L"b.jpg") == c.kept) << c.answer;
        EXPECT_EQ(ui.overallAtEnd, 10000) << c.answer;
        wintest::RemoveTree(dst_);
        CreateDirectoryW(dst_.c_str(), nullptr);
    }
}

// Greek, Japanese and an emoji, in a file name and a folder name: found,
// ordered by their EXIF dates, named through %file_name% and copied byte
// for byte under the same Unicode names.
TEST_F(ImportFaults, NamesTheAnsiCodePageCannotHold) {
    Settings().TimeForMask = TTimeSource::EXIFTime;
    Settings().CurrentMask = "%index%_%file_name%.%file_ext%";
    auto jpeg = [](const char* date, size_t size) {
        return exiffix::Jpeg(exiffix::CameraTiff(false, date).Build(), 16, size);
    };
    const std::string omega = jpeg("2009:06:01 10:00:03", 3000), photo = jpeg("2009:06:01 10:00:01", 4000),
                      smile = jpeg("2009:06:01 10:00:02", 5000);
    ASSERT_TRUE(CreateDirectoryW((src_ + L"\u65E5\u672C").c_str(), nullptr));
    Put(L"\u03A9\u03BC\u03AD\u03B3\u03B1.jpg", omega, 1);
    Put(L"\u65E5\u672C\\\u5199\u771F.jpg", photo, 2);
    Put(L"\U0001F600.jpg", smile, 3);
    wintest::ScriptedImportUi ui;
    StartImport(fw::Utf8(src_), ui);

    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.substr(0, ui.messages[0].text.find("\r\n\r\n")), kSuccess);
    const std::wstring first = L"1_\u5199\u771F.jpg", second = L"2_\U0001F600.jpg",
                       third = L"3_\u03A9\u03BC\u03AD\u03B3\u03B1.jpg";
    EXPECT_EQ(Tree(dst_), (Names{fw::Utf8(first), fw::Utf8(second), fw::Utf8(third)}));
    EXPECT_TRUE(wintest::ReadFileBytes(dst_ + first) == photo);
    EXPECT_TRUE(wintest::ReadFileBytes(dst_ + second) == smile);
    EXPECT_TRUE(wintest::ReadFileBytes(dst_ + third) == omega);
}

// A file in a folder whose path on the card is longer than MAX_PATH (260):
// found, copied and named like any other.
TEST_F(ImportFaults, SourcePathLongerThanMaxPath) {
    std::wstring folders;
    for (wchar_t c : {L'd', L'e', L'g'}) {
        folders += std::wstring(100, c) + L"\\";
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + src_ + folders).c_str(), nullptr));
    }
    const std::wstring name = std::wstring(60, L'f') + L".jpg";
    ASSERT_GT((src_ + folders).size(), 260u);
    const std::string data = Pattern(70000, 4);
    Put(folders + name, data, 1);
    Put(L"short.jpg", "short", 2);
    wintest::ScriptedImportUi ui;
    StartImport(fw::Utf8(src_), ui);

    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.substr(0, ui.messages[0].text.find("\r\n\r\n")), kSuccess);
    EXPECT_EQ(Tree(dst_), (Names{fw::Utf8(name), "short.jpg"}));
    EXPECT_TRUE(wintest::ReadFileBytes(dst_ + name) == data);
    EXPECT_TRUE(ReadSource(folders + name) == data);
}

}  // namespace
