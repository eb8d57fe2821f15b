#include "mask/MaskExpand.h"
#include "czech_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return EncodeDateTime({y, mo, d, h, mi, s, 0});
}

// Friday 9 May 2008 14:07:03.
TDateTime Capture() {
    return At(2008, 5, 9, 14, 7, 3);
}

// A run as the import makes it: every file has the date the test gives it,
// and every file read is recorded so the test can see which names were asked.
struct Harness {
    TDateNameTables names = CzechNames();
    TDateTime capture = Capture();
    TDateTime nowValue = At(2011, 12, 31, 23, 59, 58);
    std::vector<std::string> filesRead;
    TMaskState state;
    TMaskInputs inputs{names,
                       [this](const std::string& file, std::string&) {
                           filesRead.push_back(file);
                           return capture;
                       },
                       [this] { return nowValue; }};

    std::string Run(const std::string& file, const std::string& mask, bool preview = false) {
        std::string error;
        std::string out = ExpandMask(file, mask, error, preview, state, inputs);
        EXPECT_EQ(error, "") << mask;
        return out;
    }
};

TEST(ExpandMask, Placeholders) {
    struct Case {
        const char* file;
        const char* mask;
        int32_t index, total;
        const char* expected;
    } cases[] = {
        {"C:\\DCIM\\P1070283.JPG",
         "%d% %dd% %ddd% %dddd% %m% %mm% %mmm% %mmmm% %yy% %yyyy% %h% %hh% %n% %nn% %s% %ss%", 7, 250,
         "9 09 pá pátek 5 05 V května 08 2008 14 14 7 07 3 03"},
        {"C:\\DCIM\\P1070283.JPG", "%yyyy%\\%mm%\\%dd%\\%index%_%file_name%.%file_ext%", 7, 250,
         "2008\\05\\09\\007_P1070283.JPG"},
        // Placeholder letters in any case.
        {"C:\\DCIM\\P1070283.JPG", "%YYYY%\\%Mm%\\%Index%.%FILE_EXT%", 7, 250, "2008\\05\\007.JPG"},
        // A per cent sign that starts no placeholder is literal.
        {"C:\\DCIM\\P1070283.JPG", "100%", 7, 250, "100%"},
        {"C:\\DCIM\\P1070283.JPG", "%xyz%_%d", 7, 250, "%xyz%_%d"},
        {"C:\\DCIM\\P1070283.JPG", "%%d%%", 7, 250, "%9%"},
        // Matches do not overlap: the closing % of the first is used up.
        {"C:\\DCIM\\P1070283.JPG", "%d%d%", 7, 250, "9d%"},
        // Number widths follow the total count.
        {"C:\\DCIM\\P1070283.JPG", "%index%", 7, 9, "7"},
        {"C:\\DCIM\\P1070283.JPG", "%index%", 7, 10, "07"},
        {"C:\\DCIM\\P1070283.JPG", "%index%", 7, 250, "007"},
        {"C:\\DCIM\\P1070283.JPG", "%index%", 1000, 250, "1000"},
        {"C:\\DCIM\\P1070283.JPG", "%index%/%count%", 7, 0, "7/0"},
        {"C:\\DCIM\\P1070283.JPG", "%index%/%count%", 12, 0, "12/0"},
        {"C:\\DCIM\\P1070283.JPG", "%count%", 1, 250, "250"},
        {"C:\\DCIM\\P1070283.JPG", "%index%", 5, 100000, "000005"},
        // Name pieces of the source path.
        {"C:\\DCIM\\README", "%file_name%.%file_ext%", 1, 1, "README."},
        {"C:\\DCIM\\a.b.c", "%file_name%|%file_ext%", 1, 1, "a.b|c"},
        {"C:\\DCIM\\.hidden", "%file_name%|%file_ext%", 1, 1, "|hidden"},
        {"C:\\dir.x\\file", "%file_name%|%file_ext%", 1, 1, "file|"},
        {"C:file.mov", "%file_name%|%file_ext%", 1, 1, "file|mov"},
        {"P1070283.JPG", "%file_name%|%file_ext%", 1, 1, "P1070283|JPG"},
        // Text inserted early is searched by the placeholders that follow.
        {"C:\\DCIM\\IMG_%d%.JPG", "%file_name%", 1, 1, "IMG_9"},
        {"C:\\DCIM\\IMG.%MM%", "%file_name%-%file_ext%", 1, 1, "IMG-05"},
        // ...but not by the same one or the earlier ones.
        {"C:\\DCIM\\x%index%.jpg", "%file_name%", 1, 1, "x%index%"},
        {"C:\\DCIM\\%file_name%.jpg", "%file_name%", 1, 1, "%file_name%"},
        {"C:\\DCIM\\n.%file_name%", "%file_ext%", 1, 1, "n"},
        // A mask without placeholders is returned as it is.
        {"C:\\DCIM\\P1070283.JPG", "Foto\\obrázek.jpg", 1, 1, "Foto\\obrázek.jpg"},
        {"C:\\DCIM\\P1070283.JPG", "", 1, 1, ""},
    };
    for (const Case& c : cases) {
        Harness h;
        h.state.RunningIndex = c.index;
        h.state.TotalCount = c.total;
        EXPECT_EQ(h.Run(c.file, c.mask), c.expected) << "mask " << c.mask << " file " << c.file;
        EXPECT_EQ(h.filesRead, std::vector<std::string>{c.file});
    }
}

