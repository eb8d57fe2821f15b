#pragma once
// The check of a run's finished copies, on threads of their own while the
// run copies the next files: each copy is flushed, read back, compared with
// what was read from the card, and only then takes its target's name.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "import/Placing_win.h"

class IImportUi;

// A complete copy whose check is still to come. It stays open until then,
// so that the flush before the read-back is the check's to wait for.
struct TCheckJob {
    TCheckJob() = default;
    TCheckJob(const TCheckJob&) = delete;
    TCheckJob& operator=(const TCheckJob&) = delete;
    // A copy dropped before its check leaves nothing behind.
    ~TCheckJob();

    size_t index = 0;  // the file's place in the run
    std::string source, target;
    std::wstring temp;  // the copy, in long form
    HANDLE out = INVALID_HANDLE_VALUE;
    int64_t bytes = 0;
    uint64_t hash = 0;
    bool replace = false;  // the user agreed to overwrite the target

    // Refused with error set when the copy failed its check or its naming.
    TPlacing outcome = TPlacing::Refused;
    std::string error;
};

// Flushes the copy, reads it back and compares it; only an equal copy takes
// the target's name, and only while wanted (if given, for a run that can
// give its checks up) says the run still wants it: asked before each
// attempt to name the copy, and again once it took the name, when a copy
// given up meanwhile goes again where it can. ui, when given, is the
// progress window of a check on the user-interface thread.
void CheckAndPlace(TCheckJob& job, IImportUi* ui, const std::function<bool()>& wanted = {});

// At most this many copies wait for their check: each holds a handle and
// a temporary name, and a run that ends waits for all of them.
constexpr size_t kMaxWaitingChecks = 32;

class TCopyChecker {
public:
    TCopyChecker();
    TCopyChecker(const TCopyChecker&) = delete;
    TCopyChecker& operator=(const TCopyChecker&) = delete;
    // Every copy handed over is checked and placed or removed before the
    // threads end, unless the run abandoned it (Abandon).
    ~TCopyChecker();

    // Takes the copy when a thread runs (made at the first copy, so a run
    // without checks has none); false leaves it to the caller. Nothing is
    // counted as handed over unless the copy is.
    bool Add(std::unique_ptr<TCheckJob>& job);
    // The copies checked since the last call.
    std::vector<std::unique_ptr<TCheckJob>> TakeChecked();
    // Returns when a check has ended or after ms.
    void WaitForChecked(unsigned ms);
    // Handed over and not yet taken back.
    size_t Outstanding() const { return outstanding_; }
    // A copy for this target is handed over and not yet taken back.
    bool Pending(const std::string& target) const;
    // Gives up the copies still waiting or being checked (a check stuck in
    // a file system that went away): their threads are left to end on their
    // own, and a copy whose check ends later never takes its name. Returns
    // their places in the run and sources. Copies checked before stay to be
    // taken.
    std::vector<std::pair<size_t, std::string>> Abandon();

private:
    struct State;
    static unsigned __stdcall Work(void* state);

    std::shared_ptr<State> state_;
    // The run's thread only:
    std::vector<HANDLE> threads_;
    size_t outstanding_ = 0;
    std::unordered_map<std::wstring, int> pending_;  // folded targets of the copies handed over
};
