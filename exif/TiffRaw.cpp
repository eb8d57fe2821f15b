#include "exif/TiffRaw.h"

#include <cstring>

#include "exif/JpegSegments.h"

namespace {

// The RAF header: 16 bytes of magic, its version, the camera's number and
// name, the directory's version and 20 more bytes, then the offset and the
// length of the JPEG, big-endian.
constexpr char kRafMagic[] = "FUJIFILMCCD-RAW ";
constexpr uint64_t kRafJpegOffsetAt = 84;
constexpr uint64_t kRafHeaderEnd = 92;

}  // namespace

// TIFF's own marks (II 2A 00, MM 00 2A) and the two makers' variants of the
// number 42: ORF (IIRO, IIRS, MMOR) and RW2 (II 55 00). The rest of their
// layout is plain TIFF, IFD0 with a link to the EXIF directory.
bool IsTiffRaw(const uint8_t* head, size_t n) {
    if (n < 4) return false;
    const bool ii = head[0] == 'I' && head[1] == 'I';
    const bool mm = head[0] == 'M' && head[1] == 'M';
    if (ii) {
        return (head[2] == 0x2A && head[3] == 0) || (head[2] == 'R' && (head[3] == 'O' || head[3] == 'S')) ||
               (head[2] == 0x55 && head[3] == 0);
    }
    if (mm) return (head[2] == 0 && head[3] == 0x2A) || (head[2] == 'O' && head[3] == 'R');
    return false;
}

void WalkTiffRaw(IExifBlocks& blocks) { blocks.TiffBlock(0, false); }

bool IsRaf(const uint8_t* head, size_t n) {
    return n >= 16 && std::memcmp(head, kRafMagic, 16) == 0;
}

// A JPEG said to begin inside the header is no JPEG: nothing found. One that
// begins past the end of the file is a structure the walk cannot read: the
// I/O error, as for a JPEG file cut short.
void WalkRaf(TExifStream& s, IExifBlocks& blocks) {
    uint8_t b[4];
    s.pos = kRafJpegOffsetAt;
    s.Read(b, 4);
    const uint64_t jpegAt = Be32(b);
    if (jpegAt < kRafHeaderEnd) return;
    WalkJpeg(s, jpegAt, blocks);
}
