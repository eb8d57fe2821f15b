#include "mask/CaptureDate.h"

#include <exception>
#include <stdexcept>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Skips blanks, then reads one to four digits; digitCount says how many.
bool ReadNumber(const std::string& s, size_t& i, int& value, int& digitCount) {
    while (i < s.size() && s[i] == ' ') ++i;
    value = 0;
    digitCount = 0;
    while (i < s.size() && IsDigit(s[i]) && digitCount < 4) {
        value = value * 10 + (s[i] - '0');
        ++i;
        ++digitCount;
    }
    return digitCount > 0 && !(i < s.size() && IsDigit(s[i]));
}

bool Expect(const std::string& s, size_t& i, char c) {
    if (i < s.size() && s[i] == c) {
        ++i;
        return true;
    }
    return false;
}

}  // namespace

// The EXIF form is year ":" month ":" day, blanks, hours ":" minutes ":"
// seconds, blanks allowed before every number and one to four digits each.
// Beyond it: a date alone is taken at midnight and a time without seconds
// at the full minute, since the day is what names the folder. Not taken: a
// year of one or two digits (which century?), a time without a date, and
// any text after the seconds (a time-zone suffix would silently be wrong).
// The reader has already dropped trailing blanks and zero bytes.
bool ParseExifDateTime(const std::string& raw, TDateTime& out) {
    std::string text = raw;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    DateParts p;
    size_t i = 0;
    int digits = 0;
    if (!ReadNumber(text, i, p.year, digits) || digits < 3) return false;
    if (!Expect(text, i, ':') || !ReadNumber(text, i, p.month, digits)) return false;
    if (!Expect(text, i, ':') || !ReadNumber(text, i, p.day, digits)) return false;
    p.hour = p.minute = p.second = p.millisecond = 0;
    if (i < text.size()) {
        if (text[i] != ' ') return false;
        if (!ReadNumber(text, i, p.hour, digits)) return false;
        if (!Expect(text, i, ':') || !ReadNumber(text, i, p.minute, digits)) return false;
        if (Expect(text, i, ':') && !ReadNumber(text, i, p.second, digits)) return false;
        if (i != text.size()) return false;
    }
    if (!IsValidDateParts(p)) return false;
    out = EncodeDateTime(p);
    return true;
}

bool ExifCaptureDate(const std::string& FileName, TDateTime& D, std::string& ErrorText,
                     ICaptureDatePlatform& platform) {
    bool result = false;
    TDateTime parsed = 0;
    try {
        TExif exif;
        platform.ReadExif(FileName, exif);
        if (exif.HasExif) result = ParseExifDateTime(exif.DateTimeDigitized, parsed);
    } catch (const std::exception& e) {
        ErrorText = e.what();
    }
    // Sticky on purpose: a caller that passes one ErrorText for many files
    // gets the file time for all of them once one could not be read.
    if (!ErrorText.empty()) result = false;
    if (result) D = parsed;
    return result;
}

// A TimeForMask outside the three choices is read as the factory choice,
// the EXIF date with the file time as fallback. An error raised here gives
// the date 0, the same as a file that cannot be found, next to its message.
TDateTime CaptureDate(TTimeSource source, const std::string& FileName, std::string& ErrorText,
                      ICaptureDatePlatform& platform) {
    TDateTime d = 0;
    try {
        switch (source) {
            case TTimeSource::FileTime: d = platform.FileWriteTime(FileName); break;
            case TTimeSource::NowTime: d = platform.Now(); break;
            case TTimeSource::EXIFTime:
            case TTimeSource::None:
            default:
                if (!ExifCaptureDate(FileName, d, ErrorText, platform)) d = platform.FileWriteTime(FileName);
                break;
        }
    } catch (const std::exception& e) {
        ErrorText = e.what();
        d = 0;
    }
    return d;
}

TDateTime TRememberedFileDates::FileWriteTime(const std::string& FileName) {
    Entry& e = files_[FileName];
    if (!e.timeRead) {
        try {
            e.writeTime = system_.FileWriteTime(FileName);
        } catch (const std::exception& x) {
            e.timeThrew = true;
            e.timeError = x.what();
        }
        e.timeRead = true;
    }
    if (e.timeThrew) throw std::runtime_error(e.timeError);
    return e.writeTime;
}

void TRememberedFileDates::ReadExif(const std::string& FileName, TExif& exif) {
    Entry& e = files_[FileName];
    if (!e.exifRead) {
        try {
            TExif read;
            system_.ReadExif(FileName, read);
            e.hasExif = read.HasExif;
            e.digitized = read.DateTimeDigitized;
        } catch (const std::exception& x) {
            e.exifThrew = true;
            e.exifError = x.what();
        }
        e.exifRead = true;
    }
    if (e.exifThrew) throw std::runtime_error(e.exifError);
    exif.HasExif = e.hasExif;
    exif.DateTimeDigitized = e.digitized;
}
