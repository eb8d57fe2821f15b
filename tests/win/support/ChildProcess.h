#pragma once
// Starting the small test programs of tests/win/programs as real processes.
#include <windows.h>

#include <string>
#include <vector>

namespace wintest {

// One argument quoted so that CommandLineToArgvW gives it back unchanged.
std::wstring QuoteArgument(const std::wstring& arg);

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    // Terminates a process that is still running, so no test leaves one behind.
    ~ChildProcess();

    // Starts exe with the arguments and this process's environment; false
    // when CreateProcessW fails. suspended leaves the main thread waiting
    // for Resume.
    bool Start(const std::wstring& exe, const std::vector<std::wstring>& args, bool suspended = false);
    // Starts exe with a command line tail taken as it stands, for programs
    // that read theirs themselves (an NSIS installer wants /D= and _?= last
    // and unquoted).
    bool StartWithCommandLine(const std::wstring& exe, const std::wstring& tail);
    void Resume();
    // Stops the main thread (the user-interface thread of a program) where
    // it is, as a program that hangs; Resume lets it go on.
    bool Suspend();
    // True when the process has ended within timeoutMs.
    bool WaitExit(DWORD timeoutMs);
    bool Running() const;
    // The exit code, or STILL_ACTIVE.
    DWORD ExitCode() const;
    DWORD Pid() const { return pid_; }
    HANDLE Handle() const { return process_; }

private:
    bool Launch(const std::wstring& exe, const std::wstring& tail, bool suspended);
    void Close();
    HANDLE process_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD pid_ = 0;
};

}  // namespace wintest
