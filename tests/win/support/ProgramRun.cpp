#include "support/ProgramRun.h"

#include <algorithm>

#include "support/UiTest.h"
#include "support/WinTest.h"

namespace wintest {

namespace {

struct Scan {
    DWORD pid;
    const std::wstring* className;
    ProcessWindows result;
};

BOOL CALLBACK ScanProc(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<Scan*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid) return TRUE;
    if (IsWindowVisible(hwnd)) ++s->result.visible;
    if (!s->className->empty()) {
        wchar_t cls[128] = {};
        GetClassNameW(hwnd, cls, 127);
        if (*s->className == cls) s->result.ofClass.push_back(hwnd);
    }
    return TRUE;
}

}  // namespace

ProcessWindows ScanProcessWindows(DWORD pid, const std::wstring& className) {
    Scan s{pid, &className, {}};
    EnumWindows(ScanProc, reinterpret_cast<LPARAM>(&s));
    return s.result;
}

HWND FindMessageBox(DWORD pid, const std::wstring& caption) {
    HWND box = FindProcessWindow(pid, caption, true);
    if (!box) return nullptr;
    HWND ok = FindChildByText(box, L"&OK");
    return ok && IsWindowVisible(ok) ? box : nullptr;
}

bool ClickButton(HWND window, const std::wstring& text) {
    HWND button = FindChildByText(window, text);
    if (!button) return false;
    // Posted, so a box that closes slowly cannot hold the test up.
    return PostMessageW(button, BM_CLICK, 0, 0) != 0;
}

bool HasChildText(HWND window, const std::wstring& text) { return FindChildByText(window, text) != nullptr; }

std::wstring ControlText(HWND control) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                             5000, &got))
        return {};
    text.resize(std::min<size_t>(got, length));
    return text;
}

namespace {

struct ControlSearch {
    const std::wstring* text;
    HWND found;
};

BOOL CALLBACK ControlSearchProc(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<ControlSearch*>(lp);
    if (ControlText(hwnd) != *s->text) return TRUE;
    s->found = hwnd;
    return FALSE;
}

}  // namespace

HWND FindControlByText(HWND window, const std::wstring& text) {
    ControlSearch s{&text, nullptr};
    EnumChildWindows(window, ControlSearchProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

bool EndProgramAsLogOff(ChildProcess& program, DWORD timeoutMs) {
    HWND main = FindProcessWindow(program.Pid(), L"Kolibrio 2 - nastavení", false);
    if (!main) return false;
    DWORD_PTR result = 0;
    SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
    if (!result) return false;
    SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, 5000, &result);
    return program.WaitExit(timeoutMs) && program.ExitCode() == 0;
}

}  // namespace wintest
