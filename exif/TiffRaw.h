#pragma once
// RAW files that are TIFF files (CR2, NEF, NRW, ARW, SRF, SR2, DNG, PEF, SRW,
// and ORF and RW2 with byte-order marks of their own), and RAF, which
// carries a JPEG with the EXIF block. Portable.
#include <cstddef>
#include <cstdint>

#include "exif/ExifStream.h"

// Whether the first n bytes of a file start a TIFF file of a RAW kind.
bool IsTiffRaw(const uint8_t* head, size_t n);
// The file is the TIFF block: hands it to blocks from its first byte.
void WalkTiffRaw(IExifBlocks& blocks);

bool IsRaf(const uint8_t* head, size_t n);
// Follows the RAF header to its JPEG and walks that.
void WalkRaf(TExifStream& s, IExifBlocks& blocks);
