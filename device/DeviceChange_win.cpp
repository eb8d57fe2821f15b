#include "device/DeviceChange_win.h"

#include <windows.h>
#include <dbt.h>

bool IsRemovableDrive(char letter) {
    const wchar_t root[] = {static_cast<wchar_t>(static_cast<unsigned char>(letter)), L':', L'\\', L'\0'};
    return GetDriveTypeW(root) == DRIVE_REMOVABLE;
}

TDeviceChangeDecision DecideDeviceChangeMessage(uintptr_t wParam, intptr_t lParam, bool autoRecognize) {
    TDeviceBroadcastInfo info;
    const TDeviceBroadcastInfo* header = nullptr;
    // lParam is a header only for the arrival and removal events; for the
    // others it may be anything, so it is read for an arrival only. The unit
    // mask is taken only from a header long enough to hold it.
    if (wParam == DBT_DEVICEARRIVAL && lParam) {
        const auto* hdr = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
        const bool volume = hdr->dbch_devicetype == DBT_DEVTYP_VOLUME;
        if (!volume || hdr->dbch_size >= sizeof(DEV_BROADCAST_VOLUME)) {
            info.deviceType = hdr->dbch_devicetype;
            if (volume) info.unitMask = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(lParam)->dbcv_unitmask;
            header = &info;
        }
    }
    return DecideDeviceChange(static_cast<uint32_t>(wParam), header, autoRecognize, IsRemovableDrive);
}
