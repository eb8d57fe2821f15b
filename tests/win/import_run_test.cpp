// Whole import runs over real folder trees on disk, answered by a script.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>

#include "framework/Strings.h"
#include "import/FileAccess_win.h"
#include "import/ImportRun_win.h"
#include "settings/ListText.h"
#include "settings/Settings.h"
#include "support/ImportScript.h"
#include "support/WinTest.h"
#include "support/WineDrive.h"
#include "tests/core/exif_fixture.h"

namespace {

using wintest::ScriptedImportUi;
using Names = std::vector<std::string>;

const wchar_t* const kCounters = wintest::kCountersKey;
const char kResults[] = "Kolibrio2 - Výsledky kopírování";
const char kOverwrite[] = "Kolibrio2 - Potvrdit nahrazení souboru";
const char kQuestion[] = "Kolibrio2 - Otázka";

void SetFileTimeLocal(const std::wstring& path, int y, int mo, int d, int h, int mi, int s) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(mo);
    st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(mi);
    st.wSecond = static_cast<WORD>(s);
    FILETIME local, utc;
    SystemTimeToFileTime(&st, &local);
    LocalFileTimeToFileTime(&local, &utc);
    HANDLE f = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    SetFileTime(f, nullptr, nullptr, &utc);
    CloseHandle(f);
}

// The result message's own text, without the counts that follow it.
std::string Head(const std::string& text) {
    return text.substr(0, text.find("\r\n\r\n"));
}

std::string CameraJpeg(const std::string& date, size_t size) {
    return exiffix::Jpeg(exiffix::CameraTiff(false, date).Build(), 16, size);
}

std::optional<DWORD> CopyCount() {
    return wintest::ReadDword(kCounters, L"copycount");
}

void SetCopyCount(DWORD value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kCounters, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"copycount", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(DWORD));
    RegCloseKey(key);
}

Names Tree(const std::wstring& base) { return wintest::FilesBelow(base); }

// Every run goes once with the copy check and once without: apart from the
// check itself, both behave alike. A test of the fixture that is not run
// over both keeps the default.
class ImportRun : public ::testing::TestWithParam<bool> {
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
        s.CurrentMask = "%yyyy%\\%mm%\\%dd%\\%index%_%file_name%.%file_ext%";
        s.ExtensionList = {"*.jpg", "*.avi"};
        s.TimeForMask = TTimeSource::EXIFTime;
        s.VerifyCopy = ::testing::UnitTest::GetInstance()->current_test_info()->value_param() ? GetParam()
                                                                                            : TSettings().VerifyCopy;
        ImportJob() = TImportJob();
    }
    void TearDown() override { wintest::RemoveTree(root_); }

    // A file in the card with content and a file time.
    std::wstring Put(const std::wstring& rel, const std::string& bytes, int day = 1, int hour = 10, int sec = 0) {
        std::wstring path = src_ + rel;
        size_t slash = rel.rfind(L'\\');
        if (slash != std::wstring::npos) ForceDirectories(fw::Utf8(src_ + rel.substr(0, slash)));
        EXPECT_TRUE(wintest::WriteFileBytes(path, bytes));
        SetFileTimeLocal(path, 2009, 6, day, hour, 0, sec);
        return path;
    }
    std::string Src() const { return fw::Utf8(src_); }
    std::string Read(const std::wstring& relTarget) { return wintest::ReadFileBytes(dst_ + relTarget); }

    std::wstring root_, src_, dst_;
};

