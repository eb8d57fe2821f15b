#include "exif/Exif.h"

#include <functional>
#include <stdexcept>

#include <gtest/gtest.h>

#include "tests/core/container_fixture.h"

using namespace exiffix;

namespace {

TExif ReadBytes(const std::string& bytes) {
    TMemoryReadFile file(bytes);
    TExif exif;
    exif.ReadFromFile(file);
    return exif;
}

// The error text of reading the bytes, or "" when the read succeeded.
std::string ReadError(const std::string& bytes, TExif* out = nullptr) {
    TMemoryReadFile file(bytes);
    TExif local;
    TExif& exif = out ? *out : local;
    try {
        exif.ReadFromFile(file);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

// Every field as one text, so two readings can be compared whole.
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
    return s;
}

std::string WithDigitized(const std::string& date) {
    Tiff t;
    t.ifd0 = {ExifLink()};
    t.exif = {Ascii(0x9004, date)};
    return t.Build();
}

// The bytes of a literal, zero bytes included.
template <size_t N>
std::string Bytes(const char (&s)[N]) {
    return std::string(s, N - 1);
}

// A segment of the given marker code and total length (marker excluded).
std::string Segment(uint8_t code, int length) {
    return JpegSegment(code, std::string(static_cast<size_t>(length - 2), '\x01'));
}

}  // namespace

TEST(Exif, NewReaderIsEmpty) {
    EXPECT_EQ(Dump(TExif()), Dump(ReadBytes("GIF89a, not a picture")));
    EXPECT_EQ(Dump(TExif()), "|||0|||0||||||||||0||0|0|0|0|0||0||0||0||||");
}

TEST(Exif, WalksTheSegmentsToTheFirstExifBlock) {
    const std::string tiff = WithDigitized("2005:06:01 12:30:45");
    const std::string app1 = Jpeg(tiff, 0, 4000).substr(2);  // FF E1 ... without FF D8
    const std::string soi = "\xFF\xD8";
    const std::string jfif = Segment(0xE0, 16);
    auto app = [](uint8_t code, const std::string& id, int length) {
        return JpegSegment(code, id + std::string(static_cast<size_t>(length - 2) - id.size(), '\x01'));
    };
    const std::string icc = std::string("ICC_PROFILE\0\x01\x01", 14);
    const std::string photoshop = std::string("Photoshop 3.0\0", 14);
    const std::string xmp = std::string("http://ns.adobe.com/xap/1.0/\0", 29) + "<x:xmpmeta/>";
    struct Case {
        const char* what;
        std::string bytes;
        size_t app1At;  // where the EXIF block's marker begins; 0: not found
    } cases[] = {
        {"APP1 right after the start", Jpeg(tiff, 0, 4000), 2},
        {"standard APP0, APP1 at 20", Jpeg(tiff, 16, 4000), 20},
        {"longer APP0, APP1 at even 30", Jpeg(tiff, 26, 4000), 30},
        {"longer APP0, APP1 at odd 21", Jpeg(tiff, 17, 4000), 21},
        {"comment, APP1 at odd 11", soi + Segment(0xFE, 7) + app1, 11},
        {"comment, APP1 at even 12", soi + Segment(0xFE, 8) + app1, 12},
        {"APP0 and a comment, APP1 at 1080", soi + jfif + Segment(0xFE, 1058) + app1, 1080},
        {"APP0 and a comment, APP1 at 1043", soi + jfif + Segment(0xFE, 1021) + app1, 1043},
        {"ICC profile, APP1 at even 5000", soi + jfif + app(0xE2, icc, 4978) + app1, 5000},
        {"ICC profile, APP1 at odd 5001", soi + jfif + app(0xE2, icc, 4979) + app1, 5001},
        {"ICC profile in three segments of 64 KiB", soi + app(0xE2, icc, 65535) + app(0xE2, icc, 65535) +
                                                        app(0xE2, icc, 65535) + app1, 2 + 3 * 65537},
        {"Adobe APP13, APP1 at odd 333", soi + app(0xED, photoshop, 329) + app1, 333},
        {"Adobe APP13, APP1 at even 334", soi + app(0xED, photoshop, 330) + app1, 334},
        {"quantisation table first", soi + Segment(0xDB, 67) + app1, 71},
        {"fill bytes before the markers", soi + "\xFF\xFF" + Segment(0xFE, 8) + "\xFF\xFF\xFF" + app1, 17},
        {"a marker without a length", soi + "\xFF\x01" + app1, 4},
        {"XMP in an APP1 before the EXIF one", soi + app(0xE1, xmp, 500) + app1, 504},
        {"EXIF block after the start of the picture data",
         soi + Segment(0xDB, 67) + Bytes("\xFF\xDA\x00\x08") + std::string(6, '\x01') + app1, 0},
        {"no EXIF block before the end of the image", soi + Segment(0xFE, 8) + "\xFF\xD9" + app1, 0},
        {"bytes that are no marker before it", soi + Bytes("\x00\x00") + app1, 0},
        {"XMP alone", soi + app(0xE1, xmp, 500) + Bytes("\xFF\xDA\x00\x02"), 0},
        {"APP1 too short for the identifier", soi + Bytes("\xFF\xE1\x00\x06") + "Exif" + app1, 10},
    };
    for (const auto& c : cases) {
        TExif x;
        EXPECT_EQ(ReadError(c.bytes, &x), "") << c.what;
        EXPECT_EQ(x.HasExif, c.app1At != 0) << c.what;
        EXPECT_EQ(x.DateTimeDigitized, c.app1At ? "2005:06:01 12:30:45" : "") << c.what;
        if (c.app1At) {
            EXPECT_EQ(c.bytes.compare(c.app1At, 2, "\xFF\xE1"), 0) << c.what;  // the case is what it says
        }
    }
}

// A JPEG inside a RAF is walked the same way.
TEST(Exif, SegmentsOfAJpegInsideARaf) {
    const std::string jpeg = "\xFF\xD8" + Segment(0xFE, 1058) + Jpeg(WithDigitized("2005:06:01 12:30:45")).substr(2);
    const std::string raf = exiffix::Raf(jpeg);
    TExif x;
    EXPECT_EQ(ReadError(raf, &x), "");
    EXPECT_EQ(x.DateTimeDigitized, "2005:06:01 12:30:45");
}

TEST(Exif, BothByteOrdersGiveTheSameFields) {
    TExif ii = ReadBytes(Jpeg(CameraTiff(false, "2008:05:09 14:07:03").Build(), 16, 20000));
    TExif mm = ReadBytes(Jpeg(CameraTiff(true, "2008:05:09 14:07:03").Build(), 16, 20000));
    EXPECT_EQ(Dump(ii), Dump(mm));
    EXPECT_EQ(Dump(mm),
              "|KAMERA|KAMERA X-100|1|Normal||1|2008:05:09 14:07:03|2008:05:09 14:07:03|2008:05:09 14:07:03||"
              "1/125 seconds|2.8|1/120 seconds|2.97||2|Normal Program|3072|2304|72|72|5|Pattern|0||25|"
              "Flash (Auto)|400|Firmware 1.02|||");
}

// Values and their texts, each one entry of its directory, in both orders.
TEST(Exif, ValueRulesAndNames) {
    using Field = std::function<std::string(const TExif&)>;
    auto n = [](long long v) { return std::to_string(v); };
    const Field fnumber = [](const TExif& x) { return x.FNumber; };
    const Field exposure = [](const TExif& x) { return x.ExposureTime; };
    const Field shutter = [](const TExif& x) { return x.ShutterSpeed; };
    const Field orientation = [&](const TExif& x) { return n(x.Orientation) + " " + x.OrientationText; };
    const Field program = [&](const TExif& x) { return n(x.ExposureProgram) + " " + x.ExposureProgramText; };
    const Field metering = [&](const TExif& x) { return n(x.MeteringMode) + " " + x.MeteringModeText; };
    const Field light = [&](const TExif& x) { return n(x.LightSource) + " " + x.LightSourceText; };
    const Field flash = [&](const TExif& x) { return n(x.Flash) + " " + x.FlashText; };
    struct Case {
        Entry entry;
        bool inExif;
        Field field;
        std::string expected;
    } cases[] = {
        {Rational(0x829D, 28, 10), true, fnumber, "2.8"},
        {Rational(0x829D, 4, 1), true, fnumber, "4.0"},
        {Rational(0x829D, 10, 3), true, fnumber, "3.33"},
        {Rational(0x829D, 1, 200), true, fnumber, "0.01"},
        {Rational(0x829D, 0, 0), true, fnumber, ""},
        {Rational(0x829D, 0xFFFFFFFF, 1), true, fnumber, "4294967295.0"},
        {Raw(0x829D, 5, 1, 0xFFFFFFF0), true, fnumber, ""},
        {Rational(0x9202, 297, 100), true, [](const TExif& x) { return x.Aperture; }, "2.97"},
        {Rational(0x9205, 36, 10), true, [](const TExif& x) { return x.MaxAperture; }, "3.6"},
        {Rational(0x9102, 2, 1), true, [](const TExif& x) { return x.CompressedBitsPerPixel; }, "2.0"},
        {Rational(0x829A, 1, 125), true, exposure, "1/125 seconds"},
        {Rational(0x829A, 0, 1000000), true, exposure, "0 seconds"},
        {Rational(0x829A, 10, 1250), true, exposure, "10/1250 seconds"},
        {Rational(0x829A, 16667, 1000000), true, exposure, "16667/1000000 seconds"},
        {Raw(0x829A, 5, 1, 0xFFFFFFFF), true, exposure, " seconds"},
        {Rational(0x9201, 7, 1, 10), true, shutter, "1/128 seconds"},
        {Rational(0x9201, 6906, 1000, 10), true, shutter, "1/120 seconds"},
        {Rational(0x9201, 0, 1, 10), true, shutter, "1/1 seconds"},
        {Rational(0x9201, 5, 0, 10), true, shutter, "1/1 seconds"},
        {Rational(0x9201, 0xFFFFFFFF, 1, 10), true, shutter, "1 seconds"},  // -1 read unsigned
        {Rational(0x9201, 65535, 1, 10), true, shutter, "1 seconds"},
        {Rational(0x9201, 62, 1, 10), true, shutter, "1/4611686018427387904 seconds"},
        {Rational(0x9201, 100, 1, 10), true, shutter, ""},  // 2^100 has no whole-number text
        {Short(0x0112, 6), false, orientation, "6 Rotated 90 right"},
        {Short(0x0112, 1), false, orientation, "1 Normal"},
        {Short(0x0112, 8), false, orientation, "8 Rotated 90 left"},
        {Short(0x0112, 0), false, orientation, "0 Unknown"},
        {Short(0x0112, 9), false, orientation, "9 Unknown"},
        {Short(0x0112, 0x0105), false, orientation, "5 Rotated 90 left, mirrored"},  // low byte
        {Short(0x8822, 2), true, program, "2 Normal Program"},
        {Short(0x8822, 8), true, program, "8 Landscape Mode"},
        {Short(0x8822, 9), true, program, "9 Unknown"},
        {Short(0x9207, 7), true, metering, "7 Other"},
        {Short(0x9207, 255), true, metering, "255 Unknown"},
        {Short(0x9207, 0x0103), true, metering, "3 Unknown"},  // named by the whole value
        {Short(0x9208, 255), true, light, "255 Other"},
        {Short(0x9208, 4), true, light, "4 Unknown"},
        {Short(0x9208, 2), true, light, "2 Flourescent"},
        {Short(0x9208, 21), true, light, "21 D65"},
        {Short(0x9209, 25), true, flash, "25 Flash (Auto)"},
        {Short(0x9209, 16), true, flash, "16 No Flash"},
        {Short(0x9209, 7), true, flash, "7 Flash Strobe"},
        {Short(0x8827, 400), true, [&](const TExif& x) { return n(x.ISOSpeed); }, "400"},
        {Short(0xA002, 3072), true, [&](const TExif& x) { return n(x.PixelXDimension); }, "3072"},
        {Long(0xA003, 100000), true, [&](const TExif& x) { return n(x.PixelYDimension); }, "100000"},
        {Rational(0x011A, 72, 1), false, [&](const TExif& x) { return n(x.XResolution); }, "72"},
        {Rational(0x011B, 300, 1), false, [&](const TExif& x) { return n(x.YResolution); }, "300"},
        {Raw(0x011B, 5, 1, 0xFFFFFFFC), false, [&](const TExif& x) { return n(x.YResolution); }, "0"},
    };
    for (bool motorola : {false, true}) {
        for (const auto& c : cases) {
            Tiff t;
            t.motorola = motorola;
            t.ifd0 = {ExifLink()};
            (c.inExif ? t.exif : t.ifd0).push_back(c.entry);
            TExif x = ReadBytes(Jpeg(t.Build(), 16, 400));
            EXPECT_EQ(c.field(x), c.expected)
                << "tag " << std::hex << c.entry.tag << " " << std::dec << c.entry.a << "/" << c.entry.b
                << (motorola ? " MM" : " II");
        }
    }
}

TEST(Exif, TextRules) {
    struct Case {
        Entry entry;
        std::string expected;
    } cases[] = {
        {Ascii(0x9004, "2005:06:01 12:30:45"), "2005:06:01 12:30:45"},
        {Ascii(0x9004, "2005:06:01 12:30:45    "), "2005:06:01 12:30:45"},
        {Text(0x9004, "2005:06:01 12:30:45XYZ", 20), "2005:06:01 12:30:45"},  // count - 1 bytes
        {Text(0x9286, std::string("ASCII\0\0\0Hello", 13), 13, 7), "ASCII"},
        {Text(0x9286, std::string(" \t\r\n\x01\0", 6), 6, 7), ""},
        {Text(0x9286, "Hi there", 0, 7), ""},  // count 0
        {Raw(0x9003, 2, 20, 0xFFFFFFF0), ""},    // value beyond the end of the file
        {Raw(0x9003, 2, 0xFFFFFFFF, 0), "II*"},  // points back at the TIFF header
        {Ascii(0x9003, "Fotoapar\xE1t"), "Fotoapar\xE1t"},  // bytes kept as stored
        // Four bytes or fewer sit inside the entry.
        {Text(0x9003, std::string("V1\0", 3), 3), "V1"},
        {Text(0x9003, "ABCD", 4), "ABC"},
        {Text(0x9003, "Z", 1), "Z"},
    };
    auto field = [](const TExif& x, uint16_t tag) {
        return tag == 0x9004 ? x.DateTimeDigitized : tag == 0x9003 ? x.DateTimeOriginal : x.UserComment;
    };
    for (bool motorola : {false, true}) {
        for (const auto& c : cases) {
            Tiff t;
            t.motorola = motorola;
            t.ifd0 = {ExifLink()};
            t.exif = {c.entry, Short(0x8827, 100)};
            TExif x = ReadBytes(Jpeg(t.Build(), 0, 300));
            EXPECT_EQ(field(x, c.entry.tag), motorola && c.expected == "II*" ? "MM" : c.expected)
                << "count " << c.entry.count << (motorola ? " MM" : " II");
            EXPECT_EQ(x.ISOSpeed, 100);  // an unreadable value does not end the walk
        }
    }
}

TEST(Exif, IfdTextsAndTheLaterEntryWins) {
    Tiff t;
    t.ifd0 = {Ascii(0x010E, "Popis"),   Ascii(0x010F, "Prvni"), Ascii(0x010F, "Druhy"),
              Ascii(0x0110, "Model 7"), Ascii(0x8298, "(c) Autor"), Ascii(0x013B, "Autor"),
              Ascii(0x9004, "2001:01:01 00:00:00"), ExifLink()};
    t.exif = {Ascii(0x9003, "2008:05:09 14:07:03"), Ascii(0x010F, "Ignored here")};
    TExif x = ReadBytes(Jpeg(t.Build()));
    EXPECT_EQ(x.ImageDescription, "Popis");
    EXPECT_EQ(x.Make, "Druhy");
    EXPECT_EQ(x.Model, "Model 7");
    EXPECT_EQ(x.Copyright, "(c) Autor");
    EXPECT_EQ(x.Artist, "Autor");
    EXPECT_EQ(x.DateTimeOriginal, "2008:05:09 14:07:03");
    EXPECT_EQ(x.DateTimeDigitized, "");  // only the EXIF directory's 9004 counts
}

TEST(Exif, EntryCountZeroReadsUpToHundredEntries) {
    for (int position : {99, 100}) {  // 0-based place of the Make entry
        Tiff t;
        for (int i = 0; i < position; ++i) t.ifd0.push_back(Short(0x4000, 1));
        t.ifd0.push_back(Ascii(0x010F, "KAMERA"));
        t.ifd0Count = 0;
        TExif x = ReadBytes(Jpeg(t.Build()));
        EXPECT_EQ(x.Make, position < 100 ? "KAMERA" : "") << position;
    }
    // A tag 0 entry ends such a walk early.
    Tiff t;
    t.ifd0 = {ExifLink(), Ascii(0x010F, "KAMERA"), End(), Ascii(0x0110, "MODEL")};
    t.ifd0Count = 0;
    t.exif = {Ascii(0x9004, "2005:06:01 12:30:45")};
    TExif x = ReadBytes(Jpeg(t.Build()));
    EXPECT_EQ(x.Make, "KAMERA");
    EXPECT_EQ(x.Model, "");
    EXPECT_EQ(x.DateTimeDigitized, "2005:06:01 12:30:45");
    // In the EXIF directory a count of 0 means no entries.
    t.ifd0Count = -1;
    t.exifCount = 0;
    EXPECT_EQ(ReadBytes(Jpeg(t.Build())).DateTimeDigitized, "");
}

TEST(Exif, TagZeroAfterTheExifLinkEndsIfd0Only) {
    Tiff t;
    t.ifd0 = {ExifLink(), End(), Ascii(0x010F, "KAMERA")};
    t.exif = {Short(0x8827, 200), End(), Short(0x9209, 1), Ascii(0x9004, "2005:06:01 12:30:45")};
    TExif x = ReadBytes(Jpeg(t.Build()));
    EXPECT_EQ(x.Make, "");
    EXPECT_EQ(x.ISOSpeed, 200);
    EXPECT_EQ(x.FlashText, "");
    EXPECT_EQ(x.DateTimeDigitized, "");
}

TEST(Exif, FilesEndingInsideAStructureGiveTheIoError) {
    const std::string good = Jpeg(WithDigitized("2005:06:01 12:30:45"));
    const std::string app0 = Jpeg(WithDigitized("2005:06:01 12:30:45"), 16);
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty file", ""},
        {"one byte", "\xFF"},
        {"start of image only", "\xFF\xD8"},
        {"segment head cut", good.substr(0, 10)},
        {"APP0 and nothing after", app0.substr(0, 25)},
        {"TIFF header cut", good.substr(0, 18)},
        {"IFD0 count cut", good.substr(0, 21)},
        {"IFD0 entry cut", good.substr(0, 30)},
        {"ends after a segment, before the picture data", Bytes("\xFF\xD8\xFF\xDB\x00\x08\x01\x01\x01\x01\x01\x01")},
        {"ends inside a segment", Bytes("\xFF\xD8\xFF\xFE\x04\x00\x01\x01\x01\x01\x01\x01")},
        {"ends in fill bytes", "\xFF\xD8\xFF\xFF\xFF"},
        {"ends after a marker, before its length", Bytes("\xFF\xD8\xFF\xFE\x00")},
        {"EXIF identifier cut", Bytes("\xFF\xD8\xFF\xE1\x00\x40" "Ex")},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadError(c.bytes), kReadBeyondEndOfFile) << c.what;

