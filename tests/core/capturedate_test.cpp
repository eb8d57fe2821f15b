#include "mask/CaptureDate.h"

#include <cmath>
#include <map>
#include <stdexcept>

#include <gtest/gtest.h>

#include "tests/core/container_fixture.h"

using namespace exiffix;

namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return EncodeDateTime({y, mo, d, h, mi, s, ms});
}

// Files held in memory, read by the real EXIF reader; names not listed do
// not exist.
class FakePlatform : public ICaptureDatePlatform {
public:
    std::map<std::string, std::string> files;
    std::map<std::string, TDateTime> writeTimes;
    std::string readError;       // thrown by every EXIF read when set
    std::string writeTimeError;  // thrown by every file-time lookup when set
    TDateTime clock = At(2026, 12, 10, 11, 0, 0, 0);
    int exifReads = 0;
    int conversions = 0;

    TDateTime FileWriteTime(const std::string& FileName) override {
        if (!writeTimeError.empty()) throw std::runtime_error(writeTimeError);
        auto it = writeTimes.find(FileName);
        return it == writeTimes.end() ? 0 : it->second;
    }
    TDateTime Now() override {
        clock += 1.0 / 86400000.0;  // one millisecond per call
        return clock;
    }
    void ReadExif(const std::string& FileName, TExif& exif) override {
        ++exifReads;
        if (!readError.empty()) throw std::runtime_error(readError);
        auto it = files.find(FileName);
        if (it == files.end()) return;
        TMemoryReadFile file(it->second);
        exif.ReadFromFile(file);
    }

    // Central European rules: an hour ahead of UTC, two from the last Sunday
    // of March to the last Sunday of October (switching at 01:00 UTC).
    bool UtcToLocal(TDateTime utc, TDateTime& local) override {
        ++conversions;
        const DateParts p = DecodeDateTime(utc);
        auto lastSunday = [&](int month) {
            TDateTime last = At(p.year, month, 31, 1);
            return last - DayOfWeek(last);
        };
        const bool summer = utc >= lastSunday(3) && utc < lastSunday(10);
        local = utc + (summer ? 2 : 1) / 24.0;
        return true;
    }

    void Add(const std::string& name, const std::string& bytes, TDateTime writeTime) {
        files[name] = bytes;
        writeTimes[name] = writeTime;
    }
};

std::string JpegWith(std::vector<Entry> exifEntries) {
    Tiff t;
    t.motorola = true;
    t.ifd0 = {Ascii(0x0132, "1999:01:01 01:01:01"), ExifLink()};
    t.exif = std::move(exifEntries);
    return Jpeg(t.Build(), 16, 2000);
}

}  // namespace

TEST(ParseExifDateTime, AcceptsTheExifFormAndTheChosenVariants) {
    struct Case {
        const char* text;
        bool ok;
        TDateTime value;
    } cases[] = {
        {"2008:05:09 14:07:03", true, At(2008, 5, 9, 14, 7, 3)},
        {"2005:06:01 12:30:45", true, At(2005, 6, 1, 12, 30, 45)},
        {"2008:5:9 4:7:3", true, At(2008, 5, 9, 4, 7, 3)},
        {" 2008: 05: 09   14: 07: 03", true, At(2008, 5, 9, 14, 7, 3)},
        {"2008:05:09 14:07:03   ", true, At(2008, 5, 9, 14, 7, 3)},
        {"2008:02:29 23:59:59", true, At(2008, 2, 29, 23, 59, 59)},
        {"0999:12:31 00:00:00", true, At(999, 12, 31)},
        {"0001:01:01 00:00:00", true, At(1, 1, 1)},
        {"2008:05:09", true, At(2008, 5, 9)},              // a date alone: midnight
        {"2008:05:09 14:07", true, At(2008, 5, 9, 14, 7)},  // no seconds: the full minute
        {"", false, 0},
        {"0000:00:00 00:00:00", false, 0},
        {"    :  :     :  :  ", false, 0},
        {"2007:02:29 10:00:00", false, 0},
        {"2008:13:01 10:00:00", false, 0},
        {"2008:04:31 10:00:00", false, 0},
        {"2008:05:09 24:00:00", false, 0},
        {"2008:05:09 14:60:00", false, 0},
        {"2008:05:09 14:07:60", false, 0},
        {"08:05:09 14:07:03", false, 0},      // two-digit year
        {"14:07:03", false, 0},               // a time alone
        {"2008:05:09 14:07:03+02:00", false, 0},
        {"2008:05:09 14:07:03.25", false, 0},
        {"2008:05:09 14:07:", false, 0},
        {"2008:05:09T14:07:03", false, 0},
        {"2008-05-09 14:07:03", false, 0},
        {"20080:05:09 14:07:03", false, 0},   // five digits
        {"2008:05:0914:07:03", false, 0},
        {"2008:05:09 -4:07:03", false, 0},
    };
    for (const auto& c : cases) {
        TDateTime out = -7;
        EXPECT_EQ(ParseExifDateTime(c.text, out), c.ok) << '"' << c.text << '"';
        EXPECT_EQ(out, c.ok ? c.value : -7) << '"' << c.text << '"';
    }
    // 9 May 2008 is day 39577; 14:07:03 is that fraction of a day.
    TDateTime out = 0;
    ASSERT_TRUE(ParseExifDateTime("2008:05:09 14:07:03", out));
    EXPECT_DOUBLE_EQ(out, 39577 + (14 * 3600 + 7 * 60 + 3) / 86400.0);
}

