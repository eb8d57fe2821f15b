#include "framework/Thread.h"

#include <windows.h>
#include <process.h>

#include "framework/UiThread.h"

namespace fw {

Thread::Thread() : alive_(std::make_shared<std::atomic<bool>>(true)) {}

Thread::~Thread() {
    *alive_ = false;
    if (!handle_) return;
    // Execute may still use the object: stop it first. Once Execute has
    // returned, the rest of the thread no longer touches the object.
    if (!finished_) {
        Terminate();
        WaitFor();
    }
    CloseHandle(static_cast<HANDLE>(handle_));
}

bool Thread::Start() {
    if (handle_) return false;
    unsigned id = 0;
    uintptr_t h = _beginthreadex(nullptr, 0, &Thread::Proc, this, 0, &id);
    if (!h) return false;
    handle_ = reinterpret_cast<void*>(h);
    return true;
}

unsigned __stdcall Thread::Proc(void* self) {
    auto* thread = static_cast<Thread*>(self);
    try {
        thread->Execute();
    } catch (...) {
        // A worker has nobody to report to; its outcome is in its fields.
    }
    thread->Finish();
    return 0;
}

void Thread::Finish() {
    // Everything the completion needs is taken before Finished() turns
    // true: from then on the owner may delete the object.
    const bool freeOnTerminate = FreeOnTerminate;
    const bool notify = static_cast<bool>(OnTerminate);
    std::shared_ptr<std::atomic<bool>> alive = alive_;
    Thread* self = this;
    finished_ = true;
    if (!freeOnTerminate && !notify) return;
    auto completion = [self, alive, freeOnTerminate] {
        if (!*alive) return;
        if (self->OnTerminate) self->OnTerminate();
        if (freeOnTerminate) delete self;
    };
    // A full message queue refuses the post for a while; this thread has
    // nothing else to do, so it tries again. Should the UI thread never
    // take the completion, a self-freeing thread stays allocated: its
    // owner may still hold it as running, and must not find it freed.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (PostToUi(completion)) return;
        Sleep(50);
    }
}

bool Thread::WaitFor(unsigned long timeoutMs) {
    HANDLE h = static_cast<HANDLE>(handle_);
    if (!h) return true;
    if (!IsUiThread()) return WaitForSingleObject(h, timeoutMs) == WAIT_OBJECT_0;
    // On the UI thread a worker may be blocked in Synchronize: keep running
    // its calls, or both threads would wait for each other.
    const DWORD start = GetTickCount();
    for (;;) {
        RunPendingUiCalls();
        DWORD slice = 10;
        if (timeoutMs != INFINITE) {
            DWORD elapsed = GetTickCount() - start;
            if (elapsed >= timeoutMs) return WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
            if (timeoutMs - elapsed < slice) slice = timeoutMs - elapsed;
        }
        if (MsgWaitForMultipleObjects(1, &h, FALSE, slice, QS_POSTMESSAGE | QS_SENDMESSAGE) == WAIT_OBJECT_0)
            return true;
    }
}

bool Thread::Synchronize(std::function<void()> fn) {
    return SendToUi(std::move(fn));
}

bool Thread::Queue(std::function<void()> fn) {
    return PostToUi(std::move(fn));
}

}  // namespace fw
