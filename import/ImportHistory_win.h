#pragma once
// Where the import history lives, opened at its first use rather than at
// the program's start, and what happens when it cannot be used. UI thread
// only.
#include <string>

#include "import/ImportHistory.h"

// The history, opened (made when missing) at the first call. Null while the
// program goes without one: the import then treats every file as new. That
// lasts until CloseImportHistory when no new history can be made, and for
// this call only while another process holds the file. notice receives a
// text to show the user once, empty when there is none. Call it once at the
// start of every run: the pointer stays valid until the next call of
// ImportHistory or CloseImportHistory, and a history found damaged in use
// is set aside at the next call.
TImportHistory* ImportHistory(std::string& notice);
// Closes the history when a run (or a look-up before one) is over: while
// open, the program holds the file locked against every other process
// (see ImportHistory.cpp for why). The next ImportHistory opens it again;
// a notice already given is not given again, and a program going without
// a history stays without.
void ReleaseImportHistory();
// Closes the history and forgets every notice given and that the program
// went without one: the next ImportHistory starts afresh.
void CloseImportHistory();

// Records a copy that has taken its name: committed with the next batch,
// and (flushed false: its data may still be on its way to the disk; or on
// a volume that writes names lazily) only after the copy is flushed. The
// batch left at the end is committed when the history is released.
void RecordImported(const THistoryKey& file, uint64_t hash, const std::string& target, bool flushed);
// Commits the records still waiting (their copies flushed first): at the
// end of a run's copying, before the user sees its result.
void CommitImportRecords();
// Whether target lies in the archive folder: compared as the file system
// compares paths (case, the long form and a trailing backslash aside).
bool ArchiveHolds(const std::string& folder, const std::string& target);
// "Zapomenout historii importů…": empties the history, through held when a
// running import holds it. What to tell the user: a notice about the
// history, that it could not be emptied, or nothing.
std::string ForgetImportHistory(bool running, TImportHistory* held);

// The database file: "import_history.db" in "%LOCALAPPDATA%\Kolibrio 2\" for
// an installed program, beside setting.ini for a portable one.
std::string ImportHistoryPath();

// For tests: the folder of the history (ending with a backslash) in place of
// the program's own choice; an empty text goes back to it.
void SetImportHistoryFolder(const std::string& folder);
