// Kolibrio2.exe given a card of photos, RAW files, HEIC pictures and clips
// whose file times lie years after the moments they were taken: every file
// is filed under its own capture date, the RAW file beside its JPEG with the
// same time in its name, the clip shot at half past midnight in summer on
// the same day, and only a type that keeps no date under its file time. A
// damaged photo among them costs only itself its date, and is named.
#include <windows.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/Strings.h"
#include "support/RunningProgram.h"
#include "support/UiTest.h"
#include "support/WinTest.h"
#include "support/WineDrive.h"
#include "tests/core/container_fixture.h"

using namespace exiffix;

namespace {

const wchar_t kConfirm[] = L"Kolibrio2 - Byl vložen fotoaparát";
const wchar_t kResults[] = L"Kolibrio2 - Výsledky kopírování";

// Seconds since 1904 of a UTC moment, as a movie header keeps it.
uint64_t Since1904(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s) {
    SYSTEMTIME st = {};
    st.wYear = y, st.wMonth = mo, st.wDay = d, st.wHour = h, st.wMinute = mi, st.wSecond = s;
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    // FILETIME counts 100 ns from 1601; 1904 is 9561628800 seconds later.
    return t.QuadPart / 10000000ULL - 9561628800ULL;
}

struct CardFile {
    const wchar_t* folder;
    std::wstring name;
    std::string bytes;
    SYSTEMTIME localWrite = {};  // the file time as the camera's clock wrote it; none: kCopied
};

std::vector<CardFile> Card() {
    auto jpeg = [](const std::string& date) { return Jpeg(CameraTiff(false, date).Build(), 16, 40000); };
    auto raw = [](int kind, const std::string& date) { return Raw(RawKinds()[kind], date, 60000); };
    Heif heic;
    heic.exif = ExifItem(CameraTiff(true, "2019:07:20 15:00:00").Build());
    Movie clip;  // 00:30:12 on 14 July in Prague is 22:30:12 UTC the day before
    clip.brand = "isom";
    clip.created = Since1904(2019, 7, 13, 22, 30, 12);
    clip.moovLast = true;
    Movie phone;  // its own text wins over a header an hour off
    phone.created = Since1904(2019, 7, 21, 15, 0, 0);
    phone.creationDate = "2019-07-21T16:00:00+0200";
    return {
        {L"100KAMRA", L"IMG_0001.JPG", jpeg("2019:07:14 00:30:12")},
        {L"100KAMRA", L"IMG_0001.CR2", raw(0, "2019:07:14 00:30:12")},
        {L"100KAMRA", L"DSC_0002.NEF", raw(1, "2019:07:14 08:15:00")},
        {L"100KAMRA", L"DSC_0003.ARW", raw(3, "2019:07:15 09:00:00")},
        {L"100KAMRA", L"IMG_0004.DNG", raw(6, "2019:07:16 10:00:00")},
        {L"100KAMRA", L"P0000005.ORF", raw(9, "2019:07:16 11:00:00")},
        {L"100KAMRA", L"P1000006.RW2", raw(12, "2019:07:17 12:00:00")},
        {L"100KAMRA", L"DSCF0007.RAF", Raf(jpeg("2019:07:18 13:00:00"))},
        {L"100KAMRA", L"IMG_0008.CR3", Cr3Of("2019:07:19 14:00:00")},
        {L"101PHONE", L"IMG_0009.HEIC", heic.Build()},
        {L"100KAMRA", L"MVI_0010.MP4", clip.Build()},
        {L"101PHONE", L"IMG_0011.MOV", phone.Build()},
        {L"100KAMRA", L"MVI_0012.AVI", Avi("SUN JUL 21 17:00:00 2019\n")},
        {L"100KAMRA", L"MVI_0013.MTS", "\x47" + Filler(5000)},
    };
}

// Every card file written on 1 December 2026 at noon UTC.
const SYSTEMTIME kCopied = {2026, 12, 2, 1, 12, 0, 0, 0};

// A camera's clock is local time; the card keeps it as the system reads a
// local file time.
bool Stamp(const std::wstring& path, const SYSTEMTIME& localWrite) {
    FILETIME ft, local;
    if (localWrite.wYear == 0) {
        SystemTimeToFileTime(&kCopied, &ft);
    } else {
        SystemTimeToFileTime(&localWrite, &local);
        LocalFileTimeToFileTime(&local, &ft);
    }
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BOOL ok = SetFileTime(h, &ft, nullptr, &ft);
    CloseHandle(h);
    return ok != FALSE;
}

// The folder and the time of day the program names a file with its file
// time: the offset of now, as the file time is read.
std::string FileTimeName(const std::string& name) {
    FILETIME ft, local;
    SystemTimeToFileTime(&kCopied, &ft);
    FileTimeToLocalFileTime(&ft, &local);
    SYSTEMTIME st;
    FileTimeToSystemTime(&local, &st);
    char buf[64];
    snprintf(buf, sizeof buf, "%04d-%02d-%02d\\%02d%02d%02d_", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
             st.wSecond);
    return buf + name;
}

// Files every type the factory list copies by its capture date, into
// day folders with the time in the name.
std::string CaptureDateSettings(const std::wstring& target) {
    return "[Mask]\r\nCurrentMask=%yyyy%-%mm%-%dd%\\%hh%%nn%%ss%_%file_name%.%file_ext%\r\nPath=" +
           fw::Utf8ToAnsi(fw::Utf8(target)) +
           "\r\n[Options]\r\nAutoUpdate=0\r\nTimeForMask=EXIFTime\r\nAutoRecognize=1\r\n"
           "FileExtension=*.jpg;*.cr2;*.nef;*.arw;*.dng;*.orf;*.rw2;*.raf;*.cr3;*.heic;*.mp4;*.mov;"
           "*.avi;*.mts\r\n";
}

}  // namespace

