// A card that comes back with its old photos still on it: what the history
// of imports knows is not copied and not asked about, new shots get the
// next numbers, a different file under a taken name may be kept beside it,
// and a history that cannot be used never costs the import anything. Whole
// runs with scripted answers, real files and a real database in a folder
// of the test's own.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "framework/Strings.h"
#include "import/FileAccess_win.h"
#include "import/HistoryAside.h"
#include "import/ImportHistory_win.h"
#include "import/ImportRun_win.h"
#include "settings/Settings.h"
#include "support/ImportScript.h"
#include "support/ImportSettings.h"
#include "support/WinTest.h"

namespace {

using Names = std::vector<std::string>;
const char kOverwrite[] = "Kolibrio2 - Potvrdit nahrazení souboru";
const char kResults[] = "Kolibrio2 - Výsledky kopírování";

Names Tree(const std::wstring& base) { return wintest::FilesBelow(base); }

using wintest::Pattern;

std::string CountsOf(const std::string& text) {
    const size_t at = text.find("Zkopírováno souborů:");
    return at == std::string::npos ? std::string() : text.substr(at, text.find("\r\n", at) - at);
}

// Also remembers the confirmation window's line as it stood when asked.
class ComebackUi : public wintest::ScriptedImportUi {
public:
    std::string summary;
    bool nothingNew = false;
    std::function<void()> whileAsked;  // what happens while the confirmation waits
    int ConfirmImport() override {
        summary = ImportJob().ArrivalSummary;
        nothingNew = ImportJob().NothingNew;
        if (whileAsked) whileAsked();
        return ScriptedImportUi::ConfirmImport();
    }
    int Questions() const {
        int n = 0;
        for (const auto& m : messages) n += m.caption == kOverwrite;
        return n;
    }
};

class ImportComeback : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = wintest::MakeTempDir();
        src_ = root_ + L"card\\";
        dst_ = root_ + L"archive\\";
        history_ = root_ + L"history\\";
        CreateDirectoryW(src_.c_str(), nullptr);
        CreateDirectoryW(dst_.c_str(), nullptr);
        CreateDirectoryW(history_.c_str(), nullptr);
        SetImportHistoryFolder(fw::Utf8(history_));
        TSettings& s = Settings();
        s.Path = fw::Utf8(dst_);
        s.CurrentMask = "%file_name%.%file_ext%";
        s.ExtensionList = {"*.jpg"};
        s.TimeForMask = TTimeSource::FileTime;
        s.VerifyCopy = true;
        s.SkipImported = true;
        ImportJob() = TImportJob();
    }
    void TearDown() override {
        CloseImportHistory();
        SetImportHistoryFolder("");
        wintest::RemoveTree(root_);
    }
    // A shot on the card, taken at the given minute of one morning (its
    // file time, as a camera writes it).
    void Shoot(const std::wstring& name, const std::string& bytes, int minute) {
        ASSERT_TRUE(wintest::WriteFileBytes(src_ + name, bytes));
        SetMinute(src_ + name, minute, 0);
    }
    static void SetMinute(const std::wstring& path, int minute, int64_t shift) {
        SYSTEMTIME st{2024, 3, 0, 30, 10, static_cast<WORD>(minute), 0, 0};
        FILETIME local, utc;
        SystemTimeToFileTime(&st, &local);
        LocalFileTimeToFileTime(&local, &utc);
        ULARGE_INTEGER t{{utc.dwLowDateTime, utc.dwHighDateTime}};
        t.QuadPart += shift;
        utc = {t.LowPart, t.HighPart};
        HANDLE f = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        SetFileTime(f, nullptr, nullptr, &utc);
        CloseHandle(f);
    }
    void Run(ComebackUi& ui) {
        ImportJob() = TImportJob();
        StartImport(fw::Utf8(src_), ui);
    }
    std::string Result(const ComebackUi& ui) const {
        return ui.messages.empty() || ui.messages.back().caption != kResults ? std::string() : ui.messages.back().text;
    }

    std::wstring root_, src_, dst_, history_;
};

