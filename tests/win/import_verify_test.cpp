// The copy check over real files: what happens to a copy that is not what
// was written when it is read back, and what the progress window shows.
// Another program's doings between the write and the read-back are played
// by the test through the read-back seam, on the real file.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "framework/Strings.h"
#include "import/ImportRun.h"
#include "import/VerifyCopy.h"
#include "import/unitDlgFilecopy.h"
#include "settings/Settings.h"
#include "support/ImportScript.h"
#include "support/UiTest.h"
#include "support/WinTest.h"

namespace {

using Names = std::vector<std::string>;
const char kFailed[] = "Během kopírování došlo k chybě:\r\n";

// What the test does to the n-th copy before it is read back.
std::function<void(const std::string&)> gTouch;
int gTouchAt = 0, gReadBacks = 0;
void BeforeReadBack(const std::string& path) {
    if (++gReadBacks == gTouchAt && gTouch) gTouch(path);
}

HANDLE gHeld = INVALID_HANDLE_VALUE;
void Release() {
    if (gHeld != INVALID_HANDLE_VALUE) CloseHandle(gHeld);
    gHeld = INVALID_HANDLE_VALUE;
}

Names Tree(const std::wstring& base) { return wintest::FilesBelow(base); }

FILETIME WriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

std::string Pattern(size_t n, int seed) {
    std::string s(n, '\0');
    for (size_t k = 0; k < n; ++k) s[k] = static_cast<char>((k * 131 + seed) % 251);
    return s;
}

// Records what the window would show of the check; with a progress
// window, also what its status line said then.
class CheckingUi : public wintest::ScriptedImportUi {
public:
    std::vector<bool> checking;
    std::vector<std::string> status;
    void SetChecking(bool on) override {
        checking.push_back(on);
        if (!DlgFilecopy) return;
        WindowImportUi().SetChecking(on);
        status.push_back(DlgFilecopy->sLabelCaption.Text());
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
        TSettings& s = Settings();
        s.Path = fw::Utf8(dst_);
        s.CurrentMask = "%file_name%.%file_ext%";
        s.ExtensionList = {"*.jpg"};
        s.TimeForMask = TTimeSource::FileTime;
        s.VerifyCopy = true;
        ImportJob() = TImportJob();
        gReadBacks = gTouchAt = 0;
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
             ASSERT_NE(gHeld, INVALID_HANDLE_VALUE);
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
        gTouchAt = 2;  // b.jpg, the second copy
        gTouch = k.touch;
        wintest::ScriptedImportUi ui;
        // The other program lets go while the next file is copied.
        ui.onProcessMessages = [&] {
            if (gReadBacks >= 2) Release();
        };
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
    gTouchAt = 1;
    std::string held;
    gTouch = [&](const std::string& p) {
        held = p;
        gHeld = CreateFileW(fw::Wide(p).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    wintest::ScriptedImportUi ui;
    StartImport(Src(), ui);
    ASSERT_NE(gHeld, INVALID_HANDLE_VALUE);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].kind, mkError);
    // It cannot go while the other program holds it; the user is told.
    EXPECT_NE(ui.messages[0].text.find("Dočasný soubor \"" + held + "\" nelze smazat."), std::string::npos)
        << ui.messages[0].text;
    Release();
}

TEST_F(ImportVerify, TheReadBackShowsAsACheckAndTheBarsRunOnce) {
    const std::string big = Pattern(5 * 1048576 + 123, 5);
    Put(L"big.jpg", big, 8);
    Put(L"small.jpg", Pattern(20000, 6), 9);
    wintest::InitApp();
    TDlgFilecopy progress;
    CheckingUi ui;
    // A slow medium: the clock moves a tenth of a second per event service.
    ui.onProcessMessages = [&] { ui.clock += 100; };
    StartImport(Src(), ui);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().text.substr(0, ui.messages.back().text.find("\r\n\r\n")), "Kopírování proběhlo úspěšně.");
    EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"big.jpg"), big);
    // The big file's check lasted long enough to be shown, once; the small
    // one's never was.
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

TEST_F(ImportVerify, StornoDuringTheReadBackKeepsTheCheckedCopy) {
    const std::string big = Pattern(4 * 1048576, 7);
    Put(L"big.jpg", big, 8);
    Put(L"next.jpg", "n", 9);
    wintest::ScriptedImportUi ui;
    ui.onProcessMessages = [&] {
        if (gReadBacks == 1) ImportJob().Cancelled = true;
    };
    StartImport(Src(), ui);
    EXPECT_EQ(gReadBacks, 1);
    EXPECT_EQ(Tree(dst_), Names{"big.jpg"});
    EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"big.jpg"), big);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().text.substr(0, ui.messages.back().text.find("\r\n\r\n")), "Kopírování bylo přerušeno.");
}

}  // namespace
