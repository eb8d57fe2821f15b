#include "exif/Riff.h"

namespace {

constexpr int kMaxTopChunks = 64;
constexpr int kMaxChunks = 256;
constexpr uint32_t kMaxDateText = 64;

struct TChunk {
    uint32_t id = 0;
    uint64_t content = 0;
    uint32_t size = 0;
    uint64_t end = 0;  // past the content and its pad byte
};

// A chunk header (four-character code, little-endian size) at `at` inside a
// parent ending at limit. As with boxes: no chunk where the parent or the
// file ends or where a chunk would be larger than its parent, the I/O error
// for a header cut by the end of the file.
bool ReadChunk(TExifStream& s, uint64_t at, uint64_t limit, TChunk& chunk) {
    if (at >= limit || limit - at < 8) return false;
    uint8_t h[8];
    const size_t n = s.ReadUpTo(at, h, sizeof h);
    if (n == 0) return false;
    if (n < 8) throw std::runtime_error(kReadBeyondEndOfFile);
    chunk.id = Be32(h);
    chunk.size = Le32(h + 4);
    chunk.content = at + 8;
    if (chunk.size > limit - chunk.content) return false;
    // Odd sizes are padded to the next even byte; the last pad of a parent
    // may be missing.
    const uint64_t padded = uint64_t(chunk.size) + (chunk.size & 1);
    chunk.end = padded > limit - chunk.content ? limit : chunk.content + padded;
    return true;
}

template <class Visit>
void ForEachChunk(TExifStream& s, uint64_t from, uint64_t limit, int maxChunks, Visit visit) {
    uint64_t at = from;
    for (int i = 0; i < maxChunks; ++i) {
        TChunk c;
        if (!ReadChunk(s, at, limit, c) || !visit(c)) return;
        at = c.end;
    }
}

// The list type, the four bytes that open a LIST chunk; 0 when too short.
uint32_t ListType(TExifStream& s, const TChunk& list) {
    uint8_t t[4];
    if (list.size < 4) return 0;
    if (!s.ReadAt(list.content, t, 4)) throw std::runtime_error(kReadBeyondEndOfFile);
    return Be32(t);
}

}  // namespace

bool IsAvi(const uint8_t* head, size_t n) {
    return n >= 12 && Be32(head) == FourCc("RIFF") && Be32(head + 8) == FourCc("AVI ");
}

// The header list comes before the movie data; the walk stops at whichever
// it meets first. The RIFF's own size is not trusted: a recording cut short
// leaves it 0 or smaller than what the file holds, and the header list
// stands at the start whatever it says.
void WalkAvi(TExifStream& s, IExifBlocks& blocks) {
    ForEachChunk(s, 12, kMaxFileOffset, kMaxTopChunks, [&](const TChunk& c) {
        if (c.id != FourCc("LIST")) return true;
        const uint32_t type = ListType(s, c);
        if (type == FourCc("movi")) return false;
        if (type != FourCc("hdrl")) return true;
        ForEachChunk(s, c.content + 4, c.content + c.size, kMaxChunks, [&](const TChunk& d) {
            if (d.id != FourCc("IDIT")) return true;
            blocks.CreationDate(ReadShortText(s, d.content, std::min(d.size, kMaxDateText)));
            return false;
        });
        return false;
    });
}
