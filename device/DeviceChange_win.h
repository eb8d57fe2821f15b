#pragma once
// The Win32 side of device-change notifications: reads WM_DEVICECHANGE's
// parameters and asks the system for drive types.
#include <cstdint>

#include "device/DeviceChange.h"

// wParam and lParam exactly as WM_DEVICECHANGE delivered them.
TDeviceChangeDecision DecideDeviceChangeMessage(uintptr_t wParam, intptr_t lParam, bool autoRecognize);
// GetDriveType of the drive's root says DRIVE_REMOVABLE.
bool IsRemovableDrive(char letter);
