#pragma once
// PNG pictures with alpha, decoded by libpng into bitmaps that AlphaBlend
// draws (32-bit, premultiplied BGRA).
#include <windows.h>

#include <cstddef>

namespace fw {

// nullptr when the data is no readable PNG.
HBITMAP DecodePng(const unsigned char* data, size_t size, int& width, int& height);
// A PNG stored as an RCDATA resource of the executable.
HBITMAP LoadPngResource(int id, int& width, int& height);

}  // namespace fw
