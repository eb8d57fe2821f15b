#include "import/ImportHistory.h"

#include <sqlite3.h>

#include <chrono>
#include <climits>
#include <functional>
#include <cstring>
#include <iterator>
#include <utility>

namespace {

// "KoL2": what PRAGMA application_id holds in every history of this program,
// so a database another program left under our name is not taken for ours.
constexpr int32_t kApplicationId = 0x4B6F4C32;

// One entry per schema version: entry k takes a database from version k to
// k + 1. A newer program appends entries and never edits one.
constexpr const char* kUpgrades[] = {
    // The unique index is the lookup's seek and keeps one row per source file:
    // importing a file again (the history ignored) moves its row to the new copy.
    "CREATE TABLE imported ("
    " id INTEGER PRIMARY KEY,"
    " name TEXT NOT NULL,"
    " size INTEGER NOT NULL,"
    " write_time INTEGER NOT NULL,"
    " hash INTEGER NOT NULL,"
    " target TEXT NOT NULL,"
    " imported_at INTEGER NOT NULL);"
    "CREATE UNIQUE INDEX imported_file ON imported (name, size, write_time);",
    // A file counts as imported into the archive its copy lies in, so one
    // source file may have a row for each archive; a copy (target) holds one
    // file, so a copy that replaces another takes over its row. Of the rows
    // an earlier version left for one target, the newest stays.
    "DELETE FROM imported WHERE id IN (SELECT id FROM (SELECT id, row_number() OVER"
    " (PARTITION BY target COLLATE NOCASE ORDER BY imported_at DESC, id DESC) AS k FROM imported) WHERE k > 1);"
    "DROP INDEX imported_file;"
    "CREATE INDEX imported_file ON imported (name, size, write_time);"
    "CREATE UNIQUE INDEX imported_copy ON imported (target COLLATE NOCASE);",
};
constexpr int kSchemaVersion = static_cast<int>(std::size(kUpgrades));

// Row order of the lookup: target, hash, write_time, imported_at.
// A few rows match (three times, a row for each archive): the code picks
// one in the archive asked about, the one of the equal time first. An
// ORDER BY here would make SQLite set up a sorter, with its memory, at
// every lookup.
constexpr char kFindSql[] =
    "SELECT target, hash, write_time, imported_at FROM imported"
    " WHERE name = ?1 AND size = ?2 AND write_time IN (?3, ?4, ?5)";
// A copy holds one file: the row of its target, whatever file it held
// before (the letters' case aside), becomes this file's.
constexpr char kRecordSql[] =
    "INSERT INTO imported (name, size, write_time, hash, target, imported_at)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6)"
    " ON CONFLICT (target COLLATE NOCASE) DO UPDATE SET"
    " name = excluded.name, size = excluded.size, write_time = excluded.write_time, hash = excluded.hash,"
    " target = excluded.target, imported_at = excluded.imported_at";
constexpr char kCountSql[] = "SELECT count(*) FROM imported";
constexpr char kForgetSql[] = "DELETE FROM imported";

// Opening waits this long for another connection to let go of the file.
constexpr int kBusyMs = 2000;

// SQLite keeps 64-bit signed integers; the hash is unsigned and goes in and
// out bit for bit.
int64_t HashToColumn(uint64_t hash) {
    int64_t v;
    std::memcpy(&v, &hash, sizeof v);
    return v;
}

uint64_t HashFromColumn(int64_t v) {
    uint64_t hash;
    std::memcpy(&hash, &v, sizeof hash);
    return hash;
}

// t moved by delta, or t itself where that would leave the 64-bit range (no
// real file time is there).
int64_t Shifted(int64_t t, int64_t delta) {
    if (delta > 0 && t > INT64_MAX - delta) return t;
    if (delta < 0 && t < INT64_MIN - delta) return t;
    return t + delta;
}

int64_t NowAsFileTime() {
    using namespace std::chrono;
    // 1601-01-01 to 1970-01-01 in 100-ns units.
    constexpr int64_t kUnixEpoch = 116444736000000000;
    const auto since1970 = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return kUnixEpoch + static_cast<int64_t>(since1970) * 10;
}

THistoryFault FaultOf(int rc) {
    switch (rc & 0xff) {
    case SQLITE_NOTADB: return THistoryFault::NotADatabase;
    case SQLITE_CORRUPT: return THistoryFault::Damaged;
    case SQLITE_READONLY: return THistoryFault::ReadOnly;
    case SQLITE_CANTOPEN: return THistoryFault::CannotOpen;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return THistoryFault::Busy;
    default: return THistoryFault::Failed;
    }
}

}  // namespace

