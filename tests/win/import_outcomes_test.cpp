// Every file of a run ends in exactly one count and the report says what
// happened, whatever ends the run: a failure of the run itself, Storno with
// copies still waiting for their check, a check that never ends, steps that
// Windows refuses (a rename or a delete of a file another program holds, a
// delayed write that fails at the close, a folder that may not be made),
// temporary copies left by a run that was killed. Faults that Wine or a
// root account never gives are made at the Win32 edge through its seam.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/Strings.h"
#include "import/FileAccess_win.h"
#include "import/ImportRun_win.h"
#include "import/VerifyCopy_win.h"
#include "settings/Settings.h"
#include "support/ImportScript.h"
#include "support/ImportSettings.h"
#include "support/WinTest.h"

namespace {

using Names = std::vector<std::string>;
const char kErrorHead[] = "Během kopírování došlo k chybě:\r\n";

Names Tree(const std::wstring& base) { return wintest::FilesBelow(base); }

using wintest::Pattern;

std::string Head(const std::string& text) { return text.substr(0, text.find("\r\n\r\n")); }

std::string CountsOf(const std::string& text) {
    const size_t at = text.find("Zkopírováno souborů:");
    return at == std::string::npos ? std::string() : text.substr(at, text.find("\r\n", at) - at);
}

// The Win32 edge fails the steps a test names, as Windows would.
struct Fault {
    TFileStep step;
    std::wstring pathPart;  // a step on a path containing this fails
    DWORD code;
};
std::vector<Fault> gFaults;
std::atomic<int> gFaultsMade{0};
uint32_t InjectFault(TFileStep step, const std::wstring& path) {
    for (const Fault& f : gFaults)
        if (f.step == step && path.find(f.pathPart) != std::wstring::npos) {
            ++gFaultsMade;
            return f.code;
        }
    return 0;
}

// What the test does to a copy before it is read back, on the checking
// thread; a copy is known by its length.
std::function<void(const std::string&)> gBeforeReadBack;
void BeforeReadBack(const std::string& path) {
    if (gBeforeReadBack) gBeforeReadBack(path);
}

int64_t LengthOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(fw::Wide(path).c_str(), GetFileExInfoStandard, &data)) return -1;
    return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

// A step another thread waits for; a wait gives up after ten seconds.
class Step {
public:
    Step() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Step() { CloseHandle(event_); }
    Step(const Step&) = delete;
    Step& operator=(const Step&) = delete;
    void Done() { SetEvent(event_); }
    bool Wait(DWORD ms = 10000) { return WaitForSingleObject(event_, ms) == WAIT_OBJECT_0; }
    bool IsDone() { return WaitForSingleObject(event_, 0) == WAIT_OBJECT_0; }

private:
    HANDLE event_;
};

// Counts the files whose copy has begun, and what the title said when each
// box came.
class RunUi : public wintest::ScriptedImportUi {
public:
    int files = 0;
    std::function<void(int)> onFile;
    std::vector<std::string> titleAtMessage;
    std::vector<std::string> opened;
    void SetFileLabels(const std::string&, const std::string&) override {
        ++files;
        if (onFile) onFile(files);
    }
    int Message(const std::string& text, const std::string& caption, TMsgDlgKind kind, TMsgButtons buttons,
                TMsgButtons focus) override {
        titleAtMessage.push_back(title);
        return ScriptedImportUi::Message(text, caption, kind, buttons, focus);
    }
    void OpenFolder(const std::string& folder) override { opened.push_back(folder); }
};

class ImportOutcomes : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        root_ = wintest::MakeTempDir();
        src_ = root_ + L"card\\";
        dst_ = root_ + L"archive\\";
        CreateDirectoryW(src_.c_str(), nullptr);
        CreateDirectoryW(dst_.c_str(), nullptr);
        wintest::UsePlainImportSettings(dst_);
        Settings().VerifyCopy = GetParam();
        ImportJob() = TImportJob();
        gFaults.clear();
        SetFileFaultForTests(InjectFault);
        gBeforeReadBack = nullptr;
        SetBeforeReadBack(BeforeReadBack);
    }
    void TearDown() override {
        SetFileFaultForTests(nullptr);
        SetBeforeReadBack(nullptr);
        SetCheckPatienceForTests(10000);
        wintest::RemoveTree(root_);
    }
    // A card file; hour orders the copies.
    void Put(const std::wstring& name, const std::string& bytes, int hour) {
        const std::wstring path = src_ + name;
        ASSERT_TRUE(wintest::WriteFileBytes(path, bytes));
        SetTime(path, 2009, hour);
    }
    static void SetTime(const std::wstring& path, WORD year, int hour) {
        SYSTEMTIME st{year, 6, 0, 1, static_cast<WORD>(hour), 0, 0, 0};
        FILETIME local, utc;
        SystemTimeToFileTime(&st, &local);
        LocalFileTimeToFileTime(&local, &utc);
        HANDLE f = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        SetFileTime(f, nullptr, nullptr, &utc);
        CloseHandle(f);
    }
    std::string Src() const { return fw::Utf8(src_); }

    std::wstring root_, src_, dst_;
};

