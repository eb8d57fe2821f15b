#include "support/WinTest.h"

#include <algorithm>
#include <iostream>
#include <vector>

#include "framework/Strings.h"

namespace wintest {

namespace {

std::wstring FromUnixEnv(const wchar_t* var) {
    wchar_t buf[4096];
    DWORD n = GetEnvironmentVariableW(var, buf, 4096);
    if (!n || n >= 4096) return L"";
    std::wstring unix(buf, n);
    // Wine maps the Unix root on drive Z:.
    std::wstring win = L"Z:" + unix;
    for (auto& c : win)
        if (c == L'/') c = L'\\';
    if (win.back() != L'\\') win += L'\\';
    return win;
}

}  // namespace

std::wstring BuildDir() { return FromUnixEnv(L"KOLIBRIO_BUILD"); }
std::wstring SourceDir() { return FromUnixEnv(L"KOLIBRIO_SOURCE"); }

std::wstring ReleaseInstaller() {
    const std::wstring release = BuildDir() + L"..\\release\\";
    char i386[16] = {};
    GetEnvironmentVariableA("KOLIBRIO_I386", i386, sizeof i386);
    if (std::string(i386) == "none") {
        std::cout << "[   NOTE   ] NOT THE SHIPPED INSTALLER: no 32-bit program runs here, so the 64-bit build of "
                     "the installer script (release\\test-amd64) stands in for it\n";
        return release + L"test-amd64\\Kolibrio2-Setup.exe";
    }
    return release + L"Kolibrio2-Setup.exe";
}

namespace {
void ListFilesBelow(const std::wstring& base, const std::wstring& rel, std::vector<std::string>& out) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((L"\\\\?\\" + base + rel + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring n = fd.cFileName;
        if (n == L"." || n == L"..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFilesBelow(base, rel + n + L"\\", out);
        else
            out.push_back(fw::Utf8(rel + n));
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}
}  // namespace

std::vector<std::string> FilesBelow(const std::wstring& base) {
    std::vector<std::string> out;
    ListFilesBelow(base, L"", out);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::wstring> NamesMatching(const std::wstring& search) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(search.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.push_back(fd.cFileName);
    while (FindNextFileW(h, &fd));
    FindClose(h);
    return names;
}

std::wstring MakeTempDir() {
    static unsigned counter = 0;
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    for (;;) {
        std::wstring dir = std::wstring(tmp) + L"kt" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                           std::to_wstring(++counter) + L"\\";
        if (CreateDirectoryW(dir.c_str(), nullptr)) return dir;
    }
}

void RemoveTree(const std::wstring& dir) {
    std::wstring base = dir;
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((base + L"*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = base + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(base.c_str());
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

std::string ReadFileBytes(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
    CloseHandle(h);
    return out;
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Pump(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    } while (GetTickCount() - start < ms);
}

bool WaitFor(const std::function<bool()>& pred, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (pred()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Pump(20);
    }
}

namespace {
struct FindArgs {
    DWORD pid;
    std::wstring title;
    bool visibleOnly;
    HWND found;
};
BOOL CALLBACK FindProc(HWND hwnd, LPARAM lp) {
    auto* a = reinterpret_cast<FindArgs*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != a->pid) return TRUE;
    if (a->visibleOnly && !IsWindowVisible(hwnd)) return TRUE;
    if (!a->title.empty() && WindowText(hwnd) != a->title) return TRUE;
    a->found = hwnd;
    return FALSE;
}
}  // namespace

HWND FindProcessWindow(DWORD pid, const std::wstring& title, bool visibleOnly) {
    FindArgs a{pid, title, visibleOnly, nullptr};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&a));
    return a.found;
}

std::wstring WindowText(HWND hwnd) {
    int n = GetWindowTextLengthW(hwnd);
    std::vector<wchar_t> buf(n + 2);
    GetWindowTextW(hwnd, buf.data(), n + 1);
    return buf.data();
}

const wchar_t kCountersKey[] = L"SOFTWARE\\TB-Venor\\Kolibrio 2";

std::optional<DWORD> ReadDword(const wchar_t* path, const wchar_t* name, REGSAM view) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return std::nullopt;
    DWORD value = 0, size = sizeof value, type = 0;
    const LONG r = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return std::nullopt;
    return value;
}

}  // namespace wintest
