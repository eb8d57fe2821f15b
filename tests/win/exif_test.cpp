#include "exif/Exif.h"

#include <windows.h>

#include <stdexcept>

#include <gtest/gtest.h>

#include "tests/core/exif_fixture.h"
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
