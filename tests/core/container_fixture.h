#pragma once
// Builds small files of the containers that carry an EXIF block or a date of
// their own, byte by byte, for the tests, the fuzz seeds and the benchmark:
// RAW files that are TIFF files, RAF, HEIF/AVIF, CR3, QuickTime/MP4 movies
// and AVI. Each is the least the format needs around its metadata, laid out
// as cameras and phones lay it out, with filler where the picture would be.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/core/exif_fixture.h"

namespace exiffix {

inline std::string Be32Bytes(uint64_t v) {
    std::string s;
    for (int i = 3; i >= 0; --i) s += static_cast<char>(v >> (8 * i));
    return s;
}
inline std::string Be16Bytes(uint64_t v) { return {static_cast<char>(v >> 8), static_cast<char>(v)}; }
inline std::string Be64Bytes(uint64_t v) { return Be32Bytes(v >> 32) + Be32Bytes(v & 0xFFFFFFFF); }
inline std::string Le32Bytes(uint64_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += static_cast<char>(v >> (8 * i));
    return s;
}

// Picture-like bytes that hold no structure of their own.
inline std::string Filler(size_t n, int seed = 0) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(0x10 + (i * 7 + static_cast<size_t>(seed)) % 0xE0);
    return s;
}

// ---- RAW files that are TIFF files ------------------------------------------

// A TIFF block as a whole RAW file: the header (with the given number in
// place of 42), IFD0, the EXIF directory, then picture data.
inline std::string TiffRaw(Tiff t, uint16_t magic = 42, const std::string& afterHeader = "",
                           size_t pictureBytes = 2000) {
    t.magic = magic;
    t.afterHeader = afterHeader;
    return t.Build() + Filler(pictureBytes);
}

// The numbers and the 8 bytes after the header that make a TIFF file a RAW
// file of one maker, by extension.
struct RawKind {
    const char* ext;
    bool motorola;
    uint16_t magic;
    std::string afterHeader;
};
inline std::vector<RawKind> RawKinds() {
    const std::string cr2("CR\x02\0\0\0\0\0", 8);
    return {{"CR2", false, 42, cr2},    {"NEF", true, 42, ""},      {"NRW", false, 42, ""},
            {"ARW", false, 42, ""},     {"SRF", false, 42, ""},     {"SR2", false, 42, ""},
            {"DNG", false, 42, ""},     {"PEF", true, 42, ""},      {"SRW", false, 42, ""},
            {"ORF", false, 0x4F52, ""}, {"ORF", true, 0x4F52, ""},  {"ORF", false, 0x5352, ""},
            {"RW2", false, 0x0055, ""}};
}

// A camera's RAW file of one kind with the given digitized date.
inline std::string Raw(const RawKind& kind, const std::string& digitized, size_t pictureBytes = 2000) {
    return TiffRaw(CameraTiff(kind.motorola, digitized), kind.magic, kind.afterHeader, pictureBytes);
}

// ---- RAF ------------------------------------------------------------------

// The header with the JPEG's offset and length at 84, then the JPEG, then
// the raw data. jpegAt 0 puts the JPEG right after the header.
inline std::string Raf(const std::string& jpeg, uint32_t jpegAt = 0, size_t rawBytes = 2000) {
    std::string h = "FUJIFILMCCD-RAW 0201FF383501";
    h += std::string("X-KAMERA", 8);
    h.resize(60, '\0');
    h += "0100";
    h.resize(84, '\0');
    const uint32_t at = jpegAt ? jpegAt : 148;
    h += Be32Bytes(at) + Be32Bytes(jpeg.size());
    h += Be32Bytes(at + jpeg.size()) + Be32Bytes(rawBytes);
    h.resize(at, '\0');
    return h + jpeg + Filler(rawBytes);
}

// ---- boxes ------------------------------------------------------------------

inline std::string Box(const std::string& type, const std::string& content) {
    return Be32Bytes(8 + content.size()) + type + content;
}
// A box with the 64-bit size form (size 1, then the real size).
inline std::string Box64(const std::string& type, const std::string& content, uint64_t size = 0) {
    return Be32Bytes(1) + type + Be64Bytes(size ? size : 16 + content.size()) + content;
}
inline std::string FullBox(const std::string& type, int version, uint32_t flags, const std::string& content) {
    return Box(type, static_cast<char>(version) + Be32Bytes(flags).substr(1) + content);
}
inline std::string Ftyp(const std::string& major, const std::string& compatible) {
    return Box("ftyp", major + Be32Bytes(0) + compatible);
}

