// The copy check over real files: what happens to a copy that is not what
// was written when it is read back, and what the progress window shows.
// Another program's doings between the write and the read-back are played
// by the test through the read-back seam, on the real file. A run checks
// its copies on threads of their own, side by side, while it copies the
// next files: the seam runs there, a copy is known by its length, and where
// the order of two threads' steps matters the test makes it with events.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "framework/Strings.h"
#include "import/FileAccess_win.h"
#include "import/ImportRun_win.h"
#include "import/VerifyCopy_win.h"
#include "import/unitDlgFilecopy_win.h"
#include "settings/Settings.h"
#include "support/ImportScript.h"
#include "support/ImportSettings.h"
#include "support/UiTest.h"
#include "support/WinTest.h"

namespace {

using Names = std::vector<std::string>;
const char kFailed[] = "Během kopírování došlo k chybě:\r\n";

// A step of one thread that another waits for; a wait gives up after ten
// seconds, so that a run that never takes the step fails instead of hanging.
class Step {
public:
    Step() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Step() { CloseHandle(event_); }
    Step(const Step&) = delete;
    Step& operator=(const Step&) = delete;
    void Done() { SetEvent(event_); }
    bool Wait() { return WaitForSingleObject(event_, 10000) == WAIT_OBJECT_0; }
    bool IsDone() { return WaitForSingleObject(event_, 0) == WAIT_OBJECT_0; }

private:
    HANDLE event_;
};

// Another program that holds a copy open.
std::atomic<HANDLE> gHeld{INVALID_HANDLE_VALUE};
void Release() {
    HANDLE h = gHeld.exchange(INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

int64_t LengthOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(fw::Wide(path).c_str(), GetFileExInfoStandard, &data)) return -1;
    return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

// What the test does to the copy of the given length before it is read
// back.
std::function<void(const std::string&)> gTouch;
std::atomic<int64_t> gTouchBytes{-1};
std::atomic<int> gReadBacks{0};
void BeforeReadBack(const std::string& path) {
    ++gReadBacks;
    if (gTouch && LengthOf(path) == gTouchBytes) gTouch(path);
}

Names Tree(const std::wstring& base) { return wintest::FilesBelow(base); }

FILETIME WriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

using wintest::Pattern;

// Records what the window would show of the check; with a progress
// window, also what its status line said then.
class CheckingUi : public wintest::ScriptedImportUi {
public:
    std::vector<bool> checking;
    std::vector<std::string> status;
    std::function<void(bool)> onChecking;
    void SetChecking(bool on) override {
        checking.push_back(on);
        if (DlgFilecopy) {
            WindowImportUi().SetChecking(on);
            status.push_back(DlgFilecopy->sLabelCaption.Text());
        }
        if (onChecking) onChecking(on);
    }
};

// Another program that holds a copy lets go once the copying has ended,
// before the run reports.
class LettingGoUi : public wintest::ScriptedImportUi {
public:
    void SpeedTick() override {
        Release();
        ScriptedImportUi::SpeedTick();
    }
};

// Counts the files whose copy has begun.
class FilesUi : public wintest::ScriptedImportUi {
public:
    int files = 0;
    std::function<void(int)> onFile;
    void SetFileLabels(const std::string&, const std::string&) override {
        ++files;
        if (onFile) onFile(files);
    }
};

class ImportVerify : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = wintest::MakeTempDir();
        src_ = root_ + L"card\\";
        dst_ = root_ + L"archive\\";
        CreateDirectoryW(src_.c_str(), nullptr);
        CreateDirectoryW(dst_.c_str(), nullptr);
        wintest::UsePlainImportSettings(dst_);
        Settings().VerifyCopy = true;
        ImportJob() = TImportJob();
        gReadBacks = 0;
        gTouchBytes = -1;
        gTouch = nullptr;
        SetBeforeReadBack(BeforeReadBack);
    }
    void TearDown() override {
        SetBeforeReadBack(nullptr);
        Release();
        wintest::RemoveTree(root_);
    }
    // A card file; hour orders the copies.
    void Put(const std::wstring& name, const std::string& bytes, int hour) {
        const std::wstring path = src_ + name;
        ASSERT_TRUE(wintest::WriteFileBytes(path, bytes));
        SYSTEMTIME st{2009, 6, 0, 1, static_cast<WORD>(hour), 0, 0, 0};
        FILETIME local, utc;
        SystemTimeToFileTime(&st, &local);
        LocalFileTimeToFileTime(&local, &utc);
        HANDLE f = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        SetFileTime(f, nullptr, nullptr, &utc);
        CloseHandle(f);
    }
    std::string Src(const wchar_t* name = L"") const { return fw::Utf8(src_ + name); }

