// The EXIF reader on the containers other than JPEG: RAW files that are TIFF
// files, RAF, HEIF/AVIF, CR3, QuickTime/MP4 movies and AVI, good and damaged.
#include "exif/Exif.h"

#include <algorithm>
#include <stdexcept>

#include <gtest/gtest.h>

#include "exif/ExifStream.h"
#include "tests/core/container_fixture.h"

using namespace exiffix;

namespace {

constexpr char kDate[] = "2019:07:14 00:30:12";

// Reads what the reader asks of a file held in memory, and what it asked:
// how many reads, and whether any began where no file can reach.
class CountingFile : public IReadFile {
public:
    explicit CountingFile(std::string bytes) : size(bytes.size()), file_(std::move(bytes)) {}
    size_t ReadAt(uint64_t offset, void* dst, size_t n) override {
        ++calls;
        bytes += n;
        if (offset >= kMaxFileOffset) wild = true;
        return file_.ReadAt(offset, dst, n);
    }
    const uint64_t size;
    int calls = 0;
    uint64_t bytes = 0;
    bool wild = false;

private:
    TMemoryReadFile file_;
};

struct Outcome {
    TExif exif;
    std::string error;  // what ReadFromFile threw, "" when nothing
    int calls = 0;
    uint64_t bytes = 0;
    bool wild = false;
};

Outcome Read(const std::string& bytes) {
    CountingFile file(bytes);
    Outcome o;
    try {
        o.exif.ReadFromFile(file);
    } catch (const std::runtime_error& e) {
        o.error = e.what();
    }
    o.calls = file.calls;
    o.bytes = file.bytes;
    o.wild = file.wild;
    return o;
}

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

// Seconds since 1904 of 13 July 2019 22:30:12 UTC.
constexpr uint64_t kSummerClip = 3645901812ULL;

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

namespace {

// What a damaged file may give: no date and no error, or the reader's I/O
// error; with either, bounded reads and no position past every file.
enum Expect { NoDate, ReadError, Date };

struct Damaged {
    const char* what;
    std::string bytes;
    Expect expect;
};

void CheckDamaged(const std::vector<Damaged>& cases) {
    for (const auto& c : cases) {
        Outcome o = Read(c.bytes);
        const bool dated = o.exif.DateTimeDigitized == kDate || o.exif.MovieCreated == kSummerClip ||
                           !o.exif.CreationDate.empty();
        switch (c.expect) {
            case NoDate:
                EXPECT_EQ(o.error, "") << c.what;
                EXPECT_FALSE(dated) << c.what;
                break;
            case ReadError: EXPECT_EQ(o.error, kReadBeyondEndOfFile) << c.what; break;
            case Date:
                EXPECT_EQ(o.error, "") << c.what;
                EXPECT_TRUE(dated) << c.what;
                break;
        }
        EXPECT_LE(o.calls, TExifStream::kMaxReads + 1) << c.what;
        EXPECT_FALSE(o.wild) << c.what;
    }
}

std::string MovieWith(const std::string& moovBody) {
    return Ftyp("qt  ", "qt  ") + Box("moov", moovBody) + Box("mdat", Filler(500));
}

}  // namespace

TEST(ExifContainers, DamagedTiffRaw) {
    const std::string good = Raw(RawKinds()[0], kDate);
    std::string ifd0Far = good;
    ifd0Far.replace(4, 4, std::string("\xF0\xFF\xFF\xFF", 4));
    std::string ifd0InHeader = good;
    ifd0InHeader.replace(4, 4, std::string("\x02\0\0\0", 4));
    Tiff selfLink;
    selfLink.ifd0 = {Raw(0x8769, 4, 1, 8), Ascii(0x9004, kDate)};
    Tiff exifFar;
    exifFar.ifd0 = {Raw(0x8769, 4, 1, 0xFFFFFFF0)};
    Tiff hugeCount;
    for (int i = 0; i < 3000; ++i) hugeCount.ifd0.push_back(Raw(0x010E, 2, 0xFFFFFFFF, 0));
    hugeCount.ifd0Count = 0xFFFF;
    CheckDamaged({
        {"mark alone", "II*", NoDate},
        {"header cut", std::string("II*\0\x08\0\0", 7), ReadError},
        {"IFD0 past the end", ifd0Far, ReadError},
        {"IFD0 pointing into the header itself", ifd0InHeader, NoDate},
        {"IFD0 entry cut", good.substr(0, 30), ReadError},
        {"EXIF directory pointing at IFD0: walked once more, no loop", TiffRaw(selfLink), Date},
        {"EXIF directory past the end", TiffRaw(exifFar, 42, "", 10), ReadError},
        {"65535 entries, thousands of huge texts", TiffRaw(hugeCount, 42, "", 100000), NoDate},
        {"ORF mark, nothing after", "IIRO", ReadError},
    });
}

TEST(ExifContainers, DamagedRaf) {
    const std::string jpeg = Jpeg(CameraTiff(false, kDate).Build(), 16, 3000);
    std::string headerCut = Raf(jpeg).substr(0, 86);
    std::string intoHeader = Raf(jpeg);
    intoHeader.replace(84, 4, Be32Bytes(0));
    std::string pastEnd = Raf(jpeg);
    pastEnd.replace(84, 4, Be32Bytes(0x7FFFFFF0));
    std::string notJpeg = Raf(jpeg);
    notJpeg.replace(84, 4, Be32Bytes(200));
    CheckDamaged({
        {"JPEG offset cut", headerCut, ReadError},
        {"JPEG said to start at the file's start", intoHeader, NoDate},
        {"JPEG past the end", pastEnd, ReadError},
        {"no JPEG where the header says", notJpeg, NoDate},
        {"JPEG cut inside its EXIF block", Raf(jpeg.substr(0, 40), 0, 0), ReadError},
    });
}

TEST(ExifContainers, DamagedBoxes) {
    const std::string mvhd = Mvhd(0, kSummerClip);
    const std::string ftyp = Ftyp("qt  ", "qt  ");
    const std::string moov = Box("moov", mvhd + Trak());
    CheckDamaged({
        {"good", MovieWith(mvhd), Date},
        {"box header cut", ftyp + moov.substr(0, 5), ReadError},
        {"64-bit header cut", ftyp + Box64("moov", mvhd).substr(0, 12), ReadError},
        {"movie header cut by the end", ftyp + Box("moov", mvhd).substr(0, 8 + 8 + 6), ReadError},
        {"box smaller than its header", ftyp + Be32Bytes(4) + "moov" + mvhd, NoDate},
        {"64-bit size smaller than its header", ftyp + Box64("moov", mvhd, 8), NoDate},
        {"64-bit size past every file", ftyp + Box64("moov", mvhd, 0xFFFFFFFFFFFFFFF0ULL), NoDate},
        {"64-bit size larger than the file, content whole", ftyp + Box64("moov", mvhd, 1ULL << 40), Date},
        {"32-bit size larger than the file, content whole", ftyp + Be32Bytes(0x7FFFFFFF) + "moov" + mvhd, Date},
        {"size 0: to the end of the file", ftyp + Be32Bytes(0) + "moov" + mvhd, Date},
        {"data box past the end before the movie", ftyp + Box64("mdat", "", 1ULL << 40) + moov, NoDate},
        {"data box of 2^63 before the movie", ftyp + Box64("mdat", "", 1ULL << 63) + moov, NoDate},
        {"box that claims to contain itself", ftyp + Be32Bytes(8 + 8 + mvhd.size()) + "moov" +
                                                  Be32Bytes(8 + 8 + mvhd.size()) + "moov" + mvhd, NoDate},
        {"child larger than its parent", ftyp + Box("moov", Be32Bytes(mvhd.size() + 100) + mvhd.substr(4)), NoDate},
        {"header of version 2", MovieWith(FullBox("mvhd", 2, 0, std::string(100, '\x11'))), NoDate},
        {"header too short for its time", MovieWith(FullBox("mvhd", 1, 0, std::string(4, '\x11'))), NoDate},
        {"thousands of empty boxes", ftyp + [] {
             std::string s;
             for (int i = 0; i < 5000; ++i) s += Box("free", "");
             return s;
         }() + moov, NoDate},
        {"boxes spread over the file", ftyp + [] {
             std::string s;
             for (int i = 0; i < 100; ++i) s += Box("free", std::string(5000, '\0'));
             return s;
         }() + moov, NoDate},
    });
}

TEST(ExifContainers, DamagedQuickTimeKeys) {
    const std::string mvhd = Mvhd(0, 0);
    const std::string good = KeysMeta({{"com.apple.quicktime.creationdate", "2019-07-14T00:30:12+0200"}}, true);
    auto keysMeta = [](const std::string& keys, const std::string& ilst) {
        return Box("meta", FullBox("hdlr", 0, 0, std::string(21, '\0')) + keys + ilst);
    };
    const std::string key = Be32Bytes(40) + "mdta" + "com.apple.quicktime.creationdate";
    const std::string item = Box(Be32Bytes(1), Box("data", Be32Bytes(1) + Be32Bytes(0) + "2019-07-14T00:30:12+0200"));
    CheckDamaged({
        {"good", MovieWith(mvhd + good), Date},
        {"key count of 2^32 - 1", MovieWith(mvhd + keysMeta(FullBox("keys", 0, 0, Be32Bytes(0xFFFFFFFF) + key), Box("ilst", item))), Date},
        {"key size past its box", MovieWith(mvhd + keysMeta(FullBox("keys", 0, 0, Be32Bytes(1) + Be32Bytes(400) + "mdta"), Box("ilst", item))), NoDate},
        {"key size 0", MovieWith(mvhd + keysMeta(FullBox("keys", 0, 0, Be32Bytes(5) + Be32Bytes(0) + "mdta" + key), Box("ilst", item))), NoDate},
        {"value of another type", MovieWith(mvhd + keysMeta(FullBox("keys", 0, 0, Be32Bytes(1) + key),
            Box("ilst", Box(Be32Bytes(1), Box("data", Be32Bytes(23) + Be32Bytes(0) + "xxxx"))))), NoDate},
        {"date text cut by the end", [&] {
             std::string f = Ftyp("qt  ", "qt  ") + Box("moov", mvhd + good);
             return f.substr(0, f.size() - 10);
         }(), ReadError},
    });
}

namespace {

// An extent of an item: where it lies and how long it is.
struct Extent {
    uint64_t offset, length;
};
struct Item {
    uint32_t id;
    int method;
    int reference;
    std::vector<Extent> extents;
};

// The item location box of version 1 with the given widths of offsets and
// lengths (in bytes) and no base offsets.
std::string Iloc(const std::vector<Item>& items, int offsetSize = 4, int lengthSize = 4, uint32_t count = 0) {
    auto number = [](uint64_t v, int width) { return width == 8 ? Be64Bytes(v) : width == 4 ? Be32Bytes(v) : std::string(); };
    std::string body;
    body += static_cast<char>(offsetSize << 4 | lengthSize);
    body += '\0';
    body += Be16Bytes(count ? count : items.size());
    for (const Item& it : items) {
        body += Be16Bytes(it.id) + Be16Bytes(it.method) + Be16Bytes(it.reference) + Be16Bytes(it.extents.size());
        for (const Extent& e : it.extents) body += number(e.offset, offsetSize) + number(e.length, lengthSize);
    }
    return FullBox("iloc", 1, 0, body);
}

std::string Iinf(uint32_t exifId, uint32_t count = 2, int version = 0) {
    auto infe = [](uint32_t id, const std::string& type) {
        return FullBox("infe", 2, 0, Be16Bytes(id) + Be16Bytes(0) + type + std::string(1, '\0'));
    };
    return FullBox("iinf", version, 0,
                   (version == 0 ? Be16Bytes(count) : Be32Bytes(count)) + infe(1, "hvc1") + infe(exifId, "Exif"));
}

// An HEIC whose location box is made by iloc(where the data box's content
// starts); the data box holds a picture and then the EXIF item.
template <class MakeIloc>
std::string HeicWith(const std::string& iinf, MakeIloc iloc, const std::string& exifItem,
                     const std::string& idat = "") {
    const std::string ftyp = Ftyp("heic", "mif1heic");
    auto meta = [&](uint64_t mdatAt) { return FullBox("meta", 0, 0, iinf + iloc(mdatAt) + idat); };
    const uint64_t mdatAt = ftyp.size() + meta(0).size() + 8;
    return ftyp + meta(mdatAt) + Box("mdat", Filler(1000) + exifItem);
}

}  // namespace

TEST(ExifContainers, DamagedHeif) {
    const std::string item = ExifItem(CameraTiff(false, kDate).Build());
    const uint64_t len = item.size();
    auto at = [&](uint32_t id, int method, int reference, std::vector<Extent> extents) {
        return [=](uint64_t mdatAt) {
            std::vector<Extent> placed = extents;
            for (Extent& e : placed)
                if (e.offset == 0) e.offset = mdatAt + 1000;
            return Iloc({{1, 0, 0, {{mdatAt, 1000}}}, {id, method, reference, placed}});
        };
    };
    std::string badTiffOffset = item;
    badTiffOffset.replace(0, 4, Be32Bytes(5000));
    CheckDamaged({
        {"good", HeicWith(Iinf(2), at(2, 0, 0, {{0, len}}), item), Date},
        {"EXIF item past the end", HeicWith(Iinf(2), at(2, 0, 0, {{0x7FFFFFF0, len}}), item), ReadError},
        {"EXIF item at 2^63", HeicWith(Iinf(2), [&](uint64_t) {
             return Iloc({{2, 0, 0, {{1ULL << 63, len}}}}, 8, 8);
         }, item), ReadError},
        {"EXIF item running past the end", HeicWith(Iinf(2), at(2, 0, 0, {{0, len + 100000}}), item.substr(0, 30)), ReadError},
        {"TIFF header outside the item", HeicWith(Iinf(2), at(2, 0, 0, {{0, len}}), badTiffOffset), NoDate},
        {"item in two extents", HeicWith(Iinf(2), at(2, 0, 0, {{0, 20}, {0, len - 20}}), item), NoDate},
        {"item in no extent", HeicWith(Iinf(2), at(2, 0, 0, {}), item), NoDate},
        {"item made of other items", HeicWith(Iinf(2), at(2, 2, 0, {{0, len}}), item), NoDate},
        {"item in another file", HeicWith(Iinf(2), at(2, 0, 1, {{0, len}}), item), NoDate},
        {"item in idat without one", HeicWith(Iinf(2), at(2, 1, 0, {{0, len}}), item), NoDate},
        {"item past the end of idat", HeicWith(Iinf(2), at(2, 1, 0, {{8, len}}), "", Box("idat", item)), NoDate},
        {"offsets of three bytes", HeicWith(Iinf(2), [&](uint64_t) { return Iloc({}, 3, 4); }, item), NoDate},
        {"65535 items of no bytes", HeicWith(Iinf(2), [&](uint64_t) { return Iloc({}, 0, 0, 65535); }, item), NoDate},
        {"no location box", HeicWith(Iinf(2), [](uint64_t) { return std::string(); }, item), NoDate},
        {"no EXIF entry", HeicWith(Iinf(7), at(2, 0, 0, {{0, len}}), item), NoDate},
        {"entry count of 2^32 - 1", HeicWith(Iinf(2, 0xFFFFFFFF, 1), at(2, 0, 0, {{0, len}}), item), Date},
    });
}

TEST(ExifContainers, DamagedCr3) {
    const std::string cmt1 = Tiff().Build();
    Tiff exif;
    exif.ifd0 = {Ascii(0x9004, kDate)};
    const std::string cmt2 = exif.Build();
    std::string far = cmt2;
    far.replace(4, 4, std::string("\xF0\xFF\xFF\x7F", 4));
    const std::string whole = Cr3(cmt1, cmt2);
    const size_t cmt2At = whole.find("CMT2") + 4;
    auto moovWith = [](const std::string& uuid) {
        return Ftyp("crx ", "crx ") + Box("moov", Box("uuid", uuid) + Mvhd(0, kSummerClip)) + Box("mdat", Filler(100));
    };
    CheckDamaged({
        {"good", whole, Date},
        {"EXIF directory past the end", Cr3(cmt1, far), ReadError},
        {"first block past the end, the date in the second", Cr3(far, cmt2), Date},
        {"first block cut, the date in the second", Cr3(cmt1.substr(0, 9), cmt2), Date},
        {"cut inside the EXIF block", whole.substr(0, cmt2At + 6), ReadError},
        {"metadata box of another user type", moovWith(std::string(16, '\x01') + Box("CMT2", cmt2)), NoDate},
        {"metadata box too short for its type", moovWith(CanonUuid().substr(0, 10)), NoDate},
    });
}

TEST(ExifContainers, DamagedAvi) {
    const std::string idit = Chunk("IDIT", "SUN JUL 14 00:30:12 2019\n");
    const std::string hdrl = List("hdrl", Chunk("avih", std::string(56, '\0')) + idit);
    auto riff = [](uint32_t size, const std::string& body) { return "RIFF" + Le32Bytes(size) + "AVI " + body; };
    const std::string good = Avi("SUN JUL 14 00:30:12 2019");
    CheckDamaged({
        {"good", good, Date},
        {"RIFF size of 2^32 - 1", riff(0xFFFFFFFF, hdrl), Date},
        // A recording cut short leaves the RIFF's size unwritten or too small.
        {"RIFF size 0", riff(0, hdrl), Date},
        {"RIFF size too small for any chunk", riff(4, hdrl), Date},
        {"header list larger than the file's RIFF", riff(20, hdrl), Date},
        {"date chunk larger than its list", riff(0xFFFFFFFF, Chunk("LIST", "hdrl" + std::string("IDIT", 4) + Le32Bytes(500) + "SUN")), NoDate},
        {"chunk header cut", riff(0xFFFFFFFF, hdrl.substr(0, 6)), ReadError},
        {"date text cut", riff(0xFFFFFFFF, hdrl).substr(0, 12 + hdrl.size() - 8), ReadError},
        {"movie data first", riff(0xFFFFFFFF, List("movi", Filler(100)) + hdrl), NoDate},
        {"thousands of chunks before the header", riff(0xFFFFFFFF, [] {
             std::string s;
             for (int i = 0; i < 5000; ++i) s += Chunk("JUNK", "");
             return s;
         }() + hdrl), NoDate},
    });
}

// CR3 takes its first IFD0 block and its first EXIF block; the boxes after
// them are not walked, however many there are.
TEST(ExifContainers, Cr3TakesItsFirstBlocksOnly) {
    Tiff first, second, firstExif, secondExif;
    first.ifd0 = {Ascii(0x010F, "KAMERA")};
    second.ifd0 = {Ascii(0x010F, "JINA")};
    firstExif.ifd0 = {Ascii(0x9004, kDate)};
    secondExif.ifd0 = {Ascii(0x9004, "2001:01:01 00:00:00")};
    std::string canon = CanonUuid() + Box("CMT1", first.Build()) + Box("CMT2", firstExif.Build());
    for (int i = 0; i < 200; ++i) canon += Box("CMT1", second.Build()) + Box("CMT2", secondExif.Build());
    const std::string file = Ftyp("crx ", "crx ") + Box("moov", Box("uuid", canon)) + Box("mdat", Filler(100));
    Outcome o = Read(file);
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.exif.Make, "KAMERA");
    EXPECT_EQ(o.exif.DateTimeDigitized, kDate);
}