// The same card twice: the second time nothing is copied and nothing is
// asked, the confirmation says so, the counts say why.
TEST_F(ImportComeback, TheSameCardTwice) {
    for (int k = 1; k <= 19; ++k) Shoot(L"IMG_" + std::to_wstring(1000 + k) + L".jpg", Pattern(3000 + k, k), k);
    ComebackUi first;
    Run(first);
    EXPECT_EQ(first.summary, "Nových souborů: 19 (55,8 kB), již v archivu: 0");
    EXPECT_FALSE(first.nothingNew);
    EXPECT_EQ(Tree(dst_).size(), 19u);

    // Nothing new: the confirmation says so, and its Ano ends at once with
    // a result that says why nothing was copied.
    ComebackUi second;
    Run(second);
    EXPECT_EQ(second.summary, "Všechny soubory ze složky už jsou v archivu.");
    EXPECT_TRUE(second.nothingNew);
    EXPECT_EQ(second.Questions(), 0);
    ASSERT_EQ(second.messages.size(), 1u);
    EXPECT_EQ(second.messages[0].caption, kResults);
    EXPECT_EQ(second.messages[0].kind, mkInformation);
    EXPECT_EQ(second.messages[0].text, NothingNewText(19, false));
    EXPECT_FALSE(second.copying) << "no copy phase for nothing";
    EXPECT_EQ(Tree(dst_).size(), 19u);
}

// Two new shots on a card imported before: exactly those two are copied,
// numbered after the old ones, as the first import numbered those.
TEST_F(ImportComeback, NewShotsAreNumberedAfterTheOldOnes) {
    Settings().CurrentMask = "%index%.%file_ext%";
    for (int k = 1; k <= 5; ++k) Shoot(L"IMG_" + std::to_wstring(k) + L".jpg", Pattern(2000 + k, k), k);
    ComebackUi first;
    Run(first);
    EXPECT_EQ(Tree(dst_), (Names{"1.jpg", "2.jpg", "3.jpg", "4.jpg", "5.jpg"}));
    Shoot(L"IMG_6.jpg", Pattern(2006, 6), 6);
    Shoot(L"IMG_7.jpg", Pattern(2007, 7), 7);
    ComebackUi second;
    Run(second);
    EXPECT_EQ(second.summary, "Nových souborů: 2 (3,9 kB), již v archivu: 5");
    EXPECT_EQ(second.Questions(), 0);
    EXPECT_EQ(Tree(dst_), (Names{"1.jpg", "2.jpg", "3.jpg", "4.jpg", "5.jpg", "6.jpg", "7.jpg"}));
    EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"6.jpg"), Pattern(2006, 6));
    EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"7.jpg"), Pattern(2007, 7));
    EXPECT_EQ(CountsOf(Result(second)),
              "Zkopírováno souborů: 2 (3,9 kB), přeskočeno: 0, nezdařilo se: 0, již v archivu: 5.");
}

// One shot deleted in the camera and one added, with a mask of time and
// index: the indices shift, but nothing already in the archive is asked
// about or copied again under a new name.
TEST_F(ImportComeback, ADeletedShotMakesNoDuplicateAndNoQuestion) {
    Settings().CurrentMask = "%yyyy%%mm%%dd%_%hh%%nn%%ss%_%index%.%file_ext%";
    for (int k = 1; k <= 20; ++k) Shoot(L"IMG_" + std::to_wstring(100 + k) + L".jpg", Pattern(1500 + k, k), k);
    ComebackUi first;
    Run(first);
    ASSERT_EQ(Tree(dst_).size(), 20u);
    ASSERT_TRUE(DeleteFileW((src_ + L"IMG_103.jpg").c_str()));
    Shoot(L"IMG_121.jpg", Pattern(1521, 21), 21);
    ComebackUi second;
    Run(second);
    EXPECT_EQ(second.Questions(), 0) << "no question about a different photo";
    EXPECT_EQ(Tree(dst_).size(), 21u) << "one new file, no duplicate";
    EXPECT_EQ(CountsOf(Result(second)),
              "Zkopírováno souborů: 1 (1,5 kB), přeskočeno: 0, nezdařilo se: 0, již v archivu: 19.");
}

