#include "import/CopyChecker_win.h"

#include <process.h>

#include <deque>
#include <exception>
#include <mutex>
#include <unordered_set>

#include "framework/Lock.h"
#include "framework/Strings.h"
#include "import/FileAccess_win.h"
#include "import/ImportCore.h"
#include "import/VerifyCopy_win.h"

namespace {

// Four flushes that wait together cost a small card under Wine about
// what one costs; more buy little on two cores (bench/README.md).
constexpr size_t kThreads = 4;

}  // namespace

TCheckJob::~TCheckJob() {
    if (out == INVALID_HANDLE_VALUE) return;
    CloseHandle(out);
    RemoveTemporary(temp);
}

// A copy that fails goes, and the error names its source. Touches files
// only, never a window, unless a ui is given.
void CheckAndPlace(TCheckJob& job, IImportUi* ui, const std::function<bool()>& wanted) {
    // Asked before each attempt to name the copy, and again once it took
    // the name: false once the run gave the copy up.
    const auto givenUpNow = [&] { return wanted && !wanted(); };
    job.outcome = TPlacing::Refused;
    // The read-back must find the data on the medium, not on its way.
    const bool flushed = FlushFileBuffers(job.out) != FALSE;
    DWORD code = flushed ? 0 : GetLastError();
    TFileHandle out(job.out);
    job.out = INVALID_HANDLE_VALUE;
    const bool closed = CloseWritten(out, job.temp);
    if (flushed && !closed) code = GetLastError();
    if (!flushed || !closed) {
        RemoveTemporary(job.temp);
        job.error = CopyErrorText(job.target, fw::SystemErrorText(code));
        return;
    }
    uint32_t error = 0;
    // An equal copy is named through the handle that read it back.
    TPlacing placing = TPlacing::Refused;
    bool givenUp = false;
    const TCopyCheck check = ReadBackCopy(fw::Utf8(job.temp), job.bytes, job.hash, ui, error, [&](void* handle) {
        if (givenUpNow()) {
            givenUp = true;
            return;
        }
        placing = RenameThrough(static_cast<HANDLE>(handle), job.target, job.replace, code);
        // A new name goes again with the handle's close; a file replaced
        // is gone whatever comes now, and the copy that replaced it stays.
        if (placing == TPlacing::Placed && !job.replace && givenUpNow()) RemoveThrough(static_cast<HANDLE>(handle));
    });
    if (check != TCopyCheck::Equal || givenUp) {
        RemoveTemporary(job.temp);
        job.error = CopyCheckFailedText(job.source, check, error ? fw::SystemErrorText(error) : std::string());
        return;
    }
    if (placing == TPlacing::Appeared) RemoveTemporary(job.temp);
    if (placing == TPlacing::Refused) {
        // The rename by path is an attempt of its own: the run may have
        // given the copy up since the read-back.
        if (givenUpNow()) {
            RemoveTemporary(job.temp);
            job.error = CopyCheckFailedText(job.source, check, std::string());
            return;
        }
        placing = MoveIntoPlace(job.temp, job.target, job.replace, code);
        if (placing == TPlacing::Placed && !job.replace && givenUpNow()) RemoveTemporary(LongPathForm(job.target));
    }
    if (placing == TPlacing::Refused) job.error = CopyErrorText(job.target, fw::SystemErrorText(code));
    job.outcome = placing;
}

// What the run and the checking threads share. It lives as long as the
// last of them: a thread stuck in a check the run gave up on may end long
// after the run, or with the process.
struct TCopyChecker::State {
    fw::Lock lock;
    fw::Condition work, checkedReady;
    std::deque<std::unique_ptr<TCheckJob>> todo;
    std::vector<std::unique_ptr<TCheckJob>> checked;
    // The copies a thread is checking now, by their place in the run, and
    // those the run gave up on.
    std::unordered_map<size_t, std::string> inCheck;
    std::unordered_set<size_t> givenUp;
    bool stopping = false;
    bool abandoned = false;
};

// The flush waits for the disk and the read-back reads it, time the copying
// need not wait for. A flush waits mostly for the disk's journal, which
// takes the flushes that wait together in one commit, so several threads
// check at once. They touch the copies only; the run takes the outcomes on
// its own thread and keeps the counts, the failures and the target lists.
TCopyChecker::TCopyChecker() : state_(std::make_shared<State>()) {}

TCopyChecker::~TCopyChecker() {
    {
        std::lock_guard<fw::Lock> lock(state_->lock);
        state_->stopping = true;
    }
    state_->work.NotifyAll();
    // Threads of abandoned checks are not waited for; the others end as
    // soon as the work they were given is done.
    bool abandoned;
    {
        std::lock_guard<fw::Lock> lock(state_->lock);
        abandoned = state_->abandoned;
    }
    const DWORD wait = abandoned ? 0 : INFINITE;
    for (HANDLE h : threads_) {
        WaitForSingleObject(h, wait);
        CloseHandle(h);
    }
}

