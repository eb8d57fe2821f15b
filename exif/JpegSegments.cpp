#include "exif/JpegSegments.h"

// The APP1 segment is looked for right after the start of the image, or
// after an APP0 taken to be the standard 16-byte JFIF header, and else by a
// bounded scan in steps of two bytes from there. Positions count from the
// JPEG's own start, so a JPEG inside a RAF is read as the same file alone.
void WalkJpeg(TExifStream& s, uint64_t origin, IExifBlocks& blocks) {
    uint8_t b[9];
    s.pos = origin;
    s.Read(b, 2);
    if (b[0] != 0xFF || b[1] != 0xD8) return;

    s.pos = origin + 2;
    s.Read(b, 9);
    if (b[0] == 0xFF && b[1] == 0xE0) {
        s.pos = origin + 20;
        s.Read(b, 9);
    }
    if (b[0] != 0xFF || b[1] != 0xE1) {
        uint8_t w[2] = {0, 0};
        bool found = false;
        for (int i = 0; i < 1001 && !s.Eof(); ++i) {
            s.Read(w, 2);
            if (w[0] == 0xFF && w[1] == 0xE1) {
                found = true;
                break;
            }
        }
        if (!found) return;
        s.pos -= 2;
        s.Read(b, 9);
    }
    // The TIFF header follows the marker, the length and "Exif" 00 00.
    blocks.TiffBlock(s.pos - 9 + 10, false);
}
