#include "import/CopyChecker_win.h"

#include <exception>
#include <mutex>

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
    DeleteFileW(temp.c_str());
}

// A copy that fails goes, and the error names its source. Touches files
// only, never a window, unless a ui is given.
void CheckAndPlace(TCheckJob& job, IImportUi* ui) {
    job.outcome = TPlacing::Refused;
    // The read-back must find the data on the medium, not on its way.
    const bool flushed = FlushFileBuffers(job.out) != FALSE;
    DWORD code = flushed ? 0 : GetLastError();
    const bool closed = CloseHandle(job.out) != FALSE;
    if (flushed && !closed) code = GetLastError();
    job.out = INVALID_HANDLE_VALUE;
    if (!flushed || !closed) {
        DeleteFileW(job.temp.c_str());
        job.error = CopyErrorText(job.target, fw::SystemErrorText(code));
        return;
    }
    uint32_t error = 0;
    const std::string temp = fw::Utf8(job.temp);
    // An equal copy is named through the handle that read it back.
    TPlacing placing = TPlacing::Refused;
    const TCopyCheck check = ReadBackCopy(temp, job.bytes, job.hash, ui, error, [&](void* handle) {
        placing = RenameThrough(static_cast<HANDLE>(handle), job.target, job.replace, code);
    });
    if (check != TCopyCheck::Equal) {
        RemoveFailedCopy(temp);
        job.error = CopyCheckFailedText(job.source, check, error ? fw::SystemErrorText(error) : std::string());
        return;
    }
    if (placing == TPlacing::Appeared) DeleteFileW(job.temp.c_str());
    if (placing == TPlacing::Refused) placing = MoveIntoPlace(job.temp, job.target, job.replace, code);
    if (placing == TPlacing::Refused) job.error = CopyErrorText(job.target, fw::SystemErrorText(code));
    job.outcome = placing;
}

// The flush waits for the disk and the read-back reads it, time the copying
// need not wait for. A flush waits mostly for the disk's journal, which
// takes the flushes that wait together in one commit, so several threads
// check at once. They touch the copies only; the run takes the outcomes on
// its own thread and keeps the counts, the failures and the target lists.
TCopyChecker::~TCopyChecker() {
    {
        std::lock_guard<fw::Lock> lock(lock_);
        stopping_ = true;
    }
    work_.NotifyAll();
    threads_.clear();  // each waits for its thread
}

bool TCopyChecker::Add(std::unique_ptr<TCheckJob>& job) {
    while (threads_.size() < kThreads) {
        auto thread = std::make_unique<Worker>(*this);
        if (!thread->Start()) break;
        threads_.push_back(std::move(thread));
    }
    if (threads_.empty()) return false;
    ++pending_[FoldedPath(job->target)];
    ++outstanding_;
    {
        std::lock_guard<fw::Lock> lock(lock_);
        todo_.push_back(std::move(job));
    }
    work_.NotifyOne();
    return true;
}

std::vector<std::unique_ptr<TCheckJob>> TCopyChecker::TakeChecked() {
    std::vector<std::unique_ptr<TCheckJob>> out;
    {
        std::lock_guard<fw::Lock> lock(lock_);
        out.swap(checked_);
    }
    for (const auto& job : out) {
        auto it = pending_.find(FoldedPath(job->target));
        if (it != pending_.end() && --it->second == 0) pending_.erase(it);
    }
    outstanding_ -= out.size();
    return out;
}

void TCopyChecker::WaitForChecked(unsigned ms) {
    std::unique_lock<fw::Lock> lock(lock_);
    checkedReady_.WaitFor(lock, ms, [this] { return !checked_.empty(); });
}

bool TCopyChecker::Pending(const std::string& target) const {
    return !pending_.empty() && pending_.count(FoldedPath(target)) != 0;
}

void TCopyChecker::Work() {
    for (;;) {
        std::unique_ptr<TCheckJob> job;
        {
            std::unique_lock<fw::Lock> lock(lock_);
            work_.Wait(lock, [this] { return !todo_.empty() || stopping_; });
            if (todo_.empty()) return;
            job = std::move(todo_.front());
            todo_.pop_front();
        }
        try {
            CheckAndPlace(*job, nullptr);
        } catch (const std::exception& e) {
            job->outcome = TPlacing::Refused;
            job->error = e.what();
        } catch (...) {
            // The run waits for every copy it handed over.
            job->outcome = TPlacing::Refused;
        }
        {
            std::lock_guard<fw::Lock> lock(lock_);
            checked_.push_back(std::move(job));
        }
        checkedReady_.NotifyAll();
    }
}