TEST(ExpandMask, DateFieldsAcrossTheCalendar) {
    const char* mask = "%d%.%m%.%yy% %yyyy% %h%:%nn%:%ss% %ddd% %dddd% %mmm% %mmmm%";
    struct Case {
        TDateTime date;
        const char* expected;
    } cases[] = {
        {At(2000, 1, 2, 0, 0, 0), "2.1.00 2000 0:00:00 ne neděle I ledna"},
        {At(1999, 12, 31, 23, 59, 59), "31.12.99 1999 23:59:59 pá pátek XII prosince"},
        {At(2024, 2, 29, 9, 5, 7), "29.2.24 2024 9:05:07 čt čtvrtek II února"},
        {At(987, 6, 15, 12, 30, 0), "15.6.87 0987 12:30:00 pá pátek VI června"},
        {0.0, "30.12.99 1899 0:00:00 so sobota XII prosince"},
    };
    for (const Case& c : cases) {
        Harness h;
        h.capture = c.date;
        EXPECT_EQ(h.Run("C:\\x.jpg", mask), c.expected);
    }
}

TEST(ExpandMask, NamesFromTablesAreExpandedOnlyByLaterPlaceholders) {
    Harness h;
    h.names.LongDay[5] = "%mm%";     // weekday names come before month numbers
    h.names.LongMonth[4] = "%dd%";   // month names come after day numbers
    h.names.ShortMonth[4] = "%ss%";
    EXPECT_EQ(h.Run("C:\\x.jpg", "%dddd%|%mmmm%|%mmm%"), "05|%dd%|03");
}

TEST(ExpandMask, PreviewUsesClockAndPreviewTotalAndReadsNoFile) {
    Harness h;
    h.state.RunningIndex = 4;
    h.state.TotalCount = 3;
    h.state.PreviewTotal = 110;
    EXPECT_EQ(h.Run(SampleFileName, "%yyyy%-%mm%-%dd% %hh%%nn%%ss%\\%index%_%count%_%file_name%.%file_ext%", true),
              "2011-12-31 235958\\004_110_P1070283.JPG");
    EXPECT_EQ(h.state.TotalCount, 110);
    EXPECT_TRUE(h.filesRead.empty());
    EXPECT_STREQ(SampleFileName, "P1070283.JPG");

    // Before the editor's first tick the preview total is 0: one digit.
    Harness first;
    first.state.RunningIndex = 1;
    EXPECT_EQ(first.Run(SampleFileName, "%index%", true), "1");
    EXPECT_EQ(first.state.TotalCount, 0);
}

TEST(ExpandMask, FolderCounterPerTargetFolder) {
    // One run of 250 files: three in May, one in June, one more in May.
    Harness h;
    h.state.TotalCount = 250;
    const char* mask = "%yyyy%\\%mm%\\%index_dir%.%file_ext%";
    struct Step {
        TDateTime date;
        const char* expected;
    } steps[] = {
        {At(2008, 5, 9), "2008\\05\\001.JPG"},
        {At(2008, 5, 10), "2008\\05\\002.JPG"},
        {At(2008, 6, 1), "2008\\06\\001.JPG"},
        {At(2008, 5, 31), "2008\\05\\003.JPG"},
    };
    for (const Step& s : steps) {
        h.capture = s.date;
        EXPECT_EQ(h.Run("C:\\DCIM\\P.JPG", mask), s.expected);
        ++h.state.RunningIndex;
    }
    ASSERT_EQ(h.state.IndexDirs.size(), 2u);
    EXPECT_EQ(h.state.IndexDirs[0].Dir, "2008\\05\\");
    EXPECT_EQ(h.state.IndexDirs[0].Count, 3);
    EXPECT_EQ(h.state.IndexDirs[1].Dir, "2008\\06\\");
    EXPECT_EQ(h.state.IndexDirs[1].Count, 1);
}