TEST(ExifCaptureDate, ReadsTagDateTimeDigitizedOnly) {
    FakePlatform p;
    const TDateTime fileTime = At(2020, 1, 2, 3, 4, 5);
    p.Add("digitized.jpg", JpegWith({Ascii(0x9003, "2001:01:01 00:00:00"), Ascii(0x9004, "2008:05:09 14:07:03")}), fileTime);
    p.Add("original-only.jpg", JpegWith({Ascii(0x9003, "2008:05:09 14:07:03")}), fileTime);
    p.Add("zero.jpg", JpegWith({Ascii(0x9004, "0000:00:00 00:00:00")}), fileTime);
    p.Add("no-exif.jpg", "\xFF\xD8\xFF\xDB\x00\x07" + std::string(5000, '\x01'), fileTime);
    p.Add("clip.avi", Avi(""), fileTime);

    struct Case {
        const char* name;
        bool ok;
    } cases[] = {
        {"digitized.jpg", true},  {"original-only.jpg", false}, {"zero.jpg", false},
        {"no-exif.jpg", false},   {"clip.avi", false},          {"missing.jpg", false},
    };
    for (const auto& c : cases) {
        TDateTime d = -1;
        std::string error;
        EXPECT_EQ(ExifCaptureDate(c.name, d, error, p), c.ok) << c.name;
        EXPECT_EQ(d, c.ok ? At(2008, 5, 9, 14, 7, 3) : -1) << c.name;
        EXPECT_EQ(error, "") << c.name;
    }
}

// Each call is judged by its own read: a message an earlier file left in
// the error text costs a good file nothing.
TEST(ExifCaptureDate, EachFileIsJudgedByItsOwnRead) {
    FakePlatform p;
    p.Add("good.jpg", JpegWith({Ascii(0x9004, "2008:05:09 14:07:03")}), At(2020, 1, 1));
    p.Add("cut.jpg", JpegWith({Ascii(0x9004, "2008:05:09 14:07:03")}).substr(0, 40), At(2020, 1, 1));

    TDateTime d = -1;
    std::string error;
    EXPECT_FALSE(ExifCaptureDate("cut.jpg", d, error, p));
    EXPECT_EQ(error, kReadBeyondEndOfFile);
    EXPECT_EQ(d, -1);

    EXPECT_TRUE(ExifCaptureDate("good.jpg", d, error, p));
    EXPECT_EQ(d, At(2008, 5, 9, 14, 7, 3));
    EXPECT_EQ(error, kReadBeyondEndOfFile);  // never emptied here

    error = "earlier";
    d = -1;
    EXPECT_TRUE(ExifCaptureDate("good.jpg", d, error, p));
    EXPECT_EQ(d, At(2008, 5, 9, 14, 7, 3));
    EXPECT_EQ(error, "earlier");

    p.readError = "Přístup byl odepřen";
    d = -1;
    EXPECT_FALSE(ExifCaptureDate("good.jpg", d, error, p));
    EXPECT_EQ(error, "Přístup byl odepřen");
    EXPECT_EQ(d, -1);
}

