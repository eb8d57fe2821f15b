// Capture dates of a generated card tree: 2000 camera-style JPEG files of a
// few hundred KiB, EXIF block at offset 2, every third file big-endian. Each
// file's date is read through ExifCaptureDate, warm cache, best of several
// passes. Natively the same files are also read by a small reader built on
// libexif (tag 0x9004 only), for comparison. Prints figures, asserts nothing.
//
// Usage: exif_bench [folder]   (the tree is written there and removed after)
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "exif/Exif.h"
#include "mask/CaptureDate.h"
#include "tests/core/exif_fixture.h"

#ifdef _WIN32
#include <windows.h>

#include "framework/Strings.h"
#include "mask/CaptureDate_win.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>

#include <libexif/exif-data.h>
#endif

namespace {

constexpr int kFiles = 2000;
constexpr int kPasses = 5;

std::string Date(int i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "2008:%02d:%02d %02d:%02d:%02d", 1 + i % 12, 1 + i % 28, i % 24, i % 60,
                  (i * 7) % 60);
    return buf;
}

std::string CameraFile(int i) {
    size_t size = (100 + (i * 37) % 300) * 1024;
    return exiffix::Jpeg(exiffix::CameraTiff(i % 3 == 0, Date(i)).Build(), 0, size);
}

#ifdef _WIN32

std::string DefaultRoot() {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    return fw::Utf8(tmp) + "kolibrio-exif-bench";
}
bool MakeDir(const std::string& path) { return CreateDirectoryW(fw::Wide(path).c_str(), nullptr) != 0; }
bool WriteAll(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileW(fw::Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}
void RemoveFile(const std::string& path) { DeleteFileW(fw::Wide(path).c_str()); }
void RemoveDir(const std::string& path) { RemoveDirectoryW(fw::Wide(path).c_str()); }
const char kSep = '\\';
ICaptureDatePlatform& Platform() { return WinCaptureDatePlatform(); }

#else

std::string DefaultRoot() { return "/tmp/kolibrio-exif-bench"; }
bool MakeDir(const std::string& path) { return mkdir(path.c_str(), 0755) == 0; }
bool WriteAll(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
void RemoveFile(const std::string& path) { unlink(path.c_str()); }
void RemoveDir(const std::string& path) { rmdir(path.c_str()); }
const char kSep = '/';

class PosixReadFile : public IReadFile {
public:
    explicit PosixReadFile(int fd) : fd_(fd) {}
    ~PosixReadFile() override { close(fd_); }
    PosixReadFile(const PosixReadFile&) = delete;
    PosixReadFile& operator=(const PosixReadFile&) = delete;
    size_t ReadAt(uint64_t offset, void* dst, size_t n) override {
        size_t got = 0;
        while (got < n) {
            ssize_t r = pread(fd_, static_cast<char*>(dst) + got, n - got, static_cast<off_t>(offset + got));
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) throw std::runtime_error(std::strerror(errno));
            if (r == 0) break;
            got += static_cast<size_t>(r);
        }
        return got;
    }

private:
    int fd_;
};

class PosixPlatform : public ICaptureDatePlatform {
public:
    TDateTime FileWriteTime(const std::string&) override { return 0; }
    TDateTime Now() override { return 0; }
    // The C library's zone rules for the date itself, as Windows converts.
    bool UtcToLocal(TDateTime utc, TDateTime& local) override {
        const time_t t = static_cast<time_t>(std::llround((utc - 25569.0) * 86400.0));
        struct tm tm;
        if (!localtime_r(&t, &tm)) return false;
        local = EncodeDateTime({tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 0});
        return true;
    }
    void ReadExif(const std::string& FileName, TExif& exif) override {
        int fd = open(FileName.c_str(), O_RDONLY);
        if (fd < 0) {
            if (errno == ENOENT) return;
            throw std::runtime_error(std::strerror(errno));
        }
        PosixReadFile file(fd);
        exif.ReadFromFile(file);
    }
};
ICaptureDatePlatform& Platform() {
    static PosixPlatform p;
    return p;
}

// The comparison reader: libexif's loader and tag 0x9004 of the EXIF IFD.
bool LibexifDate(const std::string& path, std::string& out) {
    ExifData* data = exif_data_new_from_file(path.c_str());
    if (!data) return false;
    ExifEntry* e = exif_content_get_entry(data->ifd[EXIF_IFD_EXIF], EXIF_TAG_DATE_TIME_DIGITIZED);
    bool ok = false;
    if (e) {
        char buf[64];
        exif_entry_get_value(e, buf, sizeof buf);
        out = buf;
        ok = true;
    }
    exif_data_unref(data);
    return ok;
}

#endif

// Files per second of the best of kPasses passes (the first pass warms up).
template <class F>
double Rate(const std::vector<std::string>& files, F readOne, int& okCount) {
    double best = 0;
    for (int pass = 0; pass <= kPasses; ++pass) {
        int ok = 0;
        auto start = std::chrono::steady_clock::now();
        for (const std::string& f : files) ok += readOne(f) ? 1 : 0;
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        okCount = ok;
        if (pass > 0 && s > 0 && files.size() / s > best) best = files.size() / s;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string root = argc > 1 ? argv[1] : DefaultRoot();
    const std::string card = root + kSep + "DCIM";
    const std::string folder = card + kSep + "100KAMRA";
    MakeDir(root);
    MakeDir(card);
    MakeDir(folder);
    std::vector<std::string> files;
    double bytes = 0;
    for (int i = 0; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "P%07d.JPG", 1070000 + i);
        std::string path = folder + kSep + name;
        std::string content = CameraFile(i);
        bytes += content.size();
        if (!WriteAll(path, content)) {
            std::printf("cannot write %s\n", path.c_str());
            return 1;
        }
        files.push_back(path);
    }
    std::printf("card tree: %d files, %.0f MiB, in %s\n", kFiles, bytes / 1048576, folder.c_str());

    int ok = 0;
    double ours = Rate(files, [](const std::string& f) {
        TDateTime d = 0;
        std::string error;
        return ExifCaptureDate(f, d, error, Platform());
    }, ok);
#ifdef _WIN32
    std::printf("ExifCaptureDate (Windows files): %8.0f files/s  (%d of %d dates read)\n", ours, ok, kFiles);
#else
    std::printf("ExifCaptureDate (POSIX files):   %8.0f files/s  (%d of %d dates read)\n", ours, ok, kFiles);
    int okLib = 0;
    double lib = Rate(files, [](const std::string& f) {
        std::string text;
        return LibexifDate(f, text);
    }, okLib);
    std::printf("libexif, tag 0x9004:             %8.0f files/s  (%d of %d dates read)\n", lib, okLib, kFiles);
#endif

    for (const std::string& f : files) RemoveFile(f);
    RemoveDir(folder);
    RemoveDir(card);
    RemoveDir(root);
    return 0;
}
