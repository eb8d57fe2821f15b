#include "support/ChildProcess.h"

#include <utility>

namespace wintest {

std::wstring QuoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    // Backslashes are literal unless they precede a quote: then each one
    // is doubled, and the quote itself is escaped.
    std::wstring out = L"\"";
    for (size_t i = 0;; ++i) {
        size_t backslashes = 0;
        while (i < arg.size() && arg[i] == L'\\') ++i, ++backslashes;
        if (i == arg.size()) {
            out.append(backslashes * 2, L'\\');
            break;
        }
        if (arg[i] == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
            out += L'"';
        } else {
            out.append(backslashes, L'\\');
            out += arg[i];
        }
    }
    out += L'"';
    return out;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : process_(std::exchange(other.process_, nullptr)),
      thread_(std::exchange(other.thread_, nullptr)),
      pid_(std::exchange(other.pid_, 0)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Close();
        process_ = std::exchange(other.process_, nullptr);
        thread_ = std::exchange(other.thread_, nullptr);
        pid_ = std::exchange(other.pid_, 0);
    }
    return *this;
}

ChildProcess::~ChildProcess() { Close(); }

void ChildProcess::Close() {
    if (process_) {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_, 99);
            WaitForSingleObject(process_, 5000);
        }
        CloseHandle(process_);
    }
    if (thread_) CloseHandle(thread_);
    process_ = thread_ = nullptr;
    pid_ = 0;
}

bool ChildProcess::Start(const std::wstring& exe, const std::vector<std::wstring>& args, bool suspended) {
    std::wstring tail;
    for (const auto& a : args) tail += L" " + QuoteArgument(a);
    return Launch(exe, tail, suspended);
}

bool ChildProcess::StartWithCommandLine(const std::wstring& exe, const std::wstring& tail) {
    return Launch(exe, L" " + tail, false);
}

bool ChildProcess::Launch(const std::wstring& exe, const std::wstring& tail, bool suspended) {
    Close();
    std::wstring cmd = QuoteArgument(exe) + tail;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, suspended ? CREATE_SUSPENDED : 0, nullptr,
                        nullptr, &si, &pi))
        return false;
    process_ = pi.hProcess;
    thread_ = pi.hThread;
    pid_ = pi.dwProcessId;
    return true;
}

void ChildProcess::Resume() {
    if (thread_) ResumeThread(thread_);
}

bool ChildProcess::Suspend() {
    return thread_ && SuspendThread(thread_) != static_cast<DWORD>(-1);
}

bool ChildProcess::WaitExit(DWORD timeoutMs) {
    return process_ && WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
}

bool ChildProcess::Running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

DWORD ChildProcess::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_) GetExitCodeProcess(process_, &code);
    return code;
}

}  // namespace wintest