// A run that fails in itself (a window call throws on the third file):
// what was copied and checked before is counted, the file being copied
// fails with the reason, and the run does not wait for ever.
TEST_P(ImportOutcomes, AFailureOfTheRunItselfStillCountsEveryCopy) {
    Put(L"a.jpg", Pattern(3000, 1), 8);
    Put(L"b.jpg", Pattern(4000, 2), 9);
    Put(L"c.jpg", Pattern(5000, 3), 10);
    RunUi ui;
    ui.onFile = [](int file) {
        if (file == 3) throw std::runtime_error("Okno nelze vykreslit");
    };
    StartImport(Src(), ui);
    EXPECT_EQ(Tree(dst_), (Names{"a.jpg", "b.jpg"})) << "the copies made are in place, nothing else";
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& text = ui.messages[0].text;
    EXPECT_EQ(ui.messages[0].kind, mkError);
    EXPECT_EQ(text.rfind(std::string(kErrorHead) + "c.jpg: Okno nelze vykreslit.", 0), 0u) << text;
    EXPECT_EQ(CountsOf(text), "Zkopírováno souborů: 2 (6,8 kB), přeskočeno: 0, nezdařilo se: 1.") << text;
}

// Storno while a copy waits for its check, and another program makes its
// target meanwhile: no overwrite question comes after Storno, and the file
// counts as not copied; the other program's file stays.
TEST_P(ImportOutcomes, NoQuestionAfterStornoForATargetMadeMeanwhile) {
    const std::string a = Pattern(3000, 4);
    Put(L"a.jpg", a, 8);
    Put(L"b.jpg", Pattern(1048576, 5), 9);
    const std::wstring other = dst_ + L"a.jpg";
    Step storno;
    RunUi ui;
    bool made = false;
    // The copy of a.jpg is complete; before it takes its name, another
    // program makes a file of that name, and the user presses Storno.
    auto makeTarget = [&] {
        if (made) return;
        made = true;
        EXPECT_TRUE(wintest::WriteFileBytes(other, "another program's"));
        ImportJob().Cancelled = true;
        storno.Done();
    };
    if (GetParam()) {
        gBeforeReadBack = [&](const std::string& path) {
            if (LengthOf(path) == 3000) {
                EXPECT_TRUE(storno.Wait());
            }
        };
        ui.onFile = [&](int file) {
            if (file == 2) makeTarget();
        };
    } else {
        // Unchecked, the copy's last block is where Storno comes.
        ui.onProcessMessages = [&] {
            if (ui.files == 1) makeTarget();
        };
    }
    StartImport(Src(), ui);
    EXPECT_EQ(wintest::ReadFileBytes(other), "another program's");
    EXPECT_EQ(ui.Captions(), Names{"Kolibrio2 - Výsledky kopírování"}) << "no overwrite question, no second cancel";
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().text,
              "Kopírování bylo přerušeno.\r\n\r\nZkopírováno souborů: 0 (0 B), přeskočeno: 1, nezdařilo se: 0.");
    EXPECT_EQ(Tree(dst_), Names{"a.jpg"}) << "no temporary file";
}

