#include "mask/CaptureDate.h"

#include <cctype>
#include <cmath>
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

// Exactly n digits at i, no blanks before them.
bool Digits(const std::string& s, size_t& i, int n, int& value) {
    value = 0;
    for (int k = 0; k < n; ++k, ++i) {
        if (i >= s.size() || !IsDigit(s[i])) return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

// "2019-07-14T00:30:12", then optional fractions of a second and the offset
// ("Z", "+0200", "+02:00", "+02"). A text without an offset is not taken:
// whether it is local time or UTC is anybody's guess.
bool ParseIso8601(const std::string& s, DateParts& p, bool& utc) {
    size_t i = 0;
    if (!Digits(s, i, 4, p.year) || !Expect(s, i, '-') || !Digits(s, i, 2, p.month) || !Expect(s, i, '-') ||
        !Digits(s, i, 2, p.day))
        return false;
    if (!Expect(s, i, 'T') && !Expect(s, i, ' ')) return false;
    if (!Digits(s, i, 2, p.hour) || !Expect(s, i, ':') || !Digits(s, i, 2, p.minute) || !Expect(s, i, ':') ||
        !Digits(s, i, 2, p.second))
        return false;
    p.millisecond = 0;
    if (Expect(s, i, '.') || Expect(s, i, ',')) {
        int digits = 0;
        for (; i < s.size() && IsDigit(s[i]); ++i, ++digits)
            if (digits < 3) p.millisecond = p.millisecond * 10 + (s[i] - '0');
        if (digits == 0) return false;
        for (; digits < 3; ++digits) p.millisecond *= 10;
    }
    if (Expect(s, i, 'Z')) {
        if (i != s.size()) return false;
        utc = true;
        return true;
    }
    if (i >= s.size() || (s[i] != '+' && s[i] != '-')) return false;
    ++i;
    int hours = 0, minutes = 0;
    if (!Digits(s, i, 2, hours)) return false;
    if (i < s.size()) {
        Expect(s, i, ':');
        if (!Digits(s, i, 2, minutes)) return false;
    }
    utc = false;
    return i == s.size() && hours <= 14 && minutes < 60;
}

// "SUN JUL 14 00:30:12 2019": the weekday is not checked, the month is
// English in any letter case, blanks may repeat.
bool ParseCTime(const std::string& s, DateParts& p) {
    static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    size_t i = 0;
    auto word = [&](std::string& out) {
        while (i < s.size() && s[i] == ' ') ++i;
        out.clear();
        while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i])))
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(s[i++])));
        return out.size() == 3;
    };
    std::string weekday, month;
    if (!word(weekday) || !word(month)) return false;
    p.month = 0;
    for (int m = 0; m < 12; ++m)
        if (month == kMonths[m]) p.month = m + 1;
    int digits = 0;
    if (p.month == 0 || !ReadNumber(s, i, p.day, digits) || digits > 2) return false;
    if (!ReadNumber(s, i, p.hour, digits) || digits > 2 || !Expect(s, i, ':')) return false;
    if (!ReadNumber(s, i, p.minute, digits) || digits > 2 || !Expect(s, i, ':')) return false;
    if (!ReadNumber(s, i, p.second, digits) || digits > 2) return false;
    if (!ReadNumber(s, i, p.year, digits) || digits != 4) return false;
    p.millisecond = 0;
    return i == s.size();
}

// Days from 1 January 1904, where the movie header's clock starts, to the
// first day a clip can carry and to the first it cannot: no camera that
// writes the format had its clock before 1970 (smaller values come from a
// clock never set, or from one that counts from 1970 by mistake), and the
// date-time ends with the year 9999.
constexpr int64_t kDays1904To1970 = 24107;
constexpr int64_t kDays1904To10000 = 2957004;

