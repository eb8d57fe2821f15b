#pragma once
// Running the real Kolibrio2.exe as a process: finding its windows from
// outside, answering its message boxes and ending it as a log-off does.
#include <windows.h>

#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace wintest {

// Top-level windows of a process: how many are visible and which carry a
// window class (empty class: none searched).
struct ProcessWindows {
    int visible = 0;
    std::vector<HWND> ofClass;
};
ProcessWindows ScanProcessWindows(DWORD pid, const std::wstring& className = L"");

// The program's message box with this caption in the process, when one is
// visible and already holds its button (it is filled after it appears).
HWND FindMessageBox(DWORD pid, const std::wstring& caption);
// Clicks the button with the given text inside a window; false when there
// is no such button.
bool ClickButton(HWND window, const std::wstring& text);
// True when a child of the window shows exactly this text.
bool HasChildText(HWND window, const std::wstring& text);
// The text of a control in another process, asked of the control itself:
// GetWindowText gives there only the text it was made with, never what an
// edit field holds now.
std::wstring ControlText(HWND control);
// The child of another process's window that holds exactly this text (an
// edit field's contents included), or nullptr.
HWND FindControlByText(HWND window, const std::wstring& text);

// Ends a running Kolibrio2.exe the way a log-off does: the query and the end
// of the session go to its main window; true when it ended with exit code 0.
bool EndProgramAsLogOff(ChildProcess& program, DWORD timeoutMs = 10000);

// The setting.ini that keeps a started program from reaching for the
// vendor's host: only the online check is switched off, everything else
// keeps its default.
constexpr char kOfflineSettings[] = "[Options]\r\nAutoUpdate=0\r\n";

}  // namespace wintest
