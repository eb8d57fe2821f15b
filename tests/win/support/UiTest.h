#pragma once
// In-process window tests: the application object and answering modal
// windows from a timer while their modal loop runs.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

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
// The first visible dialog box (class #32770) of this thread that owner
// owns, or nullptr: the system's folder dialog has no caption of ours.
HWND OwnedDialog(HWND owner);

// The program's message box as the user sees it: its caption, its text, the
// kind its stock icon tells (0 warning, 1 error, 2 information, 3
// confirmation; -1 for none or another picture), its visible buttons from
// left to right and the one holding the focus.
struct BoxSeen {
    std::wstring caption, text;
    int kind = -1;
    std::vector<std::wstring> buttons;
    std::wstring focused;
};
// True for a visible message box of the program (it alone carries the
// button "Ano pro vše", shown or not).
bool IsMessageBox(HWND hwnd);
BoxSeen ReadMessageBox(HWND box);

}  // namespace wintest