// A different file under a name the archive already holds: the question
// comes as before, with "Ponechat oba" besides; each answer does what it
// says.
TEST_F(ImportComeback, ADifferentFileUnderATakenName) {
    Shoot(L"IMG_1.jpg", Pattern(4000, 1), 1);
    struct Case {
        int answer;
        Names archive;
        std::string old;  // what IMG_1.jpg holds afterwards
    } cases[] = {
        {ButtonResult(MsgBtn::kKeepBothBit), {"IMG_1 (2).jpg", "IMG_1 (3).jpg", "IMG_1.jpg"}, "the other photo"},
        {7, {"IMG_1 (2).jpg", "IMG_1.jpg"}, "the other photo"},
        {6, {"IMG_1 (2).jpg", "IMG_1.jpg"}, Pattern(4000, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        wintest::RemoveTree(dst_);
        CreateDirectoryW(dst_.c_str(), nullptr);
        CloseImportHistory();
        wintest::RemoveTree(history_);
        CreateDirectoryW(history_.c_str(), nullptr);
        ASSERT_TRUE(wintest::WriteFileBytes(dst_ + L"IMG_1.jpg", "the other photo"));
        // " (2)" is taken too: the next free number is used.
        ASSERT_TRUE(wintest::WriteFileBytes(dst_ + L"IMG_1 (2).jpg", "yet another"));
        ComebackUi ui;
        ui.answers = {c.answer};
        Run(ui);
        ASSERT_GE(ui.messages.size(), 2u);
        EXPECT_EQ(ui.messages[0].caption, kOverwrite);
        // The question's own text, and a line that shows both files.
        const std::string asked = ui.messages[0].text;
        const std::string own = OverwriteQuestion(fw::Utf8(dst_) + "IMG_1.jpg") + "\r\nSoubor v archivu: 15 B, ";
        EXPECT_EQ(asked.compare(0, own.size(), own), 0) << asked;
        EXPECT_NE(asked.find("; nový soubor: 3,9 kB, 30.3.2024 10:01:00."), std::string::npos) << asked;
        EXPECT_EQ(ui.messages[0].buttons,
                  MsgBtn::Yes | MsgBtn::No | MsgBtn::Cancel | MsgBtn::NoAll | MsgBtn::YesAll | MsgBtn::KeepBoth);
        EXPECT_EQ(ui.messages[0].focus, MsgBtn::No);
        EXPECT_EQ(Tree(dst_), c.archive);
        EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"IMG_1.jpg"), c.old);
        EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"IMG_1 (2).jpg"), "yet another");
        if (c.answer == ButtonResult(MsgBtn::kKeepBothBit)) {
            EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"IMG_1 (3).jpg"), Pattern(4000, 1));
        }
    }
}

// A file whose copy is already in the archive, byte for byte, though the
// history does not know it (the history was emptied): not copied, not
// asked about, and known from then on.
TEST_F(ImportComeback, TheSameContentUnderItsNameIsNotAskedAbout) {
    Shoot(L"IMG_1.jpg", Pattern(4000, 1), 1);
    Shoot(L"IMG_2.jpg", Pattern(5000, 2), 2);
    ASSERT_TRUE(wintest::WriteFileBytes(dst_ + L"IMG_1.jpg", Pattern(4000, 1)));
    ComebackUi ui;
    Run(ui);
    EXPECT_EQ(ui.summary, "Nových souborů: 2 (8,8 kB), již v archivu: 0");
    EXPECT_EQ(ui.Questions(), 0);
    // The two new files of the confirmation: one copied, one found.
    EXPECT_EQ(CountsOf(Result(ui)), "Zkopírováno souborů: 1 (4,9 kB), přeskočeno: 0, nezdařilo se: 0, "
                                    "nalezeno v archivu podle obsahu: 1.");
    ComebackUi again;
    Run(again);
    EXPECT_EQ(again.summary, "Všechny soubory ze složky už jsou v archivu.");
}

