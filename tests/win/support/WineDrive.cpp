#include "support/WineDrive.h"

#include <winioctl.h>

#include <cstring>
#include <vector>

namespace wintest {

namespace {

// Wine's extension of the mount manager's interface.
constexpr DWORD kMountMgrType = 'm';
constexpr DWORD kIoctlDefineUnixDrive =
    CTL_CODE(kMountMgrType, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

struct UnixDriveRequest {
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDev;
    WCHAR letter;
    USHORT mountPointOffset;
    USHORT deviceOffset;
    USHORT labelOffset;
};

bool SendDefine(wchar_t letter, const std::string& unixPath, UINT type) {
    std::vector<char> buf(sizeof(UnixDriveRequest) + (unixPath.empty() ? 0 : unixPath.size() + 1), 0);
    UnixDriveRequest req = {};
    req.size = static_cast<ULONG>(buf.size());
    req.type = type;
    req.letter = static_cast<WCHAR>(towlower(letter));
    if (!unixPath.empty()) {
        req.mountPointOffset = sizeof(UnixDriveRequest);
        std::memcpy(buf.data() + sizeof req, unixPath.c_str(), unixPath.size() + 1);
    }
    std::memcpy(buf.data(), &req, sizeof req);
    HANDLE mgr = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (mgr == INVALID_HANDLE_VALUE) return false;
    DWORD got = 0;
    BOOL ok = DeviceIoControl(mgr, kIoctlDefineUnixDrive, buf.data(), static_cast<DWORD>(buf.size()), nullptr, 0,
                              &got, nullptr);
    CloseHandle(mgr);
    return ok != FALSE;
}

std::string UnixPathOf(const std::wstring& folder) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    auto fn = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!fn) return {};
    char* name = fn(folder.c_str());
    if (!name) return {};
    std::string out = name;
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}

}  // namespace

bool DefineWineDrive(wchar_t letter, const std::wstring& folder, UINT type) {
    std::string unixPath = UnixPathOf(folder);
    if (unixPath.empty()) return false;
    while (unixPath.size() > 1 && unixPath.back() == '/') unixPath.pop_back();
    return SendDefine(letter, unixPath, type);
}

bool RemoveWineDrive(wchar_t letter) { return SendDefine(letter, {}, DRIVE_NO_ROOT_DIR); }

wchar_t FreeDriveLetter() {
    const DWORD used = GetLogicalDrives();
    for (wchar_t c = L'D'; c <= L'Y'; ++c)
        if (!(used & (1u << (c - L'A')))) return c;
    return 0;
}

}  // namespace wintest
