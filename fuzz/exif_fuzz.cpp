// Hostile JPEG heads for the EXIF reader, read from memory, and hostile date
// texts for the capture-date parser. The reader may raise its I/O error but
// must never crash, hang, grow without bound or break its own promises.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "exif/Exif.h"
#include "mask/CaptureDate.h"
#include "tests/core/exif_fixture.h"
#include "fuzz/Seeds.h"

namespace {

void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

std::vector<std::string> Texts(const TExif& x) {
    return {x.ImageDescription, x.Make, x.Model, x.OrientationText, x.Copyright, x.DateTime,
            x.DateTimeOriginal, x.DateTimeDigitized, x.UserComment, x.ExposureTime, x.FNumber,
            x.ShutterSpeed, x.Aperture, x.MaxAperture, x.ExposureProgramText, x.MeteringModeText,
            x.LightSourceText, x.FlashText, x.Software, x.Artist, x.CompressedBitsPerPixel};
}

void WriteSeeds(const char* dir) {
    using namespace exiffix;
    std::vector<std::string> seeds;
    for (bool motorola : {false, true}) {
        seeds.push_back(Jpeg(CameraTiff(motorola, "2008:05:09 14:07:03").Build()));
        seeds.push_back(Jpeg(CameraTiff(motorola, "2005:06:01 12:30:45").Build(), 16));
    }
    seeds.push_back(Jpeg(CameraTiff(false, "0000:00:00 00:00:00").Build(), 25));
    Tiff zero;
    zero.ifd0 = {ExifLink(), Ascii(0x010F, "KAMERA"), End()};
    zero.ifd0Count = 0;
    zero.exif = {Ascii(0x9004, "2008:05:09 14:07:03"), Rational(0x9201, 0xFFFFFFFF, 1, 10),
                 Text(0x9286, std::string("ASCII\0\0\0text", 12), 12, 7)};
    seeds.push_back(Jpeg(zero.Build()));
    Tiff hostile;
    hostile.motorola = true;
    hostile.ifd0 = {Raw(0x010E, 2, 0xFFFFFFFF, 0), Raw(0x011A, 5, 1, 0xFFFFFFF8), Raw(0x8769, 4, 1, 8)};
    seeds.push_back(Jpeg(hostile.Build()));
    seeds.push_back(std::string("\xFF\xD8\xFF\xE1\x00\x20http://ns.adobe.com/xap/1.0/\0<x/>", 38));
    seeds.push_back(Jpeg(CameraTiff(true, "2008:05:09 14:07:03").Build()).substr(0, 60));
    seeds.push_back("2008:05:09 14:07:03");
    WriteSeedFiles(dir, seeds);
}

}  // namespace

KOLIBRIO_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    TMemoryReadFile file(bytes);
    TExif x;
    x.Make = "stale ";  // a text read from a file never ends in a blank
    try {
        x.ReadFromFile(file);
    } catch (const std::runtime_error& e) {
        Require(std::string(e.what()) == kReadBeyondEndOfFile, "only the end of the file can fail in memory");
    }
    Require(x.Make != "stale ", "fields are cleared first");
    for (const std::string& t : Texts(x)) {
        Require(t.size() <= 65535, "texts stay bounded");
        Require(t.empty() || static_cast<unsigned char>(t.back()) > 32, "texts are trimmed");
    }
    if (!x.HasExif) {
        for (const std::string& t : Texts(x)) Require(t.empty(), "no EXIF block, no texts");
    }

    TDateTime d = -1;
    if (ParseExifDateTime(x.DateTimeDigitized, d)) {
        Require(IsValidDateParts(DecodeDateTime(d)), "a parsed date is a real day");
    }
    std::string text = bytes.substr(0, 40);
    d = -1;
    if (ParseExifDateTime(text, d)) {
        DateParts p = DecodeDateTime(d);
        Require(IsValidDateParts(p) && EncodeDateTime(p) == d, "a parsed date round-trips");
    } else {
        Require(d == -1, "a rejected text leaves the date alone");
    }
    return 0;
}
