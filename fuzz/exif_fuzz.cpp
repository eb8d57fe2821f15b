// Hostile files for the EXIF reader, read from memory: JPEG heads, TIFF-based
// RAW, RAF, HEIF/AVIF, CR3, QuickTime/MP4 and AVI (the reader tells them by
// their first bytes, so one target reaches every walker from its seeds), and
// hostile date texts for the capture-date parsers. The reader may raise its
// I/O error but must never crash, hang, grow without bound, read without
// bound or break its own promises.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "exif/Exif.h"
#include "exif/ExifStream.h"
#include "mask/CaptureDate.h"
#include "tests/core/container_fixture.h"
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

    const std::string date = "2019:07:14 00:30:12";
    for (const RawKind& kind : RawKinds()) seeds.push_back(Raw(kind, date, 64));
    seeds.push_back(Raf(Jpeg(CameraTiff(true, date).Build(), 16, 600), 0, 64));
    Heif heic;
    heic.exif = ExifItem(CameraTiff(false, date).Build());
    heic.pictureBytes = 64;
    seeds.push_back(heic.Build());
    Heif avif = heic;
    avif.brand = "avif";
    avif.coding = "av01";
    avif.infeVersion = 3;
    seeds.push_back(avif.Build());
    Heif idat = heic;
    idat.inIdat = true;
    seeds.push_back(idat.Build());
    seeds.push_back(Cr3Of(date, false));
    seeds.push_back(Cr3Of(date, true));
    Movie mov;
    mov.created = 3645901812ULL;
    mov.creationDate = "2019-07-14T00:30:12+0200";
    mov.dataBytes = 64;
    seeds.push_back(mov.Build());
    Movie mp4 = mov;
    mp4.brand = "isom";
    mp4.mvhdVersion = 1;
    mp4.quickTimeMeta = false;
    mp4.moovLast = true;
    seeds.push_back(mp4.Build());
    Movie endOfTime = mp4;
    endOfTime.created = 255485143800ULL;  // 9999-12-31 23:30 UTC: the year 10000 an hour east
    endOfTime.creationDate.clear();
    seeds.push_back(endOfTime.Build());
    seeds.push_back(Avi("SUN JUL 14 00:30:12 2019\n", 64));
    seeds.push_back(Ftyp("qt  ", "qt  ") + Box64("moov", Mvhd(1, 1833332745600ULL), 1ULL << 40));
    seeds.push_back("2019-07-14T00:30:12+0200");
    seeds.push_back("SUN JUL 14 00:30:12 2019");

    // Segments before the EXIF block, and blocks, boxes and chunks that
    // cannot all be read.
    const std::string app1 = Jpeg(CameraTiff(false, date).Build()).substr(2);
    seeds.push_back("\xFF\xD8" + JpegSegment(0xE0, std::string("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14)) +
                    JpegSegment(0xFE, std::string(1058, 'c')) + app1);
    seeds.push_back("\xFF\xD8" + JpegSegment(0xE2, std::string("ICC_PROFILE\0\x01\x01", 14) + Filler(301)) +
                    JpegSegment(0xED, std::string("Photoshop 3.0\0", 14) + Filler(40)) + "\xFF\xFF" + app1);
    seeds.push_back("\xFF\xD8" + JpegSegment(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>", 41)) +
                    std::string("\xFF\x01", 2) + app1);
    seeds.push_back("\xFF\xD8" + JpegSegment(0xDB, Filler(65)) + std::string("\xFF\xDA\0\x04\x01\x02", 6) + app1);
    Tiff cmt1;
    cmt1.ifd0 = {Ascii(0x010F, "KAMERA")};
    std::string farCmt1 = cmt1.Build();
    farCmt1.replace(4, 4, std::string("\xF0\xFF\xFF\x7F", 4));
    Tiff cmt2;
    cmt2.ifd0 = {Ascii(0x9004, date)};
    seeds.push_back(Cr3(farCmt1, cmt2.Build()));
    const std::string fileMeta =
        FullBox("meta", 0, 0, FullBox("hdlr", 0, 0, Be32Bytes(0) + "mp7t" + std::string(13, '\0')) +
                                  FullBox("xml ", 0, 0, "<Mpeg7/>"));
    seeds.push_back(Ftyp("isom", "isom") + fileMeta + Box("moov", Mvhd(0, 3645901812ULL) + Trak()) +
                    Box("mdat", Filler(64)));
    seeds.push_back(Ftyp("isom", "isom") + Box64("mdat", Filler(64), 16 + 64) +
                    Box("moov", Mvhd(1, 3645909012ULL) + Trak()));
    std::string riffZero = Avi("2009/10/27 12:14:34", 64);
    riffZero.replace(4, 4, std::string(4, '\0'));
    seeds.push_back(riffZero);
    seeds.push_back(Avi("Tue Oct 27 12:14:34 2009\n", 64));
    seeds.push_back("2009/10/27 12:14:34");
    WriteSeedFiles(dir, seeds);
}

}  // namespace

KOLIBRIO_FUZZ_SEEDS(WriteSeeds)

// Counts the reads the walkers ask for and where they ask.
class CountingFile : public IReadFile {
public:
    explicit CountingFile(const std::string& bytes) : file_(bytes) {}
    size_t ReadAt(uint64_t offset, void* dst, size_t n) override {
        ++calls;
        Require(offset < kMaxFileOffset, "no position past every file reaches the system");
        return file_.ReadAt(offset, dst, n);
    }
    int calls = 0;

private:
    TMemoryReadFile file_;
};

// Converts without a system: an hour ahead, enough to follow the path. The
// file time is the header's time read on the camera's clock plus the
// clip's duration, or an hour later, so both readings of a clip are taken.
class NoSystem : public ICaptureDatePlatform {
public:
    TDateTime fileTime = 0;
    TDateTime FileWriteTime(const std::string&) override { return fileTime; }
    TDateTime Now() override { return 0; }
    void ReadExif(const std::string&, TExif&) override {}
    bool UtcToLocal(TDateTime utc, TDateTime& local) override {
        local = utc + 1.0 / 24;
        return true;
    }
};

void CheckDate(bool ok, TDateTime d, const char* what) {
    if (ok) Require(IsValidDateParts(DecodeDateTime(d)), what);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CountingFile file(bytes);
    TExif x;
    x.Make = "stale ";  // a text read from a file never ends in a blank
    bool threw = false;
    try {
        x.ReadFromFile(file);
    } catch (const std::runtime_error& e) {
        threw = true;
        Require(std::string(e.what()) == kReadBeyondEndOfFile, "only the end of the file can fail in memory");
    }
    Require(!threw || (x.DateTimeDigitized.empty() && x.MovieCreated == 0 && x.CreationDate.empty()),
            "a file that gave a date is not unreadable");
    Require(x.Make != "stale ", "fields are cleared first");
    Require(file.calls <= TExifStream::kMaxReads, "reads stay within their budget");
    Require(x.CreationDate.size() <= 64, "a date text stays short");
    Require(x.CreationDate.empty() || static_cast<unsigned char>(x.CreationDate.back()) > 32,
            "a date text is trimmed");
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
    NoSystem none;
    TDateTime movie = -1;
    TDateTime header = -1;
    if (MovieHeaderTime(x.MovieCreated, header))
        none.fileTime = header + static_cast<double>(x.MovieDurationMs) / 86400000.0 + (size % 2 ? 1.0 / 24 : 0);
    CheckDate(MovieCaptureDate(x, "clip.mov", movie, none), movie, "a movie's date is a real day");

    std::string text = bytes.substr(0, 40);
    bool utc = false;
    d = -1;
    if (ParseCreationDate(text, d, utc)) {
        Require(IsValidDateParts(DecodeDateTime(d)), "a parsed creation date is a real day");
    } else {
        Require(d == -1, "a rejected creation date leaves the date alone");
    }
    header = -1;
    uint64_t seconds = 0;
    for (size_t i = 0; i < 8 && i < size; ++i) seconds = seconds << 8 | data[i];
    CheckDate(MovieHeaderTime(seconds, header), header, "a header time is a real day");
    d = -1;
    if (ParseExifDateTime(text, d)) {
        DateParts p = DecodeDateTime(d);
        Require(IsValidDateParts(p) && EncodeDateTime(p) == d, "a parsed date round-trips");
    } else {
        Require(d == -1, "a rejected text leaves the date alone");
    }
    return 0;
}