TEST_P(ImportRun, JpegAndAviAreNumberedByCaptureDateAcrossPatterns) {
    SetCopyCount(41);
    std::string a = CameraJpeg("2009:06:01 10:00:03", 3000);
    std::string b = CameraJpeg("2009:06:01 10:00:01", 4000);
    std::string c = CameraJpeg("2009:06:02 08:00:00", 5000);
    Put(L"DCIM\\100CAM\\P3.JPG", a);
    Put(L"DCIM\\100CAM\\P1.JPG", b);
    Put(L"DCIM\\101CAM\\P9.JPG", c);
    Put(L"DCIM\\100CAM\\MOV2.AVI", std::string(700, 'v'), 1, 10, 2);  // between the two JPEGs of that day

    ScriptedImportUi ui;
    StartImport(Src(), ui);

    EXPECT_EQ(ui.Captions(), Names{kResults});
    EXPECT_EQ(ui.messages.at(0).text,
              "Kopírování proběhlo úspěšně.\r\n\r\nZkopírováno souborů: 4 (12,4 kB), přeskočeno: 0, nezdařilo se: 0.");
    EXPECT_EQ(ui.messages.at(0).kind, mkInformation);
    EXPECT_EQ(Tree(dst_), (Names{"2009\\06\\01\\1_P1.JPG", "2009\\06\\01\\2_MOV2.AVI", "2009\\06\\01\\3_P3.JPG",
                                 "2009\\06\\02\\4_P9.JPG"}));
    EXPECT_EQ(Read(L"2009\\06\\01\\3_P3.JPG"), a);
    EXPECT_EQ(Read(L"2009\\06\\02\\4_P9.JPG"), c);
    EXPECT_EQ(CopyCount(), 42u);
    EXPECT_EQ(ui.overallAtEnd, 3000 + 4000 + 5000 + 700);
    EXPECT_EQ(ImportJob().TotalBytes, 3000 + 4000 + 5000 + 700);
    EXPECT_FALSE(ui.progressVisible);
    EXPECT_TRUE(ui.previewTimer);
    EXPECT_EQ(ui.title, "Kolibrio 2");
    EXPECT_TRUE(ImportJob().SourceFiles.empty());
    EXPECT_TRUE(ImportJob().Mask.IndexDirs.empty());
    EXPECT_GE(ui.speedTicks, 1);
}

TEST_P(ImportRun, IndexDirCountsPerTargetFolder) {
    Settings().TimeForMask = TTimeSource::FileTime;
    Settings().CurrentMask = "%dd%\\%index_dir%-%index%.%file_ext%";
    Put(L"a.jpg", "a", 2, 9);
    Put(L"b.jpg", "b", 1, 9);
    Put(L"c.jpg", "c", 2, 10);
    Put(L"d.jpg", "d", 1, 10);
    ScriptedImportUi ui;
    StartImport(Src(), ui);
    EXPECT_EQ(Tree(dst_), (Names{"01\\1-1.jpg", "01\\2-2.jpg", "02\\1-3.jpg", "02\\2-4.jpg"}));
    EXPECT_EQ(Read(L"01\\2-2.jpg"), "d");
    EXPECT_EQ(Read(L"02\\1-3.jpg"), "a");
}