TEST(ExpandMask, FolderKeysAndWhenTheyCount) {
    struct Case {
        const char* name;
        std::vector<const char*> masks;  // one expansion each, in order
        std::vector<const char*> expected;
    } cases[] = {
        {"no backslash counts every file", {"%index_dir%", "%index_dir%", "%index_dir%"}, {"1", "2", "3"}},
        {"letter case makes another folder",
         {"Foto\\%index_dir%", "foto\\%index_dir%", "Foto\\%index_dir%", "foto\\%index_dir%"},
         {"Foto\\1", "foto\\1", "Foto\\2", "foto\\2"}},
        {"masks without the placeholder still count",
         {"a\\b.jpg", "a\\c.jpg", "a\\%index_dir%"}, {"a\\b.jpg", "a\\c.jpg", "a\\3"}},
        {"the placeholder inside a folder is part of the key",
         {"%index_dir%\\x", "%index_dir%\\y"}, {"1\\x", "2\\y"}},
        {"a colon ends a folder part too", {"C:%index_dir%", "C:x\\%index_dir%"}, {"C:1", "C:x\\1"}},
        {"placeholder in any case", {"%INDEX_DIR%-%Index_Dir%"}, {"1-1"}},
    };
    for (const Case& c : cases) {
        Harness h;
        h.state.TotalCount = 9;
        for (size_t i = 0; i < c.masks.size(); ++i)
            EXPECT_EQ(h.Run("C:\\DCIM\\P.JPG", c.masks[i]), c.expected[i]) << c.name << ", step " << i;
    }
}

TEST(ExpandMask, PreviewAdvancesFolderCounterUntilTheListIsEmptied) {
    Harness h;
    h.state.PreviewTotal = 110;
    h.state.RunningIndex = 7;
    for (const char* expected : {"Foto\\007-001", "Foto\\007-002", "Foto\\007-003"})
        EXPECT_EQ(h.Run(SampleFileName, "Foto\\%index%-%index_dir%", true), expected);
    h.state.IndexDirs.clear();  // what a run does when it starts
    EXPECT_EQ(h.Run(SampleFileName, "Foto\\%index%-%index_dir%", true), "Foto\\007-001");
}

TEST(ExpandMask, PreviewStopsAddingFoldersAtTheLimitButRunsNever) {
    Harness h;
    h.state.PreviewTotal = 110;
    // The clock moves on every preview; with seconds in the folder part each
    // preview lands in a folder of its own.
    for (size_t i = 0; i < kPreviewIndexDirLimit; ++i) {
        h.nowValue = At(2011, 1, 1) + static_cast<double>(i) / 86400.0;
        h.Run(SampleFileName, "%hh%%nn%%ss%\\%index_dir%", true);
    }
    ASSERT_EQ(h.state.IndexDirs.size(), kPreviewIndexDirLimit);

    h.nowValue = At(2012, 1, 1);
    EXPECT_EQ(h.Run(SampleFileName, "new\\%index_dir%", true), "new\\001");
    EXPECT_EQ(h.Run(SampleFileName, "new\\%index_dir%", true), "new\\001");
    EXPECT_EQ(h.state.IndexDirs.size(), kPreviewIndexDirLimit);
    // A folder already listed still counts on.
    h.nowValue = At(2011, 1, 1);
    EXPECT_EQ(h.Run(SampleFileName, "%hh%%nn%%ss%\\%index_dir%", true), "000000\\002");

    // An import run never loses a folder, however many there are.
    h.state.TotalCount = 5;
    EXPECT_EQ(h.Run("C:\\DCIM\\a.jpg", "run\\%index_dir%"), "run\\1");
    EXPECT_EQ(h.Run("C:\\DCIM\\b.jpg", "run\\%index_dir%"), "run\\2");
    EXPECT_EQ(h.state.IndexDirs.size(), kPreviewIndexDirLimit + 1);
    EXPECT_EQ(h.state.IndexDirs.back().Dir, "run\\");
}

