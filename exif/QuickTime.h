#pragma once
// The movie box of QuickTime and MP4 files (MOV, MP4, 3GP, M4V): the movie
// header's creation time and QuickTime's creation-date text; in CR3 files,
// the metadata boxes with their TIFF blocks. Portable.
#include "exif/ExifStream.h"
#include "exif/IsoMedia.h"

// Walks the movie box moov. In a CR3 file the EXIF blocks are the date
// and the movie header is not read.
void WalkMovie(TExifStream& s, const TBox& moov, bool cr3, IExifBlocks& blocks);