TEST(CaptureDate, EachSourceAndItsFallback) {
    FakePlatform p;
    const TDateTime fileTime = At(2020, 1, 2, 3, 4, 5, 678);
    const TDateTime exifTime = At(2008, 5, 9, 14, 7, 3);
    p.Add("camera.jpg", JpegWith({Ascii(0x9004, "2008:05:09 14:07:03")}), fileTime);
    p.Add("original-only.jpg", JpegWith({Ascii(0x9003, "2008:05:09 14:07:03")}), fileTime);
    p.Add("clip.mov", "....moov", fileTime);
    p.Add("cut.jpg", std::string("\xFF\xD8\xFF\xE1\x00", 5), fileTime);

    struct Case {
        TTimeSource source;
        const char* name;
        TDateTime expected;
        std::string error;
    } cases[] = {
        {TTimeSource::FileTime, "camera.jpg", fileTime, ""},
        {TTimeSource::FileTime, "missing.jpg", 0, ""},
        {TTimeSource::EXIFTime, "camera.jpg", exifTime, ""},
        {TTimeSource::EXIFTime, "original-only.jpg", fileTime, ""},
        {TTimeSource::EXIFTime, "clip.mov", fileTime, ""},
        {TTimeSource::EXIFTime, "missing.jpg", 0, ""},
        {TTimeSource::EXIFTime, "cut.jpg", fileTime, kReadBeyondEndOfFile},
        {TTimeSource::None, "camera.jpg", exifTime, ""},  // read as the factory choice
        {TTimeSource::None, "clip.mov", fileTime, ""},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(CaptureDate(c.source, c.name, error, p), c.expected) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
}

TEST(CaptureDate, NowTimeIsTheMomentOfEachCall) {
    FakePlatform p;
    p.Add("camera.jpg", JpegWith({Ascii(0x9004, "2008:05:09 14:07:03")}), At(2020, 1, 1));
    std::string error;
    TDateTime first = CaptureDate(TTimeSource::NowTime, "camera.jpg", error, p);
    TDateTime second = CaptureDate(TTimeSource::NowTime, "camera.jpg", error, p);
    EXPECT_EQ(DecodeDateTime(first).millisecond, 1);
    EXPECT_EQ(DecodeDateTime(second).millisecond, 2);
    EXPECT_EQ(p.exifReads, 0);
    EXPECT_EQ(error, "");
}

TEST(CaptureDate, AnErrorOfItsOwnGivesZeroAndTheMessage) {
    FakePlatform p;
    p.Add("clip.mov", "....moov", At(2020, 1, 1));
    p.writeTimeError = "Chyba systému souborů";
    for (TTimeSource source : {TTimeSource::FileTime, TTimeSource::EXIFTime}) {
        std::string error = "older text";
        EXPECT_EQ(CaptureDate(source, "clip.mov", error, p), 0);
        EXPECT_EQ(error, "Chyba systému souborů");
    }
}

// An import asks each file's date twice (ordering, naming) in two different
// orders, with an error text that sticks: the remembered answers must be
// the system's answers, failures included, from one read per file.
TEST(RememberedFileDates, AnswersAsTheSystemDoesFromOneReadPerFile) {
    FakePlatform system;
    system.Add("a.jpg", JpegWith({Ascii(0x9004, "2008:05:09 14:07:03")}), At(2020, 1, 1));
    system.Add("b.mov", "....moov", At(2021, 2, 2));
    system.Add("cut.jpg", std::string("\xFF\xD8\xFF\xE1\x00", 5), At(2022, 3, 3));
    system.Add("c.jpg", JpegWith({Ascii(0x9004, "2009:06:10 15:08:04")}), At(2023, 4, 4));
    const std::vector<std::string> scanOrder = {"a.jpg", "b.mov", "cut.jpg", "c.jpg", "missing.jpg"};
    const std::vector<std::string> namingOrder = {"c.jpg", "missing.jpg", "a.jpg", "cut.jpg", "b.mov"};

    for (TTimeSource source : {TTimeSource::EXIFTime, TTimeSource::FileTime}) {
        FakePlatform direct = system;
        TRememberedFileDates remembered(system);
        system.exifReads = 0;
        for (const auto* order : {&scanOrder, &namingOrder}) {
            std::string directError, rememberedError;
            for (const std::string& name : *order) {
                EXPECT_EQ(CaptureDate(source, name, rememberedError, remembered),
                          CaptureDate(source, name, directError, direct))
                    << name;
                EXPECT_EQ(rememberedError, directError) << name;
            }
        }
        EXPECT_EQ(system.exifReads, source == TTimeSource::EXIFTime ? 5 : 0);
    }

    // A failure of the system is answered again, without asking it again.
    system.readError = "Přístup byl odepřen";
    system.writeTimeError = "Zařízení není připraveno";
    system.exifReads = 0;
    TRememberedFileDates remembered(system);
    for (int pass = 0; pass < 2; ++pass) {
        TExif exif;
        EXPECT_THROW(remembered.ReadExif("a.jpg", exif), std::runtime_error);
        try {
            remembered.FileWriteTime("a.jpg");
            ADD_FAILURE() << "the file time's failure was not answered again";
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), "Zařízení není připraveno");
        }
    }
    EXPECT_EQ(system.exifReads, 1);

    // The clock is asked anew every time.
    EXPECT_NE(remembered.Now(), remembered.Now());
}

