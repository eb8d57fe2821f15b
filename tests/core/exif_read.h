#pragma once
// Reading a file held in memory with the EXIF reader, and what the reader
// asked of it: shared by the tests of the containers, good and damaged.
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "exif/Exif.h"
#include "exif/ExifStream.h"
#include "tests/core/container_fixture.h"

namespace exifread {

using namespace exiffix;

inline constexpr char kDate[] = "2019:07:14 00:30:12";

// Reads what the reader asks of a file held in memory, and what it asked:
// how many reads, and whether any began where no file can reach.
class CountingFile : public IReadFile {
public:
    explicit CountingFile(std::string bytes) : size(bytes.size()), file_(std::move(bytes)) {}
    size_t ReadAt(uint64_t offset, void* dst, size_t n) override {
        ++calls;
        bytes += n;
        if (offset >= kMaxFileOffset) wild = true;
        return file_.ReadAt(offset, dst, n);
    }
    const uint64_t size;
    int calls = 0;
    uint64_t bytes = 0;
    bool wild = false;

private:
    TMemoryReadFile file_;
};

struct Outcome {
    TExif exif;
    std::string error;  // what ReadFromFile threw, "" when nothing
    int calls = 0;
    uint64_t bytes = 0;
    bool wild = false;
};

inline Outcome Read(const std::string& bytes) {
    CountingFile file(bytes);
    Outcome o;
    try {
        o.exif.ReadFromFile(file);
    } catch (const std::runtime_error& e) {
        o.error = e.what();
    }
    o.calls = file.calls;
    o.bytes = file.bytes;
    o.wild = file.wild;
    return o;
}

// Seconds since 1904 of 13 July 2019 22:30:12 UTC.
inline constexpr uint64_t kSummerClip = 3645901812ULL;

// What a damaged file may give: no date and no error, or the reader's I/O
// error; with either, bounded reads and no position past every file.
enum Expect { NoDate, ReadError, Date };

struct Damaged {
    const char* what;
    std::string bytes;
    Expect expect;
};

inline void CheckDamaged(const std::vector<Damaged>& cases) {
    for (const auto& c : cases) {
        Outcome o = Read(c.bytes);
        const bool dated = o.exif.DateTimeDigitized == kDate || o.exif.MovieCreated == kSummerClip ||
                           !o.exif.CreationDate.empty();
        switch (c.expect) {
            case NoDate:
                EXPECT_EQ(o.error, "") << c.what;
                EXPECT_FALSE(dated) << c.what;
                break;
            case ReadError: EXPECT_EQ(o.error, kReadBeyondEndOfFile) << c.what; break;
            case Date:
                EXPECT_EQ(o.error, "") << c.what;
                EXPECT_TRUE(dated) << c.what;
                break;
        }
        EXPECT_LE(o.calls, TExifStream::kMaxReads + 1) << c.what;
        EXPECT_FALSE(o.wild) << c.what;
    }
}

inline std::string MovieWith(const std::string& moovBody) {
    return Ftyp("qt  ", "qt  ") + Box("moov", moovBody) + Box("mdat", Filler(500));
}

}  // namespace exifread