// What the history knows a file by: its name, its size, and its write time
// or one exactly an hour off (a FAT card across a change of daylight
// saving). Two hours off, or another size, is a new file.
TEST_F(ImportComeback, WhatCountsAsTheSameFile) {
    Settings().CurrentMask = "%index%.%file_ext%";
    Shoot(L"IMG_1.jpg", Pattern(4000, 1), 1);
    ComebackUi first;
    Run(first);
    const int64_t hour = 36000000000;
    struct Case {
        const char* name;
        int64_t shift;
        size_t size;
        bool known;
    } cases[] = {
        {"an hour later", hour, 4000, true},
        {"an hour earlier", -hour, 4000, true},
        {"two hours later", 2 * hour, 4000, false},
        {"another size", 0, 4001, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(wintest::WriteFileBytes(src_ + L"IMG_1.jpg", Pattern(c.size, 1)));
        SetMinute(src_ + L"IMG_1.jpg", 1, c.shift);
        ComebackUi ui;
        ui.answers = {7, 7};  // a file that differs from the archive's is kept as it is
        Run(ui);
        EXPECT_EQ(ui.summary, c.known ? "Všechny soubory ze složky už jsou v archivu."
                                      : "Nových souborů: 1 (3,9 kB), již v archivu: 0");
    }
}

// A history that cannot be used (random bytes, a file that may not be
// written): the import copies everything, the user is told once, and the
// old file is kept aside, not lost.
TEST_F(ImportComeback, ADamagedHistoryCostsTheImportNothing) {
    struct Case {
        const char* name;
        std::string bytes;
        bool readOnly;
    } cases[] = {
        {"random bytes", Pattern(8192, 99), false},
        {"a file that may not be written", Pattern(8192, 98), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CloseImportHistory();
        wintest::RemoveTree(history_);
        CreateDirectoryW(history_.c_str(), nullptr);
        wintest::RemoveTree(dst_);
        CreateDirectoryW(dst_.c_str(), nullptr);
        const std::wstring db = fw::Wide(ImportHistoryPath());
        ASSERT_TRUE(wintest::WriteFileBytes(db, c.bytes));
        if (c.readOnly) SetFileAttributesW(db.c_str(), FILE_ATTRIBUTE_READONLY);
        Shoot(L"IMG_1.jpg", Pattern(4000, 1), 1);
        ComebackUi ui;
        Run(ui);
        ASSERT_GE(ui.messages.size(), 2u);
        EXPECT_EQ(ui.messages[0].caption, "Kolibrio2 - Oznámení");
        EXPECT_EQ(Tree(dst_), Names{"IMG_1.jpg"});
        EXPECT_EQ(ui.messages.back().caption, kResults);
        // Told once: the next run says nothing of it.
        wintest::RemoveTree(dst_);
        CreateDirectoryW(dst_.c_str(), nullptr);
        ComebackUi again;
        Run(again);
        ASSERT_FALSE(again.messages.empty());
        for (const auto& m : again.messages) EXPECT_NE(m.caption, "Kolibrio2 - Oznámení");
        // The old file is kept beside, under a name that says so.
        int kept = 0;
        for (const std::string& name : Tree(history_))
            if (wintest::ReadFileBytes(history_ + fw::Wide(name)) == c.bytes) ++kept;
        EXPECT_EQ(kept, 1) << "the damaged history is set aside, not deleted";
        for (const std::string& name : Tree(history_)) SetFileAttributesW((history_ + fw::Wide(name)).c_str(), 0);
    }
}

// With the option off the run is what it always was: no history asked, no
// line in the confirmation, five buttons in the question.
TEST_F(ImportComeback, TheOptionOffAsksAsAlways) {
    Settings().SkipImported = false;
    Shoot(L"IMG_1.jpg", Pattern(4000, 1), 1);
    ComebackUi first;
    Run(first);
    EXPECT_EQ(first.summary, "");
    ComebackUi second;
    second.answers = {7};
    Run(second);
    EXPECT_EQ(second.summary, "");
    ASSERT_EQ(second.Questions(), 1);
    EXPECT_EQ(second.messages[0].buttons, MsgBtn::Yes | MsgBtn::No | MsgBtn::Cancel | MsgBtn::NoAll | MsgBtn::YesAll);
    EXPECT_EQ(CountsOf(Result(second)), "Zkopírováno souborů: 0 (0 B), přeskočeno: 1, nezdařilo se: 0.");
}

// A new, empty archive (the old disk failed): the old card is imported into
// it whole, though the history knows every file in the old archive. Back in
// the old archive everything is known, also a photo the user deleted there.
TEST_F(ImportComeback, ANewEmptyArchiveGetsTheWholeOldCard) {
    for (int k = 1; k <= 6; ++k) Shoot(L"IMG_" + std::to_wstring(k) + L".jpg", Pattern(3000 + k, k), k);
    ComebackUi first;
    Run(first);
    ASSERT_EQ(Tree(dst_).size(), 6u);
    ASSERT_TRUE(DeleteFileW((dst_ + L"IMG_3.jpg").c_str()));

    // The new archive given in another spelling: the long form, other case.
    const std::wstring fresh = root_ + L"New Disk\\";
    CreateDirectoryW(fresh.c_str(), nullptr);
    const std::string oldArchive = Settings().Path;
    Settings().Path = fw::Utf8(fresh);
    ComebackUi second;
    Run(second);
    EXPECT_EQ(second.summary, "Nových souborů: 6 (17,6 kB), již v archivu: 0");
    EXPECT_EQ(second.Questions(), 0);
    EXPECT_EQ(CountsOf(Result(second)), "Zkopírováno souborů: 6 (17,6 kB), přeskočeno: 0, nezdařilo se: 0.");
    EXPECT_EQ(Tree(fresh).size(), 6u);
    for (int k = 1; k <= 6; ++k)
        EXPECT_EQ(wintest::ReadFileBytes(fresh + L"IMG_" + std::to_wstring(k) + L".jpg"), Pattern(3000 + k, k)) << k;

    // Each archive knows its own: the new one (named otherwise), the old one
    // with the photo deleted there.
    for (const std::string& archive : {std::string("\\\\?\\") + fw::Utf8(fresh).substr(0, fw::Utf8(fresh).size() - 1),
                                       oldArchive}) {
        SCOPED_TRACE(archive);
        std::string upper = archive;
        for (char& c : upper)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        Settings().Path = upper + (upper.back() == '\\' ? "" : "\\");
        ComebackUi again;
        Run(again);
        EXPECT_EQ(again.summary, "Všechny soubory ze složky už jsou v archivu.");
    }
    EXPECT_EQ(Tree(dst_).size(), 5u);
}

// A card swapped for another of the same camera (the same names) while the
// confirmation waits: what is copied is the card in hand, recorded as what
// it is. Both cards inserted again afterwards: every photo of both cards is
// in the archive exactly once.
TEST_F(ImportComeback, ACardSwappedWhileTheConfirmationWaits) {
    Settings().CurrentMask = "%hh%%nn%_%file_name%.%file_ext%";
    Settings().VerifyCopy = false;
    auto insert = [this](int card) {
        for (int k = 1; k <= 6; ++k)
            Shoot(L"IMG_" + std::to_wstring(k) + L".jpg", Pattern(2000 + 100 * card + k, card * 10 + k), card * 10 + k);
    };
    insert(1);
    ComebackUi swapped;
    swapped.whileAsked = [&] { insert(2); };
    Run(swapped);
    EXPECT_EQ(swapped.summary, "Nových souborů: 6 (12,3 kB), již v archivu: 0");
    EXPECT_EQ(Tree(dst_).size(), 6u);
    for (int card : {1, 2, 1, 2}) {
        SCOPED_TRACE(card);
        insert(card);
        ComebackUi ui;
        ui.answers = {7, 7, 7, 7, 7, 7};  // no file of the archive is to be replaced
        Run(ui);
        EXPECT_EQ(ui.Questions(), 0);
    }
    std::multiset<std::string> held, shot;
    for (const std::string& name : Tree(dst_)) held.insert(wintest::ReadFileBytes(dst_ + fw::Wide(name)));
    for (int card : {1, 2})
        for (int k = 1; k <= 6; ++k) shot.insert(Pattern(2000 + 100 * card + k, card * 10 + k));
    EXPECT_EQ(held, shot);
}

// "Ano" replaces a recorded copy with another photo: the replaced photo is
// no longer known in the archive, and its card brings it again.
TEST_F(ImportComeback, AnoOverARecordedCopyOffersThePhotoAgain) {
    Shoot(L"IMG_1.jpg", Pattern(4000, 1), 1);
    ComebackUi first;
    Run(first);
    // Another camera's IMG_1.jpg, and "Ano".
    Shoot(L"IMG_1.jpg", Pattern(5000, 2), 5);
    ComebackUi other;
    other.answers = {6};
    Run(other);
    ASSERT_EQ(other.Questions(), 1);
    EXPECT_NE(other.messages[0].text.find("Soubor v archivu: 3,9 kB"), std::string::npos) << other.messages[0].text;
    EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"IMG_1.jpg"), Pattern(5000, 2));
    // The first card again: its photo is offered, and kept beside.
    Shoot(L"IMG_1.jpg", Pattern(4000, 1), 1);
    ComebackUi again;
    again.answers = {ButtonResult(MsgBtn::kKeepBothBit)};
    Run(again);
    EXPECT_EQ(again.summary, "Nových souborů: 1 (3,9 kB), již v archivu: 0");
    EXPECT_EQ(again.Questions(), 1);
    EXPECT_EQ(Tree(dst_), (Names{"IMG_1 (2).jpg", "IMG_1.jpg"}));
    EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"IMG_1 (2).jpg"), Pattern(4000, 1));
}

