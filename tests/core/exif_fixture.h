#pragma once
// Builds small JPEG files with an EXIF block, byte by byte, for the tests,
// the fuzz seeds and the benchmark. Directories are laid out as cameras do:
// the TIFF header, IFD0 at offset 8, the EXIF directory right after it, then
// the values that do not fit into their entries.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace exiffix {

struct Entry {
    enum Kind { Bytes, Short, Long, Rational, Raw, ExifLink } kind = Raw;
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    std::string bytes;     // Bytes: the data, inline when 4 bytes or fewer
    uint32_t a = 0, b = 0; // Short/Long: a; Rational: a / b; Raw: the value field
};

// A zero-terminated ASCII text, count including the terminator.
inline Entry Ascii(uint16_t tag, const std::string& text) {
    Entry e;
    e.kind = Entry::Bytes;
    e.tag = tag;
    e.type = 2;
    e.bytes = text + std::string(1, '\0');
    e.count = static_cast<uint32_t>(e.bytes.size());
    return e;
}
// Bytes with a count of one's choosing (texts without terminator, padding).
inline Entry Text(uint16_t tag, const std::string& bytes, uint32_t count, uint16_t type = 2) {
    Entry e;
    e.kind = Entry::Bytes;
    e.tag = tag;
    e.type = type;
    e.bytes = bytes;
    e.count = count;
    return e;
}
inline Entry Short(uint16_t tag, uint16_t v) {
    Entry e;
    e.kind = Entry::Short;
    e.tag = tag;
    e.type = 3;
    e.count = 1;
    e.a = v;
    return e;
}
inline Entry Long(uint16_t tag, uint32_t v) {
    Entry e;
    e.kind = Entry::Long;
    e.tag = tag;
    e.type = 4;
    e.count = 1;
    e.a = v;
    return e;
}
inline Entry Rational(uint16_t tag, uint32_t n, uint32_t d, uint16_t type = 5) {
    Entry e;
    e.kind = Entry::Rational;
    e.tag = tag;
    e.type = type;
    e.count = 1;
    e.a = n;
    e.b = d;
    return e;
}
// An entry whose value field is written as given (hostile offsets).
inline Entry Raw(uint16_t tag, uint16_t type, uint32_t count, uint32_t valueField) {
    Entry e;
    e.kind = Entry::Raw;
    e.tag = tag;
    e.type = type;
    e.count = count;
    e.a = valueField;
    return e;
}
// Tag 8769 pointing at the EXIF directory of the same block.
inline Entry ExifLink() {
    Entry e;
    e.kind = Entry::ExifLink;
    e.tag = 0x8769;
    e.type = 4;
    e.count = 1;
    return e;
}
inline Entry End() { return Raw(0, 0, 0, 0); }

struct Tiff {
    bool motorola = false;
    uint16_t magic = 42;        // ORF and RW2 put numbers of their own here
    std::string afterHeader;    // bytes between the header and IFD0 (CR2 keeps 8)
    std::vector<Entry> ifd0;
    std::vector<Entry> exif;
    int ifd0Count = -1;  // the stored entry count, when not the real one
    int exifCount = -1;

    void Put16(std::string& out, size_t at, uint32_t v) const {
        uint8_t b0 = static_cast<uint8_t>(v), b1 = static_cast<uint8_t>(v >> 8);
        out[at] = static_cast<char>(motorola ? b1 : b0);
        out[at + 1] = static_cast<char>(motorola ? b0 : b1);
    }
    void Put32(std::string& out, size_t at, uint32_t v) const {
        for (int i = 0; i < 4; ++i) {
            uint8_t byte = static_cast<uint8_t>(v >> (8 * i));
            out[at + (motorola ? 3 - i : i)] = static_cast<char>(byte);
        }
    }

