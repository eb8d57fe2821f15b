#include <windows.h>

#include <algorithm>
#include <mutex>
#include <tuple>
#include <utility>

#include "framework/Lock.h"
#include "framework/Strings.h"
#include "import/ImportCore.h"
#include "import/ImportUi.h"
#include "import/VerifyCopy_win.h"

namespace {

TBeforeReadBack gBeforeReadBack = nullptr;
// Copies are checked on several threads at once: the read-back buffers,
// the volume answer and the leftovers are shared under their own locks,
// held only for a look-up.
fw::Lock gBuffersLock, gAlignmentLock;

// Never destroyed, like what AlignmentFor keeps: a check the run gave up
// may still end while the process runs its exit.
std::vector<std::pair<char*, uint32_t>>& SpareBuffers() {  // page-aligned memory and its size
    static auto* spare = new std::vector<std::pair<char*, uint32_t>>;
    return *spare;
}

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

// Memory for reads past the cache: page-aligned. A check borrows one
// buffer and gives it back; the buffers stay for the process, one for each
// check that ever ran at the same time as others.
class ReadBackBuffer {
public:
    ReadBackBuffer() = default;
    ReadBackBuffer(const ReadBackBuffer&) = delete;
    ReadBackBuffer& operator=(const ReadBackBuffer&) = delete;
    ~ReadBackBuffer() { Give(); }

    char* Get(uint32_t bytes) {
        if (!data_) {
            std::lock_guard<fw::Lock> lock(gBuffersLock);
            if (!SpareBuffers().empty()) {
                std::tie(data_, size_) = SpareBuffers().back();
                SpareBuffers().pop_back();
            }
        }
        if (bytes > size_) {
            if (data_) VirtualFree(data_, 0, MEM_RELEASE);
            data_ = static_cast<char*>(VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
            size_ = data_ ? bytes : 0;
        }
        return data_;
    }

private:
    void Give() {
        if (!data_) return;
        std::lock_guard<fw::Lock> lock(gBuffersLock);
        SpareBuffers().emplace_back(data_, size_);
    }

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
    static std::wstring& folder = *new std::wstring;
    static uint32_t alignment = 0;
    const std::wstring here = path.substr(0, path.find_last_of(L"\\/") + 1);
    {
        std::lock_guard<fw::Lock> lock(gAlignmentLock);
        if (alignment != 0 && here == folder) return alignment;
    }
    const uint32_t found = ReadBackAlignment(SectorBytesOf(path));
    std::lock_guard<fw::Lock> lock(gAlignmentLock);
    folder = here;
    alignment = found;
    return found;
}

}  // namespace

void SetBeforeReadBack(TBeforeReadBack hook) {
    gBeforeReadBack = hook;
}

TCopyCheck ReadBackCopy(const std::string& path, int64_t bytes, uint64_t hash, IImportUi* ui,
                        uint32_t& systemError, const std::function<void(void* handle)>& whenEqual) {
    systemError = 0;
    if (gBeforeReadBack) gBeforeReadBack(path);
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
    // A small copy is read whole in one request, into as little memory.
    const int64_t want = std::min<int64_t>(kReadBackBytes, bytes + 1);
    const uint32_t size = ReadBackBufferBytes(static_cast<uint32_t>(want), AlignmentFor(wide));
    ReadBackBuffer buffer;
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
