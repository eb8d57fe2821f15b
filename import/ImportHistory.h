#pragma once
// The import history: one row for every file the program has imported,
// kept in an SQLite database, so a card that comes back is recognised. A
// source file is known by its name, size and last-write time. Where the
// database lives and what happens when it cannot be used is in
// ImportHistory_win.h. Portable; one thread at a time.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// What the history knows a source file by.
struct THistoryKey {
    std::string Name;       // the file's name, UTF-8 (a folder before it is left out)
    int64_t Size = 0;       // bytes
    int64_t WriteTime = 0;  // last-write time as the scan lists it: UTC, 100-ns units since 1601
};

struct THistoryRow {
    THistoryKey File;
    uint64_t Hash = 0;       // XXH3-64 of the content, as TCopyHash computes it
    std::string Target;      // the copy's full path, UTF-8
    int64_t ImportedAt = 0;  // UTC, 100-ns units since 1601
};

// A copy to record: the source file, the content's hash, the copy's path.
struct THistoryRecord {
    THistoryKey File;
    uint64_t Hash = 0;
    std::string Target;
};

// Why the history cannot be used.
enum class THistoryFault {
    None,
    CannotOpen,    // no file can be opened or made at the path (a folder stands there)
    ReadOnly,      // the file may be read but not written
    NotADatabase,  // the file holds something else
    Damaged,       // an SQLite database with damaged content
    NotOurs,       // a database of another program
    Newer,         // ours, written by a newer version of the program
    Busy,          // another process holds it locked
    Failed,        // anything else: a disk that is full or fails
};

// A file whose content is broken, as against one that could not be opened
// or written, or that another program made.
bool IsDamage(THistoryFault fault);

struct THistoryError {
    THistoryFault Fault = THistoryFault::None;
    std::string Message;  // SQLite's own words, for diagnosis
};

// One write time differing from another by exactly this much is the same
// moment: a FAT card keeps local times, and a change of daylight saving
// between two imports shifts what the scan reads by one hour.
constexpr int64_t kHistoryHour = 36000000000;

// A run's records wait for their copies' flush in batches of this many
// files, each batch one transaction: a flush per file would stall the
// copying, and a killed run loses at most this many records (those files
// are found at their targets by content next time).
constexpr size_t kHistoryRecordBatch = 256;
// While a run holds the history, the log is written into the database once
// it holds this many pages (8 MiB), so a run of any length keeps it small.
constexpr int kHistoryCheckpointPages = 2000;

class TImportHistory {
public:
    // Opens the database at path (UTF-8), making it when missing; an empty
    // file is an empty database. Null with the reason when it cannot serve.
    static std::unique_ptr<TImportHistory> Open(const std::string& path, THistoryError& error);
    ~TImportHistory();
    TImportHistory(const TImportHistory&) = delete;
    TImportHistory& operator=(const TImportHistory&) = delete;

    // The row of a file imported before: the same name (exactly, byte for
    // byte) and size, with the recorded write time or one exactly an hour
    // off either way (the equal one when both are there), among the rows
    // whose copy inArchive accepts (all when it is empty). None when it is
    // not known, or the lookup failed (LastError then tells).
    std::optional<THistoryRow> Find(const THistoryKey& file,
                                    const std::function<bool(const std::string& target)>& inArchive = {});
    // Records imported files in one transaction, stamped with the time now:
    // a row per copy, so a file has one for each archive it was imported
    // into, and a copy holds one file: the row of a target (compared without
    // regard to ASCII case) is replaced by the file recorded at it. False,
    // and nothing recorded, when it could not be written.
    bool RecordAll(const std::vector<THistoryRecord>& records);
    bool Record(const THistoryKey& file, uint64_t hash, const std::string& target);
    // Empties the history.
    bool Forget();
    // A checkpoint once the log holds this many pages (SQLite's own default
    // is 1,000); the close writes the rest into the database.
    bool CheckpointEvery(int pages);
    // How many files the history holds; none when it cannot be read.
    std::optional<int64_t> Count();

    // The last failure of any call; Fault None after a call that succeeded.
    const THistoryError& LastError() const { return error_; }
    // True once a call has found the database damaged: it should be set
    // aside and a new one started.
    bool Damaged() const { return damaged_; }
    // How SQLite runs a lookup (its EXPLAIN QUERY PLAN lines).
    std::string FindPlan();

    // The schema version this program writes (PRAGMA user_version) and the
    // number that marks the database as ours (PRAGMA application_id).
    static int SchemaVersion();
    static int32_t ApplicationId();

private:
    class TStatement;
    TImportHistory();
    bool Fail(int rc);
    bool Fail(THistoryFault fault, std::string message);
    bool Succeed();
    bool Exec(const char* sql);
    bool SetUp();
    bool MakeSchemaCurrent();
    bool Prepare();

    sqlite3* db_ = nullptr;
    // Finalized by the destructor before it closes the connection.
    std::unique_ptr<TStatement> find_, record_, count_, forget_;
    THistoryError error_;
    bool damaged_ = false;
};

// The text that says why a history cannot be used, for the user (Czech).
std::string HistoryFaultText(THistoryFault fault);
// The file name of a source path: what the history keys it by.
std::string HistoryName(const std::string& path);