    std::string Build() const {
        const size_t ifd0At = 8 + afterHeader.size();
        const size_t exifAt = ifd0At + 2 + 12 * ifd0.size() + 4;
        size_t dataAt = exifAt + 2 + 12 * exif.size() + 4;
        std::string out(dataAt, '\0');
        out[0] = out[1] = motorola ? 'M' : 'I';
        Put16(out, 2, magic);
        Put32(out, 4, static_cast<uint32_t>(ifd0At));
        out.replace(8, afterHeader.size(), afterHeader);
        auto writeDir = [&](size_t at, const std::vector<Entry>& entries, int countOverride) {
            Put16(out, at, countOverride >= 0 ? static_cast<uint32_t>(countOverride)
                                              : static_cast<uint32_t>(entries.size()));
            size_t p = at + 2;
            for (const Entry& e : entries) {
                Put16(out, p, e.tag);
                Put16(out, p + 2, e.type);
                Put32(out, p + 4, e.count);
                std::string data;
                switch (e.kind) {
                    case Entry::Bytes:
                        if (e.bytes.size() <= 4)
                            for (size_t i = 0; i < e.bytes.size(); ++i) out[p + 8 + i] = e.bytes[i];
                        else
                            data = e.bytes;
                        break;
                    case Entry::Short: Put16(out, p + 8, e.a); break;
                    case Entry::Long:
                    case Entry::Raw: Put32(out, p + 8, e.a); break;
                    case Entry::ExifLink: Put32(out, p + 8, static_cast<uint32_t>(exifAt)); break;
                    case Entry::Rational:
                        data.assign(8, '\0');
                        Put32(data, 0, e.a);
                        Put32(data, 4, e.b);
                        break;
                }
                if (!data.empty()) {
                    Put32(out, p + 8, static_cast<uint32_t>(out.size()));
                    out += data;
                    if (out.size() % 2) out += '\0';
                }
                p += 12;
            }
        };
        writeDir(ifd0At, ifd0, ifd0Count);
        writeDir(exifAt, exif, exifCount);
        return out;
    }
};

// A JPEG segment: its marker, its length (counting itself, not the marker)
// and its content.
inline std::string JpegSegment(uint8_t code, const std::string& body) {
    const size_t length = body.size() + 2;
    std::string s = "\xFF";
    s += static_cast<char>(code);
    s += static_cast<char>(length >> 8);
    s += static_cast<char>(length & 0xFF);
    return s + body;
}

// FF D8, an optional APP0 segment of the given length (16 is the standard
// JFIF header), the APP1 segment with the TIFF block, then segments of
// picture-like filler up to totalSize and FF D9.
inline std::string Jpeg(const std::string& tiff, int app0Length = 0, size_t totalSize = 0) {
    std::string out = "\xFF\xD8";
    if (app0Length > 0) {
        std::string body("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14);
        body.resize(static_cast<size_t>(app0Length - 2), '\0');
        out += JpegSegment(0xE0, body);
    }
    out += JpegSegment(0xE1, std::string("Exif\0\0", 6) + tiff);
    // Comment segments stand for the picture, so that other readers (which
    // walk every segment) take the file for a JPEG too.
    size_t i = 0;
    while (out.size() + 2 < totalSize) {
        size_t room = totalSize - 2 - out.size();
        if (room < 4) {
            out.append(room, '\xFF');  // fill bytes before the end marker
            break;
        }
        size_t length = std::min<size_t>(room - 2, 65535);
        if (room - 2 - length > 0 && room - 2 - length < 4) length -= 4;  // no tail too short for a segment
        std::string picture;
        for (size_t k = 2; k < length; ++k, ++i) picture += static_cast<char>(0x10 + i % 0xE0);
        out += JpegSegment(0xFE, picture);
    }
    out += "\xFF\xD9";
    return out;
}

// The head of a typical camera picture: texts in IFD0, the exposure values
// and the three dates in the EXIF directory.
inline Tiff CameraTiff(bool motorola, const std::string& digitized) {
    Tiff t;
    t.motorola = motorola;
    t.ifd0 = {Ascii(0x010F, "KAMERA"), Ascii(0x0110, "KAMERA X-100"), Short(0x0112, 1),
              Rational(0x011A, 72, 1), Rational(0x011B, 72, 1), Ascii(0x0131, "Firmware 1.02"),
              Ascii(0x0132, "2008:05:09 14:07:03"), ExifLink()};
    t.exif = {Rational(0x829A, 1, 125), Rational(0x829D, 28, 10), Short(0x8822, 2), Short(0x8827, 400),
              Ascii(0x9003, "2008:05:09 14:07:03"), Ascii(0x9004, digitized),
              Rational(0x9201, 6906, 1000, 10), Rational(0x9202, 297, 100), Short(0x9207, 5),
              Short(0x9209, 25), Text(0x927C, std::string(600, 'M'), 600, 7), Short(0xA002, 3072),
              Short(0xA003, 2304)};
    return t;
}

}  // namespace exiffix
