#pragma once
// Helpers shared by the Windows tests (run under Wine, one fresh prefix per
// test program; see tests/wine-run.sh).
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace wintest {

// Folder of the Windows build (build/win), where Kolibrio2.exe and the files
// beside it live. Taken from KOLIBRIO_BUILD, a Unix path, as a Windows path.
std::wstring BuildDir();
// Folder of the source tree, as a Windows path.
std::wstring SourceDir();
// The installer the release tests install with: the shipped one, a 32-bit
// program on every Windows. Only where no 32-bit program runs (the scripts
// say so in KOLIBRIO_I386) does the same script built on NSIS's 64-bit stub
// stand in for it, and the run says so.
std::wstring ReleaseInstaller();
// A fresh empty temporary folder, ending with a backslash.
std::wstring MakeTempDir();
void RemoveTree(const std::wstring& dir);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);
// Every file below a folder, as UTF-8 paths relative to it, sorted; found
// in long form, so trees deeper than MAX_PATH are listed too.
std::vector<std::string> FilesBelow(const std::wstring& base);
// The names a wildcard search path finds, in the system's order.
std::vector<std::wstring> NamesMatching(const std::wstring& search);

// Polls pred while pumping this thread's messages; true when it held
// before the timeout.
bool WaitFor(const std::function<bool()>& pred, DWORD timeoutMs = 10000);
// Pumps this thread's messages for the given time.
void Pump(DWORD ms);

// First visible top-level window of a process with the given title (empty
// title: any), or nullptr.
HWND FindProcessWindow(DWORD pid, const std::wstring& title, bool visibleOnly = true);
std::wstring WindowText(HWND hwnd);

// The program's usage counters key under HKEY_LOCAL_MACHINE.
extern const wchar_t kCountersKey[];
// A REG_DWORD value under HKEY_LOCAL_MACHINE, in the calling program's
// registry view or the one named (KEY_WOW64_64KEY, KEY_WOW64_32KEY); none
// when missing or of another type.
std::optional<DWORD> ReadDword(const wchar_t* path, const wchar_t* name, REGSAM view = 0);

}  // namespace wintest
