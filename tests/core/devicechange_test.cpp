#include "device/DeviceChange.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct DeviceChangeCase {
    const char* name;
    uint32_t eventCode;
    bool hasHeader;
    uint32_t deviceType;
    uint32_t unitMask;
    bool autoRecognize;
    std::string removableLetters;  // drives the system calls removable
    std::string importPath;        // expected; empty: nothing happens
    std::string asked;             // letters the decision asked about
};

class DecideDeviceChangeTest : public ::testing::TestWithParam<DeviceChangeCase> {};

TEST_P(DecideDeviceChangeTest, AnswersOneAndImportsOnlyARemovableArrivedVolume) {
    const DeviceChangeCase& c = GetParam();
    TDeviceBroadcastInfo header{c.deviceType, c.unitMask};
    std::string asked;
    auto isRemovable = [&](char letter) {
        asked += letter;
        return c.removableLetters.find(letter) != std::string::npos;
    };
    TDeviceChangeDecision d = DecideDeviceChange(c.eventCode, c.hasHeader ? &header : nullptr, c.autoRecognize, isRemovable);
    EXPECT_EQ(d.result, 1);
    EXPECT_EQ(d.importPath, c.importPath);
    EXPECT_EQ(asked, c.asked);
}

constexpr uint32_t kDbtDevTypPort = 3;
constexpr uint32_t kDbtQueryRemove = 0x8001;
constexpr uint32_t kDbtDevNodesChanged = 0x0007;

INSTANTIATE_TEST_SUITE_P(
    Events, DecideDeviceChangeTest,
    ::testing::Values(
        DeviceChangeCase{"CardOnE", kDbtDeviceArrival, true, kDbtDevTypVolume, 0x10, true, "E", "E:\\DCIM\\", "E"},
        DeviceChangeCase{"TwoVolumesTakeTheLower", kDbtDeviceArrival, true, kDbtDevTypVolume, 0x18, true, "DE",
                         "D:\\DCIM\\", "D"},
        DeviceChangeCase{"LowerVolumeFixedNotRetried", kDbtDeviceArrival, true, kDbtDevTypVolume, 0x18, true, "E", "",
                         "D"},
        DeviceChangeCase{"FixedUsbDisk", kDbtDeviceArrival, true, kDbtDevTypVolume, 0x20, true, "", "", "F"},
        DeviceChangeCase{"DriveZ", kDbtDeviceArrival, true, kDbtDevTypVolume, 1u << 25, true, "Z", "", ""},
        DeviceChangeCase{"EmptyMask", kDbtDeviceArrival, true, kDbtDevTypVolume, 0, true, "E", "", ""},
        DeviceChangeCase{"AutoRecognizeOff", kDbtDeviceArrival, true, kDbtDevTypVolume, 0x10, false, "E", "", ""},
        DeviceChangeCase{"RemoveComplete", kDbtDeviceRemoveComplete, true, kDbtDevTypVolume, 0x10, true, "E", "", ""},
        DeviceChangeCase{"QueryRemoveGranted", kDbtQueryRemove, true, kDbtDevTypVolume, 0x10, true, "E", "", ""},
        DeviceChangeCase{"NodesChangedNoHeader", kDbtDevNodesChanged, false, 0, 0, true, "E", "", ""},
        DeviceChangeCase{"ArrivalWithoutHeader", kDbtDeviceArrival, false, 0, 0, true, "E", "", ""},
        DeviceChangeCase{"PortNotVolume", kDbtDeviceArrival, true, kDbtDevTypPort, 0x10, true, "E", "", ""}),
    [](const ::testing::TestParamInfo<DeviceChangeCase>& info) { return std::string(info.param.name); });

TEST(DecideDeviceChange, WithoutADriveTypeProbeNothingIsImported) {
    TDeviceBroadcastInfo header{kDbtDevTypVolume, 0x10};
    TDeviceChangeDecision d = DecideDeviceChange(kDbtDeviceArrival, &header, true, nullptr);
    EXPECT_EQ(d.result, 1);
    EXPECT_TRUE(d.importPath.empty());
}

}  // namespace