// The EXIF item's data: the offset of the TIFF header, "Exif" 00 00, the block.
inline std::string ExifItem(const std::string& tiff) { return Be32Bytes(6) + std::string("Exif\0\0", 6) + tiff; }

// An HEIF picture (or AVIF with brand "avif" and coding "av01"): an image
// item and an EXIF item, their places in the item location box (version 1,
// 32-bit offsets and lengths), both in mdat or, with inIdat, the EXIF item
// inside the metadata box's idat.
struct Heif {
    std::string brand = "heic";
    std::string coding = "hvc1";
    std::string exif;          // the EXIF item's data (ExifItem(...)); none when empty
    bool inIdat = false;
    int infeVersion = 2;
    size_t pictureBytes = 3000;

    std::string Meta(uint64_t pictureAt, uint64_t exifAt) const {
        std::string hdlr = FullBox("hdlr", 0, 0, Be32Bytes(0) + "pict" + std::string(12, '\0') + std::string(1, '\0'));
        std::string pitm = FullBox("pitm", 0, 0, Be16Bytes(1));
        auto infe = [&](uint32_t id, const std::string& type) {
            std::string c = infeVersion == 3 ? Be32Bytes(id) : Be16Bytes(id);
            return FullBox("infe", infeVersion, 0, c + Be16Bytes(0) + type + std::string(1, '\0'));
        };
        std::string items = infe(1, coding);
        if (!exif.empty()) items += infe(2, "Exif");
        std::string iinf = FullBox("iinf", 0, 0, Be16Bytes(exif.empty() ? 1 : 2) + items);
        auto entry = [](uint32_t id, int method, uint64_t at, uint64_t length) {
            return Be16Bytes(id) + Be16Bytes(method) + Be16Bytes(0) + Be16Bytes(1) + Be32Bytes(at) +
                   Be32Bytes(length);
        };
        std::string loc = entry(1, 0, pictureAt, pictureBytes);
        if (!exif.empty()) loc += entry(2, inIdat ? 1 : 0, inIdat ? 0 : exifAt, exif.size());
        std::string iloc = FullBox("iloc", 1, 0, std::string("\x44\x00", 2) + Be16Bytes(exif.empty() ? 1 : 2) + loc);
        std::string idat = inIdat && !exif.empty() ? Box("idat", exif) : "";
        return FullBox("meta", 0, 0, hdlr + pitm + iinf + iloc + idat);
    }

    std::string Build() const {
        const std::string ftyp = Ftyp(brand, "mif1" + brand + "miaf");
        const size_t metaSize = Meta(0, 0).size();
        const uint64_t mdatContent = ftyp.size() + metaSize + 8;
        const std::string picture = Filler(pictureBytes);
        const std::string exifInMdat = inIdat ? "" : exif;
        return ftyp + Meta(mdatContent, mdatContent + picture.size()) + Box("mdat", picture + exifInMdat);
    }
};

// ---- movies -----------------------------------------------------------------

// The movie header: version 0 (32-bit times) or 1 (64-bit), creation time in
// seconds since 1904, the duration in units of the time scale (ten seconds
// unless told).
inline std::string Mvhd(int version, uint64_t created, uint64_t scale = 600, uint64_t duration = 6000) {
    std::string times = version == 1 ? Be64Bytes(created) + Be64Bytes(created) + Be32Bytes(scale) + Be64Bytes(duration)
                                     : Be32Bytes(created) + Be32Bytes(created) + Be32Bytes(scale) + Be32Bytes(duration);
    return FullBox("mvhd", version, 0, times + std::string(80, '\0'));
}

// QuickTime metadata with one key per text: the handler, the keys, the
// item list whose items are typed by the key's index (from 1).
inline std::string KeysMeta(const std::vector<std::pair<std::string, std::string>>& values, bool quickTimeStyle) {
    std::string hdlr = FullBox("hdlr", 0, 0, Be32Bytes(0) + "mdta" + std::string(12, '\0') + std::string(1, '\0'));
    std::string keys, items;
    uint32_t index = 1;
    for (const auto& kv : values) {
        keys += Be32Bytes(8 + kv.first.size()) + "mdta" + kv.first;
        items += Box(Be32Bytes(index++), Box("data", Be32Bytes(1) + Be32Bytes(0) + kv.second));
    }
    std::string body = hdlr + FullBox("keys", 0, 0, Be32Bytes(values.size()) + keys) + Box("ilst", items);
    return quickTimeStyle ? Box("meta", body) : FullBox("meta", 0, 0, body);
}