    std::wstring root_, src_, dst_;
};

// Opens the copy as another program would and applies change to it.
void Rewrite(const std::string& path, const std::function<void(HANDLE)>& change) {
    HANDLE h = CreateFileW(fw::Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    change(h);
    CloseHandle(h);
}

void WriteAt(HANDLE h, int64_t at, const std::string& bytes) {
    LARGE_INTEGER pos;
    pos.QuadPart = at;
    SetFilePointerEx(h, pos, nullptr, at < 0 ? FILE_END : FILE_BEGIN);
    DWORD n = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
}

TEST_F(ImportVerify, ACopyThatIsNotTheCardsNeverTakesItsNameAndTheRunGoesOn) {
    const std::string a = Pattern(5000, 1), b = Pattern(100000, 2), c = Pattern(70000, 3);
    const std::string different = "Kopie souboru \"" + Src(L"b.jpg") + "\" se liší od originálu.";
    const std::string unreadable = "Kopii souboru \"" + Src(L"b.jpg") + "\" nelze přečíst a ověřit.";
    struct Case {
        const char* name;
        std::function<void(const std::string&)> touch;
        std::string error;  // the start of the error text
    } cases[] = {
        {"one byte changed on the medium",
         [&](const std::string& p) {
             Rewrite(p, [&](HANDLE h) { WriteAt(h, 77777, std::string(1, static_cast<char>(b[77777] ^ 0x20))); });
         },
         different},
        {"last byte missing",
         [](const std::string& p) {
             Rewrite(p, [](HANDLE h) {
                 LARGE_INTEGER end;
                 end.QuadPart = 99999;
                 SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
                 SetEndOfFile(h);
             });
         },
         different},
        {"a byte more", [](const std::string& p) { Rewrite(p, [](HANDLE h) { WriteAt(h, 100000, "x"); }); },
         different},
        {"the copy disappeared",
         [](const std::string& p) { ASSERT_TRUE(DeleteFileW(fw::Wide(p).c_str())); },
         unreadable},
        {"another program holds the copy for a while",
         [](const std::string& p) {
             gHeld = CreateFileW(fw::Wide(p).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
             ASSERT_NE(gHeld.load(), INVALID_HANDLE_VALUE);
         },
         unreadable},
    };
    Put(L"a.jpg", a, 8);
    Put(L"b.jpg", b, 9);
    Put(L"c.jpg", c, 10);
    const FILETIME bTime = WriteTime(src_ + L"b.jpg");
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        wintest::RemoveTree(dst_);
        CreateDirectoryW(dst_.c_str(), nullptr);
        gReadBacks = 0;
        gTouchBytes = static_cast<int64_t>(b.size());
        gTouch = k.touch;
        LettingGoUi ui;
        StartImport(Src(), ui);
        Release();

        EXPECT_EQ(gReadBacks, 3) << "every copy is read back";
        EXPECT_EQ(Tree(dst_), (Names{"a.jpg", "c.jpg"})) << "no copy of b.jpg, no temporary file";
        EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"c.jpg"), c);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].kind, mkError);
        EXPECT_EQ(ui.messages[0].text.rfind(std::string(kFailed) + "b.jpg: " + k.error, 0), 0u) << ui.messages[0].text;
        // The card stays as it was.
        EXPECT_EQ(Tree(src_), (Names{"a.jpg", "b.jpg", "c.jpg"}));
        EXPECT_EQ(wintest::ReadFileBytes(src_ + L"b.jpg"), b);
        const FILETIME bNow = WriteTime(src_ + L"b.jpg");
        EXPECT_EQ(CompareFileTime(&bTime, &bNow), 0);
    }
}

TEST_F(ImportVerify, ACopyHeldPastTheRunIsNamedInTheReport) {
    Put(L"a.jpg", Pattern(3000, 4), 8);
    gTouchBytes = 3000;
    std::string held;
    gTouch = [&](const std::string& p) {
        held = p;
            gHeld = CreateFileW(fw::Wide(p).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    wintest::ScriptedImportUi ui;
    StartImport(Src(), ui);
    ASSERT_NE(gHeld.load(), INVALID_HANDLE_VALUE);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].kind, mkError);
    // It cannot go while the other program holds it; the user is told.
    // Named as the user knows the path, apart from the failed file, which
    // counts once.
    const std::string shown = held.rfind("\\\\?\\", 0) == 0 ? held.substr(4) : held;
    EXPECT_NE(ui.messages[0].text.find("\r\n\r\nDočasný soubor \"" + shown + "\" nelze smazat."), std::string::npos)
        << ui.messages[0].text;
    EXPECT_NE(ui.messages[0].text.find("nezdařilo se: 1."), std::string::npos) << ui.messages[0].text;
    Release();
}