    // A file whose picture data begins has all its segments: no EXIF block,
    // no error.
    TExif x;
    EXPECT_EQ(ReadError(Bytes("\xFF\xD8\xFF\xDB\x00\x03\x01\xFF\xDA"), &x), "");
    EXPECT_FALSE(x.HasExif);
}

TEST(Exif, HostileOffsetsGiveEmptyFieldsOrTheIoError) {
    // Directories out of reach end the walk with the I/O error; what was read
    // before it stays.
    Tiff t;
    t.ifd0 = {Ascii(0x010F, "KAMERA"), Text(0x0110, "X1", 3), Rational(0x011A, 72, 1), Short(0x0112, 6),
              Raw(0x8769, 4, 1, 0xFFFFFFFF)};
    TExif x;
    EXPECT_EQ(ReadError(Jpeg(t.Build(), 16, 1000), &x), kReadBeyondEndOfFile);
    EXPECT_TRUE(x.HasExif);
    EXPECT_EQ(x.Make, "KAMERA");
    EXPECT_EQ(x.Model, "X1");
    EXPECT_EQ(x.XResolution, 72);
    EXPECT_EQ(x.OrientationText, "Rotated 90 right");

    std::string badIfd0 = Jpeg(WithDigitized("2005:06:01 12:30:45"));
    for (int i = 0; i < 4; ++i) badIfd0[16 + i] = '\xFF';  // IFD0 offset 0xFFFFFFFF
    EXPECT_EQ(ReadError(badIfd0), kReadBeyondEndOfFile);

    // The EXIF directory pointing back at IFD0: read once, no loop.
    Tiff back;
    back.ifd0 = {Raw(0x8769, 4, 1, 8), Ascii(0x010F, "KAMERA")};
    TExif y;
    EXPECT_EQ(ReadError(Jpeg(back.Build()), &y), "");
    EXPECT_EQ(y.Make, "KAMERA");
}

