#pragma once
// What the container walkers share: a cursor over the file with one
// read-ahead window, and the reader's side that takes what they find.
// Portable.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "exif/Exif.h"

// No file we read reaches this far; a position beyond it (a hostile 64-bit
// box size or item offset) is read as lying past the end, never handed to
// the system, which would take it for a negative position.
constexpr uint64_t kMaxFileOffset = uint64_t(1) << 62;

// a + b, or a position past every file when the sum would not fit.
inline uint64_t AddOffset(uint64_t a, uint64_t b) {
    return b > kMaxFileOffset || a > kMaxFileOffset - b ? kMaxFileOffset : a + b;
}

inline uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint32_t Be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline uint64_t Be64(const uint8_t* p) { return uint64_t(Be32(p)) << 32 | Be32(p + 4); }
inline uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}
// A four-character code as a number, the way box and chunk types are compared.
constexpr uint32_t FourCc(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 | uint32_t(uint8_t(s[2])) << 8 |
           uint8_t(s[3]);
}

// A cursor over the file with one read-ahead window. Camera files keep the
// whole EXIF directory and its values in the first few KiB, so one read of
// the head usually serves the entire walk; every further read is a system
// call, which is what makes a reader slow on a card (and under Wine). A
// file that would need more than kMaxReads reads of its head to reach a
// date is hostile: past that budget it reads as if it ended there.
class TExifStream {
public:
    static constexpr int kMaxReads = 64;

    explicit TExifStream(IReadFile& file) : file_(file) {}

    uint64_t pos = 0;  // where the directory walk stands

    // Reads n bytes at pos and moves past them; a short read ends the walk
    // with the I/O error.
    void Read(void* dst, size_t n) {
        if (!ReadAt(pos, dst, n)) throw std::runtime_error(kReadBeyondEndOfFile);
        pos += n;
    }

    // Reads n bytes at an absolute position without moving the walk; false
    // when the file ends first.
    bool ReadAt(uint64_t at, void* dst, size_t n) { return ReadUpTo(at, dst, n) == n; }

    // Reads up to n bytes at an absolute position; fewer only where the file
    // ends.
    size_t ReadUpTo(uint64_t at, void* dst, size_t n) {
        auto* out = static_cast<uint8_t*>(dst);
        size_t done = 0;
        while (done < n) {
            const uint8_t* p = nullptr;
            size_t avail = Window(at, p);
            if (avail == 0) break;
            size_t take = std::min(avail, n - done);
            std::memcpy(out + done, p, take);
            at += take;
            done += take;
        }
        return done;
    }

    bool Eof() {
        const uint8_t* p = nullptr;
        return Window(pos, p) == 0;
    }

    // The bytes buffered at an absolute position (refilling the window when
    // needed); 0 at or past the end of the file.
    size_t Window(uint64_t at, const uint8_t*& p) {
        if (at >= eofAt_ || at >= kMaxFileOffset) return 0;
        if (at < bufStart_ || at - bufStart_ >= bufLen_) {
            if (reads_ >= kMaxReads) return 0;
            ++reads_;
            bufStart_ = at;
            bufLen_ = 0;
            bufLen_ = file_.ReadAt(at, buf_, sizeof buf_);
            if (bufLen_ < sizeof buf_) eofAt_ = at + bufLen_;
            if (bufLen_ == 0) return 0;
        }
        size_t skip = static_cast<size_t>(at - bufStart_);
        p = buf_ + skip;
        return bufLen_ - skip;
    }

private:
    IReadFile& file_;
    uint64_t bufStart_ = 0;
    size_t bufLen_ = 0;
    uint64_t eofAt_ = UINT64_MAX;  // known once a read came back short
    int reads_ = 0;
    uint8_t buf_[4096];
};

// What a container walker hands to the reader. Every walker finds the EXIF
// block of its container and gives it to the one tag walk; movies give the
// dates of their own instead.
class IExifBlocks {
public:
    virtual ~IExifBlocks() = default;
    // A TIFF block (byte-order mark, 42, first directory) at base, walked at
    // once. With exifDirectory its first directory is the EXIF directory
    // itself, not IFD0 (a container that keeps the two in blocks of their own).
    virtual void TiffBlock(uint64_t base, bool exifDirectory) = 0;
    // The movie header's creation time, seconds since 1904 as stored, and
    // the clip's duration in milliseconds (0 when unknown).
    virtual void MovieHeader(uint64_t secondsSince1904, uint64_t durationMs) = 0;
    // A date text the container keeps for the whole clip, as stored.
    virtual void CreationDate(const std::string& text) = 0;
    // A part of the file that could not be read and was skipped, with the
    // reason.
    virtual void Unreadable(const char* reason) = 0;
};

// Reads one part of a file (a TIFF block, a box) on its own: a part that
// cannot be read is skipped and noted, and the parts around it still give
// what they hold.
template <class Read>
void ReadOnItsOwn(IExifBlocks& blocks, Read read) {
    try {
        read();
    } catch (const std::runtime_error& e) {
        blocks.Unreadable(e.what());
    }
}

// A text of at most n bytes at an absolute position, up to its first zero
// byte, without trailing blanks and control characters; the I/O error when
// the file ends first.
inline std::string ReadShortText(TExifStream& s, uint64_t at, size_t n) {
    char buf[128];
    n = std::min(n, sizeof buf);
    if (!s.ReadAt(at, buf, n)) throw std::runtime_error(kReadBeyondEndOfFile);
    std::string text(buf, n);
    size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.pop_back();
    return text;
}
