#include "mask/CaptureDate.h"

#include <map>
#include <stdexcept>

#include <gtest/gtest.h>

#include "tests/core/exif_fixture.h"

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
    p.Add("clip.avi", "RIFF....AVI LIST", fileTime);

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

TEST(ExifCaptureDate, AnErrorIsKeptAndMakesEveryLaterCallFail) {
    FakePlatform p;
    p.Add("good.jpg", JpegWith({Ascii(0x9004, "2008:05:09 14:07:03")}), At(2020, 1, 1));
    p.Add("cut.jpg", JpegWith({Ascii(0x9004, "2008:05:09 14:07:03")}).substr(0, 25), At(2020, 1, 1));

    TDateTime d = -1;
    std::string error;
    EXPECT_FALSE(ExifCaptureDate("cut.jpg", d, error, p));
    EXPECT_EQ(error, kReadBeyondEndOfFile);
    EXPECT_EQ(d, -1);

    // The next good file is still read, but the kept message makes it fail.
    EXPECT_FALSE(ExifCaptureDate("good.jpg", d, error, p));
    EXPECT_EQ(d, -1);
    EXPECT_EQ(error, kReadBeyondEndOfFile);
    EXPECT_EQ(p.exifReads, 2);

    // A message from elsewhere counts the same way; a new failure replaces it.
    error = "earlier";
    EXPECT_FALSE(ExifCaptureDate("good.jpg", d, error, p));
    EXPECT_EQ(error, "earlier");
    p.readError = "Přístup byl odepřen";
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