// Seconds since 1904 of a UTC moment, as a movie header stores it.
uint64_t Since1904(int y, int mo, int d, int h, int mi, int s) {
    return static_cast<uint64_t>(std::llround((At(y, mo, d, h, mi, s) - At(1904, 1, 1)) * 86400));
}

TEST(ParseCreationDate, TheFormsMoviesKeep) {
    struct Case {
        const char* text;
        bool ok;
        TDateTime value;
        bool utc;
    } cases[] = {
        {"2019-07-14T00:30:12+0200", true, At(2019, 7, 14, 0, 30, 12), false},
        {"2019-07-14T00:30:12+02:00", true, At(2019, 7, 14, 0, 30, 12), false},
        {"2019-07-14T00:30:12-04", true, At(2019, 7, 14, 0, 30, 12), false},
        {"2019-07-14T00:30:12.345-0400", true, At(2019, 7, 14, 0, 30, 12, 345), false},
        {"2019-07-14 00:30:12+0000", true, At(2019, 7, 14, 0, 30, 12), false},
        {"2019-07-13T22:30:12Z", true, At(2019, 7, 13, 22, 30, 12), true},
        {"SUN JUL 14 00:30:12 2019", true, At(2019, 7, 14, 0, 30, 12), false},
        {"Sun Jul  4 09:05:01 2010\n", true, At(2010, 7, 4, 9, 5, 1), false},
        {"2019:07:14 00:30:12", true, At(2019, 7, 14, 0, 30, 12), false},
        // The forms cameras write into an AVI's IDIT.
        {"Tue Oct 27 12:14:34 2009", true, At(2009, 10, 27, 12, 14, 34), false},
        {"2009:10:27 12:14:34", true, At(2009, 10, 27, 12, 14, 34), false},
        {"2009/10/27 12:14:34", true, At(2009, 10, 27, 12, 14, 34), false},
        {"2009/10/27 12:14:34\n", true, At(2009, 10, 27, 12, 14, 34), false},
        {"2009/13/27 12:14:34", false, 0, false},
        {"2009/10:27 12:14:34", false, 0, false},
        {"27/10/2009 12:14:34", false, 0, false},
        {"2019-07-14T00:30:12", false, 0, false},  // whose time? not taken
        {"2019-07-14", false, 0, false},
        {"2019-02-29T10:00:00+0100", false, 0, false},
        {"2019-07-14T24:00:00+0100", false, 0, false},
        {"2019-07-14T00:30:12+2500", false, 0, false},
        {"2019-07-14T00:30:12Z+01", false, 0, false},
        {"0000-00-00T00:00:00+0000", false, 0, false},
        {"SUN XYZ 14 00:30:12 2019", false, 0, false},
        {"SUN JUL 14 00:30:12 19", false, 0, false},
        {"SUN JUL 32 00:30:12 2019", false, 0, false},
        {"", false, 0, false},
    };
    for (const auto& c : cases) {
        TDateTime out = -7;
        bool utc = !c.utc;
        EXPECT_EQ(ParseCreationDate(c.text, out, utc), c.ok) << c.text;
        EXPECT_EQ(out, c.ok ? c.value : -7) << c.text;
        if (c.ok) {
            EXPECT_EQ(utc, c.utc) << c.text;
        }
    }
}

