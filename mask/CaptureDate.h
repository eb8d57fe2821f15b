#pragma once
// The capture date of a file: the moment of the call, the file's last-write
// time, or the date of its EXIF block (or, for a movie, the date it keeps of
// its own) with the file time as fallback, as the TimeForMask setting
// chooses. Portable; the Windows platform is in CaptureDate_win.h.
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
    // A UTC date-time in local time, with the time zone's offset and
    // daylight-saving state of that date (as Windows shows a clip's media
    // date); false when the system cannot convert it.
    virtual bool UtcToLocal(TDateTime utc, TDateTime& local) = 0;
};

// An import asks every file's capture date twice, once to order the files
// and once to name them, and each answer costs the file an open, a read and
// a close. This platform reads each file's EXIF date and file time once and
// answers again from what it read, failures included; the clock is asked
// anew every time. Of the EXIF block it keeps only what the capture date
// reads (whether there is one, its digitized date and a movie's own dates):
// a card of 100,000 files would otherwise hold 100,000 whole blocks.
class TRememberedFileDates : public ICaptureDatePlatform {
public:
    explicit TRememberedFileDates(ICaptureDatePlatform& system) : system_(system) {}
    TDateTime FileWriteTime(const std::string& FileName) override;
    TDateTime Now() override { return system_.Now(); }
    void ReadExif(const std::string& FileName, TExif& exif) override;
    bool UtcToLocal(TDateTime utc, TDateTime& local) override { return system_.UtcToLocal(utc, local); }

private:
    struct Entry {
        bool exifRead = false;
        bool hasExif = false;
        std::string digitized;
        uint64_t movieCreated = 0;
        uint64_t movieDurationMs = 0;
        std::string creationDate;
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

// True when the EXIF date (tag 9004), or for a file without one the date a
// movie keeps of its own, was read into D; D is written only then. When
// this file's metadata cannot be read, ErrorText receives the reader's
// message and the result is false; a message left by an earlier call
// changes nothing.
bool ExifCaptureDate(const std::string& FileName, TDateTime& D, std::string& ErrorText,
                     ICaptureDatePlatform& platform);

// "YYYY:MM:DD HH:MM:SS" and the few variants described at the definition.
bool ParseExifDateTime(const std::string& text, TDateTime& out);

// A movie's own date in local time: its creation-date text, else the movie
// header's creation time, read on the camera's clock or converted from UTC
// as HeaderOnCameraClock decides from the file's write time. False when it
// has neither, or neither is a date.
bool MovieCaptureDate(const TExif& exif, const std::string& FileName, TDateTime& out,
                      ICaptureDatePlatform& platform);
// Whether a movie header's time is the camera's own clock rather than UTC.
// The file time a camera leaves on its card is its clock when the
// recording ended: true when the header read as that clock, plus the
// duration, lands within a few minutes of the file time and the header
// read as UTC (already in local time) does not. False otherwise, also when
// both land there (the zone is UTC then) or neither (a file copied later,
// a lost file time).
bool HeaderOnCameraClock(TDateTime headerAsClock, TDateTime headerFromUtc, uint64_t durationMs, TDateTime fileTime);
// The date texts movies keep: ISO 8601 with an offset of its own
// ("2019-07-14T00:30:12+0200"), the C library's form of AVI's IDIT
// ("SUN JUL 14 00:30:12 2019"), the EXIF form and the EXIF form with
// slashes in the date ("2009/10/27 12:14:34"). utc says the text is in UTC
// ("Z") rather than a local time.
bool ParseCreationDate(const std::string& text, TDateTime& out, bool& utc);
// The movie header's creation time (seconds since 1904) as a UTC date-time;
// false for 0 and for values no clip can carry.
bool MovieHeaderTime(uint64_t secondsSince1904, TDateTime& utc);
