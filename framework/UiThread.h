#pragma once
// The one way back to the user-interface thread: a message-only window that
// runs posted closures. Create the dispatcher on the UI thread before any
// worker starts (Application does).
#include <functional>

namespace fw {

// Must be called once on the UI thread.
void InitUiDispatcher();
// Called by the UI thread before the program ends: later posts are
// refused (and their closures dropped), queued ones are discarded.
void ShutdownUiDispatcher();
// Queues fn to run on the UI thread; returns at once. False when the
// dispatcher is gone (the closure is dropped, never leaked).
bool PostToUi(std::function<void()> fn);
// Runs fn on the UI thread and waits until it has run. From the UI thread
// itself it runs fn directly. A UI thread that waits for a worker must use
// RunPendingUiCalls in its wait loop (Thread::WaitFor does), so that a
// worker blocked here never deadlocks with it. Returns false if the call
// could not be delivered.
bool SendToUi(std::function<void()> fn);
// Runs the closures queued so far (UI thread only).
void RunPendingUiCalls();
bool IsUiThread();

}  // namespace fw