bool TCopyChecker::Add(std::unique_ptr<TCheckJob>& job) {
    while (threads_.size() < kThreads) {
        auto* shared = new std::shared_ptr<State>(state_);
        const uintptr_t h = _beginthreadex(nullptr, 0, &TCopyChecker::Work, shared, 0, nullptr);
        if (!h) {
            delete shared;
            break;
        }
        threads_.push_back(reinterpret_cast<HANDLE>(h));
    }
    if (threads_.empty()) return false;
    const std::wstring key = FoldedPath(job->target);
    ++pending_[key];
    try {
        std::lock_guard<fw::Lock> lock(state_->lock);
        state_->todo.push_back(std::move(job));
    } catch (...) {
        // The copy stays the caller's; nothing waits for it.
        if (--pending_[key] == 0) pending_.erase(key);
        throw;
    }
    ++outstanding_;
    state_->work.NotifyOne();
    return true;
}

std::vector<std::unique_ptr<TCheckJob>> TCopyChecker::TakeChecked() {
    std::vector<std::unique_ptr<TCheckJob>> out;
    {
        std::lock_guard<fw::Lock> lock(state_->lock);
        out.swap(state_->checked);
    }
    for (const auto& job : out) {
        auto it = pending_.find(FoldedPath(job->target));
        if (it != pending_.end() && --it->second == 0) pending_.erase(it);
    }
    outstanding_ -= out.size();
    return out;
}

void TCopyChecker::WaitForChecked(unsigned ms) {
    std::unique_lock<fw::Lock> lock(state_->lock);
    state_->checkedReady.WaitFor(lock, ms, [this] { return !state_->checked.empty(); });
}

bool TCopyChecker::Pending(const std::string& target) const {
    return !pending_.empty() && pending_.count(FoldedPath(target)) != 0;
}

std::vector<std::pair<size_t, std::string>> TCopyChecker::Abandon() {
    std::vector<std::pair<size_t, std::string>> given;
    std::deque<std::unique_ptr<TCheckJob>> waiting;
    {
        std::lock_guard<fw::Lock> lock(state_->lock);
        state_->abandoned = true;
        waiting.swap(state_->todo);
        for (const auto& [index, source] : state_->inCheck) {
            given.emplace_back(index, source);
            state_->givenUp.insert(index);
        }
        outstanding_ = state_->checked.size();
    }
    // Copies no thread has begun are removed here, with their handles.
    for (const auto& job : waiting) given.emplace_back(job->index, job->source);
    waiting.clear();
    pending_.clear();
    return given;
}

// A check that ends after the run gave up on it removes its copy: the
// report has already told the user that the file is not in the archive.
unsigned __stdcall TCopyChecker::Work(void* param) {
    const std::shared_ptr<State> state = *static_cast<std::shared_ptr<State>*>(param);
    delete static_cast<std::shared_ptr<State>*>(param);
    for (;;) {
        std::unique_ptr<TCheckJob> job;
        {
            std::unique_lock<fw::Lock> lock(state->lock);
            state->work.Wait(lock, [&] { return !state->todo.empty() || state->stopping; });
            if (state->todo.empty()) return 0;
            job = std::move(state->todo.front());
            state->todo.pop_front();
            state->inCheck.emplace(job->index, job->source);
        }
        std::vector<std::wstring> left;
        KeepLeftoversOfThisThreadIn(&left);
        try {
            // The run gives a copy up under the same lock: a copy is placed
            // only when it was not given up before its rename, and kept only
            // when it was not given up before the rename returned.
            const size_t index = job->index;
            CheckAndPlace(*job, nullptr, [&state, index] {
                std::lock_guard<fw::Lock> lock(state->lock);
                return state->givenUp.count(index) == 0;
            });
        } catch (const std::exception& e) {
            job->outcome = TPlacing::Refused;
            job->error = e.what();
        } catch (...) {
            // The run waits for every copy it handed over.
            job->outcome = TPlacing::Refused;
        }
        KeepLeftoversOfThisThreadIn(nullptr);
        {
            // A copy given up that cannot go is not the next run's to
            // report; the sweep of a later start takes it.
            std::lock_guard<fw::Lock> lock(state->lock);
            state->inCheck.erase(job->index);
            if (state->givenUp.count(job->index) == 0) {
                NoteLeftovers(left);
                state->checked.push_back(std::move(job));
            }
        }
        state->checkedReady.NotifyAll();
    }
}
