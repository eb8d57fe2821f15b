#include "exif/Exif.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "exif/ExifStream.h"
#include "exif/IsoMedia.h"
#include "exif/JpegSegments.h"
#include "exif/Riff.h"
#include "exif/TiffRaw.h"

const char* const kReadBeyondEndOfFile = "Read beyond end of file";

size_t TMemoryReadFile::ReadAt(uint64_t offset, void* dst, size_t n) {
    if (offset >= bytes_.size()) return 0;
    size_t got = std::min<uint64_t>(n, bytes_.size() - offset);
    std::memcpy(dst, bytes_.data() + offset, got);
    return got;
}

namespace {

// No EXIF value can be longer than its APP1 segment, whose length is a
// 16-bit number; a longer count is hostile and is not followed further.
constexpr uint32_t kMaxTextBytes = 65535;

// Values whose reading is put off until the walk is over. The later entry of
// a tag wins, so only the last one of each needs its data read; a hostile
// directory of 65535 text entries then costs one text read, not 65535.
enum Slot {
    sImageDescription, sMake, sModel, sSoftware, sDateTime, sArtist, sCopyright,
    sXResolution, sYResolution,
    sExposureTime, sFNumber, sCompressedBitsPerPixel, sAperture, sMaxAperture, sShutterSpeed,
    sDateTimeOriginal, sDateTimeDigitized, sUserComment,
    kSlotCount
};

int Ifd0Slot(uint16_t tag) {
    switch (tag) {
        case 0x010E: return sImageDescription;
        case 0x010F: return sMake;
        case 0x0110: return sModel;
        case 0x0131: return sSoftware;
        case 0x0132: return sDateTime;
        case 0x013B: return sArtist;
        case 0x8298: return sCopyright;
        case 0x011A: return sXResolution;
        case 0x011B: return sYResolution;
        default: return -1;
    }
}

int ExifSlot(uint16_t tag) {
    switch (tag) {
        case 0x829A: return sExposureTime;
        case 0x829D: return sFNumber;
        case 0x9102: return sCompressedBitsPerPixel;
        case 0x9202: return sAperture;
        case 0x9205: return sMaxAperture;
        case 0x9201: return sShutterSpeed;
        case 0x9003: return sDateTimeOriginal;
        case 0x9004: return sDateTimeDigitized;
        case 0x9286: return sUserComment;
        default: return -1;
    }
}

std::string TrimTrailingControls(std::string s) {
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.pop_back();
    return s;
}

}  // namespace

std::string TExif::OrientationName(uint32_t v) {
    static const char* const names[9] = {
        "Normal", "Mirrored", "Rotated 180", "Rotated 180, mirrored", "Rotated 90 left, mirrored",
        "Rotated 90 right", "Rotated 90 right, mirrored", "Rotated 90 left", "Unknown"};
    return names[v >= 1 && v <= 8 ? v - 1 : 8];
}

std::string TExif::ExposureProgramName(uint32_t v) {
    static const char* const names[9] = {
        "Unknown", "Manual Control", "Normal Program", "Aperture Priority", "Shutter Priority",
        "Creative Program", "Action Program", "Portrait Mode", "Landscape Mode"};
    return names[v <= 8 ? v : 0];
}

std::string TExif::MeteringModeName(uint32_t v) {
    static const char* const names[8] = {
        "Unknown", "Average", "Center Weighted Average", "Spot", "Multi Spot", "Pattern", "Partial", "Other"};
    return names[v <= 7 ? v : 0];
}

std::string TExif::LightSourceName(uint32_t v) {
    switch (v) {
        case 1: return "Daylight";
        case 2: return "Flourescent";
        case 3: return "Tungsten";
        case 10: return "Flash";
        case 17: return "Standard Light A";
        case 18: return "Standard Light B";
        case 19: return "Standard Light C";
        case 20: return "D55";
        case 21: return "D65";
        case 22: return "D75";
        case 255: return "Other";
        default: return "Unknown";
    }
}

