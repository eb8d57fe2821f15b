#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "import/ImportReport.h"

#include "exif/Exif.h"

namespace {

using Names = std::vector<std::string>;

// A directory tree in memory; "*.*" lists a folder whole.
struct Tree {
    std::map<std::string, std::vector<TScanEntry>> folders;  // folder with trailing '\'
    int services = 0;
    bool cancelled = false;

    TScanContext Context() {
        TScanContext ctx;
        ctx.list = [this](const std::string& search, const std::function<bool(const TScanEntry&)>& each) {
            auto it = folders.find(search.substr(0, search.rfind('\\') + 1));
            if (it == folders.end()) return;
            for (const TScanEntry& e : it->second)
                if (!each(e)) return;
        };
        ctx.processMessages = [this] { ++services; };
        ctx.cancelled = &cancelled;
        return ctx;
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

TEST(CountLeftFiles, CountsWhatNoPatternTookByType) {
    Tree t;
    t.folders["E:\\DCIM\\"] = {Dir("."), Dir(".."), Dir("100CANON"), Dir("MISC", true), Dir(".trash"),
                               File("readme.txt")};
    t.folders["E:\\DCIM\\100CANON\\"] = {
        File("IMG_1.JPG"), File("IMG_2.CR3"), File("img_3.cr3"), File("IMG_4.HEIC"), File("IMG_4.THM"),
        File("MVI_5.CTG"), File("GL_6.LRV"),  File("Thumbs.db", true, true), File("hidden.cr3", true),
        File("sys.cr3", false, true), File("._IMG_1.JPG"), File("NOEXT"), File("IMG_1.JPG.kolibrio-part")};
    t.folders["E:\\DCIM\\MISC\\"] = {File("inside_hidden.cr3")};
    t.folders["E:\\DCIM\\.trash\\"] = {File("inside_dot.cr3")};
    const Names taken = {"E:\\DCIM\\100CANON\\IMG_1.JPG"};

    TLeftFiles left = CountLeftFiles("E:\\DCIM", taken, t.Context());
    EXPECT_EQ(left.Count, 6);
    EXPECT_EQ(left.ByType, (std::map<std::string, int64_t>{
                               {".CR3", 2}, {".HEIC", 1}, {".TXT", 1}, {"", 1}, {".KOLIBRIO-PART", 1}}));
}

TEST(CountLeftFiles, HundredThousandFilesServeWindowEventsNowAndThenAndStopOnCancel) {
    Tree t;
    for (int k = 0; k < 100000; ++k) t.folders["C:\\x\\"].push_back(File("f" + std::to_string(k) + ".raw"));
    TLeftFiles left = CountLeftFiles("C:\\x\\", {}, t.Context());
    EXPECT_EQ(left.Count, 100000);
    EXPECT_EQ(left.ByType.size(), 1u);
    EXPECT_GT(t.services, 100);
    EXPECT_LT(t.services, 1000);

    Tree c = t;
    c.services = 0;
    TScanContext ctx = c.Context();
    ctx.processMessages = [&c] { c.cancelled = ++c.services == 3; };
    EXPECT_LT(CountLeftFiles("C:\\x\\", {}, ctx).Count, 1000);
}

TEST(ImportReport, SideFilesAndCardFolders) {
    for (const char* n : {"IMG_1.THM", "mvi_2.thm", "A.CTG", "GOPR1.LRV", ".DS_Store", "._IMG_1.JPG"})
        EXPECT_TRUE(IsSideFile(n)) << n;
    for (const char* n : {"IMG_1.JPG", "THM", "A.CTG2", "IMG.THM.JPG"}) EXPECT_FALSE(IsSideFile(n)) << n;

    for (const char* p : {"E:\\DCIM\\", "e:\\dcim", "Z:\\DCIM"}) EXPECT_TRUE(IsCardFolder(p)) << p;
    for (const char* p : {"E:\\DCIM\\100CANON\\", "C:\\Foto\\DCIM\\", "DCIM", "\\\\s\\DCIM\\", ""})
        EXPECT_FALSE(IsCardFolder(p)) << p;
}

TEST(ImportReport, Sizes) {
    struct Case {
        int64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 B"},
        {1023, "1023 B"},
        {1024, "1,0 kB"},
        {1536, "1,5 kB"},
        {1048575, "1,0 MB"},
        {45 * 1048576LL + 629146, "45,6 MB"},
        {5LL << 30, "5,0 GB"},
        {3LL << 40, "3,0 TB"},
        {5000LL << 40, "5000,0 TB"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatSize(c.bytes), c.text) << c.bytes;
}

TEST(ImportReport, CountsAndLeftFiles) {
    TRunTally tally;
    tally.Copied = 12;
    tally.CopiedBytes = 1536;
    tally.Skipped = 2;
    tally.Failed = 1;
    tally.Failures = {"a.jpg: x"};
    EXPECT_EQ(CountsLine(tally), "Zkopírováno souborů: 12 (1,5 kB), přeskočeno: 2, nezdařilo se: 1.");

    struct Case {
        std::map<std::string, int64_t> types;
        bool card;
        const char* text;
    } cases[] = {
        {{}, true, ""},
        {{{".CR3", 10}, {".HEIC", 2}},
         true,
         "Na kartě zůstalo 12 souborů, které se nekopírují: .CR3 (10), .HEIC (2).\r\n"
         "Typy souborů lze přidat v nastavení."},
        {{{".CR3", 1}},
         false,
         "Ve složce zůstal 1 soubor, který se nekopíruje: .CR3 (1).\r\nTypy souborů lze přidat v nastavení."},
        {{{".NEF", 2}, {"", 1}},
         true,
         "Na kartě zůstaly 3 soubory, které se nekopírují: .NEF (2), bez přípony (1).\r\n"
         "Typy souborů lze přidat v nastavení."},
        // The most frequent types, at most five, then an ellipsis.
        {{{".A", 1}, {".B", 7}, {".C", 3}, {".D", 3}, {".E", 1}, {".F", 9}, {".G", 1}},
         true,
         "Na kartě zůstalo 25 souborů, které se nekopírují: .F (9), .B (7), .C (3), .D (3), .A (1), ….\r\n"
         "Typy souborů lze přidat v nastavení."},
        {{{".ŽLUŤOUČKÝKŮŇ", 1}},
         false,
         "Ve složce zůstal 1 soubor, který se nekopíruje: .ŽLUŤOUČ… (1).\r\nTypy souborů lze přidat v nastavení."},
    };
    for (const Case& c : cases) {
        TLeftFiles left;
        left.ByType = c.types;
        for (const auto& [type, n] : c.types) left.Count += n;
        EXPECT_EQ(LeftFilesText(left, c.card), c.text);
    }

    TLeftFiles none;
    EXPECT_EQ(ResultFooter(tally, none, true), "\r\n\r\n" + CountsLine(tally));
    TLeftFiles some;
    some.Count = 1;
    some.ByType[".CR3"] = 1;
    EXPECT_EQ(ResultFooter(tally, some, false), "\r\n\r\n" + CountsLine(tally) + "\r\n" + LeftFilesText(some, false));
}

TEST(ImportReport, FailureListIsCutAfterAScreenful) {
    EXPECT_EQ(FailureText("", {}), "");
    EXPECT_EQ(FailureText("Chyba EXIF", {}), "Chyba EXIF");
    EXPECT_EQ(FailureText("Chyba EXIF", {"a.jpg: Přístup byl odepřen."}), "Chyba EXIF\r\na.jpg: Přístup byl odepřen.");

    Names failures;
    for (size_t k = 0; k < kMaxFailureLines + 5; ++k) failures.push_back("f" + std::to_string(k));
    std::string all = FailureText("", Names(failures.begin(), failures.begin() + kMaxFailureLines));
    EXPECT_EQ(all.find("a další"), std::string::npos);
    EXPECT_EQ(all.substr(all.rfind("\r\n") + 2), "f" + std::to_string(kMaxFailureLines - 1));

    std::string cut = FailureText("", failures);
    EXPECT_EQ(cut, all + "\r\na další…");
}

// A copy's error text puts the path on a line of its own before the
// system's reason; the error box lists the file's name and the reason.
TEST(ImportReport, FailureLines) {
    EXPECT_EQ(FailureLine("E:\\DCIM\\IMG_0042.CR3", "\"D:\\Foto\\IMG_0042.CR3\"\r\nNa disku není dost místa."),
              "IMG_0042.CR3: Na disku není dost místa.");
    EXPECT_EQ(FailureLine("E:\\a.jpg", "Přístup byl odepřen"), "a.jpg: Přístup byl odepřen.");
    EXPECT_EQ(FailureLine("E:\\a.jpg", "\"E:\\a.jpg\"\r\n"), "a.jpg: neznámá chyba.");
    EXPECT_EQ(FailureLine("E:\\a.jpg", ""), "a.jpg: neznámá chyba.");
}

// Which boxes end a run, in order, and where the counts go. Temporary
// copies that could not go are listed apart, after the failed files.
TEST(ImportReport, ResultMessagesOfARun) {
    const std::string footer = "\r\n\r\nZkopírováno souborů: 1 (1 B), přeskočeno: 0, nezdařilo se: 0.";
    using Boxes = std::vector<std::pair<std::string, TMsgDlgKind>>;
    auto boxes = [&](const std::string& namingError, const Names& failures, const Names& leftovers, bool cancelled) {
        TRunTally tally;
        tally.Failures = failures;
        tally.Leftovers = leftovers;
        Boxes out;
        for (const TResultMessage& m : ResultMessages(namingError, tally, cancelled, footer))
            out.emplace_back(m.text, m.kind);
        return out;
    };
    const std::string head = "Během kopírování došlo k chybě:\r\n";
    EXPECT_EQ(boxes("", {}, {}, false), (Boxes{{"Kopírování proběhlo úspěšně." + footer, mkInformation}}));
    EXPECT_EQ(boxes("", {}, {}, true), (Boxes{{"Kopírování bylo přerušeno." + footer, mkWarning}}));
    EXPECT_EQ(boxes("", {"a.jpg: x."}, {}, false), (Boxes{{head + "a.jpg: x." + footer, mkError}}));
    // A naming error alone is an error too, even when every file was copied.
    EXPECT_EQ(boxes("Chyba EXIF", {}, {}, false), (Boxes{{head + "Chyba EXIF" + footer, mkError}}));
    // Failures and a cancel: the counts follow the last box only.
    EXPECT_EQ(boxes("", {"a.jpg: x."}, {}, true),
              (Boxes{{head + "a.jpg: x.", mkError}, {"Kopírování bylo přerušeno." + footer, mkWarning}}));
    const std::string note = LeftoverLine("D:\\Foto\\~kolibrio3.part");
    EXPECT_EQ(note, "Dočasný soubor \"D:\\Foto\\~kolibrio3.part\" nelze smazat.");
    EXPECT_EQ(boxes("", {"a.jpg: x."}, {note}, false),
              (Boxes{{head + "a.jpg: x.\r\n\r\n" + note + footer, mkError}}));
    EXPECT_EQ(boxes("", {}, {note, note}, false), (Boxes{{head + note + "\r\n" + note + footer, mkError}}));
}

// A file whose metadata could not be read is named in the error box in
// the program's words (never the reader's English), after the failed copies
// and within the same screenful; it is no failed copy.
TEST(ImportReport, FilesDatedByTheirFileTime) {
    const std::string cut = UndatedLine("E:\\DCIM\\100KAMRA\\IMG_0007.JPG", kReadBeyondEndOfFile);
    EXPECT_EQ(cut, "IMG_0007.JPG: metadata nelze přečíst, soubor je poškozený nebo zkrácený; datum podle času souboru.");
    EXPECT_EQ(UndatedLine("E:\\a.jpg", ""), "a.jpg: metadata nelze přečíst, soubor je poškozený nebo zkrácený; "
                                            "datum podle času souboru.");
    EXPECT_EQ(UndatedLine("E:\\a.jpg", "Přístup byl odepřen.\r\n"),
              "a.jpg: metadata nelze přečíst (Přístup byl odepřen); datum podle času souboru.");

    // One line a file, in the run's order, a file listed by two patterns once.
    TRunTally noted;
    NoteUndated(noted, {"E:\\b.jpg", "E:\\a.jpg", "E:\\c.jpg", "E:\\b.jpg"},
                {{"E:\\a.jpg", kReadBeyondEndOfFile}, {"E:\\b.jpg", kReadBeyondEndOfFile}});
    EXPECT_EQ(noted.Undated, (Names{UndatedLine("E:\\b.jpg", kReadBeyondEndOfFile),
                                    UndatedLine("E:\\a.jpg", kReadBeyondEndOfFile)}));

    const std::string footer = "\r\n\r\nZkopírováno souborů: 2 (2 B), přeskočeno: 0, nezdařilo se: 1.";
    const std::string head = "Během kopírování došlo k chybě:\r\n";
    TRunTally tally;
    tally.Undated = {cut};
    auto texts = [&](bool cancelled) {
        std::vector<std::string> out;
        for (const TResultMessage& m : ResultMessages("", tally, cancelled, footer)) out.push_back(m.text);
        return out;
    };
    const std::vector<TResultMessage> alone = ResultMessages("", tally, false, footer);
    ASSERT_EQ(alone.size(), 1u);
    EXPECT_EQ(alone[0].kind, mkError);
    EXPECT_EQ(alone[0].text, head + cut + footer);

    tally.Failures = {"b.jpg: Přístup byl odepřen."};
    tally.Leftovers = {LeftoverLine("D:\\~kolibrio1.part")};
    EXPECT_EQ(texts(false), (Names{head + "b.jpg: Přístup byl odepřen.\r\n" + cut + "\r\n\r\n" + tally.Leftovers[0] +
                                   footer}));
    EXPECT_EQ(texts(true), (Names{head + "b.jpg: Přístup byl odepřen.\r\n" + cut + "\r\n\r\n" + tally.Leftovers[0],
                                  "Kopírování bylo přerušeno." + footer}));

    tally = TRunTally();
    for (size_t k = 0; k < kMaxFailureLines + 3; ++k) tally.Undated.push_back("f" + std::to_string(k));
    const std::string text = ResultMessages("", tally, false, "")[0].text;
    EXPECT_EQ(text.substr(text.rfind("\r\n")), "\r\na další…");
    EXPECT_NE(text.find("\r\nf14\r\n"), std::string::npos);
}

// The lines a run writes of its own: a folder it could not make (once, with
// the system's reason and one full stop), a copy whose check never ended,
// and the temporary copies of a killed run that it removed.
TEST(ImportReport, LinesOfTheRunItself) {
    EXPECT_EQ(FolderFailureLine("D:\\Foto\\2024\\", "Přístup byl odepřen.\r\n"),
              "Složku \"D:\\Foto\\2024\\\" nelze vytvořit: Přístup byl odepřen.");
    EXPECT_EQ(FolderFailureLine("D:\\F\\", ""), "Složku \"D:\\F\\\" nelze vytvořit: neznámá chyba.");
    EXPECT_EQ(UnverifiedLine("E:\\DCIM\\IMG_1.JPG"),
              "IMG_1.JPG: Kopii nebylo možné ověřit, kontrola nedoběhla do konce kopírování.");
    TRunTally tally;
    tally.StaleRemoved = 3;
    EXPECT_EQ(ResultFooter(tally, TLeftFiles(), true),
              "\r\n\r\n" + CountsLine(tally) + "\r\nSmazáno dočasných souborů z dřívějšího přerušeného kopírování: 3.");
}

// A volume that refuses the copies' file times is named once, by the first
// folder where it happened, with the system's reason; the other folders are
// counted, each once.
TEST(ImportReport, FileTimesThatCouldNotBeKept) {
    TRunTally tally;
    EXPECT_EQ(TimesRefusedLine(tally), "");
    NoteTimesRefused(tally, "N:\\Foto\\2024\\05\\", "Přístup byl odepřen.\r\n");
    EXPECT_EQ(TimesRefusedLine(tally),
              "Čas souborů nelze zachovat ve složce \"N:\\Foto\\2024\\05\\\": Přístup byl odepřen. Kopie mají čas "
              "importu.");
    NoteTimesRefused(tally, "N:\\Foto\\2024\\05\\", "Zařízení není připraveno.");
    NoteTimesRefused(tally, "N:\\Foto\\2024\\06\\", "Zařízení není připraveno.");
    NoteTimesRefused(tally, "N:\\Foto\\2024\\07\\", "");
    EXPECT_EQ(TimesRefusedLine(tally),
              "Čas souborů nelze zachovat ve složce \"N:\\Foto\\2024\\05\\\" a v dalších (2): Přístup byl "
              "odepřen. Kopie mají čas importu.");
    tally.StaleRemoved = 1;
    EXPECT_EQ(ResultFooter(tally, TLeftFiles(), true),
              "\r\n\r\n" + CountsLine(tally) + "\r\nSmazáno dočasných souborů z dřívějšího přerušeného kopírování: 1." +
                  "\r\n" + TimesRefusedLine(tally));
    TRunTally unknown;
    NoteTimesRefused(unknown, "N:\\F\\", "");
    EXPECT_EQ(TimesRefusedLine(unknown),
              "Čas souborů nelze zachovat ve složce \"N:\\F\\\": neznámá chyba. Kopie mají čas importu.");
}

// What a card (or a folder) that comes back shows: the new files and their
// size, the known ones, in the words the result's counts use; the files
// found at their targets by content counted apart from those the history
// knew, so each count of the confirmation has its own in the result.
TEST(ImportReport, FilesAlreadyInTheArchive) {
    EXPECT_EQ(ArrivalSummary(2, 3 * 1024 * 1024, 17), "Nových souborů: 2 (3,0 MB), již v archivu: 17");
    EXPECT_EQ(ArrivalSummary(5, 1024, 0), "Nových souborů: 5 (1,0 kB), již v archivu: 0");
    EXPECT_EQ(ArrivalSummary(0, 0, 19), "Všechny soubory z karty už jsou v archivu.");
    EXPECT_EQ(ArrivalSummary(0, 0, 19, false), "Všechny soubory ze složky už jsou v archivu.");
    EXPECT_EQ(NothingNewText(19, true), "Nic nebylo zkopírováno: všechny soubory z karty (19) už jsou v archivu.");
    EXPECT_EQ(NothingNewText(1, false), "Nic nebylo zkopírováno: všechny soubory ze složky (1) už jsou v archivu.");
    TRunTally tally;
    tally.Copied = 2;
    tally.CopiedBytes = 2048;
    tally.AlreadyImported = 17;
    EXPECT_EQ(CountsLine(tally), "Zkopírováno souborů: 2 (2,0 kB), přeskočeno: 0, nezdařilo se: 0, již v archivu: 17.");
    tally.FoundByContent = 1;
    EXPECT_EQ(CountsLine(tally), "Zkopírováno souborů: 2 (2,0 kB), přeskočeno: 0, nezdařilo se: 0, již v archivu: 17, "
                                 "nalezeno v archivu podle obsahu: 1.");
}

// The overwrite question's added line shows both files as the system's
// own copy does: size and last change of each.
TEST(ImportReport, BothFilesOfTheOverwriteQuestion) {
    EXPECT_EQ(BothFilesLine(4000, DateParts{2024, 3, 30, 10, 1, 0, 0}, 5 * 1024 * 1024,
                            DateParts{2025, 12, 1, 9, 5, 7, 0}),
              "Soubor v archivu: 3,9 kB, 30.3.2024 10:01:00; nový soubor: 5,0 MB, 1.12.2025 9:05:07.");
}

// The patterns of the settings as the left files' count applies them.
TEST(ImportReport, PatternsMatchLikeTheSystemsWildcards) {
    struct Case {
        const char* name;
        const char* pattern;
        bool matches;
    } cases[] = {
        {"IMG_1.JPG", "*.jpg", true},   {"img_1.jpg", "*.JPG", true},   {"IMG_1.JPEG", "*.jpg", false},
        {"IMG_1.JPG.part", "*.jpg", false}, {"a.b.jpg", "*.jpg", true}, {"IMG_12.CR3", "IMG_??.cr3", true},
        {"IMG_1.CR3", "IMG_??.cr3", false}, {"x", "*", true},           {"", "*", true},
        {"abc", "a*b*c", true},         {"abxc", "a*b*c", true},        {"acb", "a*b*c", false},
        {"DSC0001.NEF", "DSC*.NEF", true},
    };
    for (const Case& c : cases) EXPECT_EQ(MatchesPattern(c.name, c.pattern), c.matches) << c.name << " " << c.pattern;
}

TEST(CountLeftFiles, AFileOfATakenTypeIsNeverLeftForWantOfAType) {
    Tree t;
    // IMG_2.JPG came after the scan (another card, another program): it is
    // not in the list, yet its type is copied.
    t.folders["E:\\DCIM\\"] = {File("IMG_1.JPG"), File("IMG_2.JPG"), File("IMG_3.CR3")};
    TLeftFiles left = CountLeftFiles("E:\\DCIM", {"E:\\DCIM\\IMG_1.JPG"}, t.Context(), {"*.jpg", "*.avi"});
    EXPECT_EQ(left.Count, 1);
    EXPECT_EQ(left.ByType, (std::map<std::string, int64_t>{{".CR3", 1}}));
}

// "Ponechat oba": the new file goes under the old name with a number before
// its extension.
TEST(ImportReport, NumberedNamesKeepTheExtension) {
    EXPECT_EQ(NumberedName("D:\\Foto\\IMG_1.JPG", 2), "D:\\Foto\\IMG_1 (2).JPG");
    EXPECT_EQ(NumberedName("D:\\Foto\\archiv.2024\\IMG_1", 3), "D:\\Foto\\archiv.2024\\IMG_1 (3)");
    EXPECT_EQ(NumberedName("D:\\Foto\\a.b.jpg", 10), "D:\\Foto\\a.b (10).jpg");
    EXPECT_EQ(NumberedName("D:\\Foto\\.jpg", 2), "D:\\Foto\\.jpg (2)");
}

}  // namespace

// "Otevřít složku" opens where the copies went: their one folder, or the
// folder of the run's last copied file when they went to several (a folder
// a day); the target folder when nothing was copied. Copies are noted as
// their checks end, not always in the run's order.
TEST(ImportReport, TheFolderToOpen) {
    using Copies = std::vector<std::pair<size_t, std::string>>;
    struct Case {
        const char* what;
        Copies copies;
        std::string folder;
    } cases[] = {
        {"nothing copied", {}, "D:\\Foto\\"},
        {"one folder below the target", {{0, "D:\\Foto\\2024\\a.jpg"}, {1, "D:\\Foto\\2024\\b.jpg"}},
         "D:\\Foto\\2024\\"},
        {"one folder, told apart by case only",
         {{0, "D:\\Foto\\Leden\\a.jpg"}, {1, "D:\\Foto\\LEDEN\\b.jpg"}}, "D:\\Foto\\Leden\\"},
        {"several days", {{0, "D:\\Foto\\01\\a.jpg"}, {1, "D:\\Foto\\02\\b.jpg"}, {2, "D:\\Foto\\03\\c.jpg"}},
         "D:\\Foto\\03\\"},
        {"several days, the last file's check ending first",
         {{2, "D:\\Foto\\03\\c.jpg"}, {0, "D:\\Foto\\01\\a.jpg"}, {1, "D:\\Foto\\02\\b.jpg"}}, "D:\\Foto\\03\\"},
        {"back to the first day's folder last",
         {{0, "D:\\Foto\\01\\a.jpg"}, {1, "D:\\Foto\\02\\b.jpg"}, {2, "D:\\Foto\\01\\c.jpg"}},
         "D:\\Foto\\01\\"},
    };
    for (const Case& c : cases) {
        TRunTally tally;
        for (const auto& [index, target] : c.copies) NoteCopied(tally, index, target);
        EXPECT_EQ(FolderToOpen(tally, "D:\\Foto\\"), c.folder) << c.what;
    }
}
