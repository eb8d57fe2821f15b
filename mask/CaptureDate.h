#pragma once
// The capture date of a file: the moment of the call, the file's last-write
// time, or the date of its EXIF block with the file time as fallback, as the
// TimeForMask setting chooses. Portable; the Windows platform is in
// CaptureDateWin.h.
#include <string>

#include "base/DateTime.h"
#include "exif/Exif.h"
#include "settings/Settings.h"

// What the capture date needs of the system.
class ICaptureDatePlatform {
public:
    virtual ~ICaptureDatePlatform() = default;
    // The file's last-write time in local time; 0 when no such file is found.
    virtual TDateTime FileWriteTime(const std::string& FileName) = 0;
    // The current local date and time, to the millisecond.
    virtual TDateTime Now() = 0;
    // TExif::ReadFromFile of the named file; throws what the reader throws.
    virtual void ReadExif(const std::string& FileName, TExif& exif) = 0;
};

// ErrorText receives a failure message and is never emptied here.
TDateTime CaptureDate(TTimeSource source, const std::string& FileName, std::string& ErrorText,
                      ICaptureDatePlatform& platform);

// True when the EXIF date (tag 9004) was read into D; D is written only then.
// Once ErrorText holds a message, from this call or an earlier one, the
// result is false.
bool ExifCaptureDate(const std::string& FileName, TDateTime& D, std::string& ErrorText,
                     ICaptureDatePlatform& platform);

// "YYYY:MM:DD HH:MM:SS" and the few variants described at the definition.
bool ParseExifDateTime(const std::string& text, TDateTime& out);