// Windows refuses to rename or delete a copy another program holds open.
// The file fails once, and the copy that could not go is named apart.
TEST_P(ImportOutcomes, ACopyThatCannotGoIsNamedApartAndCountedOnce) {
    Put(L"a.jpg", Pattern(3000, 6), 8);
    Put(L"b.jpg", Pattern(4000, 7), 9);
    gFaults = {{TFileStep::Rename, L"a.jpg", ERROR_SHARING_VIOLATION},
               {TFileStep::Delete, L"~kolibrio", ERROR_SHARING_VIOLATION}};
    RunUi ui;
    StartImport(Src(), ui);
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& text = ui.messages[0].text;
    const std::string reason = fw::SystemErrorText(ERROR_SHARING_VIOLATION);
    EXPECT_EQ(text.rfind(std::string(kErrorHead) + "a.jpg: " + reason, 0), 0u) << text;
    const size_t note = text.find("\r\n\r\nDočasný soubor \"" + fw::Utf8(dst_) + "~kolibrio");
    EXPECT_NE(note, std::string::npos) << "the copy left behind is named, after the failures: " << text;
    EXPECT_NE(text.find("\" nelze smazat.", note), std::string::npos) << text;
    EXPECT_EQ(text.find("\\\\?\\"), std::string::npos) << "the path as the user knows it: " << text;
    EXPECT_EQ(CountsOf(text), "Zkopírováno souborů: 1 (3,9 kB), přeskočeno: 0, nezdařilo se: 1.") << text;
    EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"b.jpg"), Pattern(4000, 7));
}

// A close that reports a failed write fails the file before anything takes
// a name: a file the user agreed to replace stays as it was, and no copy
// that failed counts as copied.
TEST_P(ImportOutcomes, AFailedCloseFailsTheFileBeforeAnythingIsReplaced) {
    struct Case {
        const char* name;
        bool targetExists;
        std::vector<Fault> faults;
    } cases[] = {
        {"replacing an existing file", true, {{TFileStep::Close, L"~kolibrio", ERROR_DISK_FULL}}},
        {"a new name, renamed through its handle", false, {{TFileStep::Close, L"~kolibrio", ERROR_DISK_FULL}}},
        {"after a refused rename", false,
         {{TFileStep::Rename, L"a.jpg", ERROR_ACCESS_DENIED}, {TFileStep::Close, L"~kolibrio", ERROR_DISK_FULL}}},
    };
    Put(L"a.jpg", Pattern(3000, 8), 8);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wintest::RemoveTree(dst_);
        CreateDirectoryW(dst_.c_str(), nullptr);
        if (c.targetExists) {
            ASSERT_TRUE(wintest::WriteFileBytes(dst_ + L"a.jpg", "the old photo"));
        }
        ImportJob() = TImportJob();
        gFaults = c.faults;
        RunUi ui;
        ui.answers = {6};  // Ano: replace it
        StartImport(Src(), ui);
        ASSERT_FALSE(ui.messages.empty());
        const std::string& text = ui.messages.back().text;
        EXPECT_EQ(text.rfind(std::string(kErrorHead) + "a.jpg: ", 0), 0u) << text;
        EXPECT_EQ(CountsOf(text), "Zkopírováno souborů: 0 (0 B), přeskočeno: 0, nezdařilo se: 1.") << text;
        EXPECT_EQ(Tree(dst_), c.targetExists ? Names{"a.jpg"} : Names{}) << "no copy, no temporary file";
        if (c.targetExists) {
            EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"a.jpg"), "the old photo");
        }
    }
}

// A folder that cannot be made is named once with the system's reason, and
// every file for it fails; the card is not blamed.
TEST_P(ImportOutcomes, AFolderThatCannotBeMadeIsNamedOnce) {
    Settings().CurrentMask = "%yyyy%\\%file_name%.%file_ext%";
    Put(L"a.jpg", Pattern(3000, 9), 8);
    Put(L"b.jpg", Pattern(4000, 10), 9);
    gFaults = {{TFileStep::MakeFolder, L"2009", ERROR_ACCESS_DENIED}};
    RunUi ui;
    StartImport(Src(), ui);
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& text = ui.messages[0].text;
    // The folder and the system's reason, on one line.
    std::string reason = fw::SystemErrorText(ERROR_ACCESS_DENIED);
    reason = reason.substr(0, reason.find_last_not_of(".\r\n ") + 1);
    EXPECT_EQ(Head(text), std::string(kErrorHead) + "Složku \"" + fw::Utf8(dst_) + "2009\\\" nelze vytvořit: " +
                              reason + ".")
        << text;
    EXPECT_EQ(CountsOf(text), "Zkopírováno souborů: 0 (0 B), přeskočeno: 0, nezdařilo se: 2.") << text;
    EXPECT_EQ(Tree(dst_), Names{});
}

