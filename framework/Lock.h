#pragma once
// A lock and a condition for the program's own threads, on the system's
// slim reader/writer lock and condition variable. Under Wine these wait on
// futexes inside the process; the C++ library's std::mutex and
// std::condition_variable (winpthreads) ask the Wine server to signal and
// wait for a semaphore at every hand-over between threads, a round trip
// each, where the copy checks hand over a file at a time.
#include <windows.h>

#include <mutex>

namespace fw {

// Usable with std::lock_guard and std::unique_lock.
class Lock {
public:
    Lock() = default;
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    void lock() { AcquireSRWLockExclusive(&srw_); }
    void unlock() { ReleaseSRWLockExclusive(&srw_); }

private:
    friend class Condition;
    SRWLOCK srw_ = SRWLOCK_INIT;
};

class Condition {
public:
    Condition() = default;
    Condition(const Condition&) = delete;
    Condition& operator=(const Condition&) = delete;

    // With the lock held; returns, still holding it, once ready() is true.
    template <class Ready>
    void Wait(std::unique_lock<Lock>& held, Ready ready) {
        while (!ready()) SleepConditionVariableSRW(&cv_, &held.mutex()->srw_, INFINITE, 0);
    }
    // Like Wait, for at most ms; returns ready().
    template <class Ready>
    bool WaitFor(std::unique_lock<Lock>& held, unsigned ms, Ready ready) {
        const ULONGLONG end = GetTickCount64() + ms;
        while (!ready()) {
            const ULONGLONG now = GetTickCount64();
            if (now >= end) return false;
            SleepConditionVariableSRW(&cv_, &held.mutex()->srw_, static_cast<DWORD>(end - now), 0);
        }
        return true;
    }
    void NotifyOne() { WakeConditionVariable(&cv_); }
    void NotifyAll() { WakeAllConditionVariable(&cv_); }

private:
    CONDITION_VARIABLE cv_ = CONDITION_VARIABLE_INIT;
};

}  // namespace fw
