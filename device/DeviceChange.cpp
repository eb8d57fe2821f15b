#include "device/DeviceChange.h"

#include "device/CDTools.h"

TDeviceChangeDecision DecideDeviceChange(uint32_t eventCode, const TDeviceBroadcastInfo* header, bool autoRecognize,
                                         const std::function<bool(char letter)>& isRemovable) {
    // Every event is answered with TRUE, so a query whether a device may be
    // removed is always granted and nothing goes to the default handling.
    TDeviceChangeDecision decision;
    if (!autoRecognize || eventCode != kDbtDeviceArrival || !header || header->deviceType != kDbtDevTypVolume)
        return decision;
    char letter = DriveFromUnitMask(header->unitMask);
    if (!letter) return decision;
    // Fixed disks (also USB disks that call themselves fixed), optical and
    // network drives are no cameras or cards.
    if (!isRemovable || !isRemovable(letter)) return decision;
    decision.importPath = std::string(1, letter) + ":\\DCIM\\";
    return decision;
}