// Two existing targets, the answers to the overwrite question and what
// each file holds afterwards ("new" copied, "old" kept).
TEST_P(ImportRun, TheFiveOverwriteAnswersAndTheCancelLoop) {
    struct Case {
        const char* name;
        std::deque<int> answers;
        std::string first, second;
        int overwriteQuestions;
        bool cancelled;
        const char* counts;
    } cases[] = {
        {"yes, no", {6, 7}, "new", "old", 2, false, "2 (8 B), přeskočeno: 1"},
        {"yes to all", {10}, "new", "new", 1, false, "3 (12 B), přeskočeno: 0"},
        {"no to all", {9}, "old", "old", 1, false, "1 (4 B), přeskočeno: 2"},
        {"cancel, not sure, then yes; no", {2, 7, 6, 7}, "new", "old", 3, false, "2 (8 B), přeskočeno: 1"},
        {"cancel for sure", {2, 6}, "old", "old", 1, true, "0 (0 B), přeskočeno: 0"},
        {"close box of the question counts as cancel", {2, 6}, "old", "old", 1, true, "0 (0 B), přeskočeno: 0"},
    };
    Settings().TimeForMask = TTimeSource::FileTime;
    Settings().CurrentMask = "%file_name%.%file_ext%";
    Put(L"1.jpg", "new1", 1, 8);
    Put(L"2.jpg", "new2", 1, 9);
    Put(L"3.jpg", "new3", 1, 10);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wintest::WriteFileBytes(dst_ + L"1.jpg", "old1");
        wintest::WriteFileBytes(dst_ + L"2.jpg", "old2");
        DeleteFileW((dst_ + L"3.jpg").c_str());
        ScriptedImportUi ui;
        ui.answers = c.answers;
        ui.questionMs = 7000;
        StartImport(Src(), ui);
        EXPECT_EQ(Read(L"1.jpg"), c.first + "1");
        EXPECT_EQ(Read(L"2.jpg"), c.second + "2");
        EXPECT_EQ(wintest::FileExists(dst_ + L"3.jpg"), !c.cancelled);
        int overwrite = 0;
        for (const auto& m : ui.messages)
            if (m.caption == kOverwrite) {
                ++overwrite;
                EXPECT_EQ(m.kind, mkInformation);
                EXPECT_EQ(m.buttons, MsgBtn::Yes | MsgBtn::No | MsgBtn::Cancel | MsgBtn::NoAll | MsgBtn::YesAll);
                EXPECT_EQ(m.focus, MsgBtn::No);
            }
        EXPECT_EQ(overwrite, c.overwriteQuestions);
        ASSERT_FALSE(ui.messages.empty());
        EXPECT_EQ(ui.messages.back().text,
                  std::string(c.cancelled ? "Kopírování bylo přerušeno." : "Kopírování proběhlo úspěšně.") +
                      "\r\n\r\nZkopírováno souborů: " + c.counts + ", nezdařilo se: 0.");
        // Every question that stayed open moved the start of the copy
        // forward by its time, except the final "yes, cancel".
        int moved = static_cast<int>(ui.messages.size()) - 1 - (c.cancelled ? 1 : 0);
        EXPECT_EQ(ImportJob().StartTick - ui.startTickAtQuestion.front(), static_cast<uint32_t>(moved) * 7000u);
        EXPECT_EQ(Tree(dst_).size(), c.cancelled ? 2u : 3u);  // no temporary file is left behind
    }
}

TEST_P(ImportRun, CancelDuringScanOrderingAndCopyingLeavesNoPartialFile) {
    Settings().TimeForMask = TTimeSource::FileTime;
    Settings().CurrentMask = "%file_name%.%file_ext%";
    Put(L"a.jpg", "aaa", 1, 8);
    Put(L"sub\\big.jpg", std::string(300000, 'b'), 1, 9);
    Put(L"sub\\c.jpg", "ccc", 1, 10);
    // The user presses Storno at the n-th service of window events (the
    // first comes when the progress window appears, the scan's follow), or
    // once the big file's bar has moved.
    struct Case {
        const char* name;
        int pressAt;
        Names left;
        bool resultShown;
    } cases[] = {
        {"before the scan's first file", 1, {}, false},
        {"during the scan", 2, {}, false},
        {"ordering", 5, {}, false},
        {"copying the big file", 0, {"a.jpg"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wintest::RemoveTree(dst_);
        CreateDirectoryW(dst_.c_str(), nullptr);
        ScriptedImportUi ui;
        int services = 0;
        ui.onProcessMessages = [&] {
            ++services;
            bool press = c.pressAt ? services == c.pressAt
                                   : !ui.fileBarMoves.empty() && ui.fileBarMoves.back() >= 32769;
            if (press) ImportJob().Cancelled = true;
        };
        StartImport(Src(), ui);
        EXPECT_EQ(Tree(dst_), c.left);
        if (c.resultShown) {
            EXPECT_EQ(ui.Captions(), Names{kResults});
            EXPECT_EQ(Head(ui.messages.back().text), "Kopírování bylo přerušeno.");
        } else {
            EXPECT_TRUE(ui.messages.empty());
        }
    }
}

TEST_P(ImportRun, InvalidTargetOfTheTenthFileStopsBeforeAnyCopy) {
    Settings().TimeForMask = TTimeSource::FileTime;
    Settings().ExtensionList = {"f*"};
    Settings().CurrentMask = "%file_ext%\\%file_name%.x";  // no extension: an empty folder name
    for (int k = 1; k <= 9; ++k) Put(L"f0" + std::to_wstring(k) + L".jpg", "x", 1, k);
    Put(L"f10", "x", 1, 10);
    Put(L"f11.jpg", "x", 1, 11);
    ScriptedImportUi ui;
    StartImport(Src(), ui);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, "Kolibrio 2 - Chyba");
    EXPECT_EQ(ui.messages[0].text, "Cesta \"" + fw::Utf8(dst_) + "\\f10.x\" není správná...");
    EXPECT_EQ(ui.messages[0].kind, mkError);
    EXPECT_TRUE(Tree(dst_).empty());
    EXPECT_FALSE(ui.progressVisible);
    EXPECT_FALSE(ui.copying);
}

TEST_P(ImportRun, NoMatchingFileGivesTheNotice) {
    SetCopyCount(7);
    Put(L"readme.txt", "x");
    ScriptedImportUi ui;
    StartImport(Src(), ui);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, "Kolibrio2 - Oznámení");
    EXPECT_EQ(ui.messages[0].text,
              "Nebyly nalezeny žádné soubory ke zpracování.\r\nKopírování nemůže začít. Dialog bude uzavřen.\r\n\r\n"
              "Ve složce zůstal 1 soubor, který se nekopíruje: .TXT (1).\r\nTypy souborů lze přidat v nastavení.");
    EXPECT_EQ(ui.messages[0].kind, mkWarning);
    EXPECT_FALSE(ui.progressVisible);
    EXPECT_EQ(CopyCount(), 7u);
}