TEST(Exif, HugeCountsStayBounded) {
    // A directory that claims 65535 entries and holds 5001 texts with a count
    // of 4 GiB: bounded work, and a text over a long run of non-zero bytes
    // stops at the largest size a segment can hold.
    Tiff t;
    for (int i = 0; i < 5000; ++i) t.ifd0.push_back(Raw(0x010E, 2, 0xFFFFFFFF, 0));
    t.ifd0.push_back(Raw(0x0110, 2, 0xFFFFFFFF, 100000));
    t.ifd0Count = 0xFFFF;
    std::string file = Jpeg(t.Build()) + std::string(200000, 'x');
    TExif x;
    EXPECT_EQ(ReadError(file, &x), "");
    EXPECT_EQ(x.Model.size(), 65535u);  // capped at the largest possible segment
    EXPECT_EQ(x.ImageDescription.substr(0, 2), "II");
}

namespace {

// Counts what the reader asks of the file.
class CountingFile : public IReadFile {
public:
    explicit CountingFile(std::string bytes) : file_(std::move(bytes)) {}
    size_t ReadAt(uint64_t offset, void* dst, size_t n) override {
        ++calls;
        bytes += n;
        return file_.ReadAt(offset, dst, n);
    }
    int calls = 0;
    uint64_t bytes = 0;

private:
    TMemoryReadFile file_;
};

}  // namespace

TEST(Exif, ReadsOnlyTheHeadOfAPicture) {
    CountingFile file(Jpeg(CameraTiff(true, "2008:05:09 14:07:03").Build(), 0, 300 * 1024));
    TExif x;
    x.ReadFromFile(file);
    EXPECT_EQ(x.DateTimeDigitized, "2008:05:09 14:07:03");
    EXPECT_LE(file.calls, 2);
    EXPECT_LE(file.bytes, 8192u);
}

TEST(Exif, EachReadStartsFromClearedFields) {
    TMemoryReadFile camera(Jpeg(CameraTiff(false, "2008:05:09 14:07:03").Build()));
    TMemoryReadFile plain(std::string("\xFF\xD8\xFF\xDB\x00\x07\x01\x01\x01\x01\x01\x01\x01", 13));
    TExif x;
    x.ReadFromFile(camera);
    ASSERT_EQ(x.Make, "KAMERA");
    x.ReadFromFile(plain);
    EXPECT_EQ(Dump(x), Dump(TExif()));
}
