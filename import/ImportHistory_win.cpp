#include "import/ImportHistory_win.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "framework/Strings.h"
#include "import/FileAccess_win.h"
#include "import/HistoryAside.h"
#include "import/ImportCore.h"
#include "settings/SettingsPlace_win.h"
#include "settings/SettingsStore_win.h"

namespace {

constexpr char kFileName[] = "import_history.db";
// The files SQLite keeps beside a database: its write-ahead log and the
// rollback journal hold rows of it, the shared-memory index only what can
// be rebuilt from the log.
constexpr const char* kCompanions[] = {"-wal", "-journal"};
constexpr char kSharedMemory[] = "-shm";
// Set-aside names within one second ("-2", "-3", …) tried before giving up.
constexpr int kAsideAttempts = 50;

std::string gFolder;  // empty: the program's own choice
std::unique_ptr<TImportHistory> gHistory;
bool gOff = false;        // no history until CloseImportHistory
bool gToldPassing = false;  // the user knows it cannot be used just now
bool gDamageFound = false;  // by a connection since closed
THistoryFault gLastFault = THistoryFault::Failed;  // why the last call found none

// A record waiting to be committed; flush: only once its copy is on the disk.
struct TPendingRecord {
    THistoryRecord record;
    std::wstring compared;  // its target as the file system compares it
    bool flush;
};
std::vector<TPendingRecord> gPending;
// Whether a volume keeps a renamed file's name only once it is flushed,
// by its root (VolumeKey); for the run.
std::map<std::wstring, bool> gLazyNames;

bool Exists(const std::string& path) {
    return GetFileAttributesW(fw::Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

enum class TAside { Moved, InUse, Failed };

// Renames a file; InUse when another process holds it open.
TAside Rename(const std::string& from, const std::string& to) {
    if (MoveFileExW(fw::Wide(from).c_str(), fw::Wide(to).c_str(), 0)) return TAside::Moved;
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? TAside::InUse : TAside::Failed;
}

// Renames the history and the files SQLite keeps beside it under a free
// set-aside name. A history that SQLite could not write (or not open) keeps
// its last records in its log: the log goes along, so the set-aside copy is
// whole, and one that cannot go stops the new start, which would delete it.
TAside SetAside(const std::string& path, THistoryFault fault, std::string& aside) {
    SYSTEMTIME st;
    GetLocalTime(&st);
    const DateParts now{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
    TAside moved = TAside::Failed;
    for (int attempt = 1; attempt <= kAsideAttempts; ++attempt) {
        aside = SetAsideName(path, fault, now, attempt);
        if (Exists(aside)) continue;
        moved = Rename(path, aside);
        break;
    }
    if (moved != TAside::Moved) return moved;
    for (const char* companion : kCompanions) {
        const std::string from = path + companion;
        if (Exists(from)) {
            const TAside log = Rename(from, aside + companion);
            if (log != TAside::Moved) {
                // Whole or not at all: the history goes back under its name.
                Rename(aside, path);
                return log;
            }
        }
    }
    DeleteFileW(fw::Wide(path + kSharedMemory).c_str());
    return TAside::Moved;
}

// The program holds its history for one run and closes it after. The
// run's records come in batches, each one transaction; checkpoints, each a
// sync of the disk, come only every few thousand pages of the log.
TImportHistory* Held(TImportHistory* history) {
    if (history) history->CheckpointEvery(kHistoryCheckpointPages);
    return history;
}

// ReadOnly and CannotOpen as SQLite reports them also come from passing
// causes: a file another program holds open against writing is opened for
// reading only (or not at all), and an open can fail for a moment. Only
// what lies on the disk so (a read-only file, a folder in its place, a
// place where no file can be made) keeps its fault.
THistoryFault AsOnDisk(THistoryFault fault, const std::string& path) {
    if (fault != THistoryFault::ReadOnly && fault != THistoryFault::CannotOpen) return fault;
    const std::wstring w = fw::Wide(path);
    const DWORD attributes = GetFileAttributesW(w.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return fault;
    const DWORD access = fault == THistoryFault::ReadOnly ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    HANDLE h = CreateFileW(w.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    const DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return THistoryFault::Failed;  // it opens now
    }
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return THistoryFault::Busy;
    return fault;
}

// A path as the file system compares it: the long form's prefix,
// the trailing backslash and the case of its letters do not count.
std::wstring ComparedPath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    std::wstring w = ShortFormOfLongPath(FoldedPath(path));
    while (!w.empty() && w.back() == L'\\') w.pop_back();
    return w;
}

// The root of a drive letter's or a share's volume ("D:\", "\\server\share\"),
// or the folder for any other path: each is asked about once a run.
std::wstring VolumeKey(const std::string& target) {
    const std::wstring w = ShortFormOfLongPath(fw::Wide(target));
    if (w.size() >= 3 && w[1] == L':' && w[2] == L'\\') return w.substr(0, 3);
    if (w.rfind(L"\\\\", 0) == 0) {
        const size_t server = w.find(L'\\', 2);
        const size_t share = server == std::wstring::npos ? server : w.find(L'\\', server + 1);
        if (share != std::wstring::npos) return w.substr(0, share + 1);
    }
    return fw::Wide(FolderOf(target));
}

// FAT volumes (cards, many external disks) write a renamed file's entry
// when it is flushed; NTFS keeps it in its journal.
bool KeepsNamesLazily(const std::string& target) {
    const std::wstring key = VolumeKey(target);
    const auto known = gLazyNames.find(key);
    if (known != gLazyNames.end()) return known->second;
    wchar_t volume[MAX_PATH + 1] = {};
    wchar_t system[MAX_PATH + 1] = {};
    bool lazy = false;
    if (GetVolumePathNameW(LongPathForm(target).c_str(), volume, MAX_PATH) &&
        GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, nullptr, system, MAX_PATH))
        lazy = std::wstring(system).find(L"FAT") != std::wstring::npos;
    gLazyNames.emplace(key, lazy);
    return lazy;
}

// Flushes that wait together: a flush waits mostly for the disk's journal,
// which takes the flushes that wait together in one commit.
constexpr size_t kFlushThreads = 8;

// Flushes the copies of the records that wait for it, several at once, then
// records those that reached the disk, in one transaction. A copy that
// cannot be flushed keeps no record: it stays in the archive, and the next
// import finds it there by its content.
void CommitPending() {
    if (gPending.empty()) return;
    std::vector<char> onDisk(gPending.size(), 1);
    std::atomic<size_t> next{0};
    const auto flush = [&] {
        for (size_t k; (k = next++) < gPending.size();)
            if (gPending[k].flush) onDisk[k] = FlushToDisk(gPending[k].record.Target) ? 1 : 0;
    };
    std::vector<std::thread> helpers;
    try {
        while (helpers.size() + 1 < kFlushThreads) helpers.emplace_back(flush);
    } catch (const std::system_error&) {
        // Fewer threads only take longer.
    }
    flush();
    for (std::thread& t : helpers) t.join();
    std::vector<THistoryRecord> records;
    records.reserve(gPending.size());
    for (size_t k = 0; k < gPending.size(); ++k)
        if (onDisk[k]) records.push_back(std::move(gPending[k].record));
    gPending.clear();
    // A record that fails costs the copies nothing.
    if (gHistory) gHistory->RecordAll(records);
}

}  // namespace

std::string ImportHistoryPath() {
    if (!gFolder.empty()) return gFolder + kFileName;
    if (IsInstalledProgram()) {
        // The program's folder is no place to write for a standard user; the
        // profile's local folder is the user's own and does not roam.
        const std::string profile = ProfileHistoryFolder();
        if (!profile.empty()) return profile + kFileName;
    }
    return SettingsFolder() + kFileName;
}

void SetImportHistoryFolder(const std::string& folder) {
    gFolder = folder;
    if (!gFolder.empty() && gFolder.back() != '\\' && gFolder.back() != '/') gFolder += '\\';
}

void ReleaseImportHistory() {
    CommitPending();
    gLazyNames.clear();
    gDamageFound = gDamageFound || (gHistory && gHistory->Damaged());
    gHistory.reset();
}

void CloseImportHistory() {
    CommitPending();
    gLazyNames.clear();
    gHistory.reset();
    gDamageFound = false;
    gOff = false;
    gToldPassing = false;
}

void CommitImportRecords() { CommitPending(); }

void RecordImported(const THistoryKey& file, uint64_t hash, const std::string& target, bool flushed) {
    if (!gHistory) return;
    // A record of this target still waiting is out of date already.
    std::wstring compared = ComparedPath(target);
    for (auto it = gPending.begin(); it != gPending.end();)
        it = it->compared == compared ? gPending.erase(it) : it + 1;
    gPending.push_back({{file, hash, target}, std::move(compared), !flushed || KeepsNamesLazily(target)});
    if (gPending.size() >= kHistoryRecordBatch) CommitPending();
}

bool ArchiveHolds(const std::string& folder, const std::string& target) {
    const std::wstring f = ComparedPath(folder);
    if (f.empty()) return false;
    const std::wstring t = ComparedPath(target);
    return t.size() > f.size() && t.compare(0, f.size(), f) == 0 && t[f.size()] == L'\\';
}

std::string ForgetImportHistory(bool running, TImportHistory* held) {
    gPending.clear();
    THistoryFault fault = THistoryFault::None;
    std::string notice;
    // A running import that holds the history has it emptied through its
    // own hold, which must stay valid; one that runs without it holds none.
    if (running && held) {
        if (!held->Forget()) fault = held->LastError().Fault;
    } else {
        TImportHistory* history = ImportHistory(notice);
        if (!history) {
            fault = gLastFault;
        } else if (!history->Forget()) {
            fault = history->LastError().Fault;
        }
        ReleaseImportHistory();
    }
    if (fault == THistoryFault::None) return notice;
    return notice.empty() ? ForgetFailedNotice(fault) : notice + "\r\n\r\n" + ForgetFailedNotice(fault);
}

TImportHistory* ImportHistory(std::string& notice) {
    notice.clear();
    if (gHistory && !gHistory->Damaged()) return gHistory.get();
    if (gOff) return nullptr;
    const std::string path = ImportHistoryPath();
    THistoryFault fault;
    if (gHistory || gDamageFound) {
        // Found damaged while in use: set aside like one found at the start
        // (the damaged page may not be met again for a long time).
        fault = THistoryFault::Damaged;
        gHistory.reset();
        gDamageFound = false;
    } else {
        ForceDirectories(FolderOf(path));
        THistoryError error;
        gHistory = TImportHistory::Open(path, error);
        if (gHistory) {
            gToldPassing = false;
            return Held(gHistory.get());
        }
        fault = AsOnDisk(error.Fault, path);
    }
    std::string aside;
    const TAside moved = SetsAside(fault) ? SetAside(path, fault, aside) : TAside::Failed;
    // One that could not be set aside because another process holds it is
    // as busy as one it could not open.
    gLastFault = moved == TAside::InUse ? THistoryFault::Busy : fault;
    if (IsPassing(gLastFault)) {
        // Held by another process (a second connection, a backup reading
        // it), or a failure that may pass: this import without it, the next
        // one tries again.
        if (!gToldPassing) notice = HistoryPassingNotice(gLastFault, path);
        gToldPassing = true;
        return nullptr;
    }
    if (moved != TAside::Moved) {
        gOff = true;
        notice = HistoryOffNotice(fault, path);
        return nullptr;
    }
    THistoryError error;
    gHistory = TImportHistory::Open(path, error);
    notice = SetAsideNotice(fault, aside, gHistory ? THistoryFault::None : error.Fault);
    if (!gHistory) {
        gOff = true;
        gLastFault = error.Fault;
    }
    gToldPassing = false;
    return Held(gHistory.get());
}
