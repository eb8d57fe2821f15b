#include "exif/IsoMedia.h"

#include "exif/QuickTime.h"

namespace {

// Camera files have a handful of boxes at each level and a few dozen items
// (an HEIC's tiles); the caps only bound what a hostile file can make us do.
constexpr int kMaxTopBoxes = 64;
constexpr int kMaxBoxes = 256;
constexpr uint32_t kMaxItems = 4096;
constexpr uint32_t kMaxExtents = 65536;

bool ValidWidth(unsigned w) { return w == 0 || w == 4 || w == 8; }

// The number of the first item of type "Exif" in the item information box.
// Entries of version 2 and 3 carry a type; older ones name no EXIF item.
bool FindExifItem(TExifStream& s, const TBox& iinf, uint32_t& id) {
    TBoxCursor c(s, iinf.content, iinf.end);
    uint64_t versionFlags = 0, count = 0;
    if (!c.Number(4, versionFlags)) return false;
    if (!c.Number(versionFlags >> 24 == 0 ? 2 : 4, count)) return false;
    bool found = false;
    const int boxes = static_cast<int>(count < kMaxItems ? count : kMaxItems);
    ForEachBox(s, c.At(), iinf.end, boxes, [&](const TBox& infe) {
        if (infe.type != FourCc("infe")) return true;
        TBoxCursor e(s, infe.content, infe.end);
        uint64_t vf = 0, item = 0, protection = 0, type = 0;
        if (!e.Number(4, vf)) return true;
        const unsigned version = static_cast<unsigned>(vf >> 24);
        if (version < 2) return true;
        if (!e.Number(version == 2 ? 2 : 4, item) || !e.Number(2, protection) || !e.Number(4, type)) return true;
        if (type != FourCc("Exif")) return true;
        id = static_cast<uint32_t>(item);
        found = true;
        return false;
    });
    return found;
}

// Where the item lies in the file, from the item location box: an item in
// this file (no data reference) in one extent, by file offset or inside the
// idat box. Anything else is no EXIF block we can read.
bool LocateItem(TExifStream& s, const TBox& iloc, const TBox* idat, uint32_t id, uint64_t& at, uint64_t& length) {
    TBoxCursor c(s, iloc.content, iloc.end);
    uint64_t vf = 0, sizes = 0, more = 0, count = 0;
    if (!c.Number(4, vf) || !c.Number(1, sizes)) return false;
    const unsigned version = static_cast<unsigned>(vf >> 24);
    if (version > 2 || !c.Number(1, more)) return false;
    const unsigned offsetSize = static_cast<unsigned>(sizes >> 4), lengthSize = static_cast<unsigned>(sizes & 15);
    const unsigned baseSize = static_cast<unsigned>(more >> 4);
    const unsigned indexSize = version >= 1 ? static_cast<unsigned>(more & 15) : 0;
    if (!ValidWidth(offsetSize) || !ValidWidth(lengthSize) || !ValidWidth(baseSize) || !ValidWidth(indexSize))
        return false;
    if (!c.Number(version < 2 ? 2 : 4, count)) return false;
    uint32_t extentsRead = 0;
    for (uint64_t i = 0; i < count && i < kMaxItems; ++i) {
        uint64_t item = 0, method = 0, reference = 0, base = 0, extents = 0;
        if (!c.Number(version < 2 ? 2 : 4, item)) return false;
        if (version >= 1 && !c.Number(2, method)) return false;
        if (!c.Number(2, reference) || !c.Number(baseSize, base) || !c.Number(2, extents)) return false;
        uint64_t firstOffset = 0, firstLength = 0;
        for (uint64_t e = 0; e < extents; ++e) {
            if (++extentsRead > kMaxExtents) return false;
            uint64_t index = 0, offset = 0, len = 0;
            if (!c.Number(indexSize, index) || !c.Number(offsetSize, offset) || !c.Number(lengthSize, len))
                return false;
            if (e == 0) {
                firstOffset = offset;
                firstLength = len;
            }
        }
        if (item != id) continue;
        method &= 15;
        if (reference != 0 || extents != 1 || method > 1) return false;
        length = firstLength;
        if (method == 0) {
            at = AddOffset(base, firstOffset);
            return true;
        }
        // Inside the idat box: never past its end.
        if (!idat) return false;
        const uint64_t inside = AddOffset(base, firstOffset);
        const uint64_t room = idat->end - idat->content;
        if (inside >= room || length > room - inside) return false;
        at = idat->content + inside;
        if (length == 0) length = room - inside;
        return true;
    }
    return false;
}

// The picture's metadata box: the EXIF item begins with the offset of its
// TIFF header (past "Exif" 00 00, as a rule), then the block. A header said
// to lie outside the item is no block; an item past the end of the file is
// a structure the walk cannot read, the I/O error. True when a block was
// handed on.
bool WalkPictureMeta(TExifStream& s, const TBox& meta, IExifBlocks& blocks) {
    TBox iinf, iloc, idat;
    bool hasIinf = false, hasIloc = false, hasIdat = false;
    ForEachBox(s, meta.content + 4, meta.end, kMaxBoxes, [&](const TBox& b) {
        auto keep = [&](const char(&type)[5], TBox& into, bool& has) {
            if (b.type == FourCc(type) && !has) {
                into = b;
                has = true;
            }
        };
        keep("iinf", iinf, hasIinf);
        keep("iloc", iloc, hasIloc);
        keep("idat", idat, hasIdat);
        return true;
    });
    uint32_t id = 0;
    uint64_t at = 0, length = 0;
    if (!hasIinf || !hasIloc || !FindExifItem(s, iinf, id)) return false;
    if (!LocateItem(s, iloc, hasIdat ? &idat : nullptr, id, at, length)) return false;
    uint8_t b[4];
    if (!s.ReadAt(at, b, 4)) throw std::runtime_error(kReadBeyondEndOfFile);
    const uint64_t skip = Be32(b);
    if (length != 0 && (length < 4 || skip > length - 4)) return false;
    blocks.TiffBlock(AddOffset(at, 4 + skip), false);
    return true;
}

}  // namespace