TEST(ExpandMask, FailureKeepsPartialTextAndStillCounts) {
    for (TDateTime bad : {1e300, -1e9, std::numeric_limits<double>::quiet_NaN()}) {
        Harness h;
        h.capture = bad;
        h.state.RunningIndex = 3;
        h.state.TotalCount = 20;
        std::string error;
        std::string out = ExpandMask("C:\\DCIM\\P.JPG", "%yyyy%\\%index%-%index_dir%", error, false, h.state, h.inputs);
        // The numbers before the date were replaced, the date stays literal,
        // and the file still took its place in the folder's count.
        EXPECT_EQ(out, "%yyyy%\\03-01");
        EXPECT_EQ(error, "Datum souboru je mimo platný rozsah.");
        ASSERT_EQ(h.state.IndexDirs.size(), 1u);
        EXPECT_EQ(h.state.IndexDirs[0].Dir, "%yyyy%\\");

        // A mask without date placeholders does not need a date at all.
        std::string none;
        EXPECT_EQ(ExpandMask("C:\\DCIM\\P.JPG", "%index%.%file_ext%", none, false, h.state, h.inputs), "03.JPG");
        EXPECT_EQ(none, "");
    }
}

TEST(ExpandMask, TheShowableRangeEndsExactlyAtItsTwoEdges) {
    const double ms = 1.0 / 86400000.0;
    const TDateTime firstMidnight = EncodeDateTime({1, 1, 1, 0, 0, 0, 0});
    const TDateTime lastMs = EncodeDateTime({9999, 12, 31, 23, 59, 59, 999});
    // Before 1899 a later time of day is a more negative value: the last
    // millisecond of year 0 lies one day and almost another below midnight
    // of 1 January of year 1.
    const TDateTime yearZeroEnd = firstMidnight - 1 - 86399999 * ms;
    struct Case {
        TDateTime date;
        const char* name;  // empty: out of range
    } cases[] = {
        {firstMidnight, "0001-01-01 00-00-00"},
        {EncodeDateTime({1, 1, 1, 12, 0, 0, 0}), "0001-01-01 12-00-00"},
        {EncodeDateTime({1, 1, 1, 23, 59, 59, 999}), "0001-01-01 23-59-59"},
        {yearZeroEnd, ""},
        {firstMidnight - 1, ""},
        {lastMs, "9999-12-31 23-59-59"},
        {lastMs + ms, ""},
    };
    for (const Case& c : cases) {
        Harness h;
        h.capture = c.date;
        std::string error;
        const std::string out =
            ExpandMask("C:\\DCIM\\P.JPG", "%yyyy%-%mm%-%dd% %hh%-%nn%-%ss%", error, false, h.state, h.inputs);
        if (*c.name) {
            EXPECT_EQ(out, c.name);
            EXPECT_EQ(error, "") << c.name;
        } else {
            EXPECT_EQ(error, "Datum souboru je mimo platný rozsah.") << out;
        }
    }
}

TEST(ExpandMask, ErrorTextIsNeverEmptiedAndCaptureDateMayAddToIt) {
    TDateNameTables names = CzechNames();
    TMaskState state;
    TMaskInputs inputs{names,
                       [](const std::string&, std::string& error) {
                           error = "Soubor nelze číst";
                           return Capture();
                       },
                       [] { return Capture(); }};
    std::string error;
    // The capture date reports a problem but still gives a date: the name is whole.
    EXPECT_EQ(ExpandMask("C:\\a.jpg", "%yyyy%", error, false, state, inputs), "2008");
    EXPECT_EQ(error, "Soubor nelze číst");

    error = "earlier problem";
    EXPECT_EQ(ExpandMask("C:\\a.jpg", "%yyyy%", error, true, state, inputs), "2008");
    EXPECT_EQ(error, "earlier problem");

    // A capture date that throws leaves the name empty; it still counts.
    TMaskInputs throwing{names,
                         [](const std::string&, std::string&) -> TDateTime {
                             throw std::runtime_error("Chyba čtení");
                         },
                         [] { return Capture(); }};
    TMaskState fresh;
    std::string err2;
    EXPECT_EQ(ExpandMask("C:\\a.jpg", "x\\%index_dir%", err2, false, fresh, throwing), "");
    EXPECT_EQ(err2, "Chyba čtení");
    ASSERT_EQ(fresh.IndexDirs.size(), 1u);
    EXPECT_EQ(fresh.IndexDirs[0].Dir, "");
}

