#include "import/CopyOwner_win.h"

#include <windows.h>

#include <string>

#include "framework/Strings.h"
#include "import/VerifyCopy.h"

namespace {

// The installation's own identity, the same for every user and session of
// this Windows and different on every other one; the computer's name
// beside it tells apart copies of one image that kept the identity.
uint32_t MachineHash() {
    std::wstring identity;
    HKEY key = nullptr;
    // The 64-bit view: a 32-bit program would otherwise be sent to a copy
    // of the key that has no identity.
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                      &key) == ERROR_SUCCESS) {
        wchar_t value[128] = {};
        DWORD bytes = sizeof(value) - sizeof(wchar_t), type = 0;
        if (RegQueryValueExW(key, L"MachineGuid", nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) ==
                ERROR_SUCCESS &&
            type == REG_SZ)
            identity = value;
        RegCloseKey(key);
    }
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (GetComputerNameW(name, &length)) identity += L"\n" + std::wstring(name, length);
    const std::string utf8 = fw::Utf8(identity);
    TCopyHash hash;
    hash.Update(utf8.data(), utf8.size());
    return static_cast<uint32_t>(hash.Digest());
}

// Milliseconds of the process's start, as 32 bits: enough to tell two
// processes that had the same number apart.
bool StartOf(HANDLE process, uint32_t& started) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return false;
    const uint64_t t = (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    started = static_cast<uint32_t>(t / 10000);
    return true;
}

}  // namespace

const TCopyOwner& ThisCopyOwner() {
    static const TCopyOwner owner = [] {
        TCopyOwner o;
        o.machine = MachineHash();
        o.pid = GetCurrentProcessId();
        StartOf(GetCurrentProcess(), o.started);
        return o;
    }();
    return owner;
}

bool CopyOwnerRunning(const TCopyOwner& owner) {
    if (owner == ThisCopyOwner()) return true;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, owner.pid);
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = STILL_ACTIVE;
    uint32_t started = owner.started;
    // Only what the system says for sure makes the owner gone: an ended
    // process, or one that began at another time under the same number.
    const bool running = (!GetExitCodeProcess(process, &code) || code == STILL_ACTIVE) &&
                         (!StartOf(process, started) || started == owner.started);
    CloseHandle(process);
    return running;
}
