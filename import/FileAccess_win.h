#pragma once
// The import's file-system edge: handle owners, long paths, folders, blocks
// read and written, file times. Names reach the system in long "\\?\" form
// wherever a card's folders or a target near the limit may pass MAX_PATH.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "import/ImportCore.h"

class TFileHandle {
public:
    explicit TFileHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    ~TFileHandle() { Close(); }
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }
    HANDLE Release();
    // False when closing reports a failure (a delayed write that failed).
    bool Close();

private:
    HANDLE h_;
};

std::wstring LongPathForm(const std::string& path);
HANDLE OpenForReading(const std::string& path);
bool FileExistsAt(const std::string& path);
bool FolderExistsAt(const std::string& path);
// A path as the file system compares names: without regard to case.
std::wstring FoldedPath(const std::string& path);
// True when both names reach the same file (another spelling, a short name).
bool SameFile(const std::string& a, const std::string& b);

// The entries matching a wildcard search path, in the system's order,
// until each returns false; a folder that cannot be searched lists nothing.
void ListEntries(const std::string& search, const std::function<bool(const TScanEntry&)>& each);

// Creates a folder with all missing parents; true when it exists after.
// On failure code and failed (when given) hold the system's reason and the
// path (with its backslash) of the folder that could not be made.
bool ForceDirectories(const std::string& folder, uint32_t* code = nullptr, std::string* failed = nullptr);
// total plus the file's size; total unchanged when it cannot be sized.
int64_t AddFileSize(const std::string& path, int64_t total);

// One block of the copy, read through the test seam when one is set.
BOOL ReadBlock(HANDLE file, void* buffer, DWORD size, DWORD* read);
// Writes all n bytes; false with the system's reason when the disk refuses.
bool WriteAll(HANDLE file, const char* data, DWORD n);
// The target gets the source's write and creation times where its volume
// takes them; a volume that refuses them still gets the copy, and the
// system's reason comes back (0 when the times were kept).
DWORD KeepFileTimes(HANDLE source, HANDLE target, const std::wstring& targetPath);
// Closes a file the copy wrote; false with the system's reason as the last
// error when the close reports a failure (a delayed write that failed).
bool CloseWritten(TFileHandle& file, const std::wstring& path);
// Deletes a file; false with the system's reason as the last error.
bool DeleteFileAt(const std::wstring& path);
// A file's size and last-write time (UTC) without opening it; false when
// they cannot be read.
bool SizeAndWriteTime(const std::string& path, int64_t& size, FILETIME& written);
// A file time in 100-ns units, and as the local date and time it shows as.
int64_t FileTimeValue(const FILETIME& time);
DateParts LocalParts(const FILETIME& utc);
// Writes what the system still holds of a closed file to its disk, its
// name with it; false when that cannot be done.
bool FlushToDisk(const std::string& path);

// For tests: the block read of the copy (ReadFile when null). A removed
// card cannot be made here (a file deleted under Wine stays readable), so
// tests make the source fail in the middle of a file through this.
using TBlockRead = bool (*)(void* file, void* buffer, uint32_t size, uint32_t* read);
void SetBlockReadForTests(TBlockRead read);

// For tests: steps Windows refuses where Wine or a root account does not (a
// rename or a delete of a file another program holds open, a delayed write
// that fails at the close, a folder the user may not make, file times the
// volume does not keep). The hook gets the step and the file and returns
// the system's error code to fail with, or 0 to let the step run.
enum class TFileStep { Rename, Delete, Close, MakeFolder, SetTimes, Flush };
using TFileFault = uint32_t (*)(TFileStep step, const std::wstring& path);
void SetFileFaultForTests(TFileFault fault);
// The code a test wants this step to fail with (then also the last error),
// or 0.
uint32_t InjectedFault(TFileStep step, const std::wstring& path);
