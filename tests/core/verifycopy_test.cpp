#include "import/VerifyCopy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

std::string Bytes(size_t n) {
    std::string s(n, '\0');
    for (size_t k = 0; k < n; ++k) s[k] = static_cast<char>(k * 131 % 251);
    return s;
}

uint64_t HashInPieces(const std::string& data, size_t piece) {
    TCopyHash h;
    for (size_t at = 0; at < data.size(); at += piece) h.Update(data.data() + at, std::min(piece, data.size() - at));
    return h.Digest();
}

}  // namespace

TEST(CopyHash, IsXxh3AndTheSameInAnyPieces) {
    TCopyHash empty;
    EXPECT_EQ(empty.Digest(), 0x2D06800538D394C2ull);  // XXH3-64 of no bytes, seed 0
    EXPECT_EQ(empty.Bytes(), 0);

    // The copy hashes 32769-byte blocks, the read-back whole megabytes.
    const std::string data = Bytes(3 * 32769 + 1000);
    const uint64_t whole = HashInPieces(data, data.size());
    for (size_t piece : {1u, 7u, 240u, 4096u, 32769u, 1u << 20}) EXPECT_EQ(HashInPieces(data, piece), whole) << piece;
    TCopyHash counted;
    counted.Update(data.data(), data.size());
    EXPECT_EQ(counted.Bytes(), static_cast<int64_t>(data.size()));
}

TEST(CopyHash, OneChangedByteOrAMissingTailChangesIt) {
    const std::string data = Bytes(100000);
    const uint64_t good = HashInPieces(data, 32769);
    for (size_t at : {size_t{0}, size_t{32768}, size_t{32769}, data.size() - 1}) {
        std::string bad = data;
        bad[at] = static_cast<char>(bad[at] ^ 0x01);
        EXPECT_NE(HashInPieces(bad, 32769), good) << at;
    }
    EXPECT_NE(HashInPieces(data.substr(0, data.size() - 1), 32769), good);
    EXPECT_NE(HashInPieces(data + '\0', 32769), good);
}

TEST(ReadBack, AlignmentAndBufferAreWholeSectorsAndPages) {
    struct Case { uint32_t sector, alignment; } cases[] = {
        {512, 4096}, {4096, 4096}, {2048, 4096}, {8192, 8192}, {65536, 65536},
        {0, 4096},     // the volume could not be asked
        {520, 4096},   // no power of two: not believed
        {12288, 4096},
    };
    for (const Case& c : cases) EXPECT_EQ(ReadBackAlignment(c.sector), c.alignment) << c.sector;

    struct Buffer { uint32_t want, alignment, bytes; } buffers[] = {
        {1u << 20, 4096, 1u << 20}, {1u << 20, 65536, 1u << 20}, {1000, 4096, 4096}, {0, 4096, 4096},
        {5000, 4096, 8192}, {1u << 20, 3u << 19, 3u << 19},
    };
    for (const Buffer& b : buffers) EXPECT_EQ(ReadBackBufferBytes(b.want, b.alignment), b.bytes) << b.want;
}

TEST(ReadBack, FailureTextsNameTheSource) {
    EXPECT_EQ(CopyCheckFailedText("F:\\DCIM\\100CAM\\P1.JPG", TCopyCheck::Different, "ignored"),
              "Kopie souboru \"F:\\DCIM\\100CAM\\P1.JPG\" se liší od originálu.");
    EXPECT_EQ(CopyCheckFailedText("F:\\a.jpg", TCopyCheck::Unreadable, "Přístup byl odepřen."),
              "Kopii souboru \"F:\\a.jpg\" nelze přečíst a ověřit. Přístup byl odepřen.");
    EXPECT_EQ(CopyCheckFailedText("F:\\a.jpg", TCopyCheck::Unreadable, ""),
              "Kopii souboru \"F:\\a.jpg\" nelze přečíst a ověřit.");
}
