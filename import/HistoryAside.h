#pragma once
// A history that cannot be used is set aside, renamed beside itself so the
// user keeps its rows to look at, and a new one is started; or, where that
// would be wrong, the program goes on without a history for a while. The
// choice, the name it gets and what the user is told. Portable.
#include <string>

#include "base/DateTime.h"
#include "import/ImportHistory.h"

// Whether a history with this fault is set aside and a new one started:
// only one that is damaged, not ours, or cannot be opened or written as it
// lies on the disk. Not for a passing fault, nor for one a newer version of
// the program wrote (that version still needs it).
bool SetsAside(THistoryFault fault);
// A fault that may be gone at the next run (another process holds the
// file, a read or write failed, memory ran out): this run goes without the
// history, the next one tries again.
bool IsPassing(THistoryFault fault);

// The name the history at path gets when set aside at the local time now:
// "…\import_history.db" becomes "…\import_history-poskozena-2025-01-31-103000.db";
// attempt 2, 3, … add "-2", "-3", … for when that name is taken.
std::string SetAsideName(const std::string& path, THistoryFault fault, const DateParts& now, int attempt);

// Told once after a history was set aside; newFault tells why no new one
// could be made (None when one was).
std::string SetAsideNotice(THistoryFault fault, const std::string& asidePath, THistoryFault newFault);
// Told once when the program goes on without a history until it ends.
std::string HistoryOffNotice(THistoryFault fault, const std::string& path);
// Told when another process holds the history: this import goes without it.
std::string HistoryBusyNotice(const std::string& path);
// Told once for a passing fault: this import goes without it.
std::string HistoryPassingNotice(THistoryFault fault, const std::string& path);
// Told when "Zapomenout historii importů…" could not empty the history.
std::string ForgetFailedNotice(THistoryFault fault);
