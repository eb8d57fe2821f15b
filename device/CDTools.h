#pragma once
// Drive letters of the volumes named in a device notification. Portable.
#include <cstdint>

// The letter of the lowest drive in a volume unit mask (bit 0 = A:), looking
// at drives A: to Y: only; '\0' when none of them is set.
char DriveFromUnitMask(uint32_t unitMask);
