#pragma once
// A history that cannot be used is set aside, renamed beside itself so the
// user keeps its rows to look at, and a new one is started; or, where that
// would be wrong, the program goes on without a history for a while. The
// choice, the name it gets and what the user is told. Portable.
#include <string>

#include "base/DateTime.h"
#include "import/ImportHistory.h"

// Whether a history with this fault is set aside and a new one started.
// Not for one another process holds (it is fine again later) nor for one a
// newer version of the program wrote (that version still needs it).
bool SetsAside(THistoryFault fault);

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