inline std::string Trak() {
    return Box("trak", FullBox("tkhd", 0, 3, std::string(80, '\0')) + Box("mdia", FullBox("mdhd", 0, 0, std::string(20, '\0'))));
}

// A movie as a camera or phone writes it: ftyp (none for old QuickTime
// files), the movie box first or after the movie data.
struct Movie {
    std::string brand = "qt  ";    // "isom" for MP4, "3gp4", "M4V "; empty: no ftyp
    int mvhdVersion = 0;
    uint64_t created = 0;          // 0: the header says 0
    bool mvhd = true;
    std::string creationDate;      // com.apple.quicktime.creationdate; none when empty
    bool quickTimeMeta = true;
    bool moovLast = false;
    size_t dataBytes = 3000;

    std::string Build() const {
        std::string moovBody = (mvhd ? Mvhd(mvhdVersion, created) : "") + Trak() + Trak();
        if (!creationDate.empty())
            moovBody += KeysMeta({{"com.apple.quicktime.make", "Telefon"},
                                  {"com.apple.quicktime.creationdate", creationDate}},
                                 quickTimeMeta);
        const std::string moov = Box("moov", moovBody);
        const std::string mdat = Box("mdat", Filler(dataBytes));
        const std::string ftyp = brand.empty() ? "" : Ftyp(brand, brand + "isom");
        return moovLast ? ftyp + Box("free", std::string(8, '\0')) + mdat + moov : ftyp + moov + mdat;
    }
};

// ---- CR3 --------------------------------------------------------------------

inline std::string CanonUuid() {
    return std::string("\x85\xC0\xB6\x87\x82\x0F\x11\xE0\x81\x11\xF4\xCE\x46\x2B\x6A\x48", 16);
}

// CR3: ftyp "crx ", the movie box with Canon's metadata box (CMT1: IFD0,
// CMT2: the EXIF directory as the block's first directory), a movie header
// of its own, then the picture data.
inline std::string Cr3(const std::string& cmt1, const std::string& cmt2, uint64_t mvhdCreated = 0) {
    std::string canon = CanonUuid() + Box("CNCV", "CanonCR3_001/00.09.00/00.00.00") +
                        Box("CCTP", std::string(12, '\0')) + Box("CMT1", cmt1) + Box("CMT2", cmt2) +
                        Box("CMT3", std::string("II*\0\x08\0\0\0\0\0", 10)) + Box("THMB", Filler(400, 3));
    std::string moov = Box("moov", Box("uuid", canon) + Mvhd(0, mvhdCreated) + Trak());
    return Ftyp("crx ", "crx isom") + moov + Box("mdat", Filler(3000));
}

// The two blocks of a camera's CR3: IFD0's texts, and the EXIF directory.
inline std::string Cr3Of(const std::string& digitized, bool motorola = false) {
    Tiff ifd0;
    ifd0.motorola = motorola;
    ifd0.ifd0 = {Ascii(0x010F, "KAMERA"), Ascii(0x0110, "KAMERA R-5"), Ascii(0x0132, "2001:01:01 00:00:00")};
    Tiff exif;
    exif.motorola = motorola;
    exif.ifd0 = {Rational(0x829A, 1, 250), Short(0x8827, 800), Ascii(0x9003, "2001:01:01 00:00:00"),
                 Ascii(0x9004, digitized)};
    return Cr3(ifd0.Build(), exif.Build());
}

// ---- AVI --------------------------------------------------------------------

inline std::string Chunk(const std::string& id, const std::string& content) {
    std::string c = id + Le32Bytes(content.size()) + content;
    if (content.size() % 2) c += '\0';
    return c;
}
inline std::string List(const std::string& type, const std::string& content) {
    return Chunk("LIST", type + content);
}
// An AVI with its header list (main header, one stream list, the IDIT date
// text when given) and the movie list.
inline std::string Avi(const std::string& idit, size_t movieBytes = 3000) {
    std::string hdrl = Chunk("avih", std::string(56, '\0')) +
                       List("strl", Chunk("strh", "vids" + std::string(52, '\0')) + Chunk("strf", std::string(40, '\0')));
    if (!idit.empty()) hdrl += Chunk("IDIT", idit + std::string(1, '\0'));
    std::string body = "AVI " + List("hdrl", hdrl) + List("movi", Chunk("00dc", Filler(movieBytes)));
    return "RIFF" + Le32Bytes(body.size()) + body;
}

}  // namespace exiffix