TEST_P(ImportRun, MissingFolderOrDeclinedConfirmationDoesNothing) {
    Put(L"a.jpg", "a");
    ScriptedImportUi missing;
    StartImport(fw::Utf8(root_ + L"nowhere\\"), missing);
    EXPECT_EQ(missing.confirms, 0);
    ScriptedImportUi declined;
    declined.confirmResult = 2;
    StartImport(Src(), declined);
    EXPECT_EQ(declined.confirms, 1);
    EXPECT_FALSE(declined.progressVisible);
    EXPECT_TRUE(Tree(dst_).empty());
}

TEST_P(ImportRun, UnreadableExifEndsInTheErrorBoxThoughEverythingWasCopied) {
    std::string tiff = exiffix::CameraTiff(false, "2009:06:01 10:00:00").Build();
    tiff[4] = '\xF0';  // the first directory lies past the end of the file
    tiff[5] = '\xFF';
    Put(L"a.jpg", exiffix::Jpeg(tiff, 16, 2000), 1, 8);
    Put(L"b.jpg", CameraJpeg("2009:06:03 10:00:00", 2000), 1, 9);
    ScriptedImportUi ui;
    StartImport(Src(), ui);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].kind, mkError);
    EXPECT_EQ(ui.messages[0].text.rfind("Během kopírování došlo k chybě:\r\n", 0), 0u);
    EXPECT_GT(ui.messages[0].text.size(), std::string("Během kopírování došlo k chybě:\r\n").size());
    EXPECT_EQ(Tree(dst_).size(), 2u);
}

TEST_P(ImportRun, ZeroByteAndHundredThousandByteFilesMoveTheBarsAtTenths) {
    Settings().TimeForMask = TTimeSource::FileTime;
    Settings().CurrentMask = "%file_name%.%file_ext%";
    Put(L"empty.jpg", "", 1, 8);
    std::string data;
    for (int k = 0; k < 100000; ++k) data += static_cast<char>(k * 31 % 251);
    Put(L"full.jpg", data, 1, 9);
    ScriptedImportUi ui;
    StartImport(Src(), ui);
    EXPECT_EQ(Read(L"empty.jpg"), "");
    EXPECT_TRUE(wintest::FileExists(dst_ + L"empty.jpg"));
    EXPECT_EQ(Read(L"full.jpg"), data);
    EXPECT_EQ(ui.fileBarMoves, (std::vector<int64_t>{32769, 65538, 98307, 100000}));
    EXPECT_EQ(ui.overallAtEnd, 100000);
    EXPECT_EQ(Head(ui.messages.back().text), "Kopírování proběhlo úspěšně.");
}