namespace {

// A large file of which only the head and the tail hold bytes (a clip of
// gigabytes whose movie box follows its data); the rest reads as zeros and
// counts as read, byte by byte.
class SparseFile : public IReadFile {
public:
    SparseFile(std::string head, uint64_t tailAt, std::string tail)
        : head_(std::move(head)), tailAt_(tailAt), tail_(std::move(tail)) {}
    size_t ReadAt(uint64_t offset, void* dst, size_t n) override {
        ++calls;
        const uint64_t size = tailAt_ + tail_.size();
        if (offset >= size) return 0;
        const size_t got = static_cast<size_t>(std::min<uint64_t>(n, size - offset));
        auto* out = static_cast<char*>(dst);
        for (size_t k = 0; k < got; ++k) {
            const uint64_t at = offset + k;
            out[k] = at < head_.size() ? head_[at] : at >= tailAt_ ? tail_[at - tailAt_] : '\0';
            if (at >= head_.size() && at < tailAt_) ++gapBytes;
        }
        return got;
    }
    int calls = 0;
    uint64_t gapBytes = 0;

private:
    std::string head_;
    uint64_t tailAt_;
    std::string tail_;
};

}  // namespace

// A movie box is found wherever it lies, past what cannot be read of the
// boxes before it or beside it.
TEST(ExifContainers, MoviesReadWhatTheyCan) {
    const std::string ftyp = Ftyp("isom", "isomiso2mp41");
    const std::string moov = Box("moov", Mvhd(0, kSummerClip) + Trak());
    const std::string mdat = Box("mdat", Filler(500));
    // A file-level metadata box as cameras write it before the movie: a
    // handler and an XML box, no EXIF item.
    const std::string fileMeta =
        FullBox("meta", 0, 0, FullBox("hdlr", 0, 0, Be32Bytes(0) + "mp7t" + std::string(13, '\0')) +
                                  FullBox("xml ", 0, 0, "<Mpeg7/>"));
    // One whose EXIF item lies past the end of the file.
    Heif lost;
    lost.exif = ExifItem(Tiff().Build());
    const std::string lostMeta = lost.Meta(1ULL << 30, 1ULL << 31);
    // A movie cut inside the name of its first key, its header read before.
    const std::string cutKeys = FullBox("keys", 0, 0, Be32Bytes(1) + Be32Bytes(40) + "mdta" + "com.apple.quick");
    const std::string cutMovie = Be32Bytes(100000) + "moov" + Mvhd(0, kSummerClip) + Be32Bytes(50000) + "meta" +
                                 FullBox("hdlr", 0, 0, Be32Bytes(0) + "mdta" + std::string(13, '\0')) +
                                 Box("ilst", "") + Be32Bytes(cutKeys.size() + 17) + cutKeys.substr(4);
    CheckDamaged({
        {"metadata box before the movie", ftyp + fileMeta + moov + mdat, Date},
        {"metadata box with an unreadable EXIF item before the movie", ftyp + lostMeta + moov + mdat, Date},
        {"metadata box with a child larger than itself, then the movie",
         ftyp + Be32Bytes(fileMeta.size()) + "meta" + std::string(4, '\0') + Be32Bytes(0x7FFFFFF0) + "hdlr" +
             std::string(fileMeta.size() - 20, '\0') + moov,
         Date},
        {"keys cut by the end after the movie header", ftyp + cutMovie, Date},
    });

    // The movie behind 100 MB of data, and behind 5 GB in a 64-bit box: the
    // data is stepped over, never read.
    for (uint64_t data : {uint64_t(100) << 20, uint64_t(5) << 30}) {
        const bool large = data > 0xFFFFFFF0u;
        const std::string head = ftyp + (large ? Be32Bytes(1) + "mdat" + Be64Bytes(16 + data)
                                               : Be32Bytes(8 + data) + "mdat");
        SparseFile file(head, head.size() + data, moov);
        TExif x;
        x.ReadFromFile(file);
        EXPECT_EQ(x.MovieCreated, kSummerClip) << data;
        EXPECT_LE(file.calls, 3) << data;
        EXPECT_LE(file.gapBytes, 4096u) << data;
    }
}

// The movie header's duration, in either version, and what is no duration.
TEST(ExifContainers, MovieDuration) {
    auto header = [](int version, uint64_t scale, uint64_t duration) {
        const std::string times = version == 1 ? Be64Bytes(kSummerClip) + Be64Bytes(kSummerClip) + Be32Bytes(scale) +
                                                     Be64Bytes(duration)
                                               : Be32Bytes(kSummerClip) + Be32Bytes(kSummerClip) + Be32Bytes(scale) +
                                                     Be32Bytes(duration);
        return MovieWith(FullBox("mvhd", version, 0, times + std::string(80, '\0')));
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