// A prepared statement; finalized with its owner.
class TImportHistory::TStatement {
public:
    TStatement() = default;
    ~TStatement() { sqlite3_finalize(stmt_); }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    int Prepare(sqlite3* db, const char* sql) { return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr); }
    sqlite3_stmt* Get() const { return stmt_; }
    // Ready for the next use: no row pending, every parameter unbound.
    void Clear() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    int BindText(int index, const std::string& text) {
        return sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    int BindInt(int index, int64_t value) { return sqlite3_bind_int64(stmt_, index, value); }
    int Step() { return sqlite3_step(stmt_); }
    int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::string Text(int column) const {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        const int bytes = sqlite3_column_bytes(stmt_, column);
        return text ? std::string(text, static_cast<size_t>(bytes)) : std::string();
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

TImportHistory::TImportHistory() = default;

TImportHistory::~TImportHistory() {
    // The statements go first; closing then also checkpoints the log into
    // the database and removes it.
    find_.reset();
    record_.reset();
    count_.reset();
    forget_.reset();
    sqlite3_close_v2(db_);
}

int TImportHistory::SchemaVersion() {
    return kSchemaVersion;
}

int32_t TImportHistory::ApplicationId() {
    return kApplicationId;
}

std::unique_ptr<TImportHistory> TImportHistory::Open(const std::string& path, THistoryError& error) {
    std::unique_ptr<TImportHistory> history(new TImportHistory());
    const int rc = sqlite3_open_v2(path.c_str(), &history->db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXRESCODE, nullptr);
    if (rc != SQLITE_OK) {
        // Without memory there is no connection and no message to read.
        if (history->db_)
            history->Fail(rc);
        else
            history->Fail(THistoryFault::Failed, sqlite3_errstr(rc));
    }
    if (rc != SQLITE_OK || !history->SetUp()) {
        error = history->error_;
        return nullptr;
    }
    error = THistoryError();
    return history;
}

bool TImportHistory::Fail(int rc) {
    // Read at once: any later call on the connection replaces the message.
    std::string message = sqlite3_errmsg(db_);
    return Fail(FaultOf(rc), std::move(message));
}

bool IsDamage(THistoryFault fault) {
    return fault == THistoryFault::NotADatabase || fault == THistoryFault::Damaged;
}

bool TImportHistory::Fail(THistoryFault fault, std::string message) {
    error_.Fault = fault;
    error_.Message = std::move(message);
    if (IsDamage(fault)) damaged_ = true;
    return false;
}

bool TImportHistory::Succeed() {
    error_ = THistoryError();
    return true;
}

bool TImportHistory::Exec(const char* sql) {
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK || Fail(rc);
}

bool TImportHistory::SetUp() {
    sqlite3_busy_timeout(db_, kBusyMs);
    // The connection takes its lock at the first access and keeps it until
    // it closes, and the log's index lives in its own memory: under Wine
    // every lock and unlock of a file is a round trip to the server, six of
    // them for every lookup and more for every record otherwise. Other
    // processes reach the history while it is closed.
    if (!Exec("PRAGMA locking_mode = EXCLUSIVE")) return false;
    // A file the process may not write is opened for reading without a word;
    // a history that cannot record would let every import copy everything again.
    if (sqlite3_db_readonly(db_, "main") == 1)
        return Fail(THistoryFault::ReadOnly, "the database file is read-only");
    // Ours and whole before anything is changed: a file that is not stays
    // as it was for the user to look at.
    if (!MakeSchemaCurrent() || !Prepare()) return false;
    // With the write-ahead log a record is one append, and a crash in the
    // middle of it loses that record, never the rest. NORMAL syncs the disk
    // at checkpoints only: a power cut may forget the last records (those
    // files are then imported again), never damage the history.
    if (!Exec("PRAGMA journal_mode = WAL") || !Exec("PRAGMA synchronous = NORMAL")) return false;
    return Succeed();
}

bool TImportHistory::MakeSchemaCurrent() {
    // Written in one transaction: a crash leaves either the old schema or
    // the new one, and a second process cannot upgrade at the same time.
    if (!Exec("BEGIN IMMEDIATE")) return false;
    auto rollback = [this](bool ok) {
        if (!ok) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return ok;
    };
    int64_t applicationId = 0, version = 0, objects = 0;
    {
        TStatement read;
        int rc = read.Prepare(db_,
                              "SELECT (SELECT application_id FROM pragma_application_id),"
                              " (SELECT user_version FROM pragma_user_version),"
                              " (SELECT count(*) FROM sqlite_schema)");
        if (rc == SQLITE_OK) rc = read.Step();
        if (rc != SQLITE_ROW) return rollback(Fail(rc));
        applicationId = read.Int(0);
        version = read.Int(1);
        objects = read.Int(2);
    }
    const bool fresh = applicationId == 0 && version == 0 && objects == 0;
    if (!fresh && applicationId != kApplicationId)
        return rollback(Fail(THistoryFault::NotOurs, "the database belongs to another program"));
    if (version > kSchemaVersion)
        return rollback(Fail(THistoryFault::Newer, "the database was written by a newer version of the program"));
    if (version < 0) return rollback(Fail(THistoryFault::Damaged, "the schema version is negative"));
    for (int64_t v = version; v < kSchemaVersion; ++v)
        if (!Exec(kUpgrades[v])) return rollback(false);
    if (version < kSchemaVersion || fresh) {
        // PRAGMA takes no parameters; both numbers are the program's own.
        const std::string stamp = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                                  "; PRAGMA user_version = " + std::to_string(kSchemaVersion);
        if (!Exec(stamp.c_str())) return rollback(false);
    }
    return rollback(Exec("COMMIT"));
}

bool TImportHistory::Prepare() {
    struct Entry {
        std::unique_ptr<TStatement>& statement;
        const char* sql;
    } entries[] = {{find_, kFindSql}, {record_, kRecordSql}, {count_, kCountSql}, {forget_, kForgetSql}};
    for (Entry& e : entries) {
        e.statement = std::make_unique<TStatement>();
        const int rc = e.statement->Prepare(db_, e.sql);
        // Ours by its number, yet without our table: damaged.
        if (rc == SQLITE_ERROR) return Fail(THistoryFault::Damaged, sqlite3_errmsg(db_));
        if (rc != SQLITE_OK) return Fail(rc);
    }
    return true;
}

std::optional<THistoryRow> TImportHistory::Find(const THistoryKey& file,
                                                const std::function<bool(const std::string& target)>& inArchive) {
    TStatement& s = *find_;
    s.Clear();
    THistoryRow row;
    row.File = file;
    row.File.Name = HistoryName(file.Name);
    int rc = s.BindText(1, row.File.Name);
    if (rc == SQLITE_OK) rc = s.BindInt(2, file.Size);
    if (rc == SQLITE_OK) rc = s.BindInt(3, file.WriteTime);
    if (rc == SQLITE_OK) rc = s.BindInt(4, Shifted(file.WriteTime, -kHistoryHour));
    if (rc == SQLITE_OK) rc = s.BindInt(5, Shifted(file.WriteTime, kHistoryHour));
    std::optional<THistoryRow> found;
    while (rc == SQLITE_OK || rc == SQLITE_ROW) {
        rc = s.Step();
        if (rc != SQLITE_ROW) break;
        // The row of the equal time wins over one an hour off.
        if (found && found->File.WriteTime == file.WriteTime) continue;
        row.Target = s.Text(0);
        if (inArchive && !inArchive(row.Target)) continue;
        row.Hash = HashFromColumn(s.Int(1));
        row.File.WriteTime = s.Int(2);
        row.ImportedAt = s.Int(3);
        found = row;
    }
    if (rc == SQLITE_DONE) {
        Succeed();
    } else {
        Fail(rc);
        found.reset();
    }
    s.Clear();
    return found;
}

bool TImportHistory::Record(const THistoryKey& file, uint64_t hash, const std::string& target) {
    return RecordAll({{file, hash, target}});
}

bool TImportHistory::RecordAll(const std::vector<THistoryRecord>& records) {
    if (records.empty()) return Succeed();
    // One transaction for the lot: every row is in the history or none is,
    // and the log grows by the pages they touch once, not once a row.
    if (!Exec("BEGIN IMMEDIATE")) return false;
    bool ok = true;
    for (const THistoryRecord& r : records) {
        TStatement& s = *record_;
        s.Clear();
        int rc = s.BindText(1, HistoryName(r.File.Name));
        if (rc == SQLITE_OK) rc = s.BindInt(2, r.File.Size);
        if (rc == SQLITE_OK) rc = s.BindInt(3, r.File.WriteTime);
        if (rc == SQLITE_OK) rc = s.BindInt(4, HashToColumn(r.Hash));
        if (rc == SQLITE_OK) rc = s.BindText(5, r.Target);
        if (rc == SQLITE_OK) rc = s.BindInt(6, NowAsFileTime());
        if (rc == SQLITE_OK) rc = s.Step();
        s.Clear();
        if (rc != SQLITE_DONE) {
            ok = Fail(rc);
            break;
        }
    }
    if (ok && Exec("COMMIT")) return Succeed();
    // The failure's own message stays; the rollback's would only hide it.
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

bool TImportHistory::CheckpointEvery(int pages) {
    const std::string pragma = "PRAGMA wal_autocheckpoint = " + std::to_string(pages);
    return Exec(pragma.c_str()) && Succeed();
}

bool TImportHistory::Forget() {
    TStatement& s = *forget_;
    s.Clear();
    const int rc = s.Step();
    const bool ok = rc == SQLITE_DONE ? Succeed() : Fail(rc);
    s.Clear();
    // Gives the emptied pages back to the disk; the history is empty
    // whether or not that works.
    if (ok) sqlite3_exec(db_, "VACUUM", nullptr, nullptr, nullptr);
    return ok;
}

std::optional<int64_t> TImportHistory::Count() {
    TStatement& s = *count_;
    s.Clear();
    const int rc = s.Step();
    std::optional<int64_t> rows;
    if (rc == SQLITE_ROW) {
        rows = s.Int(0);
        Succeed();
    } else {
        Fail(rc);
    }
    s.Clear();
    return rows;
}

std::string TImportHistory::FindPlan() {
    std::string plan;
    TStatement s;
    const int rc = s.Prepare(db_, (std::string("EXPLAIN QUERY PLAN ") + kFindSql).c_str());
    if (rc != SQLITE_OK) {
        Fail(rc);
        return plan;
    }
    while (s.Step() == SQLITE_ROW) plan += s.Text(3) + "\n";
    return plan;
}

std::string HistoryFaultText(THistoryFault fault) {
    switch (fault) {
    case THistoryFault::None: return {};
    case THistoryFault::CannotOpen: return "soubor nelze otevřít";
    case THistoryFault::ReadOnly: return "soubor je jen pro čtení";
    case THistoryFault::NotADatabase: return "soubor není databáze";
    case THistoryFault::Damaged: return "databáze je poškozená";
    case THistoryFault::NotOurs: return "databáze patří jinému programu";
    case THistoryFault::Newer: return "databáze pochází z novější verze programu";
    case THistoryFault::Busy: return "databázi právě používá jiný program";
    case THistoryFault::Failed: return "chyba při čtení nebo zápisu";
    }
    return {};
}

std::string HistoryName(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
