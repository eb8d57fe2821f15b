#include "mask/CaptureDate_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/core/container_fixture.h"
#include "framework/Strings.h"
#include "support/WinTest.h"

using namespace exiffix;

namespace {

constexpr double kHalfMs = 0.5 / 86400000.0;

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return EncodeDateTime({y, mo, d, h, mi, s, ms});
}

FILETIME Utc(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s, WORD ms) {
    SYSTEMTIME st = {};
    st.wYear = y, st.wMonth = mo, st.wDay = d, st.wHour = h, st.wMinute = mi, st.wSecond = s;
    st.wMilliseconds = ms;
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    return ft;
}

bool SetWriteTime(const std::wstring& path, const FILETIME& ft, DWORD flags = 0) {
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BOOL ok = SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
    return ok != FALSE;
}

// Minutes to add to UTC for local time as the system reckons it now.
int CurrentOffsetMinutes() {
    TIME_ZONE_INFORMATION tz;
    DWORD mode = GetTimeZoneInformation(&tz);
    LONG bias = tz.Bias + (mode == TIME_ZONE_ID_DAYLIGHT ? tz.DaylightBias : tz.StandardBias);
    return -bias;
}

class CaptureDateFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir = wintest::MakeTempDir();
        saved = Settings().TimeForMask;
    }
    void TearDown() override {
        Settings().TimeForMask = saved;
        wintest::RemoveTree(dir);
    }
    // Writes the bytes and stamps them 2020-01-02 03:04:05.678 UTC.
    std::string Write(const std::wstring& name, const std::string& bytes) {
        EXPECT_TRUE(wintest::WriteFileBytes(dir + name, bytes));
        EXPECT_TRUE(SetWriteTime(dir + name, Utc(2020, 1, 2, 3, 4, 5, 678)));
        return fw::Utf8(dir + name);
    }
    TDateTime Stamp() const { return At(2020, 1, 2, 3, 4, 5, 678) + CurrentOffsetMinutes() / 1440.0; }

    std::wstring dir;
    TTimeSource saved = TTimeSource::EXIFTime;
};

}  // namespace

TEST_F(CaptureDateFiles, FileWriteTimeUsesTheOffsetInForceNow) {
    // A winter and a summer time stamp are both moved by today's offset, not
    // by the one in force at their own dates.
    struct Case {
        FILETIME utc;
        TDateTime utcValue;
    } cases[] = {
        {Utc(2008, 1, 15, 12, 0, 0, 250), At(2008, 1, 15, 12, 0, 0, 250)},
        {Utc(2008, 7, 15, 12, 0, 0, 0), At(2008, 7, 15, 12, 0, 0, 0)},
    };
    const double offset = CurrentOffsetMinutes() / 1440.0;
    for (const auto& c : cases) {
        ASSERT_TRUE(wintest::WriteFileBytes(dir + L"a.jpg", "x"));
        ASSERT_TRUE(SetWriteTime(dir + L"a.jpg", c.utc));
        EXPECT_NEAR(FileWriteTime(fw::Utf8(dir + L"a.jpg")), c.utcValue + offset, kHalfMs);
    }
    // Prague in the test run: one hour in winter, two in summer.
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (now.wMonth == 12 || now.wMonth <= 2) {
        EXPECT_EQ(CurrentOffsetMinutes(), 60);
    }
}

TEST_F(CaptureDateFiles, FileWriteTimeOfAnyEntryAndOfNoEntry) {
    std::string hidden = Write(L"skrytý.jpg", "x");
    SetFileAttributesW(fw::Wide(hidden).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY |
                                                     FILE_ATTRIBUTE_SYSTEM);
    EXPECT_NEAR(FileWriteTime(hidden), Stamp(), kHalfMs);

    CreateDirectoryW((dir + L"DCIM").c_str(), nullptr);
    ASSERT_TRUE(SetWriteTime(dir + L"DCIM", Utc(2020, 1, 2, 3, 4, 5, 678), FILE_FLAG_BACKUP_SEMANTICS));
    EXPECT_NEAR(FileWriteTime(fw::Utf8(dir + L"DCIM")), Stamp(), kHalfMs);

    EXPECT_EQ(FileWriteTime(fw::Utf8(dir + L"missing.jpg")), 0);
    EXPECT_EQ(FileWriteTime(fw::Utf8(dir + L"*.jpg")), 0);  // a pattern names no file
    EXPECT_EQ(FileWriteTime(""), 0);
}