// A folder that cannot be made (a file holds its name) is named once with
// the system's reason; every file for it fails.
TEST_P(ImportRun, TargetFolderThatCannotBeCreatedFailsEveryFile) {
    wintest::WriteFileBytes(root_ + L"blocker", "a file where a folder should be");
    Settings().Path = fw::Utf8(root_ + L"blocker\\sub\\");
    Settings().CurrentMask = "%file_name%.%file_ext%";
    Settings().TimeForMask = TTimeSource::FileTime;
    for (int k = 1; k <= 20; ++k) Put(L"f" + std::to_wstring(100 + k) + L".jpg", "a", 1, 1, k);
    ScriptedImportUi ui;
    StartImport(Src(), ui);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].kind, mkError);
    const std::string& text = ui.messages[0].text;
    const std::string head = "Během kopírování došlo k chybě:\r\nSložku \"" + fw::Utf8(root_) + "blocker\\\" nelze vytvořit: ";
    EXPECT_EQ(text.rfind(head, 0), 0u) << text;
    EXPECT_EQ(text.find("\r\n", head.size()), text.find("\r\n\r\nZkopírováno")) << "one line: " << text;
    EXPECT_EQ(text.substr(text.find("\r\n\r\n")), "\r\n\r\nZkopírováno souborů: 0 (0 B), přeskočeno: 0, nezdařilo se: 20.");
}

TEST_P(ImportRun, SourceDeletedBetweenScanAndCopy) {
    Settings().TimeForMask = TTimeSource::FileTime;
    Settings().CurrentMask = "%file_name%.%file_ext%";
    Put(L"a.jpg", "aaa", 1, 8);
    std::wstring gone = Put(L"b.jpg", "bbb", 1, 9);
    Put(L"c.jpg", "ccc", 1, 10);
    ScriptedImportUi ui;
    bool deleted = false;
    ui.onProcessMessages = [&] {
        if (ui.copying && !deleted) deleted = DeleteFileW(gone.c_str()) != FALSE;
    };
    StartImport(Src(), ui);
    ASSERT_TRUE(deleted);
    EXPECT_EQ(Tree(dst_), (Names{"a.jpg", "c.jpg"}));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].kind, mkError);
    EXPECT_EQ(ui.messages[0].text, "Během kopírování došlo k chybě:\r\nb.jpg: " +
                                       fw::SystemErrorText(ERROR_FILE_NOT_FOUND) +
                                       ".\r\n\r\nZkopírováno souborů: 2 (6 B), přeskočeno: 0, nezdařilo se: 1.");
}

