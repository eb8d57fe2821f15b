#pragma once
// A worker thread of the framework: derive, override Execute, Start. Work
// for the user interface goes back through Synchronize (waits) or Queue
// (does not); both need the UI dispatcher (framework/UiThread.h).
#include <atomic>
#include <functional>
#include <memory>

namespace fw {

class Thread {
public:
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    // A thread that is still running is asked to stop and waited for.
    virtual ~Thread();

    // Starts Execute on a new thread; false if no thread could be made.
    bool Start();
    // Asks Execute to stop; Execute looks at Terminated() itself.
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }
    // True once Execute has returned.
    bool Finished() const { return finished_; }
    // Waits until the thread has ended; on the UI thread it keeps running
    // the calls workers hand to it meanwhile. False on timeout.
    bool WaitFor(unsigned long timeoutMs = 0xFFFFFFFFul);

    // Runs on the UI thread after Execute has returned. With
    // FreeOnTerminate the object then deletes itself (only there, so it
    // stays valid until its completion has run); such a thread must not be
    // waited for or deleted by anyone else once started.
    std::function<void()> OnTerminate;
    bool FreeOnTerminate = false;

protected:
    Thread();
    virtual void Execute() = 0;
    // Runs fn on the UI thread and waits for it.
    static bool Synchronize(std::function<void()> fn);
    // Hands fn to the UI thread and returns at once.
    static bool Queue(std::function<void()> fn);

private:
    static unsigned __stdcall Proc(void* self);
    void Finish();

    void* handle_ = nullptr;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    // Tells a completion still queued for the UI thread that its object
    // has been deleted by its owner.
    std::shared_ptr<std::atomic<bool>> alive_;
};

}  // namespace fw
