// A program guarded by TOneInstance, for the single-instance tests. Set up
// through the environment, so that every command-line parameter is one to
// hand over:
//   KOLIBRIO_OI_IDENT  the guard's IdentString
//   KOLIBRIO_OI_LOG    file the copy appends its records to (UTF-8 lines)
//   KOLIBRIO_OI_STOP   name of an event that ends a running copy
//   KOLIBRIO_OI_HALT   "0": UseHaltToExit off (on otherwise)
//   KOLIBRIO_OI_SHOW   "1": ShowOnNewInstance on, application minimised at start
//   KOLIBRIO_OI_BOX    "1": the handler shows a message box until someone closes it
//   KOLIBRIO_OI_THROW  "1": the handler fails with an error
// Records: "START pid", "RUN pid" (goes on as the program), "HANDED pid"
// (handed over, asked to terminate), "EVENT pid count sender" followed by
// "PARAM text" lines, "RESTORE pid", "ERROR pid text", "END pid".
// Exit codes: 0 handed over and halted, 3 ran and was stopped, 4 handed over
// and terminated, 6 ran past its time limit, 9 the check failed.
#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "app/OneInstance_win.h"
#include "framework/Application.h"
#include "framework/Form.h"
#include "framework/Strings.h"

namespace {

std::wstring Env(const wchar_t* name) {
    wchar_t buf[1024];
    DWORD n = GetEnvironmentVariableW(name, buf, 1024);
    return n && n < 1024 ? std::wstring(buf, n) : std::wstring();
}

std::wstring gLogPath;
HANDLE gLogLock = nullptr;

// The copies take turns at the log: Wine appends from several processes by
// finding the end and writing there, so two records written at once can
// land on the same place and one is lost. A copy that ends while it holds
// the lock leaves it abandoned, which the next one still gets.
void Log(const std::string& record) {
    if (gLogPath.empty()) return;
    if (gLogLock) WaitForSingleObject(gLogLock, INFINITE);
    HANDLE h = CreateFileW(gLogPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(h, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
        CloseHandle(h);
    }
    if (gLogLock) ReleaseMutex(gLogLock);
}

std::string Pid() { return std::to_string(GetCurrentProcessId()); }

constexpr DWORD kLifetimeMs = 120000;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    gLogPath = Env(L"KOLIBRIO_OI_LOG");
    gLogLock = CreateMutexW(nullptr, FALSE, (Env(L"KOLIBRIO_OI_STOP") + L"_log").c_str());
    const bool show = Env(L"KOLIBRIO_OI_SHOW") == L"1";
    const bool box = Env(L"KOLIBRIO_OI_BOX") == L"1";
    const bool fail = Env(L"KOLIBRIO_OI_THROW") == L"1";
    const DWORD started = GetTickCount();

    fw::App().Initialize(instance);
    fw::App().SetTitle("oneinstance child");
    Log("START " + Pid() + "\n");
    if (show) {
        fw::App().OnRestore = [] { Log("RESTORE " + Pid() + "\n"); };
        fw::App().Minimize();
    }

    std::unique_ptr<TOneInstance> guard;
    bool goOn = true;
    try {
        guard = std::make_unique<TOneInstance>();
        guard->IdentString = fw::Utf8(Env(L"KOLIBRIO_OI_IDENT"));
        guard->ShowOnNewInstance = show;
        guard->UseHaltToExit = Env(L"KOLIBRIO_OI_HALT") != L"0";
        TOneInstance* self = guard.get();
        guard->OnInstanceStarted = [=](TOneInstance* sender, const std::vector<std::string>& params) {
            // One write per event, so records of several copies never interleave.
            std::string record = "EVENT " + Pid() + " " + std::to_string(params.size()) + " " +
                                 (sender == self ? "sender" : "other") + "\n";
            for (const auto& p : params) record += "PARAM " + p + "\n";
            Log(record);
            if (box)
                MessageBoxW(nullptr, L"Aplikace Kolibrio 2 je již spuštěna.", L"oneinstance busy",
                            MB_OK | MB_ICONINFORMATION);
            if (fail) throw std::runtime_error("handler failed");
        };
        goOn = guard->Loaded();
    } catch (const std::exception& e) {
        Log("ERROR " + Pid() + " " + e.what() + "\n");
        return 9;
    }
    Log((goOn ? "RUN " : "HANDED ") + Pid() + "\n");

    HANDLE stop = OpenEventW(SYNCHRONIZE, FALSE, Env(L"KOLIBRIO_OI_STOP").c_str());
    bool timedOut = false;
    fw::Timer poll(50, [&] {
        if (stop && WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) fw::App().Terminate();
        if (GetTickCount() - started > kLifetimeMs) {
            timedOut = true;
            fw::App().Terminate();
        }
    });
    poll.SetEnabled(true);
    fw::App().Run();
    guard.reset();
    if (stop) CloseHandle(stop);
    Log("END " + Pid() + "\n");
    if (!goOn) return 4;
    return timedOut ? 6 : 3;
}
