#pragma once
// The import history: one row for every file the program has imported,
// kept in an SQLite database, so a card that comes back is recognised. A
// source file is known by its name, size and last-write time. Where the
// database lives and what happens when it cannot be used is in
// ImportHistory_win.h. Portable; one thread at a time.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

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
    // off either way (the equal one when both are there). None when it is
    // not known, or the lookup failed (LastError then tells).
    std::optional<THistoryRow> Find(const THistoryKey& file);
    // Records one imported file in a transaction of its own, stamped with
    // the time now; a row for the same name, size and write time is
    // replaced. False when it could not be written.
    bool Record(const THistoryKey& file, uint64_t hash, const std::string& target);
    // Empties the history.
    bool Forget();
    // No checkpoint while this connection lives: the records of a run stay
    // in the log until the connection closes, which writes them into the
    // database. A checkpoint syncs the disk, and while an import writes a
    // card's copies every sync waits for those too.
    bool DeferCheckpoints();
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