// The copy check is taken when the run starts: ticking it during the run
// changes nothing of that run.
TEST_P(ImportOutcomes, TheCopyCheckIsTakenWhenTheRunStarts) {
    for (int k = 0; k < 4; ++k) Put(L"p" + std::to_wstring(k) + L".jpg", Pattern(2000 + 100 * k, k), 8 + k);
    std::atomic<int> readBacks{0};
    gBeforeReadBack = [&](const std::string&) { ++readBacks; };
    RunUi ui;
    ui.onFile = [&](int file) {
        if (file == 2) Settings().VerifyCopy = !GetParam();
    };
    StartImport(Src(), ui);
    EXPECT_EQ(readBacks, GetParam() ? 4 : 0);
    EXPECT_EQ(Tree(dst_).size(), 4u);
    Settings().VerifyCopy = GetParam();
}

// After a cancelled run the title no longer shows its percentage while the
// result box is open.
TEST_P(ImportOutcomes, TheTitleIsRestoredBeforeTheResult) {
    Put(L"a.jpg", Pattern(3000, 11), 8);
    Put(L"b.jpg", Pattern(300000, 12), 9);
    RunUi ui;
    ui.onFile = [&](int file) {
        if (file == 2) {
            ui.title = "10% - Kolibrio 2";  // as the progress window's tick left it
            ImportJob().Cancelled = true;
        }
    };
    StartImport(Src(), ui);
    ASSERT_FALSE(ui.titleAtMessage.empty());
    EXPECT_EQ(ui.titleAtMessage.back(), "Kolibrio 2");
}

// The result box of a run that copied a file offers the folder the copies
// went into: their one folder below the target, or the last file's when
// they went into a folder a day; OK stays the focused button. A run that
// copied nothing does not offer it.
TEST_P(ImportOutcomes, TheResultOffersTheTargetFolder) {
    Put(L"a.jpg", Pattern(3000, 13), 8);
    struct Case {
        const char* mask;
        const wchar_t* folder;
    } cases[] = {
        {"%file_name%.%file_ext%", L""},
        {"%yyyy%\\%file_name%.%file_ext%", L"2009\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        Settings().CurrentMask = c.mask;
        ImportJob() = TImportJob();
        RunUi ui;
        ui.answers = {ButtonResult(MsgBtn::kOpenFolderBit)};
        StartImport(Src(), ui);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].buttons, MsgBtn::OK | MsgBtn::OpenFolder);
        EXPECT_EQ(ui.messages[0].focus, MsgBtn::OK);
        EXPECT_EQ(ui.opened, Names{fw::Utf8(dst_ + c.folder)});
    }
    // Photos of two days, each into its day's folder: the last one's.
    Put(L"b.jpg", Pattern(4000, 14), 9);
    SetTime(src_ + L"b.jpg", 2010, 9);
    wintest::RemoveTree(dst_);
    CreateDirectoryW(dst_.c_str(), nullptr);
    ImportJob() = TImportJob();
    RunUi days;
    days.answers = {ButtonResult(MsgBtn::kOpenFolderBit)};
    StartImport(Src(), days);
    EXPECT_EQ(days.opened, Names{fw::Utf8(dst_) + "2010\\"});
    ASSERT_TRUE(DeleteFileW((src_ + L"b.jpg").c_str()));
    Settings().CurrentMask = "%file_name%.%file_ext%";
    wintest::RemoveTree(dst_);
    CreateDirectoryW(dst_.c_str(), nullptr);
    ASSERT_TRUE(wintest::WriteFileBytes(dst_ + L"a.jpg", Pattern(3000, 13)));

    ImportJob() = TImportJob();
    RunUi again;
    again.answers = {7};  // Ne: the file is there already
    StartImport(Src(), again);
    ASSERT_EQ(again.messages.size(), 2u);
    EXPECT_EQ(again.messages[1].buttons, MsgBtn::OK) << "nothing was copied";
    EXPECT_TRUE(again.opened.empty());
}

// Temporary copies that a killed run left are removed at the start of the
// next run into their folder, and counted; a file of the user's that only
// looks alike, and a copy younger than this process, stay.
TEST_P(ImportOutcomes, TemporaryCopiesOfAKilledRunAreRemoved) {
    Put(L"a.jpg", Pattern(3000, 14), 8);
    for (const wchar_t* name : {L"~kolibrio7.part", L"~kolibrio12.part", L"~kolibrio-notes.part"}) {
        ASSERT_TRUE(wintest::WriteFileBytes(dst_ + name, "left"));
        SetTime(dst_ + name, 2001, 8);
    }
    ASSERT_TRUE(wintest::WriteFileBytes(dst_ + L"~kolibrio99.part", "made just now"));
    RunUi ui;
    StartImport(Src(), ui);
    EXPECT_EQ(Tree(dst_), (Names{"a.jpg", "~kolibrio-notes.part", "~kolibrio99.part"}));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find(
                  "\r\nSmazáno dočasných souborů z dřívějšího přerušeného kopírování: 2."),
              std::string::npos)
        << ui.messages[0].text;
}

