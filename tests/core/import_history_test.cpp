#include "import/ImportHistory.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// 2024-03-30 12:00:00 UTC, a Saturday before a change of daylight saving.
constexpr int64_t kT = 133562160000000000;
constexpr int64_t kHour = 36000000000;

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string RandomBytes(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    for (char& c : s) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return s;
}

// A connection of our own beside the store's, for what the store does not
// show: the schema's numbers, the journal mode, what another process sees.
class Raw {
public:
    explicit Raw(const std::string& path) { EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK); }
    ~Raw() { sqlite3_close(db_); }
    Raw(const Raw&) = delete;
    Raw& operator=(const Raw&) = delete;

    int Exec(const std::string& sql) { return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr); }
    std::string Text(const std::string& sql) {
        sqlite3_stmt* s = nullptr;
        std::string out = "<error>";
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
            out = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        sqlite3_finalize(s);
        return out;
    }
    int64_t Int(const std::string& sql) { return std::atoll(Text(sql).c_str()); }

private:
    sqlite3* db_ = nullptr;
};

class History : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kolibrio-history-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        path_ = dir_ + "/import_history.db";
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::unique_ptr<TImportHistory> OpenOk() {
        THistoryError error;
        auto h = TImportHistory::Open(path_, error);
        EXPECT_TRUE(h) << error.Message;
        EXPECT_EQ(error.Fault, THistoryFault::None);
        return h;
    }

    std::string dir_, path_;
};

THistoryKey Key(const std::string& name, int64_t size, int64_t time) {
    THistoryKey k;
    k.Name = name;
    k.Size = size;
    k.WriteTime = time;
    return k;
}

int64_t FileTimeNow() {
    using namespace std::chrono;
    return 116444736000000000 + duration_cast<microseconds>(system_clock::now().time_since_epoch()).count() * 10;
}

}  // namespace

TEST_F(History, KnownByNameSizeAndTimeOrTheSameTimeAnHourOff) {
    auto h = OpenOk();
    ASSERT_TRUE(h);
    ASSERT_TRUE(h->Record(Key("IMG_0001.JPG", 4000000, kT), 0x1234, "D:\\Foto\\2024\\IMG_0001.JPG"));
    ASSERT_TRUE(h->Record(Key("Фото_日本_😀.jpg", 10, kT), 1, "D:\\Foto\\Фото_日本_😀.jpg"));
    ASSERT_TRUE(h->Record(Key("caf\xc3\xa9.jpg", 10, kT), 2, "D:\\Foto\\caf\xc3\xa9.jpg"));  // é composed

    struct Case {
        const char* what;
        std::string name;
        int64_t size, time;
        bool known;
    } cases[] = {
        {"equal", "IMG_0001.JPG", 4000000, kT, true},
        {"an hour later", "IMG_0001.JPG", 4000000, kT + kHour, true},
        {"an hour earlier", "IMG_0001.JPG", 4000000, kT - kHour, true},
        {"two hours later", "IMG_0001.JPG", 4000000, kT + 2 * kHour, false},
        {"two hours earlier", "IMG_0001.JPG", 4000000, kT - 2 * kHour, false},
        {"an hour and 100 ns later", "IMG_0001.JPG", 4000000, kT + kHour + 1, false},
        {"an hour less 100 ns earlier", "IMG_0001.JPG", 4000000, kT - kHour + 1, false},
        {"100 ns later", "IMG_0001.JPG", 4000000, kT + 1, false},
        {"a second later", "IMG_0001.JPG", 4000000, kT + 10000000, false},
        {"a byte more", "IMG_0001.JPG", 4000001, kT, false},
        {"a byte less", "IMG_0001.JPG", 3999999, kT, false},
        {"another name", "IMG_0002.JPG", 4000000, kT, false},
        {"another case", "img_0001.jpg", 4000000, kT, false},
        {"a trailing blank", "IMG_0001.JPG ", 4000000, kT, false},
        {"the card's path before the name", "F:\\DCIM\\100CANON\\IMG_0001.JPG", 4000000, kT, true},
        {"another card's path", "G:\\DCIM\\101CANON\\IMG_0001.JPG", 4000000, kT + kHour, true},
        {"outside any ANSI code page", "Фото_日本_😀.jpg", 10, kT, true},
        {"one letter of it other", "Фото_日本_😁.jpg", 10, kT, false},
        {"composed é", "caf\xc3\xa9.jpg", 10, kT, true},
        {"decomposed é", "cafe\xcc\x81.jpg", 10, kT, false},
    };
    for (const Case& c : cases) {
        const auto row = h->Find(Key(c.name, c.size, c.time));
        EXPECT_EQ(row.has_value(), c.known) << c.what;
        EXPECT_EQ(h->LastError().Fault, THistoryFault::None) << c.what;
    }
    const auto row = h->Find(Key("IMG_0001.JPG", 4000000, kT - kHour));
    ASSERT_TRUE(row);
    EXPECT_EQ(row->Target, "D:\\Foto\\2024\\IMG_0001.JPG");
    EXPECT_EQ(row->Hash, 0x1234u);
    EXPECT_EQ(row->File.Name, "IMG_0001.JPG");
    EXPECT_EQ(row->File.WriteTime, kT);  // the recorded time, not the asked one
    EXPECT_EQ(row->File.Size, 4000000);
}

