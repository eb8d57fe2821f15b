// A user's hands on the installed program, in that user's own session: the
// per-user settings test runs this as another Unix account in its prefix.
// Usage:
//   settings_user_child <program.exe> [<field text> <new text>]
//     [--virtual-store <target folder>]
// With --virtual-store it first leaves a setting.ini with that target folder
// (a mask, and the online check off) where Windows put the settings of an earlier
// 32-bit installation in "C:\Program Files\Kolibrio 2". It then starts the
// program, shows its settings window, replaces the text of the field that
// shows <field text> by <new text> and presses OK, and ends the program as
// a log-off does. Reports on stdout, one "name=value" a line, in UTF-8 (a
// line break inside a value written as "\n"):
// appdata=, localappdata=, field= (the text of every control of the window
// as it opened), shown= (every text of the program's other visible windows),
// then saved=1 when OK closed the window or saved=0 and box= (every text
// of the program's other visible windows), and ended=1 when it ended.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "framework/Strings.h"

namespace {

const wchar_t kMainWindow[] = L"Kolibrio 2 - nastavení";

// A line break inside a value is written as "\n", so a value stays one line.
void Report(const char* name, const std::wstring& value) {
    std::string line;
    for (char c : fw::Utf8(value))
        if (c == '\n')
            line += "\\n";
        else if (c != '\r')
            line += c;
    std::printf("%s=%s\n", name, line.c_str());
    std::fflush(stdout);
}

std::wstring Environment(const wchar_t* name) {
    wchar_t buf[1024] = {};
    const DWORD n = GetEnvironmentVariableW(name, buf, 1024);
    return n && n < 1024 ? std::wstring(buf, n) : std::wstring();
}

std::wstring Text(HWND hwnd) {
    wchar_t buf[4096] = {};
    DWORD_PTR got = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, &got);
    return std::wstring(buf, got);
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t buf[64] = {};
    GetClassNameW(hwnd, buf, 64);
    return buf;
}

BOOL CALLBACK AddChild(HWND hwnd, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(parent, AddChild, reinterpret_cast<LPARAM>(&found));
    return found;
}

struct TopSearch {
    DWORD pid;
    std::vector<HWND> windows;
};

BOOL CALLBACK AddTopWindow(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<TopSearch*>(lp);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner == s->pid) s->windows.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> TopWindows(DWORD pid) {
    TopSearch s{pid, {}};
    EnumWindows(AddTopWindow, reinterpret_cast<LPARAM>(&s));
    return s.windows;
}

HWND MainWindow(DWORD pid) {
    for (HWND hwnd : TopWindows(pid))
        if (Text(hwnd) == kMainWindow) return hwnd;
    return nullptr;
}

bool WaitFor(bool (*done)(void*), void* context, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!done(context)) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(100);
    }
    return true;
}

bool LeaveVirtualStoreCopy(const std::wstring& target) {
    const std::wstring folder = Environment(L"LOCALAPPDATA") + L"\\VirtualStore\\Program Files\\Kolibrio 2";
    for (size_t at = 0; (at = folder.find(L'\\', at + 1)) != std::wstring::npos;)
        CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    // As the earlier version wrote it: through the profile functions, in the
    // ANSI code page.
    const std::wstring file = folder + L"\\setting.ini";
    const bool written = WritePrivateProfileStringW(L"Mask", L"CurrentMask", L"%yyyy%\\%file_name%.%file_ext%",
                                                    file.c_str()) &&
                         WritePrivateProfileStringW(L"Mask", L"Path", target.c_str(), file.c_str()) &&
                         WritePrivateProfileStringW(L"Options", L"AutoUpdate", L"0", file.c_str());
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, file.c_str());
    return written;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    std::wstring virtualStore;
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == L"--virtual-store") {
            virtualStore = args[i + 1];
            args.erase(args.begin() + i, args.begin() + i + 2);
            break;
        }
    if (args.empty()) return 2;
    Report("appdata", Environment(L"APPDATA"));
    Report("localappdata", Environment(L"LOCALAPPDATA"));
    if (!virtualStore.empty() && !LeaveVirtualStoreCopy(virtualStore)) return 3;

    std::wstring command = L"\"" + args[0] + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(args[0].c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 4;
    CloseHandle(pi.hThread);
    DWORD pid = pi.dwProcessId;
    HWND main = nullptr;
    struct Started {
        DWORD pid;
        HWND* main;
    } started{pid, &main};
    const bool up = WaitFor(
        [](void* c) {
            auto* s = static_cast<Started*>(c);
            *s->main = MainWindow(s->pid);
            // The message box's window is made last, after the main window
            // has loaded the settings.
            for (HWND hwnd : TopWindows(s->pid))
                if (Text(hwnd) == L"Dialog") return *s->main != nullptr;
            return false;
        },
        &started, 30000);
    int code = 0;
    if (!up) {
        code = 5;
    } else {
        WaitForInputIdle(pi.hProcess, 5000);
        ShowWindow(main, SW_SHOWNORMAL);
        HWND field = nullptr;
        for (HWND child : Children(main)) {
            const std::wstring text = Text(child);
            if (text.empty()) continue;
            Report("field", text);
            if (args.size() >= 3 && text == args[1] && !field) field = child;
        }
        // A box the program shows at its start (an error it reports).
        for (HWND top : TopWindows(pid))
            if (top != main && IsWindowVisible(top))
                for (HWND child : Children(top))
                    if (!Text(child).empty()) Report("shown", Text(child));
        if (args.size() >= 3) {
            HWND ok = nullptr;
            for (HWND child : Children(main))
                if (ClassOf(child) == L"Button" && Text(child) == L"OK") ok = child;
            if (!field || !ok) {
                code = 6;
            } else {
                SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(args[2].c_str()));
                PostMessageW(ok, BM_CLICK, 0, 0);
                const bool closed = WaitFor([](void* m) { return !IsWindowVisible(*static_cast<HWND*>(m)); },
                                            &main, 10000);
                Report("saved", closed ? L"1" : L"0");
                if (!closed)
                    for (HWND top : TopWindows(pid)) {
                        if (top == main || !IsWindowVisible(top)) continue;
                        for (HWND child : Children(top))
                            if (!Text(child).empty()) Report("box", Text(child));
                        PostMessageW(top, WM_CLOSE, 0, 0);
                    }
            }
        }
        ShowWindow(main, SW_HIDE);
        DWORD_PTR result = 0;
        SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
        SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, 5000, &result);
    }
    const bool ended = WaitForSingleObject(pi.hProcess, 15000) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hProcess);
    Report("ended", ended ? L"1" : L"0");
    return code;
}
