#pragma once
// The EXIF block of a JPEG file: its APP1 segment, looked for where cameras
// put it. Portable.
#include <cstdint>

#include "exif/ExifStream.h"

// Walks the JPEG that starts at origin (0 for a JPEG file, further on for
// one inside another container) and hands the TIFF block of its APP1
// segment to blocks. Not a JPEG there: nothing found, no error.
void WalkJpeg(TExifStream& s, uint64_t origin, IExifBlocks& blocks);
