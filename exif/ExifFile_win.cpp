#include "exif/Exif.h"

#include <windows.h>

#include <cstdint>
#include <stdexcept>

#include "framework/Strings.h"

namespace {

// A file opened read-only for this reader alone. It seeks only when a read
// does not follow the one before: a read given its position (OVERLAPPED)
// costs a round trip to the server under Wine, a plain read does not.
class TWinReadFile : public IReadFile {
public:
    explicit TWinReadFile(HANDLE h) : h_(h) {}
    ~TWinReadFile() override { CloseHandle(h_); }
    TWinReadFile(const TWinReadFile&) = delete;
    TWinReadFile& operator=(const TWinReadFile&) = delete;

    size_t ReadAt(uint64_t offset, void* dst, size_t n) override {
        if (offset != position_) {
            LARGE_INTEGER to;
            to.QuadPart = static_cast<LONGLONG>(offset);
            if (!SetFilePointerEx(h_, to, nullptr, FILE_BEGIN))
                throw std::runtime_error(fw::SystemErrorText(GetLastError()));
            position_ = offset;
        }
        DWORD got = 0;
        if (!ReadFile(h_, dst, static_cast<DWORD>(n), &got, nullptr)) {
            DWORD err = GetLastError();
            position_ = UINT64_MAX;  // where the pointer stands is not known
            if (err == ERROR_HANDLE_EOF) return 0;
            throw std::runtime_error(fw::SystemErrorText(err));
        }
        position_ += got;
        return got;
    }

private:
    HANDLE h_;
    uint64_t position_ = 0;
};

bool IsMissing(DWORD err, const std::wstring& name) {
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND || err == ERROR_INVALID_NAME ||
        err == ERROR_BAD_NETPATH || err == ERROR_BAD_PATHNAME)
        return true;
    // A folder is no file: it is treated as missing, not as unreadable.
    DWORD attr = GetFileAttributesW(name.c_str());
    return attr == INVALID_FILE_ATTRIBUTES || (attr & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

void TExif::ReadFromFile(const std::string& FileName) {
    std::wstring name = fw::Wide(FileName);
    // Opening first and asking why only when that fails spares a system call
    // per file on the common path.
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        if (FileName.empty() || IsMissing(err, name)) return;
        Clear();
        throw std::runtime_error(fw::SystemErrorText(err));
    }
    TWinReadFile file(h);
    ReadFromFile(file);
}