namespace {

// What a card import leaves: the text of its result box and the files below
// the target.
struct Imported {
    std::wstring text;
    std::vector<std::string> files;
    std::vector<std::string> bytesOf;  // each card file's copy, by the name expected for it
};

void ImportCard(const std::vector<CardFile>& files, const std::vector<std::string>& expectedNames, Imported& out) {
    const std::wstring card = wintest::MakeTempDir();
    CreateDirectoryW((card + L"DCIM").c_str(), nullptr);
    for (const CardFile& f : files) {
        const std::wstring folder = card + L"DCIM\\" + f.folder;
        CreateDirectoryW(folder.c_str(), nullptr);
        ASSERT_TRUE(wintest::WriteFileBytes(folder + L"\\" + f.name, f.bytes));
        ASSERT_TRUE(Stamp(folder + L"\\" + f.name, f.localWrite));
    }
    const wchar_t letter = wintest::FreeDriveLetter();
    ASSERT_NE(letter, 0);
    ASSERT_TRUE(wintest::DefineWineDrive(letter, card, DRIVE_REMOVABLE));
    {
        wintest::RunningProgram p(CaptureDateSettings);
        DWORD_PTR result = 0;
        p.SendVolume(DBT_DEVICEARRIVAL, letter, result, 300);  // the import runs inside the handler
        HWND confirm = nullptr;
        ASSERT_TRUE(wintest::WaitFor([&] { return (confirm = p.Visible(kConfirm)) != nullptr; }, 10000));
        HWND yes = wintest::FindChildByText(confirm, L"Ano");
        ASSERT_NE(yes, nullptr);
        PostMessageW(yes, BM_CLICK, 0, 0);
        HWND box = nullptr;
        ASSERT_TRUE(wintest::WaitFor([&] { return (box = p.Visible(kResults)) != nullptr; }, 30000));
        wintest::Pump(200);
        out.text = wintest::ReadMessageBox(box).text;
        out.files = wintest::FilesBelow(p.Target());
        for (const std::string& name : expectedNames)
            out.bytesOf.push_back(wintest::ReadFileBytes(p.Target() + fw::Wide(name)));
        PostMessageW(box, WM_CLOSE, 0, 0);
    }
    wintest::RemoveWineDrive(letter);
    wintest::RemoveTree(card);
}

}  // namespace