// A UTC time in the last hours of the year 9999 is the year 10000 east of
// Greenwich: no day the mask can show, so no date at all.
bool LocalDateOf(TDateTime utc, TDateTime& out, ICaptureDatePlatform& platform) {
    TDateTime local = 0;
    if (!platform.UtcToLocal(utc, local) || !IsValidDateParts(DecodeDateTime(local))) return false;
    out = local;
    return true;
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

bool ParseCreationDate(const std::string& raw, TDateTime& out, bool& utc) {
    std::string text = raw;
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.pop_back();
    // Some cameras write the EXIF form with slashes in the date.
    if (text.size() >= 10 && text[4] == '/' && text[7] == '/') text[4] = text[7] = ':';
    DateParts p;
    bool isUtc = false;
    TDateTime exifForm = 0;
    if (ParseIso8601(text, p, isUtc) || ParseCTime(text, p)) {
        if (!IsValidDateParts(p)) return false;
        out = EncodeDateTime(p);
        utc = isUtc;
        return true;
    }
    if (ParseExifDateTime(text, exifForm)) {
        out = exifForm;
        utc = false;
        return true;
    }
    return false;
}

bool MovieHeaderTime(uint64_t secondsSince1904, TDateTime& utc) {
    const uint64_t day = secondsSince1904 / 86400, second = secondsSince1904 % 86400;
    if (day < uint64_t(kDays1904To1970) || day >= uint64_t(kDays1904To10000)) return false;
    utc = EncodeDateTime({1904, 1, 1}) + static_cast<double>(day) + static_cast<double>(second) / 86400.0;
    return true;
}

// Five minutes take in a camera that stamps its file a little after the
// last frame, a duration rounded to the second and the two seconds of a
// FAT time, and stay far below the hour or more between the two readings.
constexpr double kClockTolerance = 5.0 / 1440.0;

bool HeaderOnCameraClock(TDateTime headerAsClock, TDateTime headerFromUtc, uint64_t durationMs, TDateTime fileTime) {
    const double duration = static_cast<double>(durationMs) / 86400000.0;
    auto lands = [&](TDateTime start) { return std::fabs(start + duration - fileTime) <= kClockTolerance; };
    return lands(headerAsClock) && !lands(headerFromUtc);
}

// The text wins over the movie header: phones write it with the offset of
// the place where the clip was shot, so its wall-clock time is the one the
// photos of the same moment carry in their EXIF blocks, wherever the
// computer that imports them is. A text in UTC, like the header, is turned
// into the computer's local time of that date. The header is UTC in the
// format and in phones, but many cameras and camcorders write their own
// clock there; the file time they leave tells which (see
// HeaderOnCameraClock), and without that evidence it is taken as UTC.
bool MovieCaptureDate(const TExif& exif, const std::string& FileName, TDateTime& out,
                      ICaptureDatePlatform& platform) {
    TDateTime t = 0;
    bool utc = false;
    if (!exif.CreationDate.empty() && ParseCreationDate(exif.CreationDate, t, utc)) {
        if (!utc) {
            out = t;
            return true;
        }
        return LocalDateOf(t, out, platform);
    }
    TDateTime fromUtc = 0;
    if (!MovieHeaderTime(exif.MovieCreated, t) || !LocalDateOf(t, fromUtc, platform)) return false;
    out = HeaderOnCameraClock(t, fromUtc, exif.MovieDurationMs, platform.FileWriteTime(FileName)) ? t : fromUtc;
    return true;
}

bool ExifCaptureDate(const std::string& FileName, TDateTime& D, std::string& ErrorText,
                     ICaptureDatePlatform& platform) {
    bool result = false;
    TDateTime parsed = 0;
    // Each file is judged by its own read alone: a message an earlier file
    // left in ErrorText must not cost this one its date.
    try {
        TExif exif;
        platform.ReadExif(FileName, exif);
        if (exif.HasExif) result = ParseExifDateTime(exif.DateTimeDigitized, parsed);
        if (!result) result = MovieCaptureDate(exif, FileName, parsed, platform);
    } catch (const std::exception& e) {
        ErrorText = e.what();
    }
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
            e.movieCreated = read.MovieCreated;
            e.movieDurationMs = read.MovieDurationMs;
            e.creationDate = read.CreationDate;
        } catch (const std::exception& x) {
            e.exifThrew = true;
            e.exifError = x.what();
        }
        e.exifRead = true;
    }
    if (e.exifThrew) throw std::runtime_error(e.exifError);
    exif.HasExif = e.hasExif;
    exif.DateTimeDigitized = e.digitized;
    exif.MovieCreated = e.movieCreated;
    exif.MovieDurationMs = e.movieDurationMs;
    exif.CreationDate = e.creationDate;
}