TEST(MovieHeaderTime, ZeroAndImpossibleValuesAreNoDate) {
    struct Case {
        uint64_t seconds;
        bool ok;
        TDateTime value;
    } cases[] = {
        {Since1904(2019, 7, 13, 22, 30, 12), true, At(2019, 7, 13, 22, 30, 12)},
        {Since1904(1970, 1, 1, 0, 0, 0), true, At(1970, 1, 1)},
        {Since1904(9999, 12, 31, 23, 59, 59), true, At(9999, 12, 31, 23, 59, 59)},
        {0, false, 0},
        {5, false, 0},  // a clock never set
        {Since1904(1969, 12, 31, 23, 59, 59), false, 0},
        {Since1904(9999, 12, 31, 23, 59, 59) + 1, false, 0},
        {1833332745600ULL, false, 0},  // the year 60,000 of a version 1 header
        {0xFFFFFFFFFFFFFFFFULL, false, 0},
    };
    for (const auto& c : cases) {
        TDateTime out = -7;
        EXPECT_EQ(MovieHeaderTime(c.seconds, out), c.ok) << c.seconds;
        if (c.ok) {
            EXPECT_NEAR(out, c.value, 0.5 / 86400000) << c.seconds;
        }
    }
}

// Every container with its own date against a file time far away: the date
// each file carries, and a RAW+JPEG pair to the same second.
TEST(ExifCaptureDate, EveryFileItsOwnDate) {
    FakePlatform p;
    const TDateTime fileTime = At(2026, 12, 1, 8, 0, 0);
    const TDateTime shot = At(2019, 7, 14, 0, 30, 12);
    const std::string date = "2019:07:14 00:30:12";
    const uint64_t summerClip = Since1904(2019, 7, 13, 22, 30, 12);
    const uint64_t winterClip = Since1904(2019, 1, 13, 23, 30, 12);
    auto movie = [](std::string brand, int version, uint64_t created, std::string text = "") {
        Movie m;
        m.brand = brand;
        m.mvhdVersion = version;
        m.created = created;
        m.creationDate = text;
        return m.Build();
    };
    Heif heic;
    heic.exif = ExifItem(CameraTiff(false, date).Build());
    struct Case {
        const char* name;
        std::string bytes;
        bool ok;
        TDateTime expected;
    } cases[] = {
        {"P1.JPG", Jpeg(CameraTiff(true, date).Build(), 16, 3000), true, shot},
        {"P1.CR2", Raw(RawKinds()[0], date), true, shot},
        {"P1.NEF", Raw(RawKinds()[1], date), true, shot},
        {"P1.ORF", Raw(RawKinds()[9], date), true, shot},
        {"P1.RW2", Raw(RawKinds()[12], date), true, shot},
        {"P1.RAF", Raf(Jpeg(CameraTiff(true, date).Build(), 16, 3000)), true, shot},
        {"P1.CR3", Cr3Of(date), true, shot},
        {"P1.HEIC", heic.Build(), true, shot},
        {"summer.MOV", movie("qt  ", 0, summerClip), true, shot},
        {"summer.MP4", movie("isom", 1, summerClip), true, shot},
        {"winter.MP4", movie("isom", 0, winterClip), true, At(2019, 1, 14, 0, 30, 12)},
        {"phone.MOV", movie("qt  ", 0, summerClip + 3600 * 5, "2019-07-14T00:30:12+0200"), true, shot},
        {"abroad.MOV", movie("qt  ", 0, summerClip + 3600 * 6, "2019-07-14T00:30:12-0400"), true, shot},
        {"utc-text.MOV", movie("qt  ", 0, 0, "2019-07-13T22:30:12Z"), true, shot},
        {"no-offset.MOV", movie("qt  ", 0, summerClip, "2019-01-01T10:00:00"), true, shot},
        {"zero.MP4", movie("isom", 0, 0), false, 0},
        {"year60000.MP4", movie("isom", 1, 1833332745600ULL), false, 0},
        // The last hour of the year 9999 in UTC is already the year 10000
        // an hour ahead: no day the mask can show.
        {"last-day.MP4", movie("isom", 1, Since1904(9999, 12, 31, 22, 0, 0)), true, At(9999, 12, 31, 23, 0, 0)},
        {"end-of-time.MP4", movie("isom", 1, Since1904(9999, 12, 31, 23, 30, 0)), false, 0},
        {"end-of-time-text.MOV", movie("qt  ", 0, 0, "9999-12-31T23:30:00Z"), false, 0},
        {"old.AVI", Avi("SUN JUL 14 00:30:12 2019\n"), true, shot},
        {"plain.AVI", Avi(""), false, 0},
        {"no-date.CR3", Cr3(Tiff().Build(), Tiff().Build(), summerClip), false, 0},
        {"no-9004.NEF", [] {
             Tiff t;
             t.ifd0 = {ExifLink()};
             t.exif = {Ascii(0x9003, "2019:07:14 00:30:12")};
             return TiffRaw(t);
         }(), false, 0},
    };
    for (const auto& c : cases) p.Add(c.name, c.bytes, fileTime);
    for (const auto& c : cases) {
        TDateTime d = -1;
        std::string error;
        EXPECT_EQ(ExifCaptureDate(c.name, d, error, p), c.ok) << c.name;
        if (c.ok) {
            EXPECT_NEAR(d, c.expected, 0.5 / 86400000) << c.name;
        } else {
            EXPECT_EQ(d, -1) << c.name;
        }
        EXPECT_EQ(error, "") << c.name;
        std::string error2;
        EXPECT_NEAR(CaptureDate(TTimeSource::EXIFTime, c.name, error2, p), c.ok ? c.expected : fileTime,
                    0.5 / 86400000)
            << c.name;
    }
}

