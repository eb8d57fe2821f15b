#pragma once
// In-process window tests: the application object and answering modal
// windows from a timer while their modal loop runs.
#include <windows.h>

#include <functional>
#include <string>

namespace wintest {

// Initialises the framework's application object once per process.
void InitApp();
// Runs action once, from a timer, as soon as a visible window of this
// process with the given caption exists (checked every 50 ms, for at most
// timeoutMs). The action runs inside whatever modal loop is active.
void WhenWindowAppears(const std::wstring& caption, std::function<void(HWND)> action, DWORD timeoutMs = 10000);
// The child window of a parent with the given text, searched in depth.
HWND FindChildByText(HWND parent, const std::wstring& text);
// A control's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);
RECT ClientRectOf(HWND hwnd);
// The caption of a menu item by position.
std::wstring MenuText(HMENU menu, int pos);

}  // namespace wintest