// A history another process holds: this import goes without it, yet the
// same content at a target is still not copied and "Ponechat oba" is still
// offered, neither of which needs the history.
TEST_F(ImportComeback, ABusyHistoryKeepsTheContentCheckAndKeepBoth) {
    {
        std::string notice;
        ASSERT_TRUE(ImportHistory(notice));
        CloseImportHistory();
    }
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(ImportHistoryPath().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    Shoot(L"IMG_1.jpg", Pattern(4000, 1), 1);
    Shoot(L"IMG_2.jpg", Pattern(4100, 2), 2);
    ASSERT_TRUE(wintest::WriteFileBytes(dst_ + L"IMG_1.jpg", Pattern(4000, 1)));
    ASSERT_TRUE(wintest::WriteFileBytes(dst_ + L"IMG_2.jpg", "the other photo"));
    ComebackUi ui;
    ui.answers = {1, ButtonResult(MsgBtn::kKeepBothBit)};
    Run(ui);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    ASSERT_GE(ui.messages.size(), 3u);
    EXPECT_EQ(ui.messages[0].text, HistoryBusyNotice(ImportHistoryPath()));
    EXPECT_EQ(ui.messages[1].caption, kOverwrite);
    EXPECT_TRUE(ui.messages[1].buttons & MsgBtn::KeepBoth);
    EXPECT_EQ(CountsOf(Result(ui)), "Zkopírováno souborů: 1 (4,0 kB), přeskočeno: 0, nezdařilo se: 0, "
                                    "nalezeno v archivu podle obsahu: 1.");
    EXPECT_EQ(Tree(dst_), (Names{"IMG_1.jpg", "IMG_2 (2).jpg", "IMG_2.jpg"}));
}

namespace {

// The copies flushed to the disk so far, seen at the file system's edge
// (from the threads that flush them).
std::set<std::wstring>* gFlushed = nullptr;
std::mutex gFlushedLock;
uint32_t NoteFlush(TFileStep step, const std::wstring& path) {
    if (step != TFileStep::Flush || !gFlushed) return 0;
    std::lock_guard<std::mutex> lock(gFlushedLock);
    gFlushed->insert(FoldedPath(fw::Utf8(ShortFormOfLongPath(path))));
    return 0;
}

std::vector<std::string> TargetsIn(const std::wstring& db) {
    std::vector<std::string> out;
    sqlite3* h = nullptr;
    if (sqlite3_open(fw::Utf8(db).c_str(), &h) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(h, "SELECT target FROM imported", -1, &s, nullptr) == SQLITE_OK)
            while (sqlite3_step(s) == SQLITE_ROW) out.push_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
        sqlite3_finalize(s);
    }
    sqlite3_close(h);
    return out;
}

}  // namespace