TEST_P(ImportRun, HiddenSystemAndDotFolders) {
    Settings().TimeForMask = TTimeSource::FileTime;
    Settings().CurrentMask = "%file_name%.%file_ext%";
    std::wstring hiddenFile = Put(L"h.jpg", "h", 1, 1);
    std::wstring systemFile = Put(L"s.jpg", "s", 1, 2);
    Put(L".thumbs\\t.jpg", "t", 1, 3);
    Put(L"hid\\i.jpg", "i", 1, 4);
    Put(L"ok\\o.jpg", "o", 1, 5);
    SetFileAttributesW(hiddenFile.c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(systemFile.c_str(), FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesW((src_ + L"hid").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
    ScriptedImportUi ui;
    StartImport(Src(), ui);
    EXPECT_EQ(Tree(dst_), (Names{"h.jpg", "o.jpg"}));
}

TEST_P(ImportRun, TwoRunsInARowStartClean) {
    Settings().TimeForMask = TTimeSource::FileTime;
    Settings().CurrentMask = "%index%.%file_ext%";
    Put(L"a.jpg", "a", 1, 8);
    Put(L"b.jpg", "b", 1, 9);
    ScriptedImportUi first;
    StartImport(Src(), first);
    EXPECT_EQ(Tree(dst_), (Names{"1.jpg", "2.jpg"}));
    ScriptedImportUi second;
    second.answers = {10};  // yes to all holds for this run only
    StartImport(Src(), second);
    ScriptedImportUi third;
    third.answers = {7, 7};
    StartImport(Src(), third);
    int asked = 0;
    for (const auto& m : third.messages) asked += m.caption == kOverwrite;
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(Tree(dst_), (Names{"1.jpg", "2.jpg"}));
}

TEST_P(ImportRun, ASecondStartDuringARunIsIgnored) {
    Settings().TimeForMask = TTimeSource::FileTime;
    Settings().CurrentMask = "%file_name%.%file_ext%";
    Put(L"a.jpg", "a", 1, 8);
    std::wstring other = root_ + L"other\\";
    CreateDirectoryW(other.c_str(), nullptr);
    wintest::WriteFileBytes(other + L"z.jpg", "z");
    ScriptedImportUi ui;
    bool tried = false;
    ui.onProcessMessages = [&] {
        if (!tried && ui.copying) {
            tried = true;
            StartImport(fw::Utf8(other), ui);  // another card arrives
        }
    };
    StartImport(Src(), ui);
    EXPECT_TRUE(tried);
    EXPECT_EQ(ui.confirms, 1);
    EXPECT_EQ(Tree(dst_), Names{"a.jpg"});
    EXPECT_EQ(ui.Captions(), Names{kResults});
    EXPECT_FALSE(ImportJob().Running);
}

TEST_P(ImportRun, AnImportIntoItsOwnFolderKeepsTheSource) {
    Settings().TimeForMask = TTimeSource::FileTime;
    Settings().CurrentMask = "%file_name%.%file_ext%";
    Settings().Path = Src();
    std::string data(50000, 'q');
    Put(L"self.jpg", data);
    ScriptedImportUi ui;
    ui.answers = {6};
    StartImport(Src(), ui);
    EXPECT_EQ(wintest::ReadFileBytes(src_ + L"self.jpg"), data);
    EXPECT_EQ(Tree(src_), Names{"self.jpg"});
    EXPECT_EQ(ui.messages.back().text,
              "Kopírování proběhlo úspěšně.\r\n\r\nZkopírováno souborů: 0 (0 B), přeskočeno: 1, nezdařilo se: 0.");
}

// A mask that names no file would copy every picture onto the folder's
// own name: the import refuses it before anything is copied.
TEST_F(ImportRun, AMaskThatNamesNoFileIsRefused) {
    Settings().TimeForMask = TTimeSource::FileTime;
    Put(L"a.jpg", "a", 1, 8);
    struct Case {
        const char* mask;
        const char* target;  // below the target folder
    } cases[] = {{"", ""}, {"%yyyy%\\", "2009\\"}, {"%file_name%\\.", "a\\."}, {" ", " "}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        Settings().CurrentMask = c.mask;
        ScriptedImportUi ui;
        StartImport(Src(), ui);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].caption, "Kolibrio 2 - Chyba");
        EXPECT_EQ(ui.messages[0].kind, mkError);
        EXPECT_EQ(ui.messages[0].text, "Cesta \"" + fw::Utf8(dst_) + c.target + "\" není správná...");
        EXPECT_TRUE(Tree(dst_).empty());
        EXPECT_FALSE(ui.copying);
    }
}

// The factory settings on a card of camera files: every type of the list
// arrives under the factory mask; the types outside it are named.
TEST_F(ImportRun, FactorySettingsTakeACameraCardAndNameWhatTheyLeave) {
    const std::wstring factory = wintest::SourceDir() + L"res\\beside\\setting_def.ini";
    wchar_t buf[2048];
    GetPrivateProfileStringW(L"Mask", L"CurrentMask", L"", buf, 2048, factory.c_str());
    Settings().CurrentMask = fw::Utf8(buf);
    GetPrivateProfileStringW(L"Options", L"FileExtension", L"", buf, 2048, factory.c_str());
    Settings().ExtensionList = TextToList(fw::Utf8(buf), ';');
    ASSERT_FALSE(Settings().CurrentMask.empty());
    Settings().TimeForMask = TTimeSource::EXIFTime;

    const wchar_t letter = wintest::FreeDriveLetter();
    if (!letter || !wintest::DefineWineDrive(letter, src_, DRIVE_REMOVABLE))
        GTEST_SKIP() << "Wine's mount manager gives no drive letter for the card here";
    struct DriveGone {
        wchar_t l;
        ~DriveGone() { wintest::RemoveWineDrive(l); }
    } gone{letter};

    Names expected;
    Put(L"DCIM\\100CANON\\IMG_0001.JPG", CameraJpeg("2024:03:02 10:00:00", 3000));
    expected.push_back("2024\\2024-03-02\\IMG_0001.JPG");
    int k = 2;  // 21 more files of 102..122 bytes: 5352 bytes in all
    for (const wchar_t* ext : {L"jpeg", L"JPG", L"CR2", L"CR3", L"NEF", L"NRW", L"ARW", L"RAF", L"RW2", L"ORF",
                               L"PEF", L"DNG", L"HEIC", L"HEIF", L"MP4", L"MOV", L"AVI", L"MTS", L"M2TS", L"3GP",
                               L"WAV"}) {
        std::wstring name = L"IMG_00" + std::to_wstring(10 + k) + L"." + ext;
        Put(L"DCIM\\101CANON\\" + name, std::string(100 + k, 'r'), 5, 9, k);  // no EXIF block: the file time
        expected.push_back("2009\\2009-06-05\\" + fw::Utf8(name));
        ++k;
    }
    Put(L"DCIM\\100CANON\\IMG_0001.THM", "thumbnail");
    Put(L"DCIM\\100CANON\\MVI_0002.CTG", "catalogue");
    Put(L"DCIM\\100CANON\\SCAN.PSD", "p");
    Put(L"DCIM\\101CANON\\A.XYZ", "x");
    Put(L"DCIM\\101CANON\\B.xyz", "x");
    std::sort(expected.begin(), expected.end());

    ScriptedImportUi ui;
    StartImport(std::string(1, static_cast<char>(letter)) + ":\\DCIM\\", ui);
    EXPECT_EQ(Tree(dst_), expected);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].kind, mkInformation);
    EXPECT_EQ(ui.messages[0].text, "Kopírování proběhlo úspěšně.\r\n\r\nZkopírováno souborů: " +
                                       std::to_string(expected.size()) + " (5,2 kB), přeskočeno: 0, nezdařilo se: 0." +
                                       "\r\nNa kartě zůstaly 3 soubory, které se nekopírují: .XYZ (2), .PSD (1).\r\n"
                                       "Typy souborů lze přidat v nastavení.");
}