TEST_F(History, TheEqualTimeWinsOverOneAnHourOff) {
    auto h = OpenOk();
    ASSERT_TRUE(h);
    // Two different shots with one name and size, an hour apart.
    ASSERT_TRUE(h->Record(Key("P1.JPG", 500, kT), 1, "A"));
    ASSERT_TRUE(h->Record(Key("P1.JPG", 500, kT + kHour), 2, "B"));
    struct Case {
        int64_t time;
        const char* target;
    } cases[] = {{kT, "A"}, {kT + kHour, "B"}, {kT - kHour, "A"}, {kT + 2 * kHour, "B"}};
    for (const Case& c : cases) {
        const auto row = h->Find(Key("P1.JPG", 500, c.time));
        ASSERT_TRUE(row) << c.time;
        EXPECT_EQ(row->Target, c.target) << c.time;
    }
    EXPECT_FALSE(h->Find(Key("P1.JPG", 500, kT - 2 * kHour)));
}

TEST_F(History, TimesAtTheEndsOfTheRangeAreKeptAndAskedSafely) {
    auto h = OpenOk();
    ASSERT_TRUE(h);
    for (int64_t t : {INT64_MAX, INT64_MIN, int64_t{0}, int64_t{-1}}) {
        ASSERT_TRUE(h->Record(Key("edge.jpg", 1, t), 7, "x" + std::to_string(t)));
        const auto row = h->Find(Key("edge.jpg", 1, t));
        ASSERT_TRUE(row) << t;
        EXPECT_EQ(row->File.WriteTime, t);
    }
    EXPECT_TRUE(h->Find(Key("edge.jpg", 1, INT64_MAX - kHour)));
    EXPECT_TRUE(h->Find(Key("edge.jpg", 1, INT64_MIN + kHour)));
}

TEST_F(History, RowsSurviveReopeningBitForBit) {
    const int64_t before = FileTimeNow();
    struct Row {
        std::string name;
        uint64_t hash;
        std::string target;
    } rows[] = {
        {"A.JPG", 0, "C:\\a.jpg"},
        {"B.JPG", 0xFFFFFFFFFFFFFFFFull, "C:\\Archiv\\Žluťoučký kůň\\b.jpg"},
        {"C.JPG", 0x8000000000000000ull, "\\\\?\\C:\\" + std::string(300, 'x') + "\\c.jpg"},
        {"D.JPG", 0x2D06800538D394C2ull, "C:\\Фото\\d.jpg"},
    };
    {
        auto h = OpenOk();
        ASSERT_TRUE(h);
        for (const Row& r : rows) ASSERT_TRUE(h->Record(Key(r.name, 100, kT), r.hash, r.target));
    }
    const int64_t after = FileTimeNow();
    auto h = OpenOk();
    ASSERT_TRUE(h);
    EXPECT_EQ(h->Count(), 4);
    for (const Row& r : rows) {
        const auto found = h->Find(Key(r.name, 100, kT));
        ASSERT_TRUE(found) << r.name;
        EXPECT_EQ(found->Hash, r.hash) << r.name;
        EXPECT_EQ(found->Target, r.target) << r.name;
        EXPECT_GE(found->ImportedAt, before) << r.name;
        EXPECT_LE(found->ImportedAt, after) << r.name;
    }
}