// A damaged container is a damaged file: its read error is reported, and
// it alone takes its file time.
TEST(ExifCaptureDate, ADamagedContainerIsAReadErrorOfItsOwn) {
    FakePlatform p;
    Heif heic;
    heic.exif = ExifItem(CameraTiff(false, "2019:07:14 00:30:12").Build());
    const std::string whole = heic.Build();
    p.Add("cut.HEIC", whole.substr(0, whole.size() - heic.exif.size() + 30), At(2020, 1, 1));
    p.Add("good.CR2", Raw(RawKinds()[0], "2019:07:14 00:30:12"), At(2020, 1, 1));
    std::string error;
    EXPECT_EQ(CaptureDate(TTimeSource::EXIFTime, "cut.HEIC", error, p), At(2020, 1, 1));
    EXPECT_EQ(error, kReadBeyondEndOfFile);
    EXPECT_EQ(CaptureDate(TTimeSource::EXIFTime, "good.CR2", error, p), At(2019, 7, 14, 0, 30, 12));
}

TEST(RememberedFileDates, KeepsTheMovieDatesAndConvertsThroughTheSystem) {
    FakePlatform system;
    Movie m;
    m.created = Since1904(2019, 7, 13, 22, 30, 12);
    system.Add("clip.MOV", m.Build(), At(2020, 1, 1));
    Movie phone = m;
    phone.creationDate = "2019-07-14T00:30:12+0200";
    system.Add("phone.MOV", phone.Build(), At(2020, 1, 1));
    TRememberedFileDates remembered(system);
    for (int pass = 0; pass < 2; ++pass) {
        for (const char* name : {"clip.MOV", "phone.MOV"}) {
            std::string error;
            EXPECT_NEAR(CaptureDate(TTimeSource::EXIFTime, name, error, remembered), At(2019, 7, 14, 0, 30, 12),
                        0.5 / 86400000)
                << name;
        }
    }
    EXPECT_EQ(system.exifReads, 2);
    EXPECT_EQ(system.conversions, 2);  // the header's time, once per pass; the phone's text needs none
}

