// The pictures the windows load from the program's resources.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/Png.h"
#include "res/resource.h"

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> bgra;  // premultiplied, top-down
};

Picture Load(int id) {
    Picture p;
    HBITMAP bmp = fw::LoadPngResource(id, p.width, p.height);
    if (!bmp) return p;
    DIBSECTION ds = {};
    GetObjectW(bmp, sizeof ds, &ds);
    const auto* bits = static_cast<const unsigned char*>(ds.dsBm.bmBits);
    p.bgra.assign(bits, bits + static_cast<size_t>(p.width) * p.height * 4);
    DeleteObject(bmp);
    return p;
}

const unsigned char* Pixel(const Picture& p, int x, int y) {
    return &p.bgra[(static_cast<size_t>(y) * p.width + x) * 4];
}

}  // namespace

TEST(Resources, CameraAndLogoAre90PixelPicturesWithAlpha) {
    Picture camera = Load(IDR_PNG_CAMERA), logo = Load(IDR_PNG_LOGO);
    ASSERT_EQ(camera.width, 90);
    ASSERT_EQ(camera.height, 90);
    ASSERT_EQ(logo.width, 90);
    ASSERT_EQ(logo.height, 90);
    // Transparent corners, opaque middles.
    EXPECT_EQ(Pixel(camera, 0, 0)[3], 0);
    EXPECT_EQ(Pixel(logo, 0, 0)[3], 0);
    EXPECT_EQ(Pixel(camera, 45, 51)[3], 255);
    EXPECT_EQ(Pixel(logo, 45, 45)[3], 255);
    // Told apart: the camera's lens is blue where the hummingbird is green,
    // and above the camera's body is nothing where the logo's disc is.
    const unsigned char* lens = Pixel(camera, 45, 51);
    const unsigned char* bird = Pixel(logo, 45, 51);
    EXPECT_GT(lens[0], lens[1]) << "blue above green in the lens";
    EXPECT_GT(bird[1], bird[0]) << "green above blue in the bird";
    EXPECT_EQ(Pixel(camera, 20, 18)[3], 0);
    EXPECT_EQ(Pixel(logo, 20, 18)[3], 255);
}

// Windows loads the common controls of the manifest's architecture; a
// 64-bit program that calls itself x86 gets none on real Windows.
TEST(Resources, ManifestNamesTheProgramsOwnArchitecture) {
    HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_NE(res, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(nullptr, res)));
    const std::string manifest(text, SizeofResource(nullptr, res));
    const std::string own = sizeof(void*) == 8 ? "processorArchitecture=\"amd64\"" : "processorArchitecture=\"x86\"";
    const size_t identity = manifest.find("<assemblyIdentity");
    ASSERT_NE(identity, std::string::npos);
    EXPECT_EQ(manifest.find(own, identity), manifest.find("processorArchitecture", identity)) << manifest;
}
