// The EXIF reader on the containers other than JPEG: RAW files that are TIFF
// files, RAF, HEIF/AVIF, CR3, QuickTime/MP4 movies and AVI, as cameras and
// phones write them (damaged ones in exif_damaged_test.cpp).
#include "exif/Exif.h"

#include <gtest/gtest.h>

#include "tests/core/exif_read.h"

using namespace exiffix;
using namespace exifread;

namespace {

// Every field as one text, so that a block read from two containers can be
// compared whole.
std::string Dump(const TExif& x) {
    std::string s;
    auto add = [&](const std::string& v) { s += v + "|"; };
    auto num = [&](long long v) { add(std::to_string(v)); };
    add(x.ImageDescription), add(x.Make), add(x.Model), num(x.Orientation), add(x.OrientationText);
    add(x.Copyright), num(x.HasExif), add(x.DateTime), add(x.DateTimeOriginal), add(x.DateTimeDigitized);
    add(x.UserComment), add(x.ExposureTime), add(x.FNumber), add(x.ShutterSpeed), add(x.Aperture);
    add(x.MaxAperture), num(x.ExposureProgram), add(x.ExposureProgramText), num(x.PixelXDimension);
    num(x.PixelYDimension), num(x.XResolution), num(x.YResolution), num(x.MeteringMode);
    add(x.MeteringModeText), num(x.LightSource), add(x.LightSourceText), num(x.Flash), add(x.FlashText);
    num(x.ISOSpeed), add(x.Software), add(x.Artist), add(x.CompressedBitsPerPixel);
    num(static_cast<long long>(x.MovieCreated)), add(x.CreationDate);
    return s;
}

}  // namespace

// The camera's block is the same block in every container: every field the
// JPEG gives, each RAW kind gives too, in a few reads of the file's head.
TEST(ExifContainers, EveryRawKindGivesTheFieldsOfTheJpeg) {
    for (const RawKind& kind : RawKinds()) {
        SCOPED_TRACE(std::string(kind.ext) + (kind.motorola ? " MM" : " II") + " magic " + std::to_string(kind.magic));
        const std::string jpeg = Jpeg(CameraTiff(kind.motorola, kDate).Build(), 16, 20000);
        Outcome fromJpeg = Read(jpeg);
        Outcome fromRaw = Read(Raw(kind, kDate, 200000));
        EXPECT_EQ(fromRaw.error, "");
        EXPECT_EQ(fromRaw.exif.DateTimeDigitized, kDate);
        EXPECT_EQ(fromRaw.exif.Model, "KAMERA X-100");
        EXPECT_EQ(Dump(fromRaw.exif), Dump(fromJpeg.exif));
        EXPECT_LE(fromRaw.calls, 2);
    }
}

TEST(ExifContainers, PicturesInOtherContainers) {
    Tiff camera = CameraTiff(true, kDate);
    const std::string block = camera.Build();
    Heif heic;
    heic.exif = ExifItem(block);
    Heif avif = heic;
    avif.brand = "avif";
    avif.coding = "av01";
    Heif idat = heic;
    idat.inIdat = true;
    Heif infe3 = heic;
    infe3.infeVersion = 3;
    Heif heif = heic;
    heif.brand = "mif1";
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"RAF, its JPEG right after the header", Raf(Jpeg(block, 16, 5000))},
        {"RAF, its JPEG further on", Raf(Jpeg(block, 0, 5000), 4000)},
        {"HEIC, EXIF item in mdat", heic.Build()},
        {"HEIF", heif.Build()},
        {"AVIF", avif.Build()},
        {"HEIC, EXIF item in idat", idat.Build()},
        {"HEIC, item entries of version 3", infe3.Build()},
    };
    const std::string expected = Dump(Read(Jpeg(block)).exif);
    for (const auto& c : cases) {
        Outcome o = Read(c.bytes);
        EXPECT_EQ(o.error, "") << c.what;
        EXPECT_EQ(o.exif.DateTimeDigitized, kDate) << c.what;
        EXPECT_EQ(Dump(o.exif), expected) << c.what;
        EXPECT_LE(o.calls, 3) << c.what;
    }
}

// CR3 keeps IFD0 and the EXIF directory in two blocks; the movie header of
// a CR3 is not a capture date.
TEST(ExifContainers, Cr3ReadsBothBlocksInEitherOrder) {
    for (bool motorola : {false, true}) {
        Outcome o = Read(Cr3Of(kDate, motorola));
        EXPECT_EQ(o.error, "");
        EXPECT_TRUE(o.exif.HasExif);
        EXPECT_EQ(o.exif.Make, "KAMERA");
        EXPECT_EQ(o.exif.Model, "KAMERA R-5");
        EXPECT_EQ(o.exif.DateTime, "2001:01:01 00:00:00");
        EXPECT_EQ(o.exif.DateTimeDigitized, kDate);
        EXPECT_EQ(o.exif.ExposureTime, "1/250 seconds");
        EXPECT_EQ(o.exif.ISOSpeed, 800);
        EXPECT_EQ(o.exif.MovieCreated, 0u);
    }
    Outcome withHeader = Read(Cr3(Tiff().Build(), Tiff().Build(), kSummerClip));
    EXPECT_EQ(withHeader.error, "");
    EXPECT_EQ(withHeader.exif.MovieCreated, 0u);
}