// A burst shot within one second is numbered in the order of the scan.
TEST_F(ImportRun, ABurstKeepsTheScanOrder) {
    Settings().CurrentMask = "%index%_%file_name%.%file_ext%";
    const std::string burst = CameraJpeg("2009:06:01 10:00:00", 1000);
    for (wchar_t c = L'a'; c < L'a' + 12; ++c) Put(std::wstring(1, c) + L".jpg", burst);
    Names scanned;  // the order the system lists them in
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((src_ + L"*.jpg").c_str(), &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    do scanned.push_back(fw::Utf8(fd.cFileName));
    while (FindNextFileW(h, &fd));
    FindClose(h);
    ASSERT_EQ(scanned.size(), 12u);

    ScriptedImportUi ui;
    StartImport(Src(), ui);
    Names expected;
    for (size_t k = 0; k < scanned.size(); ++k) {
        std::string index = std::to_string(k + 1);
        expected.push_back((index.size() < 2 ? "0" + index : index) + "_" + scanned[k]);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Tree(dst_), expected);
}

// Copies carry the source's times, so the archive sorts by date.
TEST_F(ImportRun, CopiesKeepTheSourceTimes) {
    Settings().TimeForMask = TTimeSource::FileTime;
    Settings().CurrentMask = "%file_name%.%file_ext%";
    Put(L"small.jpg", "s", 3, 7, 11);
    Put(L"big.jpg", std::string(200000, 'b'), 4, 8, 12);
    ScriptedImportUi ui;
    StartImport(Src(), ui);
    auto times = [](const std::wstring& path) {
        WIN32_FILE_ATTRIBUTE_DATA a{};
        EXPECT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &a));
        return a;
    };
    for (const std::wstring& name : {std::wstring(L"small.jpg"), std::wstring(L"big.jpg")}) {
        SCOPED_TRACE(fw::Utf8(name));
        WIN32_FILE_ATTRIBUTE_DATA source = times(src_ + name), copy = times(dst_ + name);
        EXPECT_EQ(CompareFileTime(&copy.ftLastWriteTime, &source.ftLastWriteTime), 0);
        EXPECT_EQ(CompareFileTime(&copy.ftCreationTime, &source.ftCreationTime), 0);
    }
}

