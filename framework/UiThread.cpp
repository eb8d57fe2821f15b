#include "framework/UiThread.h"

#include <windows.h>

#include <deque>
#include <memory>
#include <mutex>

#include "framework/Application.h"

namespace fw {

namespace {

struct Call {
    std::function<void()> fn;
    HANDLE done = nullptr;  // set when a sender waits for the call
    bool ran = false;       // the UI thread took the call (written before done is set)
};

std::mutex gMutex;
std::deque<std::shared_ptr<Call>> gQueue;
HWND gWindow = nullptr;
DWORD gUiThreadId = 0;
const UINT kWakeMessage = WM_APP + 1;

LRESULT CALLBACK DispatcherProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kWakeMessage) {
        RunPendingUiCalls();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

void InitUiDispatcher() {
    if (gWindow) return;
    gUiThreadId = GetCurrentThreadId();
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DispatcherProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KolibrioUiDispatcher";
    RegisterClassW(&wc);
    gWindow = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
}

void ShutdownUiDispatcher() {
    std::deque<std::shared_ptr<Call>> dropped;
    HWND window = nullptr;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        window = gWindow;
        gWindow = nullptr;
        dropped.swap(gQueue);
    }
    // Senders still waiting are released; their calls never run.
    for (auto& call : dropped)
        if (call->done) SetEvent(call->done);
    if (window) DestroyWindow(window);
}

bool IsUiThread() {
    return GetCurrentThreadId() == gUiThreadId;
}

static bool Enqueue(const std::shared_ptr<Call>& call) {
    {
        std::lock_guard<std::mutex> lock(gMutex);
        if (!gWindow) return false;
        gQueue.push_back(call);
    }
    if (!PostMessageW(gWindow, kWakeMessage, 0, 0)) {
        // The queue is drained by any later wake-up or wait loop, but a
        // caller must not rely on it: take the call back out.
        std::lock_guard<std::mutex> lock(gMutex);
        for (auto it = gQueue.begin(); it != gQueue.end(); ++it)
            if (*it == call) {
                gQueue.erase(it);
                return false;
            }
        return true;  // already taken by the UI thread
    }
    return true;
}

bool PostToUi(std::function<void()> fn) {
    auto call = std::make_shared<Call>();
    call->fn = std::move(fn);
    return Enqueue(call);
}

bool SendToUi(std::function<void()> fn) {
    if (IsUiThread()) {
        fn();
        return true;
    }
    auto call = std::make_shared<Call>();
    call->fn = std::move(fn);
    call->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!call->done) return false;
    bool queued = Enqueue(call);
    if (queued) WaitForSingleObject(call->done, INFINITE);
    CloseHandle(call->done);
    return queued && call->ran;
}

void RunPendingUiCalls() {
    for (;;) {
        std::shared_ptr<Call> call;
        {
            std::lock_guard<std::mutex> lock(gMutex);
            if (gQueue.empty()) return;
            call = gQueue.front();
            gQueue.pop_front();
        }
        // A throwing closure must still release its waiting sender.
        struct Release {
            HANDLE h;
            ~Release() { if (h) SetEvent(h); }
        } release{call->done};
        call->ran = true;
        // A worker's call fails like any handler: the general error report.
        Guarded(call->fn);
    }
}

}  // namespace fw