// With the copy check off, a run killed at any moment (here: the history's
// files as they stand at that moment, the copies not yet flushed lost as a
// power cut loses them) leaves no row whose copy is not on the disk.
TEST_F(ImportComeback, ARecordNeverReachesTheDiskBeforeItsCopy) {
    Settings().VerifyCopy = false;
    const int files = 300;
    for (int k = 1; k <= files; ++k) Shoot(L"IMG_" + std::to_wstring(k) + L".jpg", Pattern(500 + k, k), k % 60);
    std::set<std::wstring> flushed, flushedAtCut;
    gFlushed = &flushed;
    SetFileFaultForTests(NoteFlush);
    const std::wstring db = fw::Wide(ImportHistoryPath());
    const std::wstring cut = root_ + L"cut\\";
    CreateDirectoryW(cut.c_str(), nullptr);
    ComebackUi ui;
    bool taken = false;
    int calls = 0;
    ui.onProcessMessages = [&] {
        // Past the first batch of records, before the end of the run.
        if (taken || ++calls % 8 != 0 || Tree(dst_).size() < 290) return;
        taken = true;
        std::lock_guard<std::mutex> lock(gFlushedLock);
        flushedAtCut = flushed;
        wintest::WriteFileBytes(cut + L"import_history.db", wintest::ReadFileBytes(db));
        wintest::WriteFileBytes(cut + L"import_history.db-wal", wintest::ReadFileBytes(db + L"-wal"));
    };
    Run(ui);
    SetFileFaultForTests(nullptr);
    gFlushed = nullptr;
    ASSERT_TRUE(taken);
    EXPECT_EQ(Tree(dst_).size(), static_cast<size_t>(files));
    const std::vector<std::string> atCut = TargetsIn(cut + L"import_history.db");
    EXPECT_GT(atCut.size(), 0u) << "records are committed during the run, not only at its end";
    EXPECT_LT(atCut.size(), static_cast<size_t>(files));
    for (const std::string& target : atCut) EXPECT_TRUE(flushedAtCut.count(FoldedPath(target))) << target;
    // At the end every copy is recorded, each once it was flushed.
    const std::vector<std::string> atEnd = TargetsIn(db);
    EXPECT_EQ(atEnd.size(), static_cast<size_t>(files));
    for (const std::string& target : atEnd) EXPECT_TRUE(flushed.count(FoldedPath(target))) << target;
}

