#pragma once
// Files of the ISO base media format: HEIF, HEIC and AVIF (the EXIF item of
// the picture), CR3 (the TIFF blocks in its metadata boxes), and QuickTime
// and MP4 movies (see QuickTime.h). Portable.
#include <cstddef>
#include <cstdint>

#include "exif/ExifStream.h"

// One box: its type and where its header, its content and its end lie.
struct TBox {
    uint32_t type = 0;
    uint64_t at = 0;
    uint64_t content = 0;
    uint64_t end = 0;  // one past the box's last byte
};

// Reads the header of the box at `at` inside a parent that ends at limit
// (kMaxFileOffset at the top: the file). False when no box is there: the
// parent or the file ends, or the header is impossible (smaller than
// itself, larger than its parent). A header cut by the end of the file is
// the I/O error.
bool ReadBox(TExifStream& s, uint64_t at, uint64_t limit, TBox& box);

// Calls visit(box) for the boxes from `from` to limit, at most maxBoxes of
// them, until visit returns false.
template <class Visit>
void ForEachBox(TExifStream& s, uint64_t from, uint64_t limit, int maxBoxes, Visit visit) {
    uint64_t at = from;
    for (int i = 0; i < maxBoxes; ++i) {
        TBox box;
        if (!ReadBox(s, at, limit, box) || !visit(box)) return;
        at = box.end;
    }
}

// Big-endian numbers read one after another inside one box.
class TBoxCursor {
public:
    TBoxCursor(TExifStream& s, uint64_t at, uint64_t end) : s_(s), at_(at), end_(end) {}

    // A number of width bytes (up to 8; 0 reads as 0). False when the
    // box ends first; the I/O error when the file does.
    bool Number(unsigned width, uint64_t& v) {
        v = 0;
        if (width == 0) return true;
        if (width > 8 || at_ >= end_ || end_ - at_ < width) return false;
        uint8_t b[8];
        if (!s_.ReadAt(at_, b, width)) throw std::runtime_error(kReadBeyondEndOfFile);
        at_ += width;
        for (unsigned i = 0; i < width; ++i) v = v << 8 | b[i];
        return true;
    }
    uint64_t At() const { return at_; }

private:
    TExifStream& s_;
    uint64_t at_, end_;
};

// Whether the first n bytes of a file are the head of a box file.
bool IsIsoMedia(const uint8_t* head, size_t n);
// Walks the top-level boxes to the picture's metadata or the movie.
void WalkIsoMedia(TExifStream& s, IExifBlocks& blocks);
