#include "framework/Png.h"

#include <png.h>

#include <cstring>
#include <vector>

namespace fw {

HBITMAP DecodePng(const unsigned char* data, size_t size, int& width, int& height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size)) return nullptr;
    image.format = PNG_FORMAT_BGRA;
    if (image.width == 0 || image.height == 0 || image.width > 4096 || image.height > 4096) {
        png_image_free(&image);
        return nullptr;
    }
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return nullptr;
    }
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);

    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;  // top-down, as libpng delivers rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    auto* out = static_cast<unsigned char*>(bits);
    // AlphaBlend wants colours premultiplied by alpha.
    for (size_t i = 0; i < pixels.size(); i += 4) {
        unsigned a = pixels[i + 3];
        out[i + 0] = static_cast<unsigned char>(pixels[i + 0] * a / 255);
        out[i + 1] = static_cast<unsigned char>(pixels[i + 1] * a / 255);
        out[i + 2] = static_cast<unsigned char>(pixels[i + 2] * a / 255);
        out[i + 3] = static_cast<unsigned char>(a);
    }
    return bitmap;
}

HBITMAP LoadPngResource(int id, int& width, int& height) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!res) return nullptr;
    HGLOBAL loaded = LoadResource(module, res);
    if (!loaded) return nullptr;
    auto* data = static_cast<const unsigned char*>(LockResource(loaded));
    return DecodePng(data, SizeofResource(module, res), width, height);
}

}  // namespace fw
