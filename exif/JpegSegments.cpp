#include "exif/JpegSegments.h"

#include <cstring>

namespace {

// Camera and editor files have a few dozen segments before the picture
// data; the cap only bounds what a hostile file of tiny segments costs.
constexpr int kMaxSegments = 4096;

constexpr uint8_t kApp1 = 0xE1;
constexpr uint8_t kStartOfScan = 0xDA;
constexpr uint8_t kEndOfImage = 0xD9;

// Markers that stand alone, without a length: TEM, the restart markers
// and a repeated start of image.
bool StandsAlone(uint8_t code) { return code == 0x01 || (code >= 0xD0 && code <= 0xD8); }

// The first byte at or after `at` that is not a fill byte FF; false when
// the file ends first.
bool SkipFill(TExifStream& s, uint64_t& at) {
    for (;;) {
        const uint8_t* p = nullptr;
        const size_t avail = s.Window(at, p);
        if (avail == 0) return false;
        size_t k = 0;
        while (k < avail && p[k] == 0xFF) ++k;
        at += k;
        if (k < avail) return true;
    }
}

}  // namespace

// The segments are walked by their lengths from the start of the image to
// the start of the picture data, and the first APP1 segment that carries
// "Exif" 00 00 is the EXIF block: editors put comments, ICC profiles, XMP
// packets and other APPn segments before it at any offset. A file that ends
// before the picture data is cut short: the I/O error. A byte that is no
// marker where a segment should begin ends the walk with nothing found.
// Positions count from the JPEG's own start, so a JPEG inside a RAF is read
// as the same file alone.
void WalkJpeg(TExifStream& s, uint64_t origin, IExifBlocks& blocks) {
    uint8_t b[10];
    s.pos = origin;
    s.Read(b, 2);
    if (b[0] != 0xFF || b[1] != 0xD8) return;

    uint64_t at = AddOffset(origin, 2);
    for (int i = 0; i < kMaxSegments; ++i) {
        if (!s.ReadAt(at, b, 1)) throw std::runtime_error(kReadBeyondEndOfFile);
        if (b[0] != 0xFF) return;
        if (!SkipFill(s, at)) throw std::runtime_error(kReadBeyondEndOfFile);
        uint8_t code = 0;
        s.ReadAt(at, &code, 1);
        ++at;
        if (code == kStartOfScan || code == kEndOfImage || code == 0) return;
        if (StandsAlone(code)) continue;
        // The length counts itself and the segment's content.
        if (!s.ReadAt(at, b, 2)) throw std::runtime_error(kReadBeyondEndOfFile);
        const uint16_t length = Be16(b);
        if (length < 2) return;
        if (code == kApp1 && length >= 8) {
            if (!s.ReadAt(at + 2, b, 6)) throw std::runtime_error(kReadBeyondEndOfFile);
            if (std::memcmp(b, "Exif\0\0", 6) == 0) {
                blocks.TiffBlock(at + 8, false);
                return;
            }
        }
        at = AddOffset(at, length);
    }
}
