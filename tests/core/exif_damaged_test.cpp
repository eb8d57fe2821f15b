// The EXIF reader on damaged and hostile files of the containers other than
// JPEG: what it reads of them, within bounded reads, and when it says that
// a file cannot be read.
#include "exif/Exif.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "tests/core/exif_read.h"

using namespace exiffix;
using namespace exifread;

TEST(ExifDamaged, DamagedTiffRaw) {
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

TEST(ExifDamaged, DamagedRaf) {
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

TEST(ExifDamaged, DamagedBoxes) {
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

TEST(ExifDamaged, DamagedQuickTimeKeys) {
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

TEST(ExifDamaged, DamagedHeif) {
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

TEST(ExifDamaged, DamagedCr3) {
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

TEST(ExifDamaged, DamagedAvi) {
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
TEST(ExifDamaged, Cr3TakesItsFirstBlocksOnly) {
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
TEST(ExifDamaged, MoviesReadWhatTheyCan) {
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
