#include "device/CDTools.h"

namespace {
// Drives A: to Y: only: a volume mounted as Z: is never reported.
constexpr int kDriveCount = 25;
}  // namespace

char DriveFromUnitMask(uint32_t unitMask) {
    for (int i = 0; i < kDriveCount; ++i) {
        if (unitMask & 1u) return static_cast<char>('A' + i);
        unitMask >>= 1;
    }
    return '\0';
}