// The checks go on while the next files are copied; the run's end waits
// for them, and a wait that lasts shows in the progress window as a check.
TEST_F(ImportVerify, AWaitForTheChecksShowsAsACheckAndTheBarsRunOnce) {
    const std::string big = Pattern(5 * 1048576 + 123, 5);
    Put(L"big.jpg", big, 8);
    Put(L"small.jpg", Pattern(20000, 6), 9);
    wintest::InitApp();
    TDlgFilecopy progress;
    CheckingUi ui;
    // The clock moves a tenth of a second per event service; the last
    // copy's check lasts until the window shows it.
    ui.onProcessMessages = [&] { ui.clock += 100; };
    Step shown;
    ui.onChecking = [&](bool on) {
        if (on) shown.Done();
    };
    gTouchBytes = 20000;
    gTouch = [&](const std::string&) { EXPECT_TRUE(shown.Wait()) << "the wait was never shown"; };
    StartImport(Src(), ui);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().text.substr(0, ui.messages.back().text.find("\r\n\r\n")), "Kopírování proběhlo úspěšně.");
    EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"big.jpg"), big);
    EXPECT_EQ(gReadBacks, 2);
    EXPECT_EQ(ui.checking, (std::vector<bool>{true, false}));
    EXPECT_EQ(ui.status, (std::vector<std::string>{"Probíhá ověřování kopie. Prosím čekejte...",
                                                   "Probíhá kopírování fotografií. Prosím čekejte..."}));
    // The file bar went up once per file, never back for the read-back.
    std::vector<int64_t> bigMoves(ui.fileBarMoves.begin(), ui.fileBarMoves.end() - 1);
    EXPECT_TRUE(std::is_sorted(bigMoves.begin(), bigMoves.end()));
    EXPECT_EQ(bigMoves.back(), static_cast<int64_t>(big.size()));
    EXPECT_EQ(ui.fileBarMoves.back(), 20000);
    // The overall figures count the bytes copied, not the bytes read back.
    EXPECT_EQ(ui.overallAtEnd, static_cast<int64_t>(big.size()) + 20000);
}

// More copies than may wait for their check at once, in one folder and
// across folders: every one is checked and in place, and the counts say so.
TEST_F(ImportVerify, ManyCopiesAllTakeTheirPlaceAndAreCounted) {
    Settings().CurrentMask = "%hh%\\%file_name%.%file_ext%";
    const char* const hours[] = {"08", "09", "10"};
    auto name = [](int k) { return "p" + std::to_string(100 + k) + ".jpg"; };
    auto target = [&](int k) { return std::string(hours[k % 3]) + "\\" + name(k); };
    auto bytes = [](int k) { return Pattern(1000 + 997 * static_cast<size_t>(k), k); };
    Names expected;
    int64_t total = 0;
    for (int k = 0; k < 100; ++k) {
        Put(fw::Wide(name(k)), bytes(k), 8 + k % 3);
        expected.push_back(target(k));
        total += static_cast<int64_t>(bytes(k).size());
    }
    std::sort(expected.begin(), expected.end());
    wintest::ScriptedImportUi ui;
    StartImport(Src(), ui);
    EXPECT_EQ(gReadBacks, 100);
    EXPECT_EQ(Tree(dst_), expected);
    for (int k : {0, 37, 99}) EXPECT_TRUE(wintest::ReadFileBytes(dst_ + fw::Wide(target(k))) == bytes(k)) << k;
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].kind, mkInformation);
    EXPECT_EQ(ui.messages[0].text.rfind("Kopírování proběhlo úspěšně.\r\n\r\nZkopírováno souborů: 100 (", 0), 0u)
        << ui.messages[0].text;
    EXPECT_EQ(ui.overallAtEnd, total);
}

// Storno while a complete copy waits for its check: the check ends and the
// copy takes its place; the file being copied goes.
TEST_F(ImportVerify, StornoWhileACopyAwaitsItsCheckKeepsIt) {
    const std::string big = Pattern(4 * 1048576, 7);
    Put(L"big.jpg", big, 8);
    Put(L"next.jpg", Pattern(1048576, 8), 9);
    Step checking, storno;
    gTouchBytes = static_cast<int64_t>(big.size());
    gTouch = [&](const std::string&) {
        checking.Done();
        EXPECT_TRUE(storno.Wait());
    };
    FilesUi ui;
    ui.onFile = [&](int file) {
        if (file == 2) {
            EXPECT_TRUE(checking.Wait()) << "big.jpg's check never began";
        }
    };
    // Storno is pressed once the next file's copy has begun.
    ui.onProcessMessages = [&] {
        if (ui.files == 2 && checking.IsDone() && !ImportJob().Cancelled) {
            ImportJob().Cancelled = true;
            storno.Done();
        }
    };
    StartImport(Src(), ui);
    EXPECT_EQ(gReadBacks, 1);
    EXPECT_EQ(Tree(dst_), Names{"big.jpg"}) << "no copy of next.jpg, no temporary file";
    EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"big.jpg"), big);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().text,
              "Kopírování bylo přerušeno.\r\n\r\nZkopírováno souborů: 1 (4,0 MB), přeskočeno: 0, nezdařilo se: 0.");
}

