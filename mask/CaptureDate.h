#pragma once
// The capture date of a file: the moment of the call, the file's last-write
// time, or the date of its EXIF block with the file time as fallback, as the
// TimeForMask setting chooses. Portable; the Windows platform is in
// CaptureDate_win.h.
#include <string>
#include <unordered_map>

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

// An import asks every file's capture date twice, once to order the files
// and once to name them, and each answer costs the file an open, a read and
// a close. This platform reads each file's EXIF date and file time once and
// answers again from what it read, failures included; the clock is asked
// anew every time. Of the EXIF block it keeps only what the capture date
// reads (whether there is one, and its digitized date): a card of 100,000
// files would otherwise hold 100,000 whole blocks.
class TRememberedFileDates : public ICaptureDatePlatform {
public:
    explicit TRememberedFileDates(ICaptureDatePlatform& system) : system_(system) {}
    TDateTime FileWriteTime(const std::string& FileName) override;
    TDateTime Now() override { return system_.Now(); }
    void ReadExif(const std::string& FileName, TExif& exif) override;

private:
    struct Entry {
        bool exifRead = false;
        bool hasExif = false;
        std::string digitized;
        std::string exifError;  // what the read threw, when it threw
        bool exifThrew = false;
        bool timeRead = false;
        TDateTime writeTime = 0;
        std::string timeError;
        bool timeThrew = false;
    };
    ICaptureDatePlatform& system_;
    std::unordered_map<std::string, Entry> files_;
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