TEST(HeaderOnCameraClock, TheReadingThatLandsOnTheFileTime) {
    const TDateTime start = At(2019, 7, 13, 23, 30, 0);
    const TDateTime twoHoursOn = At(2019, 7, 14, 1, 30, 0);
    const uint64_t tenSeconds = 10000;
    struct Case {
        const char* what;
        TDateTime clock, fromUtc;
        uint64_t durationMs;
        TDateTime fileTime;
        bool camera;
    } cases[] = {
        {"camera clock lands", start, twoHoursOn, tenSeconds, At(2019, 7, 13, 23, 30, 10), true},
        {"camera clock lands a little after the end", start, twoHoursOn, tenSeconds, At(2019, 7, 13, 23, 34, 59), true},
        {"camera clock lands a little before the end", start, twoHoursOn, tenSeconds, At(2019, 7, 13, 23, 25, 11), true},
        {"too far after the end", start, twoHoursOn, tenSeconds, At(2019, 7, 13, 23, 35, 11), false},
        {"UTC lands", At(2019, 7, 13, 21, 30, 0), start, tenSeconds, At(2019, 7, 13, 23, 30, 10), false},
        {"both land: the zone is UTC", start, start, tenSeconds, At(2019, 7, 13, 23, 30, 10), false},
        {"neither: copied later", start, twoHoursOn, tenSeconds, At(2026, 12, 1, 12, 0, 0), false},
        {"no file time", start, twoHoursOn, tenSeconds, 0, false},
        // An hour's clip an hour off UTC: only its duration tells the two apart.
        {"long clip on the camera clock", At(2019, 1, 13, 22, 30, 0), At(2019, 1, 13, 23, 30, 0), 3600000,
         At(2019, 1, 13, 23, 30, 4), true},
        {"long clip in UTC", At(2019, 1, 13, 21, 30, 0), At(2019, 1, 13, 22, 30, 0), 3600000,
         At(2019, 1, 13, 23, 30, 4), false},
        {"long clip without its duration", At(2019, 1, 13, 22, 30, 0), At(2019, 1, 13, 23, 30, 0), 0,
         At(2019, 1, 13, 23, 30, 4), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HeaderOnCameraClock(c.clock, c.fromUtc, c.durationMs, c.fileTime), c.camera) << c.what;
}

namespace {

// A camera's clip: its movie header's time and duration, and no date text.
std::string Clip(uint64_t created, uint32_t seconds) {
    return Ftyp("isom", "isom") + Box("moov", Mvhd(0, created, 1000, seconds * 1000) + Trak()) +
           Box("mdat", Filler(500));
}

}  // namespace

// A clip shot at 23:30 on a summer evening in Prague (21:30 UTC), dated by
// its movie header alone, whichever clock wrote it.
TEST(ExifCaptureDate, ClipHeaderOnTheCameraClockOrInUtc) {
    FakePlatform p;
    const TDateTime evening = At(2019, 7, 13, 23, 30, 0);
    const uint64_t asClock = Since1904(2019, 7, 13, 23, 30, 0);
    const uint64_t inUtc = Since1904(2019, 7, 13, 21, 30, 0);
    struct Case {
        const char* name;
        uint64_t header;
        uint32_t seconds;
        TDateTime fileTime;
        TDateTime expected;
    } cases[] = {
        {"camcorder.MTS.MP4", asClock, 10, At(2019, 7, 13, 23, 30, 12), evening},
        {"camera-winter.MOV", Since1904(2019, 1, 13, 23, 30, 0), 10, At(2019, 1, 13, 23, 30, 10),
         At(2019, 1, 13, 23, 30, 0)},
        {"camera-hour-long.MP4", Since1904(2019, 1, 13, 22, 30, 0), 3600, At(2019, 1, 13, 23, 30, 3),
         At(2019, 1, 13, 22, 30, 0)},
        {"phone.MP4", inUtc, 10, At(2019, 7, 13, 23, 30, 11), evening},
        {"phone-hour-long.MP4", Since1904(2019, 1, 13, 21, 30, 0), 3600, At(2019, 1, 13, 23, 30, 3),
         At(2019, 1, 13, 22, 30, 0)},
        // No evidence: the header is UTC, as it always was.
        {"copied-later.MP4", asClock, 10, At(2026, 12, 1, 12, 0, 0), At(2019, 7, 14, 1, 30, 0)},
        {"no-file-time.MP4", asClock, 10, 0, At(2019, 7, 14, 1, 30, 0)},
    };
    for (const auto& c : cases) p.Add(c.name, Clip(c.header, c.seconds), c.fileTime);
    for (const auto& c : cases) {
        TDateTime d = -1;
        std::string error;
        EXPECT_TRUE(ExifCaptureDate(c.name, d, error, p)) << c.name;
        EXPECT_NEAR(d, c.expected, 0.5 / 86400000) << c.name;
        EXPECT_EQ(error, "") << c.name;
    }

    // A date text with its offset wins whatever the file time says.
    Movie phone;
    phone.created = asClock;
    phone.creationDate = "2019-07-13T23:30:00+0200";
    p.Add("text.MOV", phone.Build(), At(2019, 7, 14, 1, 30, 10));
    TDateTime d = -1;
    std::string error;
    EXPECT_TRUE(ExifCaptureDate("text.MOV", d, error, p));
    EXPECT_NEAR(d, evening, 0.5 / 86400000);
}
