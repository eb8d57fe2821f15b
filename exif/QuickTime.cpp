#include "exif/QuickTime.h"

#include <cstring>

namespace {

constexpr int kMaxBoxes = 256;
constexpr uint32_t kMaxKeys = 256;
// Enough for any date text; a longer value is cut, and no longer parses.
constexpr uint64_t kMaxDateText = 64;

constexpr char kCreationDateKey[] = "com.apple.quicktime.creationdate";
// The user type of the box in which CR3 files keep their metadata boxes.
constexpr uint8_t kCanonMetadata[16] = {0x85, 0xC0, 0xB6, 0x87, 0x82, 0x0F, 0x11, 0xE0,
                                        0x81, 0x11, 0xF4, 0xCE, 0x46, 0x2B, 0x6A, 0x48};

// Version 0 stores the times and the duration in 32 bits, version 1 in
// 64; the times count seconds since 1904, the duration units of the time
// scale. Whether the time is UTC or the camera's own clock is for the
// capture date to judge. A duration of all ones is unknown.
void ReadMovieHeader(TExifStream& s, const TBox& mvhd, IExifBlocks& blocks) {
    TBoxCursor c(s, mvhd.content, mvhd.end);
    uint64_t vf = 0, created = 0, modified = 0, scale = 0, duration = 0;
    if (!c.Number(4, vf)) return;
    const unsigned version = static_cast<unsigned>(vf >> 24);
    const unsigned width = version == 0 ? 4 : 8;
    if (version > 1 || !c.Number(width, created)) return;
    blocks.MovieHeader(created, 0);  // kept should the rest of the header be cut off
    uint64_t durationMs = 0;
    if (c.Number(width, modified) && c.Number(4, scale) && c.Number(width, duration) && scale != 0) {
        const uint64_t unknown = version == 0 ? 0xFFFFFFFFu : UINT64_MAX;
        const uint64_t seconds = duration / scale;
        // No clip runs for years; a longer one says nothing of its end.
        if (duration != unknown && seconds < 100000000)
            durationMs = seconds * 1000 + (duration % scale) * 1000 / scale;
    }
    blocks.MovieHeader(created, durationMs);
}

// The index (from 1) of the creation-date key in the keys box, or 0.
uint32_t CreationDateKey(TExifStream& s, const TBox& keys) {
    TBoxCursor c(s, keys.content, keys.end);
    uint64_t vf = 0, count = 0;
    if (!c.Number(4, vf) || !c.Number(4, count)) return 0;
    uint64_t at = c.At();
    for (uint32_t i = 1; i <= count && i <= kMaxKeys; ++i) {
        TBoxCursor entry(s, at, keys.end);
        uint64_t size = 0, space = 0;
        if (!entry.Number(4, size) || !entry.Number(4, space)) return 0;
        if (size < 8 || size > keys.end - at) return 0;
        const size_t nameLength = sizeof kCreationDateKey - 1;
        if (space == FourCc("mdta") && size - 8 == nameLength) {
            char name[sizeof kCreationDateKey];
            if (!s.ReadAt(at + 8, name, nameLength)) throw std::runtime_error(kReadBeyondEndOfFile);
            if (std::memcmp(name, kCreationDateKey, nameLength) == 0) return i;
        }
        at += size;
    }
    return 0;
}

// The metadata of a QuickTime movie: keys name the values of the item
// list, whose items are typed by the key's index. The date is a UTF-8
// text in the item's data box. QuickTime's meta box has no version and
// flags, MP4's has: the handler box that comes first tells them apart.
void ReadCreationDate(TExifStream& s, const TBox& meta, IExifBlocks& blocks) {
    uint8_t h[8];
    if (meta.end - meta.content < 8) return;
    if (!s.ReadAt(meta.content, h, 8)) throw std::runtime_error(kReadBeyondEndOfFile);
    const uint64_t first = Be32(h + 4) == FourCc("hdlr") ? meta.content : meta.content + 4;
    TBox keys, ilst;
    bool hasKeys = false, hasIlst = false;
    ForEachBox(s, first, meta.end, kMaxBoxes, [&](const TBox& b) {
        if (b.type == FourCc("keys") && !hasKeys) {
            keys = b;
            hasKeys = true;
        } else if (b.type == FourCc("ilst") && !hasIlst) {
            ilst = b;
            hasIlst = true;
        }
        return !(hasKeys && hasIlst);
    });
    if (!hasKeys || !hasIlst) return;
    const uint32_t key = CreationDateKey(s, keys);
    if (key == 0) return;
    ForEachBox(s, ilst.content, ilst.end, kMaxBoxes, [&](const TBox& item) {
        if (item.type != key) return true;
        ForEachBox(s, item.content, item.end, kMaxBoxes, [&](const TBox& data) {
            if (data.type != FourCc("data")) return true;
            TBoxCursor c(s, data.content, data.end);
            uint64_t type = 0, locale = 0;
            if (!c.Number(4, type) || !c.Number(4, locale) || type != 1) return false;  // 1: UTF-8
            const uint64_t length = data.end - c.At();
            blocks.CreationDate(ReadShortText(s, c.At(), static_cast<size_t>(std::min(length, kMaxDateText))));
            return false;
        });
        return false;
    });
}

// CR3 keeps IFD0 in the box CMT1 and the EXIF directory in CMT2, each a TIFF
// block of its own, inside a box of Canon's user type. Only the first of
// each counts: a file with thousands of them is hostile.
void WalkCanonMetadata(TExifStream& s, const TBox& uuid, IExifBlocks& blocks, bool& ifd0, bool& exif) {
    uint8_t type[16];
    if (uuid.end - uuid.content < 16) return;
    if (!s.ReadAt(uuid.content, type, 16)) throw std::runtime_error(kReadBeyondEndOfFile);
    if (std::memcmp(type, kCanonMetadata, 16) != 0) return;
    ForEachBox(s, uuid.content + 16, uuid.end, kMaxBoxes, [&](const TBox& b) {
        if (b.type == FourCc("CMT1") && !ifd0) {
            ifd0 = true;
            blocks.TiffBlock(b.content, false);
        } else if (b.type == FourCc("CMT2") && !exif) {
            exif = true;
            blocks.TiffBlock(b.content, true);
        }
        return !(ifd0 && exif);
    });
}

}  // namespace

// Each box is read on its own: a damaged one is skipped, the others still
// give their dates.
void WalkMovie(TExifStream& s, const TBox& moov, bool cr3, IExifBlocks& blocks) {
    bool ifd0 = false, exif = false;
    ForEachBox(s, moov.content, moov.end, kMaxBoxes, [&](const TBox& b) {
        ReadOnItsOwn(blocks, [&] {
            if (b.type == FourCc("mvhd") && !cr3) ReadMovieHeader(s, b, blocks);
            if (b.type == FourCc("meta") && !cr3) ReadCreationDate(s, b, blocks);
            if (b.type == FourCc("uuid") && cr3) WalkCanonMetadata(s, b, blocks, ifd0, exif);
        });
        return !(cr3 && ifd0 && exif);
    });
}