std::string TExif::FlashName(uint32_t v) {
    switch (v) {
        case 1: return "Flash";
        case 5: return "Flash No Strobe";
        case 7: return "Flash Strobe";
        case 25: return "Flash (Auto)";
        default: return "No Flash";
    }
}

uint32_t TExif::ToHost32(const uint8_t* p) const {
    if (Motorola) return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

uint16_t TExif::ToHost16(const uint8_t* p) const {
    return static_cast<uint16_t>(Motorola ? p[0] << 8 | p[1] : p[1] << 8 | p[0]);
}

void TExif::Clear() { *this = TExif(); }

// The reader's side of the walkers: every EXIF block they find goes
// through the one tag walk, each on its own, every movie date into its
// field; the first part that could not be read is kept.
class TExifBlocks : public IExifBlocks {
public:
    TExifBlocks(TExif& exif, TExifStream& s) : exif_(exif), s_(s) {}
    void TiffBlock(uint64_t base, bool exifDirectory) override {
        exif_.HasExif = true;
        ReadOnItsOwn(*this, [&] { exif_.WalkTiff(s_, base, exifDirectory); });
    }
    void MovieHeader(uint64_t secondsSince1904, uint64_t durationMs) override {
        exif_.MovieCreated = secondsSince1904;
        exif_.MovieDurationMs = durationMs;
    }
    void CreationDate(const std::string& text) override { exif_.CreationDate = text; }
    void Unreadable(const char* reason) override {
        if (!failed_) firstFailure_ = reason;
        failed_ = true;
    }
    // A damaged part costs nothing when another gave the date; otherwise the
    // file is as unreadable as one cut in its first structure.
    void ThrowWhenNothingDated() const {
        const bool dated = !exif_.DateTimeDigitized.empty() || exif_.MovieCreated != 0 || !exif_.CreationDate.empty();
        if (failed_ && !dated) throw std::runtime_error(firstFailure_);
    }

private:
    TExif& exif_;
    TExifStream& s_;
    bool failed_ = false;
    std::string firstFailure_;
};

// The container is told by its first bytes, not by the file's name: a card
// holds what the camera wrote, whatever the extension says. A file too short
// for the two bytes of a JPEG start is unreadable; one that is none of these
// containers has no EXIF block.
void TExif::ReadFromFile(IReadFile& file) {
    Clear();
    TExifStream s(file);
    TExifBlocks blocks(*this, s);
    uint8_t head[16];
    s.pos = 0;
    s.Read(head, 2);
    const size_t n = s.ReadUpTo(0, head, sizeof head);
    ReadOnItsOwn(blocks, [&] {
        if (head[0] == 0xFF && head[1] == 0xD8)
            WalkJpeg(s, 0, blocks);
        else if (IsTiffRaw(head, n))
            WalkTiffRaw(blocks);
        else if (IsRaf(head, n))
            WalkRaf(s, blocks);
        else if (IsIsoMedia(head, n))
            WalkIsoMedia(s, blocks);
        else if (IsAvi(head, n))
            WalkAvi(s, blocks);
    });
    blocks.ThrowWhenNothingDated();
}

TExif::TEntry TExif::ReadEntry(TExifStream& s) {
    uint8_t b[12];
    s.Read(b, sizeof b);
    TEntry e;
    e.tag = ToHost16(b);
    e.type = ToHost16(b + 2);
    e.count = ToHost32(b + 4);
    std::memcpy(e.raw, b + 8, 4);
    if (e.type == 1)
        e.value = b[8];
    else if (e.type == 3)
        e.value = ToHost16(b + 8);
    else
        e.value = ToHost32(b + 8);
    return e;
}

// Reads at most count - 1 bytes (at least one) up to a zero byte and drops
// trailing blanks and control characters. A text of four bytes or fewer is
// stored inside the entry itself, as TIFF prescribes, and is taken from
// there instead of following the value field as an offset.
std::string TExif::ReadText(TExifStream& s, uint64_t position, const TEntry& e) {
    if (e.count == 0) return {};
    uint32_t limit = std::min(std::max<uint32_t>(e.count - 1, 1), kMaxTextBytes);
    std::string text;
    if (e.count <= 4) {
        for (uint32_t i = 0; i < limit; ++i) {
            text += static_cast<char>(e.raw[i]);
            if (e.raw[i] == 0) break;
        }
        return TrimTrailingControls(std::move(text));
    }
    try {
        uint64_t at = position;
        while (text.size() < limit) {
            const uint8_t* p = nullptr;
            size_t avail = s.Window(at, p);
            if (avail == 0) return {};  // the file ends inside the text
            size_t take = std::min<size_t>(avail, limit - text.size());
            const void* zero = std::memchr(p, 0, take);
            if (zero) {
                text.append(reinterpret_cast<const char*>(p), static_cast<const uint8_t*>(zero) - p + 1);
                break;
            }
            text.append(reinterpret_cast<const char*>(p), take);
            at += take;
        }
    } catch (const std::runtime_error&) {
        return {};
    }
    return TrimTrailingControls(std::move(text));
}

int32_t TExif::ReadLong(TExifStream& s, uint64_t position) {
    uint8_t b[4];
    try {
        if (!s.ReadAt(position, b, 4)) return 0;
    } catch (const std::runtime_error&) {
        return 0;
    }
    return static_cast<int32_t>(ToHost32(b));
}

float TExif::ReadRational(TExifStream& s, uint64_t position) {
    uint8_t b[8];
    try {
        if (!s.ReadAt(position, b, 8)) return 0;
    } catch (const std::runtime_error&) {
        return 0;
    }
    uint32_t n = ToHost32(b), d = ToHost32(b + 4);
    if (d == 0) return 0;
    return static_cast<float>(static_cast<double>(n) / d);
}

std::string TExif::ReadRationalText(TExifStream& s, uint64_t position, bool decimal) {
    uint8_t b[8];
    try {
        if (!s.ReadAt(position, b, 8)) return {};
    } catch (const std::runtime_error&) {
        return {};
    }
    uint32_t n = ToHost32(b), d = ToHost32(b + 4);
    if (!decimal) {
        // A zero exposure over a microsecond denominator reads "0"; any other
        // value keeps its fraction, so 16667/1000000 is not shown as zero.
        if (d == 1000000 && n == 0) return "0";
        return std::to_string(n) + "/" + std::to_string(d);
    }
    if (d == 0) return {};
    // Hundredths rounded half up in integers: exact for every 32-bit n and d
    // and free of the locale's decimal separator.
    uint64_t hundredths = (uint64_t(n) * 200 + d) / (uint64_t(d) * 2);
    uint64_t frac = hundredths % 100;
    std::string text = std::to_string(hundredths / 100) + "." + char('0' + frac / 10) + char('0' + frac % 10);
    if (text.back() == '0') text.pop_back();
    return text;
}

// The one tag walk, over a TIFF block wherever its container keeps it: the
// header, IFD0 and the EXIF directory it links to. All offsets count from
// the header's first byte. The header is read with the two bytes after it,
// which are IFD0's entry count in the usual layout (IFD0 at offset 8).
void TExif::WalkTiff(TExifStream& s, uint64_t base, bool exifDirectory) {
    uint8_t b[10];
    s.pos = base;
    s.Read(b, 10);
    Motorola = b[0] == 'M' && b[1] == 'M';
    const uint32_t ifd0 = ToHost32(b + 4);

    TEntry pending[kSlotCount];
    bool has[kSlotCount] = {};
    auto defer = [&](int slot, const TEntry& e) {
        if (slot < 0) return false;
        pending[slot] = e;
        has[slot] = true;
        return true;
    };
    auto resolve = [&] {
        for (int i = 0; i < kSlotCount; ++i) {
            if (!has[i]) continue;
            const TEntry& e = pending[i];
            const uint64_t at = base + e.value;
            switch (i) {
                case sImageDescription: ImageDescription = ReadText(s, at, e); break;
                case sMake: Make = ReadText(s, at, e); break;
                case sModel: Model = ReadText(s, at, e); break;
                case sSoftware: Software = ReadText(s, at, e); break;
                case sDateTime: DateTime = ReadText(s, at, e); break;
                case sArtist: Artist = ReadText(s, at, e); break;
                case sCopyright: Copyright = ReadText(s, at, e); break;
                case sXResolution: XResolution = ReadLong(s, at); break;
                case sYResolution: YResolution = ReadLong(s, at); break;
                case sExposureTime: ExposureTime = ReadRationalText(s, at, false) + " seconds"; break;
                case sFNumber: FNumber = ReadRationalText(s, at, true); break;
                case sCompressedBitsPerPixel: CompressedBitsPerPixel = ReadRationalText(s, at, true); break;
                case sAperture: Aperture = ReadRationalText(s, at, true); break;
                case sMaxAperture: MaxAperture = ReadRationalText(s, at, true); break;
                case sShutterSpeed: {
                    // An APEX value: the exposure is 1 / 2^v seconds. Read
                    // unsigned, a negative v (long exposures) arrives huge.
                    float v = ReadRational(s, at);
                    if (v >= 65535.0f) {
                        ShutterSpeed = "1 seconds";
                    } else {
                        double r = std::pow(2.0, static_cast<double>(v));
                        ShutterSpeed = r < 9.2e18 ? "1/" + std::to_string(std::llround(r)) + " seconds" : "";
                    }
                    break;
                }
                case sDateTimeOriginal: DateTimeOriginal = ReadText(s, at, e); break;
                case sDateTimeDigitized: DateTimeDigitized = ReadText(s, at, e); break;
                case sUserComment: UserComment = ReadText(s, at, e); break;
            }
        }
    };

    try {
        unsigned count = 0;
        ExifOffset = 0;  // a block links to its own EXIF directory, never to another block's
        if (exifDirectory) {
            ExifOffset = ifd0;
        } else {
            s.pos = base + ifd0;
            s.Read(b, 2);
            // A count of 0 is taken as "up to 100 entries, until a tag 0 entry".
            count = ToHost16(b);
            if (count == 0) count = 100;
        }
        for (unsigned i = 0; i < count; ++i) {
            TEntry e = ReadEntry(s);
            if (e.tag == 0) break;
            if (defer(Ifd0Slot(e.tag), e)) continue;
            if (e.tag == 0x0112) {
                Orientation = static_cast<uint8_t>(e.value);
                OrientationText = OrientationName(Orientation);
            } else if (e.tag == 0x8769) {
                ExifOffset = e.value;
            }
        }

        if (ExifOffset != 0) {
            s.pos = base + ExifOffset;
            s.Read(b, 2);
            count = ToHost16(b);
            for (unsigned i = 0; i < count; ++i) {
                TEntry e = ReadEntry(s);
                if (e.tag == 0) break;
                if (defer(ExifSlot(e.tag), e)) continue;
                switch (e.tag) {
                    case 0x8822:
                        ExposureProgram = static_cast<uint8_t>(e.value);
                        ExposureProgramText = ExposureProgramName(e.value);
                        break;
                    case 0x8827: ISOSpeed = static_cast<uint16_t>(e.value); break;
                    case 0x9207:
                        MeteringMode = static_cast<uint8_t>(e.value);
                        MeteringModeText = MeteringModeName(e.value);
                        break;
                    case 0x9208:
                        LightSource = static_cast<uint8_t>(e.value);
                        LightSourceText = LightSourceName(e.value);
                        break;
                    case 0x9209:
                        Flash = static_cast<uint8_t>(e.value);
                        FlashText = FlashName(e.value);
                        break;
                    case 0xA002: PixelXDimension = static_cast<int32_t>(e.value); break;
                    case 0xA003: PixelYDimension = static_cast<int32_t>(e.value); break;
                    default: break;
                }
            }
        }
    } catch (...) {
        // Entries read before the failure still count.
        resolve();
        throw;
    }
    resolve();
}
