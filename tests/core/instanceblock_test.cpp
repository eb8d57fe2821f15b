#include "app/InstanceBlock.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Block = std::array<unsigned char, kInstanceBlockSize>;

void PutCount(Block& b, int32_t count) {
    const auto v = static_cast<uint32_t>(count);
    for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<unsigned char>(v >> (8 * i));
}

TEST(InstanceBlock, LayoutIsHandleCountAndTenSlotsOf301Bytes) {
    Block b;
    b.fill(0xEE);
    WriteReceiverHandle(b.data(), b.size(), 0x00A1B2C3);
    WriteInstanceParams(b.data(), b.size(), {"first", "E:\\DCIM\\"});
    EXPECT_EQ(b[0], 0xC3);
    EXPECT_EQ(b[1], 0xB2);
    EXPECT_EQ(b[2], 0xA1);
    EXPECT_EQ(b[3], 0x00);
    EXPECT_EQ(b[4], 2);
    EXPECT_EQ(b[5] | b[6] | b[7], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[8])), "first");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[8 + 301])), "E:\\DCIM\\");
    EXPECT_EQ(b[8 + 2 * 301], 0);  // the unused slots are cleared
    EXPECT_EQ(b[kInstanceBlockSize - 1], 0);
    EXPECT_EQ(ReadReceiverHandle(b.data(), b.size()), 0x00A1B2C3u);
}

struct RoundTripCase {
    const char* name;
    std::vector<std::string> written;
    std::vector<std::string> read;
};

class InstanceParamsRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(InstanceParamsRoundTrip, ArriveCutToTenAndTo300Bytes) {
    Block b;
    b.fill(0x5A);
    WriteInstanceParams(b.data(), b.size(), GetParam().written);
    EXPECT_EQ(ReadInstanceParams(b.data(), b.size()), GetParam().read);
}

std::vector<std::string> Numbered(int n) {
    std::vector<std::string> v;
    for (int i = 1; i <= n; ++i) v.push_back("p" + std::to_string(i));
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InstanceParamsRoundTrip,
    ::testing::Values(RoundTripCase{"None", {}, {}},
                      RoundTripCase{"EmptyParameterStays", {"", "x"}, {"", "x"}},
                      RoundTripCase{"Ten", Numbered(10), Numbered(10)},
                      RoundTripCase{"TwelveGiveTen", Numbered(12), Numbered(10)},
                      RoundTripCase{"Exactly300", {std::string(300, 'a')}, {std::string(300, 'a')}},
                      RoundTripCase{"Cut400To300", {std::string(100, 'b') + std::string(300, 'c')},
                                    {std::string(100, 'b') + std::string(200, 'c')}},
                      RoundTripCase{"AnsiBytesKept", {"\x9e\x6c\x9d\x6f\x75\xe8\x6b\xfd"}, {"\x9e\x6c\x9d\x6f\x75\xe8\x6b\xfd"}}),
    [](const ::testing::TestParamInfo<RoundTripCase>& info) { return std::string(info.param.name); });

// The block is written by another process; whatever it holds, reading stays
// inside the block.
TEST(InstanceBlock, HostileCountIsKeptWithinTheTenSlots) {
    const struct {
        int32_t count;
        size_t expected;
    } cases[] = {{-1, 0}, {INT_MIN, 0}, {0, 0}, {3, 3}, {10, 10}, {11, 10}, {INT_MAX, 10}};
    for (const auto& c : cases) {
        Block b{};
        PutCount(b, c.count);
        EXPECT_EQ(ReadInstanceParams(b.data(), b.size()).size(), c.expected) << c.count;
    }
}

TEST(InstanceBlock, SlotWithoutTerminatorGivesAtMost300Bytes) {
    Block b;
    b.fill('x');
    PutCount(b, 10);
    std::vector<std::string> params = ReadInstanceParams(b.data(), b.size());
    ASSERT_EQ(params.size(), 10u);
    for (const auto& p : params) EXPECT_EQ(p, std::string(300, 'x'));
}

TEST(InstanceBlock, ShortBufferIsNeitherReadNorWritten) {
    std::vector<unsigned char> small(kInstanceBlockSize - 1, 0x77);
    WriteReceiverHandle(small.data(), small.size(), 0x12345678);
    WriteInstanceParams(small.data(), small.size(), {"a"});
    for (unsigned char c : small) ASSERT_EQ(c, 0x77);
    EXPECT_EQ(ReadReceiverHandle(small.data(), small.size()), 0u);
    EXPECT_TRUE(ReadInstanceParams(small.data(), small.size()).empty());
    EXPECT_TRUE(ReadInstanceParams(nullptr, kInstanceBlockSize).empty());
}

}  // namespace