// Targets the system would not store under their names: a path of 260
// characters, a folder or a file name ending in a full stop or a blank, a
// folder of dots. Each such file fails by its name, the others of the card
// are copied, and nothing is made for the files that failed.
TEST_P(ImportOutcomes, TargetsTheSystemWouldNotKeepFailTheirFilesByName) {
    Put(L"a.jpg", Pattern(3000, 15), 8);
    Put(L"bb.jpg", Pattern(4000, 16), 9);
    const std::string base = fw::Utf8(dst_);
    // a.jpg's target is 259 characters long, bb.jpg's 260.
    const std::string longFolder(259 - base.size() - 5, 'n');
    struct Case {
        const char* name;
        std::string mask;
        Names kept;
        Names failed;  // the targets named in the error box, in the order of the files
    } cases[] = {
        {"path of 260 characters", longFolder + "%file_name%.%file_ext%", {longFolder + "a.jpg"},
         {longFolder + "bb.jpg"}},
        {"folder ending in a full stop", "fotky.\\%file_name%.%file_ext%", {}, {"fotky.\\a.jpg", "fotky.\\bb.jpg"}},
        {"folder ending in a blank", "fotky \\%file_name%.%file_ext%", {}, {"fotky \\a.jpg", "fotky \\bb.jpg"}},
        {"a folder of dots", "..\\%file_name%.%file_ext%", {}, {"..\\a.jpg", "..\\bb.jpg"}},
        {"a file name ending in a full stop", "%file_name%.", {}, {"a.", "bb."}},
        {"a file name ending in a blank", "%file_name%.%file_ext% ", {}, {"a.jpg ", "bb.jpg "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Settings().CurrentMask = c.mask;
        ImportJob() = TImportJob();
        wintest::RemoveTree(dst_);
        CreateDirectoryW(dst_.c_str(), nullptr);
        RunUi ui;
        StartImport(Src(), ui);
        ASSERT_EQ(ui.messages.size(), 1u);
        const std::string& text = ui.messages[0].text;
        EXPECT_EQ(ui.messages[0].caption, "Kolibrio2 - Výsledky kopírování");
        std::string lines = kErrorHead;
        const char* const sources[] = {"a.jpg", "bb.jpg"};
        for (size_t k = 0; k < c.failed.size(); ++k) {
            const size_t source = c.failed.size() == 2 ? k : 1;
            lines += std::string(k ? "\r\n" : "") + sources[source] + ": Cesta \"" + base + c.failed[k] +
                     "\" není správná...";
        }
        EXPECT_EQ(Head(text), lines) << text;
        EXPECT_EQ(CountsOf(text), "Zkopírováno souborů: " + std::to_string(c.kept.size()) +
                                      (c.kept.empty() ? " (0 B)" : " (2,9 kB)") + ", přeskočeno: 0, nezdařilo se: " +
                                      std::to_string(c.failed.size()) + ".")
            << text;
        EXPECT_EQ(Tree(dst_), c.kept) << "nothing made for a file that failed";
        EXPECT_EQ(Tree(src_), (Names{"a.jpg", "bb.jpg"}));
        EXPECT_EQ(Tree(root_).size(), 2 + c.kept.size()) << "nothing made beside the archive";
    }
}

// A volume that keeps no file times still gets the copies, whole, and
// nothing else; the result names the folder and the reason once, so the
// user knows why the archive's file times are those of the import.
TEST_P(ImportOutcomes, AVolumeWithoutFileTimesStillGetsTheCopyAndIsNamed) {
    Settings().CurrentMask = "%yyyy%\\%file_name%.%file_ext%";
    Put(L"a.jpg", Pattern(3000, 16), 8);
    Put(L"b.jpg", Pattern(5000, 17), 9);
    gFaults = {{TFileStep::SetTimes, L"~kolibrio", ERROR_ACCESS_DENIED}};
    RunUi ui;
    StartImport(Src(), ui);
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& text = ui.messages[0].text;
    EXPECT_EQ(Head(text), "Kopírování proběhlo úspěšně.");
    EXPECT_EQ(ui.messages[0].kind, mkInformation);
    std::string reason = fw::SystemErrorText(ERROR_ACCESS_DENIED);
    reason = reason.substr(0, reason.find_last_not_of(".\r\n ") + 1);
    const std::string line = "Čas souborů nelze zachovat ve složce \"" + fw::Utf8(dst_) + "2009\\\": " + reason +
                             ". Kopie mají čas importu.";
    EXPECT_NE(text.find("\r\n" + line), std::string::npos) << text;
    EXPECT_EQ(text.find(line), text.rfind(line)) << "named once: " << text;
    EXPECT_EQ(CountsOf(text), "Zkopírováno souborů: 2 (7,8 kB), přeskočeno: 0, nezdařilo se: 0.") << text;
    EXPECT_EQ(Tree(dst_), (Names{"2009\\a.jpg", "2009\\b.jpg"}));
    EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"2009\\a.jpg"), Pattern(3000, 16));
    EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"2009\\b.jpg"), Pattern(5000, 17));
}

