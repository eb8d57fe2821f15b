#include <windows.h>

#include <mutex>

#include "framework/Strings.h"
#include "import/ImportCore.h"
#include "import/ImportUi.h"
#include "import/VerifyCopy.h"

namespace {

TBeforeReadBack gBeforeReadBack = nullptr;
// A run checks its copies on a thread of its own, a copy made outside a
// run is checked where it was made: the read-back's buffer and volume
// cache serve one check at a time, the leftovers both threads.
std::mutex gReadBackMutex, gLeftoversMutex;
std::vector<std::string> gLeftovers;

// Large enough that a read-back costs few calls, small enough that a
// tenth of a big file is reached often for the window's events.
constexpr uint32_t kReadBackBytes = 1u << 20;

class ReadHandle {
public:
    explicit ReadHandle(HANDLE h) : h_(h) {}
    ReadHandle(const ReadHandle&) = delete;
    ReadHandle& operator=(const ReadHandle&) = delete;
    ~ReadHandle() {
        if (Valid()) CloseHandle(h_);
    }
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }

private:
    HANDLE h_;
};

// Memory for reads past the cache: page-aligned, kept for the process.
class ReadBackBuffer {
public:
    char* Get(uint32_t bytes) {
        if (bytes > size_) {
            if (data_) VirtualFree(data_, 0, MEM_RELEASE);
            data_ = static_cast<char*>(VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
            size_ = data_ ? bytes : 0;
        }
        return data_;
    }

private:
    char* data_ = nullptr;
    uint32_t size_ = 0;
};

uint32_t SectorBytesOf(const std::wstring& path) {
    std::wstring root(path.size() + 2, L'\0');
    if (!GetVolumePathNameW(path.c_str(), root.data(), static_cast<DWORD>(root.size()))) return 0;
    DWORD sectorsPerCluster = 0, sectorBytes = 0, freeClusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &sectorBytes, &freeClusters, &clusters)) return 0;
    return sectorBytes;
}

// The volume is asked once per target folder: under Wine finding a path's
// volume costs a round trip to the server for every folder of the path.
uint32_t AlignmentFor(const std::wstring& path) {
    static std::wstring folder;
    static uint32_t alignment = 0;
    const std::wstring here = path.substr(0, path.find_last_of(L"\\/") + 1);
    if (alignment == 0 || here != folder) {
        folder = here;
        alignment = ReadBackAlignment(SectorBytesOf(path));
    }
    return alignment;
}

bool Gone(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

void SetBeforeReadBack(TBeforeReadBack hook) {
    gBeforeReadBack = hook;
}

TCopyCheck ReadBackCopy(const std::string& path, int64_t bytes, uint64_t hash, IImportUi* ui,
                        uint32_t& systemError, const std::function<void(void* handle)>& whenEqual) {
    systemError = 0;
    if (gBeforeReadBack) gBeforeReadBack(path);
    std::lock_guard<std::mutex> oneAtATime(gReadBackMutex);
    const std::wstring wide = fw::Wide(path);
    // Without the cache the data comes from the medium, not from the memory
    // the copy just wrote; the price is reads in whole sectors into aligned
    // memory. Sharing for reading only: nobody writes while it is checked.
    // With the right to rename when the caller renames through it; a copy
    // that another program holds without sharing that right is still read.
    const DWORD flags = FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN;
    HANDLE h = whenEqual ? CreateFileW(wide.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       flags, nullptr)
                         : INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE)
        h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr);
    ReadHandle in(h);
    if (!in.Valid()) {
        systemError = GetLastError();
        return TCopyCheck::Unreadable;
    }
    const uint32_t size = ReadBackBufferBytes(kReadBackBytes, AlignmentFor(wide));
    static ReadBackBuffer buffer;
    char* data = buffer.Get(size);
    if (!data) {
        systemError = ERROR_NOT_ENOUGH_MEMORY;
        return TCopyCheck::Unreadable;
    }

    TCopyHash copy;
    const uint32_t start = ui ? ui->TickCount() : 0;
    bool showing = false;
    int last = 0;
    for (;;) {
        // Every request is the whole aligned buffer; the file's tail comes
        // back as a shorter read, which ends the loop.
        DWORD n = 0;
        if (!ReadFile(in.Get(), data, size, &n, nullptr)) {
            systemError = GetLastError();
            if (showing) ui->SetChecking(false);
            return TCopyCheck::Unreadable;
        }
        copy.Update(data, n);
        if (n < size || copy.Bytes() > bytes) break;
        const int tenth = CopyTenth(copy.Bytes(), bytes);
        if (ui && tenth != last) {
            last = tenth;
            if (!showing && ui->TickCount() - start >= kShowCheckingMs) {
                showing = true;
                ui->SetChecking(true);
            }
            ui->ProcessMessages();
        }
    }
    if (showing) ui->SetChecking(false);
    if (copy.Bytes() != bytes || copy.Digest() != hash) return TCopyCheck::Different;
    if (whenEqual) whenEqual(in.Get());
    return TCopyCheck::Equal;
}

void RemoveFailedCopy(const std::string& path) {
    if (DeleteFileW(fw::Wide(path).c_str())) return;
    if (Gone(GetLastError())) return;
    std::lock_guard<std::mutex> lock(gLeftoversMutex);
    gLeftovers.push_back(path);
}

std::vector<std::string> RemoveLeftoverCopies() {
    std::lock_guard<std::mutex> lock(gLeftoversMutex);
    std::vector<std::string> still;
    for (const std::string& path : gLeftovers)
        if (!DeleteFileW(fw::Wide(path).c_str()) && !Gone(GetLastError())) still.push_back(path);
    gLeftovers.clear();
    return still;
}
