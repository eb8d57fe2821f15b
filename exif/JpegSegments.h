#pragma once
// The EXIF block of a JPEG file: its first APP1 segment of EXIF, found by
// walking the segments. Portable.
#include <cstdint>

#include "exif/ExifStream.h"

// Walks the JPEG that starts at origin (0 for a JPEG file, further on for
// one inside another container) and hands the TIFF block of its EXIF APP1
// segment to blocks. Not a JPEG there: nothing found, no error.
void WalkJpeg(TExifStream& s, uint64_t origin, IExifBlocks& blocks);
