#include "mask/CaptureDate_win.h"

#include <windows.h>

#include "framework/Strings.h"

namespace {

TDateTime FromSystemTime(const SYSTEMTIME& st) {
    DateParts p;
    p.year = st.wYear;
    p.month = st.wMonth;
    p.day = st.wDay;
    p.hour = st.wHour;
    p.minute = st.wMinute;
    p.second = st.wSecond;
    p.millisecond = st.wMilliseconds;
    return EncodeDateTime(p);
}

class TWinCaptureDatePlatform : public ICaptureDatePlatform {
public:
    TDateTime FileWriteTime(const std::string& FileName) override { return ::FileWriteTime(FileName); }
    TDateTime Now() override { return LocalNow(); }
    void ReadExif(const std::string& FileName, TExif& exif) override { exif.ReadFromFile(FileName); }
    bool UtcToLocal(TDateTime utc, TDateTime& local) override { return ::UtcToLocal(utc, local); }
};

}  // namespace

TDateTime FileWriteTime(const std::string& FileName) {
    // A wildcard names no file; looking it up would return the time of
    // whichever file happens to match first.
    std::string name = FileName.compare(0, 4, "\\\\?\\") == 0 ? FileName.substr(4) : FileName;
    if (name.find_first_of("*?") != std::string::npos) return 0;
    // The directory entry carries the time, whatever the file's attributes,
    // and a file locked by another program can still be looked up.
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(fw::Wide(FileName).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    FindClose(h);
    FILETIME local;
    SYSTEMTIME st;
    if (!FileTimeToLocalFileTime(&fd.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &st)) return 0;
    return FromSystemTime(st);
}

// The zone's rules for the date itself, as Explorer shows a clip's media
// date: a summer clip keeps its summer offset when imported in winter,
// unlike a file time (FileTimeToLocalFileTime takes the offset of now).
bool UtcToLocal(TDateTime utc, TDateTime& local) {
    const DateParts p = DecodeDateTime(utc);
    if (!IsValidDateParts(p) || p.year < 1601) return false;
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(p.year);
    st.wMonth = static_cast<WORD>(p.month);
    st.wDay = static_cast<WORD>(p.day);
    st.wHour = static_cast<WORD>(p.hour);
    st.wMinute = static_cast<WORD>(p.minute);
    st.wSecond = static_cast<WORD>(p.second);
    st.wMilliseconds = static_cast<WORD>(p.millisecond);
    SYSTEMTIME lt;
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &st, &lt)) return false;
    local = FromSystemTime(lt);
    return true;
}

TDateTime LocalNow() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return FromSystemTime(st);
}

ICaptureDatePlatform& WinCaptureDatePlatform() {
    static TWinCaptureDatePlatform platform;
    return platform;
}

TDateTime CaptureDate(const std::string& FileName, std::string& ErrorText) {
    return CaptureDate(Settings().TimeForMask, FileName, ErrorText, WinCaptureDatePlatform());
}