TEST_F(History, ARecordSurvivesTheProcessEndingRightAfterIt) {
    // A process that dies (or is killed) the moment a record returns: no
    // close, no checkpoint, nothing of the history left in its memory.
    const pid_t child = fork();
    if (child == 0) {
        THistoryError error;
        auto h = TImportHistory::Open(path_, error);
        const bool ok = h && h->Record(Key("A.JPG", 1, kT), 11, "C:\\first\\A.JPG") &&
                        h->Record(Key("B.JPG", 2, kT), 12, "C:\\first\\B.JPG");
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(fs::exists(path_ + "-wal")) << "the records are still in the log only";
    auto h = OpenOk();
    ASSERT_TRUE(h);
    EXPECT_EQ(h->Count(), 2);
    const auto row = h->Find(Key("B.JPG", 2, kT));
    ASSERT_TRUE(row);
    EXPECT_EQ(row->Target, "C:\\first\\B.JPG");
}

// A file is known in the archive its copy lies in: one row for each copy,
// and a lookup asks about one archive. A copy holds one file: a copy that
// takes a target takes the rows of the file that was there before.
TEST_F(History, ARowForEachCopyAndACopyHoldsOneFile) {
    const auto in = [](const std::string& folder) {
        return [folder](const std::string& target) { return target.rfind(folder, 0) == 0; };
    };
    {
        auto h = OpenOk();
        ASSERT_TRUE(h);
        ASSERT_TRUE(h->Record(Key("A.JPG", 1, kT), 1, "C:\\first\\A.JPG"));
        ASSERT_TRUE(h->Record(Key("A.JPG", 1, kT), 2, "D:\\second\\A.JPG"));
        ASSERT_TRUE(h->Record(Key("A.JPG", 1, kT), 3, "D:\\second\\A.JPG"));  // the same copy again
        EXPECT_EQ(h->Count(), 2);
        EXPECT_EQ(h->Find(Key("A.JPG", 1, kT), in("C:\\first\\"))->Hash, 1u);
        EXPECT_EQ(h->Find(Key("A.JPG", 1, kT), in("D:\\second\\"))->Hash, 3u);
        EXPECT_FALSE(h->Find(Key("A.JPG", 1, kT), in("E:\\new\\")));
        EXPECT_TRUE(h->Find(Key("A.JPG", 1, kT)));
        // Another file replaces the copy in the second archive (the letters'
        // case aside): A is known there no more, still in the first.
        ASSERT_TRUE(h->Record(Key("B.JPG", 5, kT), 4, "d:\\SECOND\\a.jpg"));
        EXPECT_FALSE(h->Find(Key("A.JPG", 1, kT), in("D:\\second\\")));
        EXPECT_TRUE(h->Find(Key("A.JPG", 1, kT), in("C:\\first\\")));
        // A folder given with the name is not part of the key.
        ASSERT_TRUE(h->Record(Key("F:\\DCIM\\A.JPG", 1, kT), 5, "C:\\first\\A.JPG"));
    }
    Raw raw(path_);
    EXPECT_EQ(raw.Int("SELECT count(*) FROM imported"), 2);
    EXPECT_EQ(raw.Text("SELECT group_concat(name || ' ' || hash || ' ' || target, '|') FROM"
                       " (SELECT * FROM imported ORDER BY name)"),
              "A.JPG 5 C:\\first\\A.JPG|B.JPG 4 d:\\SECOND\\a.jpg");
}

// Records come in batches, each all or nothing: a row refused in the middle
// (here by a trigger) leaves none of its batch behind, and the store goes on.
TEST_F(History, ABatchIsRecordedWholeOrNotAtAll) {
    OpenOk().reset();
    {
        Raw raw(path_);
        ASSERT_EQ(raw.Exec("CREATE TRIGGER refuse BEFORE INSERT ON imported WHEN NEW.name = 'BAD.JPG'"
                           " BEGIN SELECT RAISE(ABORT, 'refused'); END"),
                  SQLITE_OK);
    }
    auto h = OpenOk();
    ASSERT_TRUE(h);
    std::vector<THistoryRecord> batch;
    for (int i = 0; i < 300; ++i)
        batch.push_back({Key("IMG_" + std::to_string(i) + ".JPG", i, kT), 1, "T" + std::to_string(i)});
    std::vector<THistoryRecord> bad = batch;
    bad.insert(bad.begin() + 150, {Key("BAD.JPG", 1, kT), 1, "B"});
    EXPECT_FALSE(h->RecordAll(bad));
    EXPECT_NE(h->LastError().Fault, THistoryFault::None);
    EXPECT_EQ(h->Count(), 0);
    ASSERT_TRUE(h->RecordAll(batch));
    EXPECT_EQ(h->Count(), 300);
}

// A history of the first schema (one row per source file) is taken to the
// current one on opening, its rows kept.
TEST_F(History, AHistoryOfTheFirstSchemaIsUpgradedWithItsRows) {
    {
        Raw raw(path_);
        ASSERT_EQ(raw.Exec("CREATE TABLE imported (id INTEGER PRIMARY KEY, name TEXT NOT NULL, size INTEGER NOT NULL,"
                           " write_time INTEGER NOT NULL, hash INTEGER NOT NULL, target TEXT NOT NULL,"
                           " imported_at INTEGER NOT NULL);"
                           "CREATE UNIQUE INDEX imported_file ON imported (name, size, write_time);"
                           "INSERT INTO imported VALUES (1, 'A.JPG', 1, " + std::to_string(kT) + ", 7, 'C:\\a\\A.JPG', 0);"
                           // An older copy replaced by another file: two rows for one target.
                           "INSERT INTO imported VALUES (2, 'OLD.JPG', 1, " + std::to_string(kT) + ", 7, 'C:\\a\\B.JPG', 1);"
                           "INSERT INTO imported VALUES (3, 'B.JPG', 1, " + std::to_string(kT) + ", 7, 'c:\\A\\b.jpg', 2);"
                           "PRAGMA application_id = " + std::to_string(TImportHistory::ApplicationId()) +
                           "; PRAGMA user_version = 1"),
                  SQLITE_OK);
    }
    auto h = OpenOk();
    ASSERT_TRUE(h);
    EXPECT_EQ(h->Find(Key("A.JPG", 1, kT))->Target, "C:\\a\\A.JPG");
    EXPECT_TRUE(h->Find(Key("B.JPG", 1, kT)));
    EXPECT_FALSE(h->Find(Key("OLD.JPG", 1, kT))) << "the replaced copy's row stays no longer";
    ASSERT_TRUE(h->Record(Key("A.JPG", 1, kT), 7, "D:\\b\\A.JPG"));
    EXPECT_EQ(h->Count(), 3);
    h.reset();
    Raw raw(path_);
    EXPECT_EQ(raw.Int("PRAGMA user_version"), TImportHistory::SchemaVersion());
}

TEST_F(History, ForgetEmptiesItForGood) {
    {
        auto h = OpenOk();
        ASSERT_TRUE(h);
        for (int i = 0; i < 500; ++i) ASSERT_TRUE(h->Record(Key("F" + std::to_string(i), i, kT), i, "T" + std::to_string(i)));
        EXPECT_EQ(h->Count(), 500);
        ASSERT_TRUE(h->Forget());
        EXPECT_EQ(h->Count(), 0);
        EXPECT_FALSE(h->Find(Key("F7", 7, kT)));
        // And it records again afterwards.
        ASSERT_TRUE(h->Record(Key("new.jpg", 1, kT), 1, "N"));
        ASSERT_TRUE(h->Forget());
    }
    auto h = OpenOk();
    ASSERT_TRUE(h);
    EXPECT_EQ(h->Count(), 0);
    EXPECT_FALSE(h->Find(Key("F7", 7, kT)));
    EXPECT_FALSE(h->Find(Key("new.jpg", 1, kT)));
}

TEST_F(History, ANewDatabaseIsOursInTheCurrentSchemaWithALogAndALookupThatSeeks) {
    auto h = OpenOk();
    ASSERT_TRUE(h);
    EXPECT_EQ(TImportHistory::SchemaVersion(), 2);
    // Each lookup is a seek in the index, whatever the history's size.
    const std::string plan = h->FindPlan();
    EXPECT_NE(plan.find("SEARCH imported USING INDEX imported_file (name=? AND size=? AND write_time=?)"),
              std::string::npos)
        << plan;
    EXPECT_EQ(plan.find("SCAN imported"), std::string::npos) << plan;
    h.reset();
    std::string schema;
    {
        Raw raw(path_);
        EXPECT_EQ(raw.Int("PRAGMA application_id"), TImportHistory::ApplicationId());
        EXPECT_EQ(raw.Int("PRAGMA user_version"), TImportHistory::SchemaVersion());
        EXPECT_EQ(raw.Text("PRAGMA journal_mode"), "wal");
        schema = raw.Text("SELECT group_concat(sql, ';') FROM sqlite_schema");
    }
    // Opening it again changes nothing in the schema.
    OpenOk().reset();
    Raw raw(path_);
    EXPECT_EQ(raw.Text("SELECT group_concat(sql, ';') FROM sqlite_schema"), schema);
}

TEST_F(History, AnEmptyFileIsAFineEmptyDatabase) {
    WriteBytes(path_, "");
    auto h = OpenOk();
    ASSERT_TRUE(h);
    EXPECT_EQ(h->Count(), 0);
    EXPECT_TRUE(h->Record(Key("A.JPG", 1, kT), 1, "T"));
    EXPECT_TRUE(h->Find(Key("A.JPG", 1, kT)));
}

TEST_F(History, AFileThatIsNoHistoryOfOursIsReportedAndLeftAsItIs) {
    struct Case {
        const char* what;
        void (*make)(const std::string& path);
        THistoryFault fault;
    } cases[] = {
        {"random bytes", [](const std::string& p) { WriteBytes(p, RandomBytes(3 * 4096, 7)); }, THistoryFault::NotADatabase},
        {"a short text", [](const std::string& p) { WriteBytes(p, "hello"); }, THistoryFault::NotADatabase},
        {"a database header over random pages",
         [](const std::string& p) {
             std::string bytes = RandomBytes(3 * 4096, 9);
             bytes.replace(0, 16, std::string("SQLite format 3", 16));
             WriteBytes(p, bytes);
         },
         THistoryFault::NotADatabase},
        {"another program's database",
         [](const std::string& p) {
             Raw raw(p);
             raw.Exec("CREATE TABLE photos (name TEXT); INSERT INTO photos VALUES ('x')");
         },
         THistoryFault::NotOurs},
        {"another program's number",
         [](const std::string& p) {
             Raw raw(p);
             raw.Exec("PRAGMA application_id = 1234; PRAGMA user_version = 1");
         },
         THistoryFault::NotOurs},
        {"a table of that name without our number",
         [](const std::string& p) {
             Raw raw(p);
             raw.Exec("CREATE TABLE imported (name TEXT)");
         },
         THistoryFault::NotOurs},
        {"ours from a newer program",
         [](const std::string& p) {
             Raw raw(p);
             raw.Exec("PRAGMA application_id = " + std::to_string(TImportHistory::ApplicationId()) +
                      "; PRAGMA user_version = " + std::to_string(TImportHistory::SchemaVersion() + 1));
         },
         THistoryFault::Newer},
        {"ours without its table",
         [](const std::string& p) {
             Raw raw(p);
             raw.Exec("PRAGMA application_id = " + std::to_string(TImportHistory::ApplicationId()) +
                      "; PRAGMA user_version = " + std::to_string(TImportHistory::SchemaVersion()) +
                      "; CREATE TABLE other (x)");
         },
         THistoryFault::Damaged},
    };
    for (const Case& c : cases) {
        fs::remove(path_);
        c.make(path_);
        const std::string bytes = ReadBytes(path_);
        THistoryError error;
        EXPECT_FALSE(TImportHistory::Open(path_, error)) << c.what;
        EXPECT_EQ(error.Fault, c.fault) << c.what << ": " << error.Message;
        EXPECT_FALSE(error.Message.empty()) << c.what;
        EXPECT_TRUE(ReadBytes(path_) == bytes) << c.what << ": the file was changed";
        EXPECT_FALSE(fs::exists(path_ + "-wal")) << c.what;
    }
}

TEST_F(History, AFolderOrAMissingFolderInItsPlaceCannotBeOpened) {
    fs::create_directory(path_);
    struct Case {
        const char* what;
        std::string path;
    } cases[] = {{"a folder", path_}, {"a missing folder", dir_ + "/missing/import_history.db"}};
    for (const Case& c : cases) {
        THistoryError error;
        EXPECT_FALSE(TImportHistory::Open(c.path, error)) << c.what;
        EXPECT_EQ(error.Fault, THistoryFault::CannotOpen) << c.what << ": " << error.Message;
    }
    EXPECT_TRUE(fs::is_directory(path_));
}

namespace {

// Opens path as a process without the right to write it. Root may write any
// file, so as root the attempt runs in a child that has given up root.
THistoryFault OpenWithoutWriteRight(const std::string& dir, const std::string& path) {
    chmod(path.c_str(), 0444);
    if (geteuid() != 0) {
        THistoryError error;
        auto h = TImportHistory::Open(path, error);
        return error.Fault;
    }
    chmod(dir.c_str(), 0755);
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
        THistoryError error;
        auto h = TImportHistory::Open(path, error);
        _exit(static_cast<int>(error.Fault));
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? static_cast<THistoryFault>(WEXITSTATUS(status)) : THistoryFault::Failed;
}

}  // namespace

TEST_F(History, AReadOnlyFileIsReportedAndLeftAsItIs) {
    {
        auto h = OpenOk();
        ASSERT_TRUE(h);
        ASSERT_TRUE(h->Record(Key("A.JPG", 1, kT), 1, "T"));
    }
    const std::string bytes = ReadBytes(path_);
    EXPECT_EQ(OpenWithoutWriteRight(dir_, path_), THistoryFault::ReadOnly);
    EXPECT_TRUE(ReadBytes(path_) == bytes) << "the file was changed";
    // Writable again, it is the same history.
    chmod(path_.c_str(), 0644);
    auto h = OpenOk();
    ASSERT_TRUE(h);
    EXPECT_TRUE(h->Find(Key("A.JPG", 1, kT)));
}

TEST_F(History, DamagedPagesFoundInUseAreReportedWithoutACrash) {
    {
        auto h = OpenOk();
        ASSERT_TRUE(h);
        for (int i = 0; i < 3000; ++i)
            ASSERT_TRUE(h->Record(Key("IMG_" + std::to_string(i) + ".JPG", 1000 + i, kT + i), i, "T" + std::to_string(i)));
    }
    // Everything after the first page (the header and the schema) overwritten.
    std::string bytes = ReadBytes(path_);
    ASSERT_GT(bytes.size(), 8192u);
    const std::string noise = RandomBytes(bytes.size() - 4096, 3);
    bytes.replace(4096, noise.size(), noise);
    WriteBytes(path_, bytes);

    auto h = OpenOk();
    ASSERT_TRUE(h);
    EXPECT_FALSE(h->Damaged());
    EXPECT_FALSE(h->Find(Key("IMG_7.JPG", 1007, kT + 7)));
    EXPECT_EQ(h->LastError().Fault, THistoryFault::Damaged) << h->LastError().Message;
    EXPECT_FALSE(h->LastError().Message.empty());
    EXPECT_TRUE(h->Damaged());
    EXPECT_FALSE(h->Count());
    EXPECT_FALSE(h->Record(Key("new.jpg", 1, kT), 1, "T"));
}

TEST_F(History, WhileOneConnectionHoldsItAnotherIsBusyNotDamaged) {
    OpenOk().reset();
    {
        Raw other(path_);
        ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), SQLITE_OK);
        THistoryError error;
        EXPECT_FALSE(TImportHistory::Open(path_, error));
        EXPECT_EQ(error.Fault, THistoryFault::Busy) << error.Message;
        ASSERT_EQ(other.Exec("COMMIT"), SQLITE_OK);
    }
    // The store keeps its lock from its first use until it closes.
    auto h = OpenOk();
    ASSERT_TRUE(h);
    ASSERT_TRUE(h->Record(Key("A.JPG", 1, kT), 1, "T"));
    {
        Raw other(path_);
        EXPECT_EQ(other.Exec("SELECT count(*) FROM imported"), SQLITE_BUSY);
    }
    EXPECT_TRUE(h->Find(Key("A.JPG", 1, kT)));
    h.reset();
    Raw other(path_);
    EXPECT_EQ(other.Int("SELECT count(*) FROM imported"), 1);
}

