#include "device/CDTools.h"

#include <gtest/gtest.h>

struct UnitMaskCase {
    uint32_t mask;
    char letter;
};

class DriveFromUnitMaskTest : public ::testing::TestWithParam<UnitMaskCase> {};

TEST_P(DriveFromUnitMaskTest, GivesTheLowestDriveFromAToY) {
    EXPECT_EQ(DriveFromUnitMask(GetParam().mask), GetParam().letter) << std::hex << GetParam().mask;
}

INSTANTIATE_TEST_SUITE_P(Masks, DriveFromUnitMaskTest,
                         ::testing::Values(UnitMaskCase{0x10, 'E'},          // one volume
                                           UnitMaskCase{0x18, 'D'},          // two volumes: the lower one
                                           UnitMaskCase{0, '\0'},            // none
                                           UnitMaskCase{1u << 25, '\0'},     // Z: is never reported
                                           UnitMaskCase{1, 'A'},             // first letter
                                           UnitMaskCase{1u << 24, 'Y'},      // last letter
                                           UnitMaskCase{(1u << 25) | (1u << 24), 'Y'},
                                           UnitMaskCase{0xFC000000u, '\0'},  // only bits above Y:
                                           UnitMaskCase{0xFFFFFFFFu, 'A'}));