// Storno confirmed when the file's last block is already written, or just
// before a one-block file is copied: the copy is whole and stays, under its
// own name; the run still ends as cancelled.
TEST_P(ImportRun, ACopyCompletedBeforeTheCancelIsKept) {
    Settings().TimeForMask = TTimeSource::FileTime;
    Settings().CurrentMask = "%file_name%.%file_ext%";
    std::string big(100000, 'b');
    Put(L"a_big.jpg", big, 1, 8);
    Put(L"b_small.jpg", "small", 1, 9);
    // Storno at the first or second service of window events once the big
    // file's last block is written: inside its copy, or between the files.
    struct Case {
        const char* name;
        int service;
        Names left;
    } cases[] = {
        {"after the last block of a four-block file", 1, {"a_big.jpg"}},
        {"just before a one-block file", 2, {"a_big.jpg", "b_small.jpg"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wintest::RemoveTree(dst_);
        CreateDirectoryW(dst_.c_str(), nullptr);
        ScriptedImportUi ui;
        int seen = 0;
        ui.onProcessMessages = [&] {
            if (!ui.fileBarMoves.empty() && ui.fileBarMoves.back() == 100000 && ++seen == c.service)
                ImportJob().Cancelled = true;
        };
        StartImport(Src(), ui);
        EXPECT_EQ(Tree(dst_), c.left);
        EXPECT_TRUE(Read(L"a_big.jpg") == big);
        if (c.left.size() == 2) {
            EXPECT_EQ(Read(L"b_small.jpg"), "small");
        }
        EXPECT_EQ(Head(ui.messages.back().text), "Kopírování bylo přerušeno.");
    }
}

// Targets as long as the system takes them: a path of 259 characters, a
// name of 255. Their temporary copy must not be what makes them fail.
TEST_P(ImportRun, TargetsAtTheLengthLimitsAreCopied) {
    const wchar_t letter = wintest::FreeDriveLetter();
    ASSERT_NE(letter, 0);
    ASSERT_TRUE(wintest::DefineWineDrive(letter, dst_, DRIVE_FIXED));
    const std::string drive = std::string(1, static_cast<char>(letter)) + ":\\";
    Settings().Path = drive;
    Settings().TimeForMask = TTimeSource::FileTime;
    Put(L"a.jpg", "the photo");
    struct Case {
        const char* name;
        std::string folder, bareName;  // the target is drive + folder + bareName + "a.jpg"
    } cases[] = {
        {"path of 259 characters", std::string(200, 'd') + "\\", std::string(259 - 3 - 201 - 5, 'n')},
        {"name of 255 characters", "", std::string(255 - 5, 'n')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Settings().CurrentMask = c.folder + c.bareName + "%file_name%.%file_ext%";
        const std::string target = drive + c.folder + c.bareName + "a.jpg";
        ScriptedImportUi ui;
        StartImport(Src(), ui);
        ASSERT_FALSE(ui.messages.empty());
        EXPECT_EQ(Head(ui.messages.back().text), "Kopírování proběhlo úspěšně.") << ui.messages.front().text;
        EXPECT_EQ(wintest::ReadFileBytes(fw::Wide(target)), "the photo");
        EXPECT_EQ(Tree(dst_).size(), 1u);  // no temporary file beside it
        wintest::RemoveTree(dst_);
        CreateDirectoryW(dst_.c_str(), nullptr);
    }
    wintest::RemoveWineDrive(letter);
}

INSTANTIATE_TEST_SUITE_P(CopyCheck, ImportRun, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "On" : "Off"; });

TEST(ImportAddFileSize, SizesAndMissingFiles) {
    std::wstring dir = wintest::MakeTempDir();
    wintest::WriteFileBytes(dir + L"f", std::string(1234, 'x'));
    EXPECT_EQ(AddFileSize(fw::Utf8(dir + L"f"), 10), 1244);
    EXPECT_EQ(AddFileSize(fw::Utf8(dir + L"missing"), 10), 10);
    wintest::RemoveTree(dir);
}

}  // namespace
