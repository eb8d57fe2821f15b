// Capture dates of a generated card tree of a mixed set: 250 files each of
// JPEG, CR2, NEF, ARW, DNG, CR3, HEIC and MP4 (every second MP4 with its
// movie box after the data, as cameras write it), a few hundred KiB each,
// every third block big-endian. Each file's date is read through
// ExifCaptureDate, warm cache, best of several passes: the whole set in card
// order, then each format alone. Natively the JPEG files are also read by a
// small reader built on libexif (tag 0x9004 only), for comparison. Prints
// figures, asserts nothing.
//
// Usage: exif_bench [folder]   (the tree is written there and removed after)
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "exif/Exif.h"
#include "mask/CaptureDate.h"
#include "tests/core/container_fixture.h"

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

constexpr int kPerFormat = 250;
constexpr int kPasses = 5;
const char* const kFormats[] = {"JPG", "CR2", "NEF", "ARW", "DNG", "CR3", "HEIC", "MP4"};
constexpr int kFormatCount = 8;

std::string Date(int i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "2008:%02d:%02d %02d:%02d:%02d", 1 + i % 12, 1 + i % 28, i % 24, i % 60,
                  (i * 7) % 60);
    return buf;
}

// File i of a format: its date, and picture or movie data of 100-400 KiB.
std::string CameraFile(int format, int i) {
    using namespace exiffix;
    const size_t size = (100 + (i * 37) % 300) * 1024;
    const bool motorola = i % 3 == 0;
    const std::string date = Date(i);
    switch (format) {
        case 0: return Jpeg(CameraTiff(motorola, date).Build(), 0, size);
        case 1: return Raw({"CR2", motorola, 42, std::string("CR\x02\0\0\0\0\0", 8)}, date, size);
        case 2: return Raw({"NEF", true, 42, ""}, date, size);
        case 3: return Raw({"ARW", motorola, 42, ""}, date, size);
        case 4: return Raw({"DNG", motorola, 42, ""}, date, size);
        case 5: return Cr3Of(date, motorola) + Filler(size);
        case 6: {
            Heif heic;
            heic.exif = ExifItem(CameraTiff(motorola, date).Build());
            heic.pictureBytes = size;
            return heic.Build();
        }
        default: {
            Movie clip;
            clip.brand = "isom";
            clip.mvhdVersion = i % 2;
            clip.created = 3300000000ULL + static_cast<uint64_t>(i) * 86400;
            clip.moovLast = i % 2 == 1;
            clip.dataBytes = size;
            return clip.Build();
        }
    }
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

double ReadRate(const std::vector<std::string>& files, int& ok) {
    return Rate(files, [](const std::string& f) {
        TDateTime d = 0;
        std::string error;
        return ExifCaptureDate(f, d, error, Platform());
    }, ok);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string root = argc > 1 ? argv[1] : DefaultRoot();
    const std::string card = root + kSep + "DCIM";
    const std::string folder = card + kSep + "100KAMRA";
    MakeDir(root);
    MakeDir(card);
    MakeDir(folder);
    std::vector<std::string> all;
    std::vector<std::string> byFormat[kFormatCount];
    double bytes = 0;
    // In card order: the formats mixed, as a camera and a phone fill a card.
    for (int i = 0; i < kPerFormat; ++i) {
        for (int f = 0; f < kFormatCount; ++f) {
            char name[32];
            std::snprintf(name, sizeof name, "P%07d.%s", 1070000 + i * kFormatCount + f, kFormats[f]);
            std::string path = folder + kSep + name;
            std::string content = CameraFile(f, i);
            bytes += content.size();
            if (!WriteAll(path, content)) {
                std::printf("cannot write %s\n", path.c_str());
                return 1;
            }
            all.push_back(path);
            byFormat[f].push_back(path);
        }
    }
    const int total = static_cast<int>(all.size());
    std::printf("card tree: %d files, %.0f MiB, in %s\n", total, bytes / 1048576, folder.c_str());

    int ok = 0;
    const double mixed = ReadRate(all, ok);
#ifdef _WIN32
    const char* const kind = "Windows files";
#else
    const char* const kind = "POSIX files";
#endif
    std::printf("ExifCaptureDate (%s), mixed set: %8.0f files/s  (%d of %d dates read)\n", kind, mixed, ok, total);
    for (int f = 0; f < kFormatCount; ++f) {
        const double rate = ReadRate(byFormat[f], ok);
        std::printf("  %-4s %8.0f files/s  (%d of %d)\n", kFormats[f], rate, ok, kPerFormat);
    }
#ifndef _WIN32
    int okLib = 0;
    double lib = Rate(byFormat[0], [](const std::string& f) {
        std::string text;
        return LibexifDate(f, text);
    }, okLib);
    std::printf("libexif, tag 0x9004, JPG: %8.0f files/s  (%d of %d dates read)\n", lib, okLib, kPerFormat);
#endif

    for (const std::string& f : all) RemoveFile(f);
    RemoveDir(folder);
    RemoveDir(card);
    RemoveDir(root);
    return 0;
}
