// How long a later copy of a guarded program takes to hand over and end, one
// at a time and five started together. Starts tests/oneinstance_child.exe of
// the same build as real processes. Prints figures; asserts nothing.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Process {
    HANDLE process = nullptr;
    HANDLE thread = nullptr;
};

Process Start(const std::wstring& exe, const std::wstring& arg, bool suspended) {
    std::wstring cmd = L"\"" + exe + L"\" " + arg;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, suspended ? CREATE_SUSPENDED : 0, nullptr,
                        nullptr, &si, &pi))
        return {};
    return {pi.hProcess, pi.hThread};
}

void Close(Process& p) {
    if (p.process) {
        if (WaitForSingleObject(p.process, 0) == WAIT_TIMEOUT) TerminateProcess(p.process, 99);
        CloseHandle(p.process);
    }
    if (p.thread) CloseHandle(p.thread);
    p = {};
}

bool Running(const Process& p) { return p.process && WaitForSingleObject(p.process, 0) == WAIT_TIMEOUT; }

void PrintSpread(const char* what, std::vector<DWORD> ms) {
    if (ms.empty()) return;
    std::sort(ms.begin(), ms.end());
    std::printf("%-40s n=%zu  min %lu ms  median %lu ms  max %lu ms\n", what, ms.size(),
                static_cast<unsigned long>(ms.front()), static_cast<unsigned long>(ms[ms.size() / 2]),
                static_cast<unsigned long>(ms.back()));
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir = self;
    dir.erase(dir.find_last_of(L'\\') + 1);
    const std::wstring exe = argv && argc > 1 ? argv[1] : dir + L"..\\tests\\oneinstance_child.exe";
    if (argv) LocalFree(argv);
    const std::wstring tag = std::to_wstring(GetCurrentProcessId());
    const std::wstring stopName = L"KolibrioBenchStop_" + tag;
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, stopName.c_str());
    SetEnvironmentVariableW(L"KOLIBRIO_OI_STOP", stopName.c_str());
    SetEnvironmentVariableW(L"KOLIBRIO_OI_LOG", nullptr);

    // One copy after the other against a running receiver.
    SetEnvironmentVariableW(L"KOLIBRIO_OI_IDENT", (L"KolibrioBench_seq_" + tag).c_str());
    Process receiver = Start(exe, L"", false);
    Sleep(2000);  // let it finish its start-up
    std::vector<DWORD> sequential;
    for (int i = 0; i < 20; ++i) {
        const DWORD t0 = GetTickCount();
        Process copy = Start(exe, L"copy" + std::to_wstring(i), false);
        if (WaitForSingleObject(copy.process, 30000) == WAIT_OBJECT_0) sequential.push_back(GetTickCount() - t0);
        Close(copy);
    }
    SetEvent(stop);
    WaitForSingleObject(receiver.process, 10000);
    Close(receiver);
    ResetEvent(stop);
    PrintSpread("one copy, start to end", sequential);

    // Five copies released at the same moment, ten times over.
    std::vector<DWORD> together;
    int cleanRounds = 0;
    constexpr int kRounds = 10, kCopies = 5;
    for (int round = 0; round < kRounds; ++round) {
        SetEnvironmentVariableW(L"KOLIBRIO_OI_IDENT", (L"KolibrioBench_" + tag + L"_" + std::to_wstring(round)).c_str());
        std::vector<Process> copies;
        for (int i = 0; i < kCopies; ++i) copies.push_back(Start(exe, L"copy" + std::to_wstring(i), true));
        const DWORD t0 = GetTickCount();
        for (auto& c : copies) ResumeThread(c.thread);
        int running = kCopies;
        while (running > 1 && GetTickCount() - t0 < 30000) {
            Sleep(5);
            running = static_cast<int>(std::count_if(copies.begin(), copies.end(), Running));
        }
        together.push_back(GetTickCount() - t0);
        Sleep(500);  // a second receiver would still be running now
        if (std::count_if(copies.begin(), copies.end(), Running) == 1) ++cleanRounds;
        SetEvent(stop);
        for (auto& c : copies) WaitForSingleObject(c.process, 10000);
        for (auto& c : copies) Close(c);
        ResetEvent(stop);
    }
    PrintSpread("five together, until four have ended", together);
    std::printf("rounds that left exactly one copy running: %d of %d\n", cleanRounds, kRounds);
    CloseHandle(stop);
    return 0;
}