TEST(ExifContainers, MoviesGiveTheirOwnDates) {
    auto movie = [](std::string brand, int version, uint64_t created, std::string text = "", bool qt = true,
                    bool last = false) {
        Movie m;
        m.brand = brand;
        m.mvhdVersion = version;
        m.created = created;
        m.creationDate = text;
        m.quickTimeMeta = qt;
        m.moovLast = last;
        return m.Build();
    };
    struct Case {
        const char* what;
        std::string bytes;
        uint64_t created;
        std::string text;
    } cases[] = {
        {"MOV, header version 0", movie("qt  ", 0, kSummerClip), kSummerClip, ""},
        {"MP4, header version 1", movie("isom", 1, kSummerClip), kSummerClip, ""},
        {"3GP", movie("3gp4", 0, kSummerClip), kSummerClip, ""},
        {"M4V", movie("M4V ", 0, kSummerClip), kSummerClip, ""},
        {"MP4, movie after its data", movie("mp42", 0, kSummerClip, "", true, true), kSummerClip, ""},
        {"QuickTime without ftyp", movie("", 0, kSummerClip), kSummerClip, ""},
        {"header time 0", movie("qt  ", 0, 0), 0, ""},
        {"phone MOV with its creation date", movie("qt  ", 0, kSummerClip, "2019-07-14T00:30:12+0200"),
         kSummerClip, "2019-07-14T00:30:12+0200"},
        {"MP4 metadata box with version and flags", movie("mp42", 0, kSummerClip, "2019-07-14T00:30:12+0200", false),
         kSummerClip, "2019-07-14T00:30:12+0200"},
        {"a year no clip can have", movie("isom", 1, 0xFFFFFFFFFFFFFFFFULL), 0xFFFFFFFFFFFFFFFFULL, ""},
    };
    for (const auto& c : cases) {
        Outcome o = Read(c.bytes);
        EXPECT_EQ(o.error, "") << c.what;
        EXPECT_FALSE(o.exif.HasExif) << c.what;
        EXPECT_EQ(o.exif.MovieCreated, c.created) << c.what;
        EXPECT_EQ(o.exif.CreationDate, c.text) << c.what;
        EXPECT_LE(o.calls, 3) << c.what;
    }
    // A movie without a header gives no date at all.
    Movie none;
    none.mvhd = false;
    Outcome o = Read(none.Build());
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(Dump(o.exif), Dump(TExif()));
}

TEST(ExifContainers, AviGivesItsDateText) {
    Outcome o = Read(Avi("SUN JUL 14 00:30:12 2019\n"));
    EXPECT_EQ(o.error, "");
    EXPECT_FALSE(o.exif.HasExif);
    EXPECT_EQ(o.exif.CreationDate, "SUN JUL 14 00:30:12 2019");
    EXPECT_LE(o.calls, 1);
    EXPECT_EQ(Dump(Read(Avi("")).exif), Dump(TExif()));
}

// Types that keep no date we read, and files that only look like one of
// the containers: nothing found, nothing thrown.
TEST(ExifContainers, OtherFilesHaveNoDate) {
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"WAV", "RIFF" + Le32Bytes(40) + "WAVEfmt " + Le32Bytes(16) + std::string(16, '\0') + "data" + Le32Bytes(0)},
        {"CRW", std::string("II\x1a\0\0\0HEAPCCDR", 14) + Filler(500)},
        {"X3F", "FOVb" + Filler(500)},
        {"MTS", std::string(4, '\0') + "\x47" + Filler(500)},
        {"M2TS", "\x47" + Filler(500)},
        {"text", "hello"},
        {"two bytes", "II"},
        {"BigTIFF", std::string("II\x2b\0\x08\0\0\0", 8) + Filler(100)},
        {"ftyp of nothing we know", Ftyp("abcd", "abcd")},
        {"QuickTime box of 8 bytes and nothing more", std::string("....moov", 8)},
    };
    for (const auto& c : cases) {
        Outcome o = Read(c.bytes);
        EXPECT_EQ(o.error, "") << c.what;
        EXPECT_EQ(Dump(o.exif), Dump(TExif())) << c.what;
    }
}

// The movie header's duration, in either version, and what is no duration.
TEST(ExifContainers, MovieDuration) {
    auto header = [](int version, uint64_t scale, uint64_t duration) {
        return MovieWith(Mvhd(version, kSummerClip, scale, duration));
    };
    struct Case {
        std::string bytes;
        uint64_t ms;
    } cases[] = {
        {header(0, 600, 6000), 10000},
        {header(1, 600, 6000), 10000},
        {header(0, 90000, 5 * 60 * 90000 + 45000), 300500},
        {header(1, 1000, 3600ULL * 1000 * 5), 18000000},
        {header(0, 0, 6000), 0},                      // no time scale
        {header(0, 600, 0xFFFFFFFF), 0},              // unknown
        {header(1, 600, 0xFFFFFFFFFFFFFFFFULL), 0},   // unknown
        {header(1, 1, 0x7FFFFFFFFFFFFFFFULL), 0},     // no clip runs that long
        {MovieWith(FullBox("mvhd", 0, 0, Be32Bytes(kSummerClip) + Be32Bytes(0))), 0},  // header cut after its time
    };
    for (const auto& c : cases) {
        Outcome o = Read(c.bytes);
        EXPECT_EQ(o.error, "");
        EXPECT_EQ(o.exif.MovieCreated, kSummerClip);
        EXPECT_EQ(o.exif.MovieDurationMs, c.ms);
    }
    EXPECT_EQ(Read(Movie().Build()).exif.MovieDurationMs, 10000u);
    // A file cut inside the header, after the time: the time still counts.
    const std::string cut = header(0, 600, 6000).substr(0, Ftyp("qt  ", "qt  ").size() + 8 + 8 + 4 + 4 + 6);
    Outcome o = Read(cut);
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.exif.MovieCreated, kSummerClip);
    EXPECT_EQ(o.exif.MovieDurationMs, 0u);
}