INSTANTIATE_TEST_SUITE_P(CopyCheck, ImportOutcomes, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "On" : "Off"; });

// A check stuck in the file system (a share that went away) after Storno:
// the run waits a while, then names the file as not checked and ends; the
// copy never takes its name, not even when its check ends later.
class ImportStuckCheck : public ImportOutcomes {
protected:
    // A card of a small file, whose check sticks until release_ is done, and
    // a large one during whose copy the user presses Storno.
    void RunCancelledWhileACheckSticks(int seed, RunUi& ui) {
        Put(L"a.jpg", Pattern(3000, seed), 8);
        Put(L"b.jpg", Pattern(1048576, seed + 1), 9);
        gBeforeReadBack = [this](const std::string& path) {
            if (LengthOf(path) != 3000) return;
            stuck_.Done();
            release_.Wait(30000);
        };
        SetCheckPatienceForTests(300);
        ui.onFile = [this](int file) {
            if (file == 2) {
                EXPECT_TRUE(stuck_.Wait());
                ImportJob().Cancelled = true;
            }
        };
        StartImport(Src(), ui);
    }
    Step stuck_, release_;
};

TEST_P(ImportStuckCheck, AStuckCheckIsGivenUpAfterStorno) {
    RunUi ui;
    const DWORD began = GetTickCount();
    RunCancelledWhileACheckSticks(17, ui);
    EXPECT_LT(GetTickCount() - began, 8000u) << "the run did not wait for the stuck check";
    ASSERT_EQ(ui.messages.size(), 2u);
    const std::string& text = ui.messages[0].text;
    EXPECT_EQ(text.rfind(std::string(kErrorHead) + "a.jpg: Kopii nebylo možné ověřit", 0), 0u) << text;
    EXPECT_EQ(CountsOf(ui.messages[1].text), "Zkopírováno souborů: 0 (0 B), přeskočeno: 0, nezdařilo se: 1.");
    // The check ends now: its copy goes instead of taking its name.
    release_.Done();
    EXPECT_TRUE(wintest::WaitFor([&] { return Tree(dst_).empty(); }, 5000)) << Tree(dst_).size();
}

// A copy given up that cannot go once its check ends (another program
// holds it) stays for the sweep of a later start; the next run, which
// knows nothing of its file, does not report it as its own.
TEST_P(ImportStuckCheck, ACopyGivenUpThatCannotGoIsNotTheNextRunsToReport) {
    RunUi ui;
    RunCancelledWhileACheckSticks(19, ui);
    ASSERT_EQ(ui.messages.size(), 2u);
    gBeforeReadBack = nullptr;
    gFaults = {{TFileStep::Delete, L"~kolibrio", ERROR_SHARING_VIOLATION}};
    gFaultsMade = 0;
    release_.Done();
    ASSERT_TRUE(wintest::WaitFor([&] { return gFaultsMade > 0; }, 5000)) << "the check never tried to remove its copy";

    ImportJob() = TImportJob();
    RunUi next;
    StartImport(Src(), next);
    ASSERT_EQ(next.messages.size(), 1u);
    EXPECT_EQ(next.messages[0].text, "Kopírování proběhlo úspěšně.\r\n\r\n"
                                     "Zkopírováno souborů: 2 (1,0 MB), přeskočeno: 0, nezdařilo se: 0.");
    gFaults.clear();
    const Names left = Tree(dst_);
    ASSERT_EQ(left.size(), 3u);
    EXPECT_EQ(left[2].rfind("~kolibrio", 0), 0u) << "the copy that could not go is still there";
}

INSTANTIATE_TEST_SUITE_P(CopyCheck, ImportStuckCheck, ::testing::Values(true),
                         [](const ::testing::TestParamInfo<bool>&) { return "On"; });

}  // namespace