// A card whose files change during the run (one deleted, one rewritten by
// another program, one added): every file listed is in exactly one count,
// the one that could not be read is named, and the rewritten one is copied
// as it is now and known by that from then on.
TEST_F(ImportComeback, AListingThatChangesDuringTheRun) {
    for (int k = 1; k <= 5; ++k) Shoot(L"IMG_" + std::to_wstring(k) + L".jpg", Pattern(3000 + k, k), k);
    ComebackUi ui;
    bool changed = false;
    ui.onProcessMessages = [&] {
        if (changed || !ui.copying) return;
        changed = true;
        DeleteFileW((src_ + L"IMG_4.jpg").c_str());
        Shoot(L"IMG_5.jpg", Pattern(6000, 5), 30);
        Shoot(L"IMG_6.jpg", Pattern(3006, 6), 6);
    };
    Run(ui);
    ASSERT_TRUE(changed);
    ASSERT_GE(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].kind, mkError);
    EXPECT_NE(ui.messages[0].text.find("IMG_4.jpg: "), std::string::npos) << ui.messages[0].text;
    EXPECT_EQ(CountsOf(ui.messages[0].text), "Zkopírováno souborů: 4 (14,7 kB), přeskočeno: 0, nezdařilo se: 1.");
    EXPECT_EQ(wintest::ReadFileBytes(dst_ + L"IMG_5.jpg"), Pattern(6000, 5));
    // Known as what it is now: only IMG_6 is new.
    ComebackUi next;
    Run(next);
    EXPECT_EQ(next.summary, "Nových souborů: 1 (2,9 kB), již v archivu: 4");
    EXPECT_EQ(CountsOf(Result(next)), "Zkopírováno souborů: 1 (2,9 kB), přeskočeno: 0, nezdařilo se: 0, již v archivu: 4.");
}

}  // namespace