bool ReadBox(TExifStream& s, uint64_t at, uint64_t limit, TBox& box) {
    // Less room than a header is the end of the parent (QuickTime ends some
    // lists with four zero bytes).
    if (at >= limit || limit - at < 8) return false;
    uint8_t h[16];
    const size_t n = s.ReadUpTo(at, h, sizeof h);
    if (n == 0) return false;  // the file ends where a box would begin
    if (n < 8) throw std::runtime_error(kReadBeyondEndOfFile);
    uint64_t size = Be32(h), header = 8;
    if (size == 1) {
        if (n < 16) throw std::runtime_error(kReadBeyondEndOfFile);
        size = Be64(h + 8);
        header = 16;
    } else if (size == 0) {
        size = limit - at;  // to the end of the parent, or of the file
    }
    if (size < header || size > limit - at) return false;
    box.type = Be32(h + 4);
    box.at = at;
    box.content = at + header;
    box.end = at + size;
    return true;
}

// The first box of a movie need not be ftyp in QuickTime files written
// before it existed; these are the types such a file starts with.
bool IsIsoMedia(const uint8_t* head, size_t n) {
    if (n < 8) return false;
    const uint32_t type = Be32(head + 4);
    for (uint32_t known : {FourCc("ftyp"), FourCc("moov"), FourCc("mdat"), FourCc("free"), FourCc("skip"),
                           FourCc("wide"), FourCc("pnot")})
        if (type == known) return true;
    return false;
}

// The walk ends at the picture's EXIF block or at the movie, whichever
// comes first: a file that has one has what we read, and going on would
// cost a read at the far end of the picture or the movie data. A metadata
// box without an EXIF item (MP4 files of some cameras keep one before the
// movie) or one that cannot be read does not end it. The movie data is
// stepped over by its size, never read, so a movie box behind gigabytes of
// it costs one read.
void WalkIsoMedia(TExifStream& s, IExifBlocks& blocks) {
    bool cr3 = false;
    ForEachBox(s, 0, kMaxFileOffset, kMaxTopBoxes, [&](const TBox& b) {
        if (b.type == FourCc("ftyp")) {
            ReadOnItsOwn(blocks, [&] {
                TBoxCursor c(s, b.content, b.end);
                uint64_t brand = 0;
                if (c.Number(4, brand)) cr3 = brand == FourCc("crx ");
            });
            return true;
        }
        if (b.type == FourCc("meta")) {
            bool found = false;
            ReadOnItsOwn(blocks, [&] { found = WalkPictureMeta(s, b, blocks); });
            return !found;
        }
        if (b.type == FourCc("moov")) {
            WalkMovie(s, b, cr3, blocks);
            return false;
        }
        return true;
    });
}