TEST_F(CaptureDateFiles, EachSettingWithRealFiles) {
    std::string camera = Write(L"P1070283.JPG", Jpeg(CameraTiff(true, "2008:05:09 14:07:03").Build(), 0, 50000));
    std::string original = Write(L"P1070284.JPG", [] {
        Tiff t;
        t.ifd0 = {ExifLink()};
        t.exif = {Ascii(0x9003, "2008:05:09 14:07:03")};
        return Jpeg(t.Build(), 16, 5000);
    }());
    std::string clip = Write(L"P1070285.AVI", Avi(""));
    std::string missing = fw::Utf8(dir + L"P1070286.JPG");
    std::string cut = Write(L"P1070287.JPG", std::string("\xFF\xD8\xFF\xE1\x00", 5));

    struct Case {
        TTimeSource source;
        std::string name;
        TDateTime expected;
        std::string error;
    } cases[] = {
        {TTimeSource::FileTime, camera, Stamp(), ""},
        {TTimeSource::FileTime, missing, 0, ""},
        {TTimeSource::EXIFTime, camera, At(2008, 5, 9, 14, 7, 3), ""},
        {TTimeSource::EXIFTime, original, Stamp(), ""},
        {TTimeSource::EXIFTime, clip, Stamp(), ""},
        {TTimeSource::EXIFTime, missing, 0, ""},
        {TTimeSource::EXIFTime, cut, Stamp(), kReadBeyondEndOfFile},
    };
    for (const auto& c : cases) {
        Settings().TimeForMask = c.source;
        std::string error;
        EXPECT_NEAR(CaptureDate(c.name, error), c.expected, kHalfMs) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
}

TEST_F(CaptureDateFiles, NowTimeIsTheLocalTimeOfTheCall) {
    std::string camera = Write(L"P1070283.JPG", Jpeg(CameraTiff(false, "2008:05:09 14:07:03").Build()));
    Settings().TimeForMask = TTimeSource::NowTime;
    std::string error;
    TDateTime before = LocalNow();
    TDateTime d = CaptureDate(camera, error);
    Sleep(30);
    TDateTime later = CaptureDate(camera, error);
    TDateTime after = LocalNow();
    EXPECT_LE(before, d);
    EXPECT_LT(d, later);  // every call asks the clock anew
    EXPECT_LE(later, after);
    EXPECT_LT(after - before, 5.0 / 86400);
    EXPECT_EQ(error, "");
}

// Prague in the test run: the offset of the clip's own date, not today's,
// as Explorer shows a clip's media date. Today is in winter or in summer;
// either way one of the two cases differs from the offset of now.
TEST(UtcToLocal, TakesTheOffsetOfTheDateItself) {
    struct Case {
        TDateTime utc, local;
    } cases[] = {
        {At(2019, 7, 13, 22, 30, 12), At(2019, 7, 14, 0, 30, 12)},
        {At(2019, 1, 13, 23, 30, 12), At(2019, 1, 14, 0, 30, 12)},
        {At(2019, 3, 31, 0, 59, 59), At(2019, 3, 31, 1, 59, 59)},  // the last second of winter time
        {At(2019, 3, 31, 1, 0, 0), At(2019, 3, 31, 3, 0, 0)},
        {At(2019, 10, 27, 0, 59, 59), At(2019, 10, 27, 2, 59, 59)},
        {At(2019, 10, 27, 1, 0, 0), At(2019, 10, 27, 2, 0, 0)},
    };
    for (const auto& c : cases) {
        TDateTime local = 0;
        ASSERT_TRUE(UtcToLocal(c.utc, local));
        EXPECT_NEAR(local, c.local, kHalfMs) << DecodeDateTime(c.utc).month;
    }
    TDateTime local = -1;
    EXPECT_FALSE(UtcToLocal(At(1500, 1, 1), local));  // before the system's calendar
    EXPECT_EQ(local, -1);
}

// A card after a summer holiday, imported in any season: every file is
// dated from itself, whatever its file time says.
TEST_F(CaptureDateFiles, EveryContainerFromDisk) {
    const std::string date = "2019:07:14 00:30:12";
    const TDateTime shot = At(2019, 7, 14, 0, 30, 12);
    Heif heic;
    heic.exif = ExifItem(CameraTiff(false, date).Build());
    Movie clip;
    clip.brand = "isom";
    clip.created = 3645901812ULL;  // 13 July 2019 22:30:12 UTC
    Movie phone = clip;
    phone.brand = "qt  ";
    phone.created += 7200;
    phone.creationDate = "2019-07-14T00:30:12+0200";
    struct Case {
        const wchar_t* name;
        std::string bytes;
        TDateTime expected;
    } cases[] = {
        {L"IMG_0001.JPG", Jpeg(CameraTiff(false, date).Build(), 16, 5000), shot},
        {L"IMG_0001.CR2", Raw(RawKinds()[0], date), shot},
        {L"DSC_0001.NEF", Raw(RawKinds()[1], date), shot},
        {L"DSC_0001.ARW", Raw(RawKinds()[3], date), shot},
        {L"IMG_0001.DNG", Raw(RawKinds()[6], date), shot},
        {L"DSCF0001.RAF", Raf(Jpeg(CameraTiff(true, date).Build(), 16, 5000)), shot},
        {L"IMG_0002.CR3", Cr3Of(date), shot},
        {L"IMG_0003.HEIC", heic.Build(), shot},
        {L"MVI_0004.MP4", clip.Build(), shot},
        {L"IMG_0005.MOV", phone.Build(), shot},
        {L"MVI_0006.AVI", Avi("SUN JUL 14 00:30:12 2019"), shot},
        {L"MVI_0007.MTS", "\x47" + Filler(3000), Stamp()},
    };
    Settings().TimeForMask = TTimeSource::EXIFTime;
    for (const auto& c : cases) {
        std::string name = Write(c.name, c.bytes);
        std::string error;
        EXPECT_NEAR(CaptureDate(name, error), c.expected, kHalfMs) << name;
        EXPECT_EQ(error, "") << name;
    }
}