TEST(IsValidTargetPath, Table) {
    struct Case {
        const char* path;
        bool valid;
    } cases[] = {
        {"C:\\Foto\\2008\\", true},
        {"C:\\Foto\\2008\\05\\P1070283.JPG", true},
        {"C:", true},
        {"C:\\", true},
        {"C:\\Foto\\\\x", false},
        {"C:\\Foto\\con\\x", false},
        {"C:\\Foto\\CON", false},
        {"C:\\Foto\\Con", false},
        {"C:\\Foto\\con.jpg", true},
        {"C:\\Foto\\icon", true},
        {"Foto\\x.jpg", false},
        {"", false},
        {"\\Foto\\x.jpg", false},
        {"C:\\Foto\\a\"b.jpg", true},
        {"C:\\a/b", false},
        {"C:\\Foto\\14:07", false},
        {"C:\\Foto\\a*b", false},
        {"C:\\Foto\\a?b", false},
        {"C:\\Foto\\a<b", false},
        {"C:\\Foto\\a>b", false},
        {"C:\\Foto\\a|b", false},
        {"\\\\server\\share\\x.jpg", false},
        {"\\\\", false},
        // The first item is the drive and is not looked at.
        {"C:*\\x", true},
        {"Ž:\\Fotky\\léto.jpg", true},
        {"C:\\Fotky\\léto\\žába.jpg", true},
        // Other device names are refused like "con": a copy into them would
        // report success without writing a file.
        {"C:\\Foto\\nul", false},
        {"C:\\Foto\\NUL\\x.jpg", false},
        {"C:\\Foto\\aux", false},
        {"C:\\Foto\\prn", false},
        {"C:\\Foto\\com1", false},
        {"C:\\Foto\\LPT9", false},
        {"C:\\Foto\\com0", true},
        {"C:\\Foto\\com10", true},
        {"C:\\Foto\\nul.jpg", true},
    };
    for (const Case& c : cases) EXPECT_EQ(IsValidTargetPath(c.path), c.valid) << c.path;
}

TEST(IsValidTargetPath, ExpandedMaskWithColonIsRejected) {
    Harness h;
    std::string path = "C:\\Foto\\" + h.Run("C:\\DCIM\\P.JPG", "%hh%:%nn%.jpg");
    EXPECT_EQ(path, "C:\\Foto\\14:07.jpg");
    EXPECT_FALSE(IsValidTargetPath(path));
}

TEST(NamesAFile, Table) {
    struct Case {
        const char* path;
        bool names;
    } cases[] = {
        {"C:\\Foto\\", false},         // an empty mask
        {"C:\\Foto\\2008\\", false},   // a mask of folders only
        {"C:\\Foto\\2008\\.", false},
        {"C:\\Foto\\..", false},
        {"C:\\Foto\\ . ", false},
        {"C:", false},
        {"", false},
        {"C:\\Foto\\a", true},
        {"C:\\Foto\\P1070283.JPG", true},
        {"C:\\Foto\\.jpg", true},
        {"C:\\Foto\\2008\\x.", true},
    };
    for (const Case& c : cases) EXPECT_EQ(NamesAFile(c.path), c.names) << c.path;

    Harness h;
    EXPECT_FALSE(NamesAFile("C:\\Foto\\" + h.Run("C:\\DCIM\\P.JPG", "")));
    EXPECT_FALSE(NamesAFile("C:\\Foto\\" + h.Run("C:\\DCIM\\P.JPG", "%yyyy%\\%mm%\\")));
    EXPECT_TRUE(NamesAFile("C:\\Foto\\" + h.Run("C:\\DCIM\\P.JPG", "%yyyy%\\%file_name%.%file_ext%")));
}

TEST(SplitText, Table) {
    using V = std::vector<std::string>;
    struct Case {
        const char* text;
        char sep;
        V items;
    } cases[] = {
        {"a\\b", '\\', {"a", "b"}},
        {"a\\b\\", '\\', {"a", "b"}},
        {"\\a", '\\', {"", "a"}},
        {"a\\\\b", '\\', {"a", "", "b"}},
        {"\\", '\\', {""}},
        {"\\\\", '\\', {"", ""}},
        {"", '\\', {}},
        {"abc", '\0', {}},
        {"abc", '\\', {"abc"}},
        {"po;út;;st", ';', {"po", "út", "", "st"}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitText(c.text, c.sep), c.items) << c.text;
}

}  // namespace
