#include <gtest/gtest.h>

#include <map>

#include "import/ImportCore.h"

namespace {

std::string NamePart(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

// Files named "1".."n" with the given dates, sorted; returns the names in
// their new order.
std::vector<std::string> SortNames(const std::vector<double>& dates) {
    std::vector<std::string> files;
    std::map<std::string, double> dateOf;
    for (size_t k = 0; k < dates.size(); ++k) {
        files.push_back(std::to_string(k + 1));
        dateOf[files.back()] = dates[k];
    }
    TSortContext ctx{files, [&](const std::string& f, std::string&) { return dateOf.at(f); }, nullptr, nullptr, {}};
    TDynamicDateTimeArray D;
    int hi = static_cast<int>(files.size()) - 1;
    SortByCaptureDate(D, 0, hi < 0 ? 0 : hi, true, ctx);
    return files;
}

using Names = std::vector<std::string>;

Names OneToN(int n) {
    Names out;
    for (int k = 1; k <= n; ++k) out.push_back(std::to_string(k));
    return out;
}

// Files of one date (a burst shot within a second) keep the scan order;
// different dates come out ascending.
TEST(SortByCaptureDate, EqualDatesKeepTheScanOrder) {
    struct Case {
        std::vector<double> dates;
        Names expected;
    } cases[] = {
        {{5}, {"1"}},
        {{7, 7}, {"1", "2"}},
        {{7, 7, 7}, {"1", "2", "3"}},
        {{7, 7, 7, 7}, {"1", "2", "3", "4"}},
        {{7, 7, 7, 7, 7}, {"1", "2", "3", "4", "5"}},
        {std::vector<double>(12, 7), OneToN(12)},
        {{3, 1, 2, 1, 3}, {"2", "4", "3", "1", "5"}},
        {{2, 1, 2, 1, 2}, {"2", "4", "1", "3", "5"}},
        {{5, 4, 3, 2, 1}, {"5", "4", "3", "2", "1"}},
        {{1, 2, 3, 4, 5}, {"1", "2", "3", "4", "5"}},
        {{9, 9, 1, 9, 1, 1}, {"3", "5", "6", "1", "2", "4"}},
        {{}, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(SortNames(c.dates), c.expected);
}

TEST(SortByCaptureDate, OneErrorTextForAllFilesAndCancelStopsBeforeTheFill) {
    Names files = {"a", "b", "c"};
    int calls = 0;
    std::vector<std::string> errorsSeen;
    bool cancelled = false;
    TSortContext ctx{files,
                     [&](const std::string& f, std::string& err) {
                         ++calls;
                         errorsSeen.push_back(err);
                         if (f == "a") err = "bad exif";
                         return 1.0;
                     },
                     nullptr, &cancelled, {}};
    TDynamicDateTimeArray D;
    SortByCaptureDate(D, 0, 2, true, ctx);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(errorsSeen, (Names{"", "bad exif", "bad exif"}));

    cancelled = true;
    calls = 0;
    TDynamicDateTimeArray D2;
    SortByCaptureDate(D2, 0, 2, true, ctx);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(D2.empty());
}

// A directory tree in memory, listed the way FindFirstFile lists it.
struct FakeTree {
    std::map<std::string, std::vector<TScanEntry>> folders;  // folder with trailing '\'
    std::vector<std::string> searches;

    static bool Match(const std::string& pat, const std::string& name) {
        if (pat == "*.*") return true;
        // "*.ext" only, case-insensitive
        std::string ext = pat.substr(1);
        if (name.size() < ext.size()) return false;
        for (size_t k = 0; k < ext.size(); ++k)
            if (tolower(name[name.size() - ext.size() + k]) != tolower(ext[k])) return false;
        return true;
    }
    void List(const std::string& search, const std::function<bool(const TScanEntry&)>& each) {
        searches.push_back(search);
        size_t slash = search.rfind('\\');
        auto it = folders.find(search.substr(0, slash + 1));
        if (it == folders.end()) return;
        for (const TScanEntry& e : it->second)
            if (Match(search.substr(slash + 1), e.Name) && !each(e)) return;
    }
};

TScanEntry File(const std::string& n, bool hidden = false, bool system = false) {
    TScanEntry e;
    e.Name = n;
    e.Hidden = hidden;
    e.System = system;
    return e;
}
TScanEntry Dir(const std::string& n, bool hidden = false) {
    TScanEntry e = File(n, hidden);
    e.Directory = true;
    return e;
}

TEST(ScanFolder, DepthFirstWithTheAttributeRules) {
    FakeTree t;
    t.folders["C:\\card\\"] = {Dir("."), Dir(".."), File("a.JPG"), Dir("sub"), File("h.jpg", true),
                               File("s.jpg", false, true), Dir(".thumbs"), Dir("hid", true), File("x.avi"),
                               Dir("sub2")};
    t.folders["C:\\card\\sub\\"] = {File("b.jpg"), Dir("deep")};
    t.folders["C:\\card\\sub\\deep\\"] = {File("c.jpg")};
    t.folders["C:\\card\\sub2\\"] = {File("d.jpg")};
    t.folders["C:\\card\\.thumbs\\"] = {File("t.jpg")};
    t.folders["C:\\card\\hid\\"] = {File("i.jpg")};
    TScanContext ctx{[&](const std::string& s, const std::function<bool(const TScanEntry&)>& f) { t.List(s, f); },
                     nullptr, nullptr};
    Names files;
    ScanFolder("C:\\card", "*.jpg", files, ctx);
    EXPECT_EQ(files, (Names{"C:\\card\\a.JPG", "C:\\card\\h.jpg", "C:\\card\\sub\\b.jpg", "C:\\card\\sub\\deep\\c.jpg",
                            "C:\\card\\sub2\\d.jpg"}));
    EXPECT_EQ(t.searches.front(), "C:\\card\\*.jpg");

    // A folder that ends in a backslash gets no second one; the same pattern
    // twice lists the files twice.
    Names again;
    ScanFolder("C:\\card\\sub\\", "*.JPG", again, ctx);
    ScanFolder("C:\\card\\sub\\", "*.jpg", again, ctx);
    EXPECT_EQ(again, (Names{"C:\\card\\sub\\b.jpg", "C:\\card\\sub\\deep\\c.jpg", "C:\\card\\sub\\b.jpg",
                            "C:\\card\\sub\\deep\\c.jpg"}));

    Names none;
    ScanFolder("C:\\missing", "*.jpg", none, ctx);
    EXPECT_TRUE(none.empty());
}

TEST(ScanFolder, CancelEndsEveryLevelAfterTheFileJustAdded) {
    FakeTree t;
    t.folders["C:\\c\\"] = {File("1.jpg"), Dir("s"), File("2.jpg"), Dir("s2")};
    t.folders["C:\\c\\s\\"] = {File("3.jpg"), File("4.jpg"), File("5.jpg")};
    t.folders["C:\\c\\s2\\"] = {File("6.jpg")};
    bool cancelled = false;
    int serviced = 0;
    Names files;
    TScanContext ctx{[&](const std::string& s, const std::function<bool(const TScanEntry&)>& f) { t.List(s, f); },
                     [&] {
                         if (++serviced == 3) cancelled = true;  // Storno pressed during the third service
                     },
                     &cancelled};
    ScanFolder("C:\\c\\", "*.jpg", files, ctx);
    // The file listed after the press is still taken, then every level ends.
    EXPECT_EQ(files, (Names{"C:\\c\\1.jpg", "C:\\c\\2.jpg", "C:\\c\\s\\3.jpg", "C:\\c\\s\\4.jpg"}));
    EXPECT_EQ(serviced, 3);
}

// The settings window replaces the program's pattern list while the scan
// services window events; the scan goes on with the patterns it started
// with (under AddressSanitizer a loop over the replaced list is a
// use-after-free).
TEST(ScanPatterns, APatternListReplacedDuringTheScanIsNotFollowed) {
    FakeTree t;
    t.folders["C:\\c\\"] = {File("1.jpg"), File("2.avi"), Dir("s")};
    t.folders["C:\\c\\s\\"] = {File("3.jpg"), File("4.avi")};
    std::vector<std::string> programList = {"*.jpg", "*.avi"};
    int serviced = 0;
    TScanContext ctx{[&](const std::string& s, const std::function<bool(const TScanEntry&)>& f) { t.List(s, f); },
                     [&] {
                         // what leaving the patterns field does: a new list in place of the old
                         if (++serviced == 1) programList = std::vector<std::string>{"*.png", "*.orf", "*.mov"};
                     },
                     nullptr};
    Names files;
    ScanPatterns("C:\\c", programList, files, ctx);
    EXPECT_EQ(files, (Names{"C:\\c\\1.jpg", "C:\\c\\s\\3.jpg", "C:\\c\\2.avi", "C:\\c\\s\\4.avi"}));
    EXPECT_EQ(programList.size(), 3u);

    bool cancelled = false;
    ctx.processMessages = [&] { cancelled = true; };
    ctx.cancelled = &cancelled;
    Names some;
    ScanPatterns("C:\\c", {"*.jpg", "*.avi"}, some, ctx);
    EXPECT_EQ(some, Names{"C:\\c\\1.jpg"});
}

TEST(ProgressArithmetic, RoundingSpeedRemainingAndTitle) {
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(9765.625), 9766);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);

    TProgressFigures f = ComputeProgress(5000, 10000000, 20000000);
    EXPECT_EQ(f.speedKBs, 1953);
    EXPECT_EQ(f.remainingMs, 5000);
    EXPECT_EQ(f.percent, 50);

    EXPECT_FALSE(ComputeProgress(1200, 5000, 10000).speedKBs);  // seconds = 1
    EXPECT_TRUE(ComputeProgress(1500, 5000, 10000).speedKBs);   // seconds = 2
    EXPECT_EQ(ComputeProgress(2500, 4096000, 4096000).speedKBs, 2000);  // 2.5 s counts as 2
    EXPECT_EQ(ComputeProgress(3500, 4096000, 4096000).speedKBs, 1000);  // 3.5 s counts as 4

    TProgressFigures none = ComputeProgress(3000, 0, 0);
    EXPECT_FALSE(none.remainingMs);
    EXPECT_FALSE(none.percent);

    // 5 GiB total, 2.5 GiB copied: 64-bit counts give the right share.
    TProgressFigures big = ComputeProgress(10000, 5LL << 29, 5LL << 30);
    EXPECT_EQ(big.percent, 50);
    EXPECT_EQ(big.remainingMs, 10000);
}

// Files that grew after they were sized, or could not be sized, bring more
// bytes than the total: the figures go from the bar's position, which
// never passes its maximum.
TEST(ProgressArithmetic, MoreBytesThanTheTotalShowAsTheTotal) {
    TProgressFigures over = ComputeProgress(4000, 10400, 10000);
    EXPECT_EQ(over.percent, 100);
    EXPECT_EQ(over.remainingMs, 0);
    EXPECT_EQ(over.speedKBs, ComputeProgress(4000, 10000, 10000).speedKBs);
    TProgressFigures unsized = ComputeProgress(4000, 5000, 0);  // nothing could be sized
    EXPECT_FALSE(unsized.percent);
    EXPECT_FALSE(unsized.remainingMs);
    EXPECT_EQ(ComputeProgress(4000, -5, 1000).percent, 0);
}

TEST(ProgressArithmetic, DurationsAsTimeOfDay) {
    EXPECT_EQ(DurationAsTimeOfDay(5000), 5000);
    EXPECT_EQ(DurationAsTimeOfDay(25LL * 3600 * 1000 + 7000), 3600 * 1000 + 7000);
    EXPECT_EQ(DurationAsTimeOfDay(-3000), 0);
}

TEST(ProgressArithmetic, TenthsOfAHundredThousandByteFile) {
    std::vector<int> moves;
    int64_t done = 0, last = 0;
    for (int64_t n : {32769, 32769, 32769, 1693}) {
        done += n;
        int t = CopyTenth(done, 100000);
        if (t != last) moves.push_back(t), last = t;
    }
    EXPECT_EQ(moves, (std::vector<int>{3, 6, 9, 10}));
    EXPECT_EQ(CopyTenth(10, 10), 10);
    EXPECT_EQ(CopyTenth(0, 0), 0);
}

TEST(ProgressArithmetic, BarScaleFitsLargeTotals) {
    TBarScale small(1000);
    EXPECT_EQ(small.shift, 0);
    EXPECT_EQ(small(500), 500);
    int64_t total = 6LL << 30;  // 6 GiB
    TBarScale big(total);
    EXPECT_LE(big(total), INT32_MAX);
    EXPECT_GT(big(total), INT32_MAX / 2);
    EXPECT_EQ(big(total / 2), big(total) / 2);
}

TEST(ImportTexts, QuestionsNameTheTarget) {
    EXPECT_EQ(OverwriteQuestion("D:\\F\\a.jpg"), "Soubor \"D:\\F\\a.jpg\" již existuje.\r\nChcete jej přepsat?");
    EXPECT_EQ(BadTargetMessage("D:\\x"), "Cesta \"D:\\x\" není správná...");
    EXPECT_EQ(CopyErrorText("D:\\a.jpg", "Disk full"), "\"D:\\a.jpg\"\r\nDisk full");
}

// The owner of the largest numbers a name can carry.
const TCopyOwner kWidestOwner{0xffffffffu, 0xffffffffu, 0xffffffffu};

// The temporary copy lies in the target's folder under a short name, which
// no target's length can push past a limit; its owner makes it longer by
// a fixed few characters.
TEST(ImportTexts, TemporaryNamesAreShortAndBesideTheTarget) {
    const std::string longName(250, 'n');
    for (const std::string& target : {std::string("D:\\F\\a.jpg"), "D:\\F\\" + longName + ".jpg"}) {
        SCOPED_TRACE(target);
        std::string t0 = TemporaryTargetName(target, 0, kWidestOwner),
                    t1 = TemporaryTargetName(target, 1, kWidestOwner);
        EXPECT_EQ(t0.rfind("D:\\F\\", 0), 0u);
        EXPECT_EQ(t0.find('\\', 5), std::string::npos);
        EXPECT_LE(TemporaryTargetName(target, 1099, kWidestOwner).size(), std::string("D:\\F\\").size() + 48);
        EXPECT_NE(t0, target);
        EXPECT_NE(t0, t1);
    }
}

// A long path takes the file functions past MAX_PATH; a rename through a
// handle wants the system's own form of it.
TEST(LongPaths, FormsOfFullPathsAndFolders) {
    struct Case {
        const wchar_t* full;
        const wchar_t* longForm;
        const wchar_t* ntForm;
    } cases[] = {
        {L"C:\\Foto\\a.jpg", L"\\\\?\\C:\\Foto\\a.jpg", L"\\??\\C:\\Foto\\a.jpg"},
        {L"\\\\server\\share\\a.jpg", L"\\\\?\\UNC\\server\\share\\a.jpg", L"\\??\\UNC\\server\\share\\a.jpg"},
        {L"\\\\?\\C:\\a.jpg", L"\\\\?\\C:\\a.jpg", L"\\??\\C:\\a.jpg"},
        {L"\\\\.\\COM1", L"\\\\.\\COM1", L""},  // a device keeps its own form
    };
    for (const Case& c : cases) {
        const std::wstring longForm = LongFormOfFullPath(c.full);
        EXPECT_EQ(longForm, c.longForm);
        EXPECT_EQ(NtFormOfLongPath(longForm), c.ntForm);
    }
    EXPECT_EQ(NtFormOfLongPath(L"C:\\a.jpg"), L"") << "only a long path has a system form";

    EXPECT_EQ(FolderOf("D:\\Foto\\2024\\a.jpg"), "D:\\Foto\\2024\\");
    EXPECT_EQ(FolderOf("D:/Foto/a.jpg"), "D:/Foto/");
    EXPECT_EQ(FolderOf("a.jpg"), "");
}

// A long path is shown as the user knows it.
TEST(LongPaths, ShortFormsForTheUser) {
    EXPECT_EQ(ShortFormOfLongPath(L"\\\\?\\C:\\Foto\\a.jpg"), L"C:\\Foto\\a.jpg");
    EXPECT_EQ(ShortFormOfLongPath(L"\\\\?\\UNC\\nas\\foto\\a.jpg"), L"\\\\nas\\foto\\a.jpg");
    EXPECT_EQ(ShortFormOfLongPath(L"C:\\a.jpg"), L"C:\\a.jpg");
}

// Targets the system stores otherwise or not at all; the mask's own check
// lets them through.
TEST(StorableTargets, LengthsAndNamesTheSystemKeeps) {
    const std::string folder = "D:\\Foto\\";
    struct Case {
        std::string path;
        bool storable;
    } cases[] = {
        {folder + "2024\\a.jpg", true},
        {folder + std::string(259 - folder.size(), 'n'), true},
        {folder + std::string(260 - folder.size(), 'n'), false},
        // Counted in UTF-16 as the system counts: "č" is one unit in two
        // bytes, a character past U+FFFF two units in four.
        {folder + std::string(250 - folder.size(), 'n') + "\xC4\x8D\xC4\x8D\xC4\x8D\xC4\x8D\xC4\x8D\xC4\x8D\xC4\x8D\xC4\x8D\xC4\x8D", true},
        {folder + std::string(254 - folder.size(), 'n') + "\xF0\x9F\x93\xB7\xF0\x9F\x93\xB7\xF0\x9F\x93\xB7", false},
        {"D:\\" + std::string(255, 'n'), true},
        {"D:\\" + std::string(256, 'n'), false},
        {folder + "fotky.\\a.jpg", false},
        {folder + "a.", false},
        {folder + "a ", false},
        {folder + "a.jpg.", false},
        {folder + "2024\\a. jpg", true},
        {folder + "fotky \\a.jpg", false},
        {folder + "..\\a.jpg", false},
        {folder + ".\\a.jpg", false},
        {folder + ".fotky\\a.jpg", true},
        {folder + "a.b\\c.jpg", true},
        {"D:\\a.jpg", true},
    };
    for (const Case& c : cases) EXPECT_EQ(IsStorableTargetPath(c.path), c.storable) << c.path.size() << " " << c.path;
}

// A copy's name gives its owner back; an earlier version's names, which
// name none, are still known as copies.
TEST(ImportTexts, TemporaryCopyNamesAreKnownAndNothingElse) {
    for (const TCopyOwner& owner : {TCopyOwner{0x1a2b3c4d, 4660, 0x89abcdef}, TCopyOwner{0, 0, 0}, kWidestOwner})
        for (int attempt : {0, 7, 999, 1099}) {
            const std::string name = NamePart(TemporaryTargetName("D:\\a.jpg", attempt, owner));
            EXPECT_TRUE(IsTemporaryCopyName(name)) << name;
            const std::optional<TCopyOwner> back = OwnerOfTemporaryCopy(name);
            ASSERT_TRUE(back.has_value()) << name;
            EXPECT_TRUE(*back == owner) << name;
        }
    EXPECT_TRUE(IsTemporaryCopyName("~KOLIBRIO12.PART"));
    EXPECT_FALSE(OwnerOfTemporaryCopy("~kolibrio12.part").has_value());
    EXPECT_TRUE(IsTemporaryCopyName("~KOLIBRIO3-1A2B-10-FF.PART"));
    for (const char* name : {"~kolibrio.part", "~kolibrio-notes.part", "~kolibrio1.part.jpg", "kolibrio1.part",
                             "~kolibrio1.parts", "~kolibrio 1.part", "~kolibrio1-2-3.part", "~kolibrio1-2-3-4-5.part",
                             "~kolibrio-1-2-3.part", "~kolibrio1--2-3.part", "~kolibrio1-123456789-2-3.part",
                             "~kolibrio1-g-2-3.part", "~kolibrio1-2-3-.part"}) {
        EXPECT_FALSE(IsTemporaryCopyName(name)) << name;
        EXPECT_FALSE(OwnerOfTemporaryCopy(name).has_value()) << name;
    }
}

// A sweep removes a copy only when its owner is gone: a process of this
// computer that no longer runs. Another computer's copies are never judged;
// an earlier version's go by their time alone.
TEST(ImportTexts, OnlyCopiesWhoseOwnerIsGoneAreStale) {
    const uint32_t here = 0x1234abcd;
    const TCopyOwner alive{here, 100, 7}, gone{here, 200, 7}, elsewhere{0x0badf00d, 300, 7};
    const auto running = [&](const TCopyOwner& o) { return o == alive; };
    const int64_t since = 1000;
    struct Case {
        const char* what;
        std::string name;
        int64_t writeTime;  // a finished copy carries the card file's old time
        bool stale;
    } cases[] = {
        {"a running owner's, with an old time", NamePart(TemporaryTargetName("D:\\a.jpg", 3, alive)), 5, false},
        {"a gone owner's, with a new time", NamePart(TemporaryTargetName("D:\\a.jpg", 3, gone)), 5000, true},
        {"the same number, another start", NamePart(TemporaryTargetName("D:\\a.jpg", 3, TCopyOwner{here, 100, 8})),
         5, true},
        {"another computer's, its owner gone here", NamePart(TemporaryTargetName("D:\\a.jpg", 3, elsewhere)), 5, false},
        {"an earlier version's, old", "~kolibrio7.part", 5, true},
        {"an earlier version's, new", "~kolibrio7.part", 5000, false},
        {"a user's file that looks alike", "~kolibrio-notes.part", 5, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsStaleCopy(c.name, c.writeTime, here, since, running), c.stale) << c.what << ": " << c.name;
}

// The speed at the end is the run's average over the bytes it copied, even
// for a run shorter than the two seconds a tick needs.
TEST(ProgressArithmetic, FinalFiguresShowTheAverage) {
    const TProgressFigures f = FinalProgress(800, 4 * 1024 * 1024, 5 * 1024 * 1024, 5 * 1024 * 1024);
    ASSERT_TRUE(f.speedKBs.has_value());
    EXPECT_EQ(*f.speedKBs, 5120);  // 4096 KB in 0.8 s
    EXPECT_EQ(f.remainingMs, 0);
    EXPECT_EQ(f.percent, 100);
    EXPECT_FALSE(FinalProgress(0, 1000, 1000, 1000).speedKBs.has_value()) << "no time, no speed";
    EXPECT_FALSE(FinalProgress(5000, 0, 1000, 1000).speedKBs.has_value()) << "nothing copied, no speed";
}

// The answers "to all" hold for the rest of the run; Cancel and the close
// box (2), and anything unexpected, lead to the cancel question.
TEST(OverwriteQuestion, AnswersAndTheirFlags) {
    struct Case {
        int answer;
        TOverwriteAnswer outcome;
        bool overwriteAll, skipAll;
    } cases[] = {
        {6, TOverwriteAnswer::Copy, false, false},  {7, TOverwriteAnswer::Skip, false, false},
        {10, TOverwriteAnswer::Copy, true, false},  {9, TOverwriteAnswer::Skip, false, true},
        {2, TOverwriteAnswer::Cancel, false, false}, {0, TOverwriteAnswer::Cancel, false, false},
    };
    for (const Case& c : cases) {
        bool overwriteAll = false, skipAll = false;
        EXPECT_EQ(OverwriteAnswer(c.answer, overwriteAll, skipAll), c.outcome) << c.answer;
        EXPECT_EQ(overwriteAll, c.overwriteAll) << c.answer;
        EXPECT_EQ(skipAll, c.skipAll) << c.answer;
    }
}

// Copies that wait for their check hold their names: each file starts at a
// number of its own. Without waiting copies the first name is free again.
TEST(ImportTexts, TemporaryNameNumbers) {
    EXPECT_EQ(TemporaryNameStart(false, 42), 0);
    EXPECT_EQ(TemporaryNameStart(true, 42), 42);
    EXPECT_EQ(TemporaryNameStart(true, 1042), 42);
    EXPECT_NE(TemporaryTargetName("D:\\F\\a.jpg", TemporaryNameStart(true, 1), kWidestOwner),
              TemporaryTargetName("D:\\F\\b.jpg", TemporaryNameStart(true, 2), kWidestOwner));
}

}  // namespace

// Dates that rise and then fall (an organ pipe) make this quicksort split
// off one file per step. The stack must not grow with the card: a deep
// recursion ends the program on a large card.
TEST(SortByCaptureDate, StackStaysShallowWhenDatesRiseAndFall) {
    const int n = 20000;
    std::vector<std::string> files;
    std::vector<double> dateOf;
    for (int k = 0; k < n; ++k) {
        files.push_back(std::to_string(k));
        dateOf.push_back(k < n / 2 ? k : n - k);
    }
    char base = 0;
    const char* deepest = &base;
    TSortContext ctx{files, [&](const std::string& f, std::string&) { return dateOf[std::stoul(f)]; },
                     [&] {
                         char here = 0;
                         if (&here < deepest) deepest = &here;
                     },
                     nullptr, {}};
    TDynamicDateTimeArray D;
    SortByCaptureDate(D, 0, n - 1, true, ctx);
    EXPECT_LT(&base - deepest, 64 * 1024) << "stack used by the ordering";
    for (int k = 1; k < n; ++k) ASSERT_LE(D[k - 1], D[k]) << k;
}
