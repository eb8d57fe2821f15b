#include "support/SmallVolume.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "framework/Strings.h"
#include "support/WinTest.h"

namespace wintest {

namespace {

ULONGLONG VolumeBytes(const std::wstring& folder) {
    ULARGE_INTEGER avail{}, total{}, free{};
    return GetDiskFreeSpaceExW(folder.c_str(), &avail, &total, &free) ? total.QuadPart : 0;
}

}  // namespace

bool StartUnix(const std::string& script) {
    std::wstring cmd = L"/bin/sh -c \"" + fw::Wide(script) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(L"Z:\\bin\\sh", &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

SmallVolume::SmallVolume(unsigned kib) : bytes_(kib * 1024ull) {
    // Process ids are counted per Wine server, and every test program has a
    // prefix and a server of its own: the tick count keeps two mount points
    // apart.
    mount_ = "/tmp/kolibrio-small-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
    folder_ = L"Z:" + fw::Wide(mount_) + L"/";
    std::replace(folder_.begin(), folder_.end(), L'/', L'\\');
    const bool started = StartUnix("mkdir -p " + mount_ + " && mount -t tmpfs -o size=" + std::to_string(kib) +
                                   "k kolibrio-small " + mount_);
    mounted_ = started && WaitFor([&] { return VolumeBytes(folder_) == bytes_; }, 10000);
    if (started && !mounted_) StartUnix("rmdir " + mount_);
}

SmallVolume::~SmallVolume() {
    if (!mounted_) return;
    // The Wine server may still hold a file of it for a moment: the unmount
    // is tried again, then done lazily.
    StartUnix("for i in 1 2 3 4 5 6 7 8 9 10; do umount " + mount_ + " && break; sleep 0.5; done; " +
              "mountpoint -q " + mount_ + " && umount -l " + mount_ + "; rmdir " + mount_);
    if (!WaitFor([&] { return VolumeBytes(folder_) != bytes_; }, 10000)) ADD_FAILURE() << mount_ << " is still mounted";
}

}  // namespace wintest
