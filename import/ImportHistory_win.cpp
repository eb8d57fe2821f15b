#include "import/ImportHistory_win.h"

#include <windows.h>
#include <shlobj.h>

#include <memory>

#include "framework/Strings.h"
#include "import/FileAccess_win.h"
#include "import/HistoryAside.h"
#include "import/ImportCore.h"
#include "settings/SettingsPlace_win.h"
#include "settings/SettingsStore_win.h"

namespace {

constexpr char kFileName[] = "import_history.db";
constexpr char kProfileFolder[] = "Kolibrio 2\\";
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
bool gToldBusy = false;   // the user knows another process holds it
bool gDamageFound = false;  // by a connection since closed

std::string LocalAppData() {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &path)) && path && *path)
        folder = fw::Utf8(path);
    CoTaskMemFree(path);
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    return folder;
}

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

// The program holds its history for one run and closes it after: the close
// writes the run's records into the database, with one sync of the disk
// after the run instead of one at every checkpoint during it.
TImportHistory* Held(TImportHistory* history) {
    if (history) history->DeferCheckpoints();
    return history;
}

}  // namespace

std::string ImportHistoryPath() {
    if (!gFolder.empty()) return gFolder + kFileName;
    if (IsInstalledProgram()) {
        // The program's folder is no place to write for a standard user; the
        // profile's local folder is the user's own and does not roam.
        const std::string profile = LocalAppData();
        if (!profile.empty()) return profile + kProfileFolder + kFileName;
    }
    return SettingsFolder() + kFileName;
}

void SetImportHistoryFolder(const std::string& folder) {
    gFolder = folder;
    if (!gFolder.empty() && gFolder.back() != '\\' && gFolder.back() != '/') gFolder += '\\';
}

void ReleaseImportHistory() {
    gDamageFound = gDamageFound || (gHistory && gHistory->Damaged());
    gHistory.reset();
}

void CloseImportHistory() {
    gHistory.reset();
    gDamageFound = false;
    gOff = false;
    gToldBusy = false;
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
            gToldBusy = false;
            return Held(gHistory.get());
        }
        fault = error.Fault;
    }
    std::string aside;
    const TAside moved = SetsAside(fault) ? SetAside(path, fault, aside) : TAside::Failed;
    if (fault == THistoryFault::Busy || moved == TAside::InUse) {
        // Held by another process (a second connection, a backup reading
        // it): this import without it, the next one tries again.
        if (!gToldBusy) notice = HistoryBusyNotice(path);
        gToldBusy = true;
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
    if (!gHistory) gOff = true;
    gToldBusy = false;
    return Held(gHistory.get());
}