TEST(HistoryName, IsTheLastPartOfAPath) {
    struct Case {
        const char* path;
        const char* name;
    } cases[] = {
        {"IMG_0001.JPG", "IMG_0001.JPG"},
        {"F:\\DCIM\\100CANON\\IMG_0001.JPG", "IMG_0001.JPG"},
        {"\\\\?\\F:\\DCIM\\IMG_0001.JPG", "IMG_0001.JPG"},
        {"/media/card/DCIM/x.jpg", "x.jpg"},
        {"F:\\DCIM\\", ""},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(HistoryName(c.path), c.name) << c.path;
}

TEST(HistoryFaultText, EveryFaultHasItsCzechReason) {
    EXPECT_EQ(HistoryFaultText(THistoryFault::None), "");
    for (THistoryFault f : {THistoryFault::CannotOpen, THistoryFault::ReadOnly, THistoryFault::NotADatabase,
                            THistoryFault::Damaged, THistoryFault::NotOurs, THistoryFault::Newer, THistoryFault::Busy,
                            THistoryFault::Failed})
        EXPECT_FALSE(HistoryFaultText(f).empty()) << static_cast<int>(f);
    EXPECT_EQ(HistoryFaultText(THistoryFault::ReadOnly), "soubor je jen pro čtení");
    EXPECT_EQ(HistoryFaultText(THistoryFault::NotADatabase), "soubor není databáze");
}
