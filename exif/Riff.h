#pragma once
// AVI files: the date text (IDIT) that cameras put into the header list.
// Portable.
#include <cstddef>
#include <cstdint>

#include "exif/ExifStream.h"

bool IsAvi(const uint8_t* head, size_t n);
// Walks the RIFF chunks to the header list and hands its IDIT text to blocks.
void WalkAvi(TExifStream& s, IExifBlocks& blocks);
