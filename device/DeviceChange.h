#pragma once
// What the main window does with a device-change notification. Portable:
// the window reads the broadcast header and asks the system about the drive,
// this decides.
#include <cstdint>
#include <functional>
#include <string>

constexpr uint32_t kDbtDeviceArrival = 0x8000;
constexpr uint32_t kDbtDeviceRemoveComplete = 0x8004;
constexpr uint32_t kDbtDevTypVolume = 2;

// The fields of the broadcast header that matter, already read from the
// message by the window code.
struct TDeviceBroadcastInfo {
    uint32_t deviceType = 0;
    uint32_t unitMask = 0;  // meaningful for volumes only
};

struct TDeviceChangeDecision {
    int result = 1;          // the message's result, whatever the event
    std::string importPath;  // empty: nothing to import
};

// header may be null (events without one). isRemovable is asked only about
// the one drive that qualifies otherwise.
TDeviceChangeDecision DecideDeviceChange(uint32_t eventCode, const TDeviceBroadcastInfo* header, bool autoRecognize,
                                         const std::function<bool(char letter)>& isRemovable);