// Two files of one run with one target name: the second is asked about
// once the first is in place, and its copy is made only if the answer
// says so.
TEST_F(ImportVerify, ASecondFileForATargetAwaitingItsCheckIsAskedAbout) {
    Settings().CurrentMask = "same.%file_ext%";
    Put(L"a.jpg", Pattern(3000, 9), 8);
    Put(L"b.jpg", Pattern(4000, 10), 9);
    struct Case {
        int answer;
        std::string kept;
        int readBacks;
        const char* counts;
    } cases[] = {
        {7, Pattern(3000, 9), 1, "1 (2,9 kB), přeskočeno: 1"},
        {6, Pattern(4000, 10), 2, "2 (6,8 kB), přeskočeno: 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        wintest::RemoveTree(dst_);
        CreateDirectoryW(dst_.c_str(), nullptr);
        ImportJob() = TImportJob();
        gReadBacks = 0;
        wintest::ScriptedImportUi ui;
        ui.answers = {c.answer};
        StartImport(Src(), ui);
        EXPECT_EQ(ui.Captions(),
                  (Names{"Kolibrio2 - Potvrdit nahrazení souboru", "Kolibrio2 - Výsledky kopírování"}));
        EXPECT_EQ(Tree(dst_), Names{"same.jpg"});
        EXPECT_TRUE(wintest::ReadFileBytes(dst_ + L"same.jpg") == c.kept);
        EXPECT_EQ(gReadBacks, c.readBacks) << "b.jpg is copied only after the answer";
        EXPECT_EQ(ui.overallAtEnd, 7000);
        ASSERT_FALSE(ui.messages.empty());
        EXPECT_EQ(ui.messages.back().text, std::string("Kopírování proběhlo úspěšně.\r\n\r\nZkopírováno souborů: ") +
                                               c.counts + ", nezdařilo se: 0.");
    }
}

// The error box lists the failures in the order of the files, though a
// check fails after a later file has failed in its copy.
int gReads = 0;
bool FailSecondRead(void* file, void* buffer, uint32_t size, uint32_t* read) {
    if (++gReads == 2) {
        *read = 0;
        SetLastError(ERROR_CRC);
        return false;
    }
    DWORD n = 0;
    const BOOL ok = ReadFile(file, buffer, size, &n, nullptr);
    *read = n;
    return ok != FALSE;
}

TEST_F(ImportVerify, FailuresAreListedInTheOrderOfTheFiles) {
    const std::string a = Pattern(5000, 11);  // one block: read 1
    Put(L"a.jpg", a, 8);
    Put(L"b.jpg", Pattern(5000, 12), 9);  // its read fails: read 2
    Put(L"c.jpg", Pattern(6000, 13), 10);
    FilesUi ui;
    Step thirdFile;
    ui.onFile = [&](int file) {
        if (file == 3) thirdFile.Done();
    };
    // a.jpg's copy is changed on the medium, and its check ends only once
    // b.jpg has failed and c.jpg is being copied.
    gTouchBytes = 5000;
    gTouch = [&](const std::string& p) {
        EXPECT_TRUE(thirdFile.Wait());
        Rewrite(p, [&](HANDLE h) { WriteAt(h, 10, std::string(1, static_cast<char>(a[10] ^ 1))); });
    };
    gReads = 0;
    SetBlockReadForTests(FailSecondRead);
    StartImport(Src(), ui);
    SetBlockReadForTests(nullptr);
    EXPECT_EQ(Tree(dst_), Names{"c.jpg"});
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& text = ui.messages[0].text;
    const size_t lineA = text.find("\r\na.jpg: Kopie souboru"), lineB = text.find("\r\nb.jpg: ");
    ASSERT_NE(lineA, std::string::npos) << text;
    ASSERT_NE(lineB, std::string::npos) << text;
    EXPECT_LT(lineA, lineB) << text;
    EXPECT_NE(text.find("Zkopírováno souborů: 1 (5,9 kB), přeskočeno: 0, nezdařilo se: 2."), std::string::npos) << text;
}

}  // namespace
