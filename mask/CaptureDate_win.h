#pragma once
// The capture date on Windows: the system's file times and clock, and the
// EXIF reader on real files.
#include <string>

#include "mask/CaptureDate.h"

// The file's last-write time in local time (converted with the offset in
// force now, as FileTimeToLocalFileTime does); 0 when no entry is found.
TDateTime FileWriteTime(const std::string& FileName);
// A UTC date-time in local time with the offset in force at that date.
bool UtcToLocal(TDateTime utc, TDateTime& local);
// The local date and time of this moment, to the millisecond.
TDateTime LocalNow();
ICaptureDatePlatform& WinCaptureDatePlatform();

// The capture date with the source the settings hold now (Settings().TimeForMask).
TDateTime CaptureDate(const std::string& FileName, std::string& ErrorText);
