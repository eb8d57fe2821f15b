// Where the import history lives and what happens to one that cannot be
// used: on Wine's file system, with the SQLite built for the program.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "framework/Strings.h"
#include "import/HistoryAside.h"
#include "import/ImportHistory_win.h"
#include "settings/SettingsPlace_win.h"
#include "settings/SettingsStore_win.h"
#include "support/ChildProcess.h"
#include "support/WinTest.h"

namespace {

constexpr int64_t kT = 133562160000000000;  // 2024-03-30 12:00 UTC

THistoryKey Key(const std::string& name, int64_t size = 1000, int64_t time = kT) {
    THistoryKey k;
    k.Name = name;
    k.Size = size;
    k.WriteTime = time;
    return k;
}

std::string RandomBytes(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    for (char& c : s) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return s;
}

// SQL on a database file through a connection of the test's own.
void RawExec(const std::wstring& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(fw::Utf8(path).c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

// The names in a folder that start with prefix.
std::vector<std::wstring> NamesStarting(const std::wstring& folder, const std::wstring& prefix) {
    return wintest::NamesMatching(folder + prefix + L"*");
}

class HistoryPlace : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = wintest::MakeTempDir();
        SetImportHistoryFolder(fw::Utf8(folder_));
        db_ = folder_ + L"import_history.db";
    }
    void TearDown() override {
        CloseImportHistory();
        SetImportHistoryFolder("");
        wintest::RemoveTree(folder_);
    }

    // The history works: a file recorded now is known.
    static void Works(TImportHistory* h, const std::string& name) {
        ASSERT_TRUE(h);
        ASSERT_TRUE(h->Record(Key(name), 7, "D:\\Foto\\" + name)) << h->LastError().Message;
        const auto row = h->Find(Key(name));
        ASSERT_TRUE(row);
        EXPECT_EQ(row->Target, "D:\\Foto\\" + name);
    }

    // The folder empty and no history held: each case starts from nothing.
    void StartAfresh() {
        CloseImportHistory();
        wintest::RemoveTree(folder_);
        CreateDirectoryW(folder_.c_str(), nullptr);
    }

    // A history on the disk that knows name, closed again.
    static void Knowing(const std::string& name) {
        std::string notice;
        Works(ImportHistory(notice), name);
        CloseImportHistory();
    }

    // The next import has the history, says nothing about it, and knows name.
    static void TheNextImportKnows(const std::string& name) {
        std::string notice;
        TImportHistory* h = ImportHistory(notice);
        EXPECT_EQ(notice, "");
        ASSERT_TRUE(h);
        EXPECT_TRUE(h->Find(Key(name)));
    }

    // The database at db held by another program's exclusive transaction
    // until LetGo.
    static sqlite3* HeldExclusively(const std::wstring& db) {
        sqlite3* other = nullptr;
        EXPECT_EQ(sqlite3_open(fw::Utf8(db).c_str(), &other), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        return other;
    }
    // A history that knows A.JPG, then held so.
    sqlite3* HeldByAnotherProgram() {
        Knowing("A.JPG");
        return HeldExclusively(db_);
    }
    static void LetGo(sqlite3* other) {
        EXPECT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(other);
    }

    // The one set-aside file the folder holds now, by its full path.
    std::wstring AsideFile(const std::wstring& word) const {
        std::vector<std::wstring> names = NamesStarting(folder_, L"import_history-" + word + L"-");
        std::vector<std::wstring> main;
        for (const std::wstring& n : names)
            if (n.size() > 3 && n.compare(n.size() - 3, 3, L".db") == 0) main.push_back(n);
        EXPECT_EQ(main.size(), 1u);
        return main.empty() ? std::wstring() : folder_ + main.front();
    }

    std::wstring folder_, db_;
};

}  // namespace

TEST_F(HistoryPlace, AMissingHistoryIsMadeAtTheFirstUseAndKeptOpen) {
    EXPECT_FALSE(wintest::FileExists(db_));
    std::string notice = "old";
    TImportHistory* h = ImportHistory(notice);
    EXPECT_EQ(notice, "");
    Works(h, "A.JPG");
    EXPECT_TRUE(wintest::FileExists(db_));
    EXPECT_EQ(ImportHistory(notice), h);
    // Closed and opened again, the rows are still there.
    CloseImportHistory();
    h = ImportHistory(notice);
    ASSERT_TRUE(h);
    EXPECT_TRUE(h->Find(Key("A.JPG")));
    EXPECT_EQ(h->Count(), 1);
}

TEST_F(HistoryPlace, APortableProgramKeepsItBesideItsSettings) {
    SetImportHistoryFolder("");
    SetSettingsFolder(fw::Utf8(folder_));
    EXPECT_FALSE(IsInstalledProgram());  // no uninstaller beside the test program
    EXPECT_EQ(ImportHistoryPath(), fw::Utf8(folder_) + "import_history.db");
    std::string notice;
    Works(ImportHistory(notice), "A.JPG");
    EXPECT_TRUE(wintest::FileExists(db_));
    CloseImportHistory();
    SetSettingsFolder("");
}

namespace {

std::map<std::string, std::string> RunChild(const std::wstring& exe) {
    std::map<std::string, std::string> values;
    const std::wstring out = wintest::MakeTempDir() + L"out.txt";
    wintest::ChildProcess child;
    if (!child.Start(exe, {out}) || !child.WaitExit(30000)) return values;
    std::istringstream lines(wintest::ReadFileBytes(out));
    std::string line;
    while (std::getline(lines, line)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

std::wstring LocalAppDataFromEnvironment() {
    wchar_t buf[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", buf, MAX_PATH);
    return n && n < MAX_PATH ? std::wstring(buf, n) : std::wstring();
}

}  // namespace

TEST_F(HistoryPlace, InstalledInTheUsersProfilePortableBesideTheProgram) {
    const std::wstring program = wintest::BuildDir() + L"tests\\history_child.exe";
    const std::wstring profile = LocalAppDataFromEnvironment();
    ASSERT_FALSE(profile.empty());
    const std::wstring inProfile = profile + L"\\Kolibrio 2\\import_history.db";

    // Where the installer put it: its uninstaller stands beside the program.
    const std::wstring installed = folder_ + L"Program Files\\Kolibrio 2\\";
    ASSERT_TRUE(SHCreateDirectoryExW(nullptr, installed.c_str(), nullptr) == ERROR_SUCCESS);
    ASSERT_TRUE(CopyFileW(program.c_str(), (installed + L"Kolibrio2.exe").c_str(), FALSE));
    ASSERT_TRUE(wintest::WriteFileBytes(installed + L"Uninstall.exe", "MZ"));
    EXPECT_FALSE(wintest::FileExists(inProfile));
    auto values = RunChild(installed + L"Kolibrio2.exe");
    EXPECT_EQ(values["installed"], "1");
    EXPECT_EQ(values["path"], fw::Utf8(inProfile));
    EXPECT_EQ(values["notice"], "");
    EXPECT_EQ(values["recorded"], "1");
    EXPECT_TRUE(wintest::FileExists(inProfile));
    EXPECT_FALSE(wintest::FileExists(installed + L"import_history.db"));
    {
        THistoryError error;
        auto h = TImportHistory::Open(fw::Utf8(inProfile), error);
        ASSERT_TRUE(h) << error.Message;
        EXPECT_TRUE(h->Find(Key("IMG_0001.JPG", 1234)));
    }

    // Unpacked from the portable archive: no uninstaller, the history stays
    // beside the program and its setting.ini.
    const std::wstring portable = folder_ + L"usb\\Kolibrio 2\\";
    ASSERT_TRUE(SHCreateDirectoryExW(nullptr, portable.c_str(), nullptr) == ERROR_SUCCESS);
    ASSERT_TRUE(CopyFileW(program.c_str(), (portable + L"Kolibrio2.exe").c_str(), FALSE));
    // A folder of that name is no uninstaller.
    ASSERT_TRUE(CreateDirectoryW((portable + L"Uninstall.exe").c_str(), nullptr));
    values = RunChild(portable + L"Kolibrio2.exe");
    EXPECT_EQ(values["installed"], "0");
    EXPECT_EQ(values["path"], fw::Utf8(portable) + "import_history.db");
    EXPECT_EQ(values["recorded"], "1");
    EXPECT_TRUE(wintest::FileExists(portable + L"import_history.db"));
    {
        // The installed program's history has its one row only.
        THistoryError error;
        auto h = TImportHistory::Open(fw::Utf8(inProfile), error);
        ASSERT_TRUE(h) << error.Message;
        EXPECT_EQ(h->Count(), 1);
    }
}

TEST_F(HistoryPlace, AHistoryThatCannotBeUsedIsSetAsideOnceAndANewOneStarts) {
    struct Case {
        const char* what;
        void (*make)(const std::wstring& db);
        const wchar_t* word;    // in the set-aside name
        const char* told;       // the notice's beginning
        bool sameBytes;         // the set-aside file holds what was there
    } cases[] = {
        {"random bytes", [](const std::wstring& db) { wintest::WriteFileBytes(db, RandomBytes(12288, 5)); },
         L"poskozena", "Historie importů byla poškozena a byla odložena jako \"", true},
        {"a short text", [](const std::wstring& db) { wintest::WriteFileBytes(db, "hello"); }, L"poskozena",
         "Historie importů byla poškozena a byla odložena jako \"", true},
        {"another program's database", [](const std::wstring& db) { RawExec(db, "CREATE TABLE photos (x)"); },
         L"odlozena", "Soubor historie importů patřil jinému programu a byl odložen jako \"", true},
        {"a folder in its place", [](const std::wstring& db) { CreateDirectoryW(db.c_str(), nullptr); }, L"odlozena",
         "Historii importů nebylo možné otevřít (soubor nelze otevřít), a proto byla odložena jako \"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StartAfresh();
        c.make(db_);
        const std::string before = wintest::ReadFileBytes(db_);

        std::string notice;
        TImportHistory* h = ImportHistory(notice);
        Works(h, "A.JPG");
        const std::wstring aside = AsideFile(c.word);
        ASSERT_FALSE(aside.empty());
        EXPECT_EQ(notice, c.told + fw::Utf8(aside) + "\". Začíná nová historie.");
        if (c.sameBytes) {
            EXPECT_TRUE(wintest::ReadFileBytes(aside) == before) << "the user's file was changed";
        }
        // Told once; the new history stays in use.
        EXPECT_EQ(ImportHistory(notice), h);
        EXPECT_EQ(notice, "");
        CloseImportHistory();
        TheNextImportKnows("A.JPG");
    }
}

TEST_F(HistoryPlace, AnEmptyFileIsAnEmptyHistoryNotADamagedOne) {
    ASSERT_TRUE(wintest::WriteFileBytes(db_, ""));
    std::string notice;
    Works(ImportHistory(notice), "A.JPG");
    EXPECT_EQ(notice, "");
    EXPECT_TRUE(NamesStarting(folder_, L"import_history-").empty());
}

namespace {

// Whether this process is kept from writing a read-only file. Under Wine a
// process of the Unix superuser is not, as on Windows no process is.
bool ReadOnlyAttributeHolds(const std::wstring& folder) {
    const std::wstring probe = folder + L"probe";
    wintest::WriteFileBytes(probe, "x");
    SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool holds = h == INVALID_HANDLE_VALUE;
    if (!holds) CloseHandle(h);
    SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(probe.c_str());
    return holds;
}

}  // namespace

TEST_F(HistoryPlace, AReadOnlyFileIsSetAsideWithItsRows) {
    if (!ReadOnlyAttributeHolds(folder_))
        GTEST_SKIP() << "this process may write read-only files (Wine run by root); the native test covers it";
    Knowing("OLD.JPG");
    ASSERT_TRUE(SetFileAttributesW(db_.c_str(), FILE_ATTRIBUTE_READONLY));
    std::string notice;
    TImportHistory* h = ImportHistory(notice);
    Works(h, "NEW.JPG");
    EXPECT_FALSE(h->Find(Key("OLD.JPG")));
    const std::wstring aside = AsideFile(L"odlozena");
    EXPECT_EQ(notice, "Historii importů nebylo možné otevřít (soubor je jen pro čtení), a proto byla odložena jako \"" +
                          fw::Utf8(aside) + "\". Začíná nová historie.");
    // The rows are kept for the user to look at.
    SetFileAttributesW(aside.c_str(), FILE_ATTRIBUTE_NORMAL);
    THistoryError error;
    auto old = TImportHistory::Open(fw::Utf8(aside), error);
    ASSERT_TRUE(old) << error.Message;
    EXPECT_TRUE(old->Find(Key("OLD.JPG")));
}

TEST_F(HistoryPlace, AFileAnotherProgramReadsIsLeftAloneUntilItIsFree) {
    Knowing("OLD.JPG");
    // A backup program reading the file, letting nobody write or rename it:
    // the history can be read only, and cannot be set aside either.
    HANDLE reader = CreateFileW(db_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    std::string notice;
    EXPECT_EQ(ImportHistory(notice), nullptr);
    EXPECT_EQ(notice, "Historii importů \"" + fw::Utf8(db_) +
                          "\" právě používá jiný program. Tento import proběhne bez ní.");
    EXPECT_EQ(ImportHistory(notice), nullptr);
    EXPECT_EQ(notice, "");  // said once
    CloseHandle(reader);
    TheNextImportKnows("OLD.JPG");
    EXPECT_TRUE(NamesStarting(folder_, L"import_history-").empty());
}

TEST_F(HistoryPlace, AFileThatCannotBeWrittenForAWhileIsLeftWholeWithItsLog) {
    // A history that ended without closing: its last record is still in the
    // log beside it.
    const std::wstring live = wintest::MakeTempDir();
    {
        THistoryError error;
        auto h = TImportHistory::Open(fw::Utf8(live) + "import_history.db", error);
        ASSERT_TRUE(h) << error.Message;
        ASSERT_TRUE(h->Record(Key("OLD.JPG"), 1, "T"));
        ASSERT_TRUE(CopyFileW((live + L"import_history.db").c_str(), db_.c_str(), FALSE));
        ASSERT_TRUE(CopyFileW((live + L"import_history.db-wal").c_str(), (db_ + L"-wal").c_str(), FALSE));
    }
    wintest::RemoveTree(live);
    // Another program reads it and lets it be renamed, but not written: the
    // history opens for reading only, which passes when that program ends.
    HANDLE reader = CreateFileW(db_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    std::string notice;
    EXPECT_EQ(ImportHistory(notice), nullptr);
    EXPECT_EQ(notice, HistoryBusyNotice(fw::Utf8(db_)));
    EXPECT_TRUE(NamesStarting(folder_, L"import_history-").empty());
    CloseHandle(reader);
    TheNextImportKnows("OLD.JPG");
}

namespace {

// SQLite's own file layer with a failure at the opening of a database, as
// Windows fails it (a read error of the disk, no memory left): a VFS that
// hands every call to the system's and fails the open with gOpenFault.
sqlite3_vfs* gSystemVfs = nullptr;
sqlite3_vfs gFaultVfs;
int gOpenFault = SQLITE_OK;

int FaultyOpen(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    if (gOpenFault != SQLITE_OK && (flags & SQLITE_OPEN_MAIN_DB)) {
        file->pMethods = nullptr;
        return gOpenFault;
    }
    return gSystemVfs->xOpen(gSystemVfs, name, file, flags, outFlags);
}

// The fault while the guard lives.
struct TOpenFault {
    explicit TOpenFault(int code) {
        if (!gSystemVfs) {
            gSystemVfs = sqlite3_vfs_find(nullptr);
            gFaultVfs = *gSystemVfs;
            gFaultVfs.zName = "kolibrio-fault";
            gFaultVfs.xOpen = FaultyOpen;
        }
        sqlite3_vfs_register(&gFaultVfs, 1);
        gOpenFault = code;
    }
    ~TOpenFault() {
        gOpenFault = SQLITE_OK;
        sqlite3_vfs_unregister(&gFaultVfs);
    }
    TOpenFault(const TOpenFault&) = delete;
    TOpenFault& operator=(const TOpenFault&) = delete;
};

}  // namespace

// What each fault found at the opening does to the file on the disk: only a
// file that is damaged, not ours or read-only on the disk is set aside (a
// new history starts); a passing one is left as it is, that import goes
// without it, the user is told once, and the next import uses it whole.
TEST_F(HistoryPlace, WhatEachFaultAtTheOpeningDoesToTheFile) {
    const bool readOnlyHolds = ReadOnlyAttributeHolds(folder_);
    struct Case {
        const char* what;
        // Makes the fault on a history holding OLD.JPG; returns what ends it.
        std::function<std::function<void()>(const std::wstring& db)> make;
        const wchar_t* word;  // set aside under this word; null: left in place
        std::string told;     // the notice's beginning
    } cases[] = {
        {"I/O error",
         [](const std::wstring&) {
             auto fault = std::make_shared<TOpenFault>(SQLITE_IOERR);
             return std::function<void()>([fault]() mutable { fault.reset(); });
         },
         nullptr, "Historii importů \"" + fw::Utf8(db_) + "\" teď nelze použít (chyba při čtení nebo zápisu)."},
        {"out of memory",
         [](const std::wstring&) {
             auto fault = std::make_shared<TOpenFault>(SQLITE_NOMEM);
             return std::function<void()>([fault]() mutable { fault.reset(); });
         },
         nullptr, "Historii importů \"" + fw::Utf8(db_) + "\" teď nelze použít (chyba při čtení nebo zápisu)."},
        {"sharing refused",
         [](const std::wstring& db) {
             HANDLE reader = CreateFileW(db.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
             EXPECT_NE(reader, INVALID_HANDLE_VALUE);
             return std::function<void()>([reader] { CloseHandle(reader); });
         },
         nullptr, HistoryBusyNotice(fw::Utf8(db_))},
        {"busy",
         [](const std::wstring& db) {
             sqlite3* other = HeldExclusively(db);
             return std::function<void()>([other] { LetGo(other); });
         },
         nullptr, HistoryBusyNotice(fw::Utf8(db_))},
        {"not a database",
         [](const std::wstring& db) {
             wintest::WriteFileBytes(db, RandomBytes(12288, 5));
             return std::function<void()>([] {});
         },
         L"poskozena", "Historie importů byla poškozena a byla odložena jako \""},
        {"damaged page",
         [](const std::wstring& db) {
             // The schema's page, after the file's header, overwritten.
             std::string bytes = wintest::ReadFileBytes(db);
             bytes.replace(100, 4096 - 100, RandomBytes(4096 - 100, 8));
             wintest::WriteFileBytes(db, bytes);
             return std::function<void()>([] {});
         },
         L"poskozena", "Historie importů byla poškozena a byla odložena jako \""},
        {"foreign application id",
         [](const std::wstring& db) {
             RawExec(db, "PRAGMA application_id = 1234");
             return std::function<void()>([] {});
         },
         L"odlozena", "Soubor historie importů patřil jinému programu a byl odložen jako \""},
        {"read-only file",
         [](const std::wstring& db) {
             SetFileAttributesW(db.c_str(), FILE_ATTRIBUTE_READONLY);
             return std::function<void()>([] {});
         },
         L"odlozena", "Historii importů nebylo možné otevřít (soubor je jen pro čtení), a proto byla odložena jako \""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (std::string(c.what) == "read-only file" && !readOnlyHolds) {
            std::printf("skipped: %s (this process may write read-only files: Wine run by root)\n", c.what);
            continue;
        }
        StartAfresh();
        Knowing("OLD.JPG");
        std::function<void()> end = c.make(db_);
        const std::string before = wintest::ReadFileBytes(db_);
        std::string notice;
        TImportHistory* h = ImportHistory(notice);
        EXPECT_EQ(notice.compare(0, c.told.size(), c.told), 0) << notice;
        if (c.word) {
            // A new history at once; the old file kept beside, as it was.
            Works(h, "NEW.JPG");
            EXPECT_FALSE(h->Find(Key("OLD.JPG")));
            const std::wstring aside = AsideFile(c.word);
            EXPECT_TRUE(wintest::ReadFileBytes(aside) == before) << "the set-aside file was changed";
            SetFileAttributesW(aside.c_str(), FILE_ATTRIBUTE_NORMAL);
            end();
            continue;
        }
        EXPECT_EQ(h, nullptr);
        EXPECT_TRUE(NamesStarting(folder_, L"import_history-").empty()) << "set aside on a passing fault";
        EXPECT_TRUE(wintest::ReadFileBytes(db_) == before) << "the file was changed";
        // Said once while it lasts.
        EXPECT_EQ(ImportHistory(notice), nullptr);
        EXPECT_EQ(notice, "");
        end();
        TheNextImportKnows("OLD.JPG");  // the whole history
    }
}

TEST_F(HistoryPlace, DamageFoundInUseSetsItAsideAtTheNextUse) {
    for (bool released : {false, true}) {
        SCOPED_TRACE(released ? "closed at the run's end" : "kept open");
        StartAfresh();
        {
            std::string notice;
            TImportHistory* h = ImportHistory(notice);
            ASSERT_TRUE(h);
            for (int i = 0; i < 3000; ++i)
                ASSERT_TRUE(h->Record(Key("IMG_" + std::to_string(i) + ".JPG", i), i, "T" + std::to_string(i)));
            CloseImportHistory();
        }
        // Every page after the first (the header and the schema) overwritten.
        std::string bytes = wintest::ReadFileBytes(db_);
        ASSERT_GT(bytes.size(), 8192u);
        bytes.replace(4096, bytes.size() - 4096, RandomBytes(bytes.size() - 4096, 3));
        ASSERT_TRUE(wintest::WriteFileBytes(db_, bytes));

        std::string notice;
        TImportHistory* h = ImportHistory(notice);
        ASSERT_TRUE(h);
        EXPECT_EQ(notice, "");
        EXPECT_FALSE(h->Find(Key("IMG_7.JPG", 7)));
        EXPECT_TRUE(h->Damaged());
        EXPECT_FALSE(h->Find(Key("IMG_0.JPG", 0)));  // a later call does not make it whole
        if (released) ReleaseImportHistory();
        h = ImportHistory(notice);
        Works(h, "A.JPG");
        const std::wstring aside = AsideFile(L"poskozena");
        EXPECT_EQ(notice, "Historie importů byla poškozena a byla odložena jako \"" + fw::Utf8(aside) +
                              "\". Začíná nová historie.");
        EXPECT_TRUE(wintest::ReadFileBytes(aside) == bytes);
    }
}

TEST_F(HistoryPlace, ReleasedBetweenRunsItIsOpenToOthersAndOpensAgain) {
    std::string notice;
    Works(ImportHistory(notice), "A.JPG");
    // Held while in use: another process cannot even read it.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(fw::Utf8(db_).c_str(), &other), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(other, "SELECT count(*) FROM imported", nullptr, nullptr, nullptr), SQLITE_BUSY);
    ReleaseImportHistory();
    EXPECT_EQ(sqlite3_exec(other, "SELECT count(*) FROM imported", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    EXPECT_FALSE(wintest::FileExists(db_ + L"-wal"));  // closed whole: one file to copy or back up
    TheNextImportKnows("A.JPG");
}

TEST_F(HistoryPlace, ANewerProgramsHistoryIsLeftAloneAndTheImportGoesWithout) {
    RawExec(db_, "PRAGMA application_id = " + std::to_string(TImportHistory::ApplicationId()) +
                     "; PRAGMA user_version = " + std::to_string(TImportHistory::SchemaVersion() + 1));
    const std::string before = wintest::ReadFileBytes(db_);
    std::string notice;
    EXPECT_EQ(ImportHistory(notice), nullptr);
    EXPECT_EQ(notice, "Historie importů \"" + fw::Utf8(db_) +
                          "\" pochází z novější verze programu. Do ukončení programu se importuje bez ní.");
    EXPECT_EQ(ImportHistory(notice), nullptr);
    EXPECT_EQ(notice, "");
    EXPECT_TRUE(wintest::ReadFileBytes(db_) == before);
    EXPECT_TRUE(NamesStarting(folder_, L"import_history-").empty());
}

TEST_F(HistoryPlace, WhereNothingCanBeMadeTheProgramGoesWithoutOne) {
    // A file where the history's folder should be.
    ASSERT_TRUE(wintest::WriteFileBytes(folder_ + L"blocked", "x"));
    SetImportHistoryFolder(fw::Utf8(folder_) + "blocked\\sub\\");
    std::string notice;
    EXPECT_EQ(ImportHistory(notice), nullptr);
    EXPECT_EQ(notice, "Historii importů \"" + fw::Utf8(folder_) +
                          "blocked\\sub\\import_history.db\" nelze použít (soubor nelze otevřít). "
                          "Do ukončení programu se importuje bez ní.");
    EXPECT_EQ(ImportHistory(notice), nullptr);
    EXPECT_EQ(notice, "");
    // The end of a run changes nothing; the program stays without one.
    ReleaseImportHistory();
    EXPECT_EQ(ImportHistory(notice), nullptr);
    EXPECT_EQ(notice, "");
    // Closing tries again from the start, and a usable place works.
    CloseImportHistory();
    SetImportHistoryFolder(fw::Utf8(folder_));
    Works(ImportHistory(notice), "A.JPG");
    EXPECT_EQ(notice, "");
}

TEST_F(HistoryPlace, HeldByAnotherProcessThisImportGoesWithoutAndTheNextUsesIt) {
    sqlite3* other = HeldByAnotherProgram();
    std::string notice;
    EXPECT_EQ(ImportHistory(notice), nullptr);
    EXPECT_EQ(notice, "Historii importů \"" + fw::Utf8(db_) +
                          "\" právě používá jiný program. Tento import proběhne bez ní.");
    EXPECT_EQ(ImportHistory(notice), nullptr);
    EXPECT_EQ(notice, "");  // said once
    LetGo(other);
    TheNextImportKnows("A.JPG");
    EXPECT_TRUE(NamesStarting(folder_, L"import_history-").empty());
}

// "Zapomenout historii importů…" that cannot empty the history says so;
// one that can, says nothing.
TEST_F(HistoryPlace, AForgetThatCannotEmptyTheHistorySaysSo) {
    sqlite3* other = HeldByAnotherProgram();
    EXPECT_EQ(ForgetImportHistory(false, nullptr), HistoryBusyNotice(fw::Utf8(db_)) + "\r\n\r\n" +
                                                       "Historii importů nelze zapomenout (databázi právě používá "
                                                       "jiný program).");
    LetGo(other);
    std::string notice;
    ASSERT_TRUE(ImportHistory(notice));
    EXPECT_TRUE(ImportHistory(notice)->Find(Key("A.JPG"))) << "nothing was forgotten";
    ReleaseImportHistory();
    EXPECT_EQ(ForgetImportHistory(false, nullptr), "");
    ASSERT_TRUE(ImportHistory(notice));
    EXPECT_EQ(ImportHistory(notice)->Count(), 0);
}
