#include "exif/Exif.h"

#include <windows.h>

#include <stdexcept>

#include <gtest/gtest.h>

#include "tests/core/container_fixture.h"
#include "framework/Strings.h"
#include "support/WinTest.h"

using namespace exiffix;

namespace {

class ExifFile : public ::testing::Test {
protected:
    void SetUp() override { dir = wintest::MakeTempDir(); }
    void TearDown() override { wintest::RemoveTree(dir); }

    std::string Write(const std::wstring& name, const std::string& bytes) {
        EXPECT_TRUE(wintest::WriteFileBytes(dir + name, bytes));
        return fw::Utf8(dir + name);
    }
    // The text of the error ReadFromFile raised, or "" when it raised none.
    static std::string ReadError(TExif& x, const std::string& name) {
        try {
            x.ReadFromFile(name);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "";
    }

    std::wstring dir;
};

}  // namespace

TEST_F(ExifFile, ReadsBothByteOrdersFromDisk) {
    for (bool motorola : {false, true}) {
        std::string name = Write(motorola ? L"mm.jpg" : L"ii.jpg",
                                 Jpeg(CameraTiff(motorola, "2008:05:09 14:07:03").Build(), 16, 200 * 1024));
        TExif x;
        EXPECT_EQ(ReadError(x, name), "");
        EXPECT_TRUE(x.HasExif);
        EXPECT_EQ(x.DateTimeDigitized, "2008:05:09 14:07:03");
        EXPECT_EQ(x.Model, "KAMERA X-100");
        EXPECT_EQ(x.ISOSpeed, 400);
        EXPECT_EQ(x.ShutterSpeed, "1/120 seconds");
    }
}

TEST_F(ExifFile, CzechNamesAndReadOnlyFiles) {
    std::string name = Write(L"snímek č. 1.jpg", Jpeg(CameraTiff(false, "2005:06:01 12:30:45").Build()));
    ASSERT_TRUE(SetFileAttributesW(fw::Wide(name).c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    TExif x;
    EXPECT_EQ(ReadError(x, name), "");
    EXPECT_EQ(x.DateTimeDigitized, "2005:06:01 12:30:45");
}

TEST_F(ExifFile, MissingFilesAndFoldersLeaveTheFieldsAlone) {
    CreateDirectoryW((dir + L"DCIM").c_str(), nullptr);
    for (std::string name : {fw::Utf8(dir + L"missing.jpg"), fw::Utf8(dir + L"no\\such\\folder.jpg"),
                             fw::Utf8(dir + L"DCIM"), std::string()}) {
        TExif x;
        x.Make = "kept";
        x.HasExif = true;
        EXPECT_EQ(ReadError(x, name), "") << name;
        EXPECT_EQ(x.Make, "kept") << name;
        EXPECT_TRUE(x.HasExif) << name;
    }
}

TEST_F(ExifFile, ShortAndLockedFilesRaiseThePlatformsTextAndAreClosed) {
    std::string one = Write(L"one.jpg", "\xFF");
    TExif x;
    x.Make = "cleared";
    EXPECT_EQ(ReadError(x, one), kReadBeyondEndOfFile);
    EXPECT_EQ(x.Make, "");
    // The reader let go of the file even though it left with an error.
    EXPECT_TRUE(DeleteFileW(fw::Wide(one).c_str()));

    std::string cut = Write(L"cut.jpg", Jpeg(CameraTiff(true, "2008:05:09 14:07:03").Build()).substr(0, 40));
    EXPECT_EQ(ReadError(x, cut), kReadBeyondEndOfFile);
    EXPECT_TRUE(x.HasExif);
    EXPECT_TRUE(DeleteFileW(fw::Wide(cut).c_str()));

    std::string locked = Write(L"locked.jpg", Jpeg(CameraTiff(false, "2008:05:09 14:07:03").Build()));
    HANDLE h = CreateFileW(fw::Wide(locked).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    x.Make = "cleared";
    EXPECT_EQ(ReadError(x, locked), fw::SystemErrorText(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(x.Make, "");
    CloseHandle(h);
    EXPECT_EQ(ReadError(x, locked), "");
    EXPECT_EQ(x.Make, "KAMERA");
}

// Every container read from a real file through the reader's own handle, in
// a few reads of the head of a file of camera size.
TEST_F(ExifFile, EveryContainerFromDisk) {
    const std::string date = "2019:07:14 00:30:12";
    Heif heic;
    heic.exif = ExifItem(CameraTiff(true, date).Build());
    heic.pictureBytes = 3 * 1024 * 1024;
    Movie clip;
    clip.brand = "isom";
    clip.created = 3645901812ULL;
    clip.creationDate = "2019-07-14T00:30:12+0200";
    clip.moovLast = true;
    clip.dataBytes = 5 * 1024 * 1024;
    struct Case {
        const wchar_t* name;
        std::string bytes;
        bool exif;
    } cases[] = {
        {L"IMG_0001.CR2", Raw(RawKinds()[0], date, 4 * 1024 * 1024), true},
        {L"DSC_0001.NEF", Raw(RawKinds()[1], date, 4 * 1024 * 1024), true},
        {L"P0000001.ORF", Raw(RawKinds()[9], date), true},
        {L"P1000001.RW2", Raw(RawKinds()[12], date), true},
        {L"DSCF0001.RAF", Raf(Jpeg(CameraTiff(false, date).Build(), 16, 300000), 0, 1000000), true},
        {L"IMG_0001.CR3", Cr3Of(date), true},
        {L"IMG_0001.HEIC", heic.Build(), true},
        {L"IMG_0002.MP4", clip.Build(), false},
        {L"MVI_0003.AVI", Avi("SUN JUL 14 00:30:12 2019\n"), false},
    };
    for (const auto& c : cases) {
        std::string name = Write(c.name, c.bytes);
        TExif x;
        EXPECT_EQ(ReadError(x, name), "") << name;
        EXPECT_EQ(x.HasExif, c.exif) << name;
        if (c.exif) {
            EXPECT_EQ(x.DateTimeDigitized, date) << name;
        } else {
            EXPECT_FALSE(x.CreationDate.empty()) << name;
        }
    }
}

// Positions past every file are the end of the file, not a request the
// system refuses with a text of its own.
TEST_F(ExifFile, HostileOffsetsEndLikeTheFile) {
    const std::string item = ExifItem(CameraTiff(false, "2019:07:14 00:30:12").Build());
    auto iloc = [&](uint64_t at) {
        return FullBox("iloc", 1, 0, std::string("\x88\x00", 2) + Be16Bytes(1) + Be16Bytes(2) + Be16Bytes(0) +
                                         Be16Bytes(0) + Be16Bytes(1) + Be64Bytes(at) + Be64Bytes(item.size()));
    };
    auto heic = [&](uint64_t at) {
        std::string infe = FullBox("infe", 2, 0, Be16Bytes(2) + Be16Bytes(0) + "Exif" + std::string(1, '\0'));
        return Ftyp("heic", "mif1heic") + FullBox("meta", 0, 0, FullBox("iinf", 0, 0, Be16Bytes(1) + infe) + iloc(at)) +
               Box("mdat", item);
    };
    for (uint64_t at : {uint64_t(1) << 40, uint64_t(1) << 62, uint64_t(1) << 63, ~uint64_t(0) - 3}) {
        std::string name = Write(L"far.HEIC", heic(at));
        TExif x;
        EXPECT_EQ(ReadError(x, name), kReadBeyondEndOfFile) << at;
        EXPECT_EQ(x.DateTimeDigitized, "") << at;
    }
    // A 64-bit box size past every file, then the movie: no date, no error.
    std::string name = Write(L"far.MOV", Ftyp("qt  ", "qt  ") + Box64("mdat", "", ~uint64_t(0) - 100) +
                                             Box("moov", Mvhd(0, 3645901812ULL)));
    TExif x;
    EXPECT_EQ(ReadError(x, name), "");
    EXPECT_EQ(x.MovieCreated, 0u);
}