TEST(BlackboxCaptureDates, EveryFileIsFiledUnderItsOwnDate) {
    const std::vector<CardFile> files = Card();
    std::vector<std::string> expected = {
        "2019-07-14\\003012_IMG_0001.CR2", "2019-07-14\\003012_IMG_0001.JPG",
        "2019-07-14\\003012_MVI_0010.MP4", "2019-07-14\\081500_DSC_0002.NEF",
        "2019-07-15\\090000_DSC_0003.ARW", "2019-07-16\\100000_IMG_0004.DNG",
        "2019-07-16\\110000_P0000005.ORF", "2019-07-17\\120000_P1000006.RW2",
        "2019-07-18\\130000_DSCF0007.RAF", "2019-07-19\\140000_IMG_0008.CR3",
        "2019-07-20\\150000_IMG_0009.HEIC", "2019-07-21\\160000_IMG_0011.MOV",
        "2019-07-21\\170000_MVI_0012.AVI",  FileTimeName("MVI_0013.MTS"),
    };
    std::sort(expected.begin(), expected.end());
    Imported imported;
    ImportCard(files, {"2019-07-14\\003012_IMG_0001.CR2"}, imported);
    EXPECT_EQ(imported.text.rfind(L"Kopírování proběhlo úspěšně.\r\n\r\nZkopírováno souborů: 14 ", 0), 0u)
        << fw::Utf8(imported.text);
    EXPECT_EQ(imported.files, expected);
    // The copy is the card's file, byte for byte.
    EXPECT_TRUE(imported.bytesOf[0] == files[1].bytes);
}

// Ten photos of one afternoon, the third cut inside its EXIF block, and two
// clips dated by their movie headers alone: a camcorder's, on its own clock,
// and a phone's, in UTC, each with the file time its camera left at the end
// of the recording. Every file but the cut one keeps its own date; the cut
// one is copied under its file time and named in the result, in Czech.
TEST(BlackboxCaptureDates, ADamagedPhotoCostsOnlyItselfItsDate) {
    std::vector<CardFile> files;
    std::vector<std::string> expected;
    for (int i = 1; i <= 10; ++i) {
        char date[32], name[16], target[64];
        snprintf(date, sizeof date, "2019:08:03 14:%02d:00", i);
        snprintf(name, sizeof name, "IMG_%04d.JPG", i);
        snprintf(target, sizeof target, "2019-08-03\\14%02d00_%s", i, name);
        std::string bytes = Jpeg(CameraTiff(i % 2 == 0, date).Build(), 16, 40000);
        if (i == 3) {
            bytes.resize(60);  // inside IFD0's entries
        } else {
            expected.push_back(target);
        }
        files.push_back({L"100KAMRA", fw::Wide(name), bytes});
    }
    expected.push_back(FileTimeName("IMG_0003.JPG"));
    Movie camcorder;  // 23:30 on a summer evening, on its own clock: ten seconds long
    camcorder.brand = "isom";
    camcorder.created = Since1904(2019, 7, 13, 23, 30, 0);
    files.push_back({L"100KAMRA", L"MVI_0011.MP4", camcorder.Build(), {2019, 7, 6, 13, 23, 30, 12, 0}});
    expected.push_back("2019-07-13\\233000_MVI_0011.MP4");
    Movie phone;  // 22:00 in Prague is 20:00 UTC in summer
    phone.brand = "isom";
    phone.created = Since1904(2019, 7, 13, 20, 0, 0);
    files.push_back({L"101PHONE", L"VID_0012.MP4", phone.Build(), {2019, 7, 6, 13, 22, 0, 11, 0}});
    expected.push_back("2019-07-13\\220000_VID_0012.MP4");
    std::sort(expected.begin(), expected.end());

    Imported imported;
    ImportCard(files, {FileTimeName("IMG_0003.JPG")}, imported);
    const std::wstring head = L"Během kopírování došlo k chybě:\r\n"
                              L"IMG_0003.JPG: metadata nelze přečíst, soubor je poškozený nebo zkrácený; "
                              L"datum podle času souboru.\r\n\r\nZkopírováno souborů: 12 ";
    EXPECT_EQ(imported.text.rfind(head, 0), 0u) << fw::Utf8(imported.text);
    EXPECT_EQ(imported.text.find(L"Read beyond"), std::wstring::npos);
    EXPECT_EQ(imported.files, expected);
    EXPECT_TRUE(imported.bytesOf[0] == files[2].bytes);  // copied as it was
}
