#include "import/ImportRun_win.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "import/CopyPhase_win.h"
#include "import/FileAccess_win.h"
#include "import/ImportHistory_win.h"
#include "import/ImportReport.h"
#include "import/RunPacing_win.h"
#include "import/TargetFolders_win.h"
#include "import/Placing_win.h"
#include "import/VerifyCopy_win.h"
#include "mask/CaptureDate_win.h"
#include "settings/Settings.h"
#include "settings/SettingsStore_win.h"

namespace {

using TDateOf = std::function<TDateTime(const std::string& FileName, std::string& ErrorText)>;

TScanContext ScanContextFor(IImportUi& ui) {
    TScanContext ctx;
    ctx.list = ListEntries;
    ctx.processMessages = [&ui] { ServiceEvents(ui); };
    ctx.cancelled = &ImportJob().Cancelled;
    ctx.taken = [](const std::string& path, const TScanEntry& e) {
        ImportJob().SourceSizes[path] = e.Size;
        ImportJob().SourceWriteTimes[path] = e.WriteTime;
    };
    return ctx;
}

void SortFiles(TDynamicDateTimeArray& D, int lo, int hi, bool fill, IImportUi& ui, const TDateOf& dateOf) {
    TImportJob& job = ImportJob();
    TSortContext ctx{job.SourceFiles, dateOf, [&ui] { ServiceEvents(ui); }, &job.Cancelled, {}};
    ::SortByCaptureDate(D, lo, hi, fill, ctx);
}

// Clears Running however StartImport ends.
struct TRunningGuard {
    TRunningGuard() { ImportJob().Running = true; }
    ~TRunningGuard() { ImportJob().Running = false; }
    TRunningGuard(const TRunningGuard&) = delete;
    TRunningGuard& operator=(const TRunningGuard&) = delete;
};

// What a run works with, taken when it starts: the settings window's
// previews, run from the events serviced during the run (its buttons, the
// mask field, the catalogue, the preview tab), rewrite the shared state,
// and the user may change the settings meanwhile; neither changes which
// files a run copies, what it names them or whether it checks them.
struct TRunSettings {
    TMaskState naming;
    std::string mask;
    std::string targetFolder;
    TDateNameTables names;
    TTimeSource timeSource;
    bool verify;
};

// Names every file of the run into job.TargetFiles; false when a name is
// refused (the user has been told).
bool NameTargets(IImportUi& ui, TRunSettings& run, const TDateOf& dateOf, std::string& ErrorText) {
    TImportJob& job = ImportJob();
    TMaskInputs inputs{run.names, dateOf, LocalNow};
    for (int32_t i = 0; i < run.naming.TotalCount; ++i) {
        if (job.Cancelled) return false;
        const std::string name = ExpandMask(job.SourceFiles[i], run.mask, ErrorText, false, run.naming, inputs);
        const std::string target = run.targetFolder + name;
        ServiceEvents(ui);
        // A wrong mask refuses the card; a name the system would store
        // otherwise, or not at all, fails its file alone in the copy phase.
        if (!IsValidTargetPath(target) || !NamesAFile(target)) {
            ui.Message(BadTargetMessage(target), "Kolibrio 2 - Chyba", mkError, MsgBtn::OK, MsgBtn::OK);
            return false;
        }
        ++run.naming.RunningIndex;
        job.TargetFiles.push_back(target);
    }
    return true;
}

// The temporary copies a run ended by force left in the folders this run
// writes to: only names the copies take whose owner is gone.
void RemoveStaleCopiesOfRun() {
    TImportJob& job = ImportJob();
    std::vector<std::string> folders;
    std::unordered_set<std::wstring> seen;
    for (const std::string& target : job.TargetFiles) {
        if (!IsStorableTargetPath(target)) continue;  // never written to
        const std::string folder = FolderOf(target);
        if (seen.insert(FoldedPath(folder)).second) folders.push_back(folder);
    }
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return;
    job.Tally.StaleRemoved = RemoveStaleCopies(folders, static_cast<uint64_t>(FileTimeValue(created)));
}

// The result messages: the texts of the run, then the counts and the files
// left behind. After a run that copied something, the last box offers to
// open the folder the copies went into.
void Report(IImportUi& ui, const std::string& ErrorText, const std::string& targetFolder) {
    TImportJob& job = ImportJob();
    for (const std::string& left : TakeLeftovers()) job.Tally.Leftovers.push_back(LeftoverLine(left));
    const std::string footer = ResultFooter(job.Tally, job.LeftFiles, IsCardFolder(job.SourcePath));
    const std::vector<TResultMessage> messages = ResultMessages(ErrorText, job.Tally, job.Cancelled, footer);
    for (size_t k = 0; k < messages.size(); ++k) {
        const bool offerFolder = k + 1 == messages.size() && job.Tally.Copied > 0;
        const TMsgButtons buttons = offerFolder ? MsgBtn::OK | MsgBtn::OpenFolder : MsgBtn::OK;
        const int answer = ui.Message(messages[k].text, "Kolibrio2 - Výsledky kopírování", messages[k].kind, buttons,
                                      MsgBtn::OK);
        if (offerFolder && answer == ButtonResult(MsgBtn::kOpenFolderBit))
            ui.OpenFolder(FolderToOpen(job.Tally, targetFolder));
    }
}

void ClearSourceLists() {
    TImportJob& job = ImportJob();
    job.SourceFiles.clear();
    job.SourceSizes.clear();
    job.SourceWriteTimes.clear();
    job.TargetFiles.clear();
    job.ArrivalSummary.clear();
    job.NothingNew = false;
}

void EndOfRun(IImportUi& ui) {
    TImportJob& job = ImportJob();
    ui.HideProgress();
    job.Mask.IndexDirs.clear();
    ClearSourceLists();
    ui.SetTitle("Kolibrio 2");
    ui.SetPreviewTimer(true);
}

// The history is the run's while it runs and lets go of its file after, so
// that another program (a backup) may read it between imports.
struct THistoryGuard {
    THistoryGuard() = default;
    ~THistoryGuard() {
        ImportJob().History = nullptr;
        ReleaseImportHistory();
    }
    THistoryGuard(const THistoryGuard&) = delete;
    THistoryGuard& operator=(const THistoryGuard&) = delete;
};

// How the files found stand against the archive the run would import
// into: how many are new and their size, how many the history knows there.
struct TKnownFiles {
    int64_t fresh = 0, freshBytes = 0, known = 0;
    bool AllKnown() const { return fresh == 0 && known > 0; }
};

TKnownFiles CountKnownFiles(const std::string& archive) {
    const TImportJob& job = ImportJob();
    TKnownFiles count;
    const auto inArchive = [&archive](const std::string& target) { return ArchiveHolds(archive, target); };
    for (const std::string& file : job.SourceFiles) {
        const THistoryKey key = *ListedKey(file);
        if (job.History->Find(key, inArchive)) {
            ++count.known;
        } else {
            ++count.fresh;
            count.freshBytes += key.Size;
        }
    }
    return count;
}

}  // namespace

void ScanFolder(const std::string& folder, const std::string& pattern, IImportUi& ui) {
    ::ScanFolder(folder, pattern, ImportJob().SourceFiles, ScanContextFor(ui));
}

void ScanPatterns(const std::string& folder, const std::vector<std::string>& patterns, IImportUi& ui) {
    ::ScanPatterns(folder, patterns, ImportJob().SourceFiles, ScanContextFor(ui));
}

void SortByCaptureDate(TDynamicDateTimeArray& D, int lo, int hi, bool fill, IImportUi& ui) {
    SortFiles(D, lo, hi, fill, ui, [](const std::string& f, std::string& err) { return CaptureDate(f, err); });
}

void StartImport(const std::string& path) { StartImport(path, WindowImportUi()); }

void StartImport(const std::string& path, IImportUi& ui) {
    TImportJob& job = ImportJob();
    if (job.Running) return;  // never nested inside a running import
    TRunningGuard running;
    THistoryGuard historyOpen;

    job.SourcePath = path;
    if (!FolderExistsAt(path)) return;
    job.Mask.RunningIndex = 1;
    ClearSourceLists();
    job.SkipImported = Settings().SkipImported;
    // A card that comes back: its files are looked up in the history before
    // the user is asked, so that the confirmation says how many are new.
    TKnownFiles known;
    if (job.SkipImported) {
        std::string notice;
        job.History = ImportHistory(notice);
        if (!notice.empty()) ui.Message(notice, "Kolibrio2 - Oznámení", mkWarning, MsgBtn::OK, MsgBtn::OK);
        if (job.History) {
            job.Cancelled = false;
            ScanPatterns(job.SourcePath, Settings().ExtensionList, ui);
            known = CountKnownFiles(Settings().Path);
            job.ArrivalSummary = ArrivalSummary(known.fresh, known.freshBytes, known.known, IsCardFolder(job.SourcePath));
            job.NothingNew = known.AllKnown();
        }
    }
    if (ui.ConfirmImport() == 2) return;

    job.Cancelled = false;
    ui.ShowPreparing();
    ServiceEvents(ui);

    job.Mask.RunningIndex = 1;
    if (job.Cancelled) return;
    // Listed again: the card may have been swapped for another of the same
    // camera, or its files changed, while the confirmation waited, and the
    // patterns and the archive changed in the settings. What is copied and
    // recorded is what is there now. (A volume's serial number would not
    // tell: Wine gives one to every drive mapped on a folder, and another
    // program's changes keep it.)
    ClearSourceLists();
    ScanPatterns(job.SourcePath, Settings().ExtensionList, ui);
    if (job.Cancelled) return;
    if (job.History) known = CountKnownFiles(Settings().Path);
    job.LeftFiles = CountLeftFiles(job.SourcePath, job.SourceFiles, ScanContextFor(ui), Settings().ExtensionList);
    if (job.Cancelled) return;
    if (known.AllKnown()) {
        // Nothing to copy: said at once, without a run that counts zeros.
        std::string left = LeftFilesText(job.LeftFiles, IsCardFolder(job.SourcePath));
        ui.Message(NothingNewText(known.known, IsCardFolder(job.SourcePath)) + (left.empty() ? left : "\r\n\r\n" + left),
                   "Kolibrio2 - Výsledky kopírování", mkInformation, MsgBtn::OK, MsgBtn::OK);
        // No events serviced after it: a card that arrives now is for the
        // next import, which this one would refuse while it still runs.
        ui.HideProgress();
        ClearSourceLists();
        return;
    }
    if (job.SourceFiles.empty()) {
        std::string left = LeftFilesText(job.LeftFiles, IsCardFolder(job.SourcePath));
        ui.Message("Nebyly nalezeny žádné soubory ke zpracování.\r\nKopírování nemůže začít. Dialog bude uzavřen." +
                       (left.empty() ? left : "\r\n\r\n" + left),
                   "Kolibrio2 - Oznámení", mkWarning, MsgBtn::OK, MsgBtn::OK);
        ui.HideProgress();
        ServiceEvents(ui);
        return;
    }
    job.TotalBytes = 0;
    for (const std::string& file : job.SourceFiles) {
        const auto listed = job.SourceSizes.find(file);
        job.TotalBytes = listed != job.SourceSizes.end() ? job.TotalBytes + listed->second
                                                         : AddFileSize(file, job.TotalBytes);
        if (job.Cancelled) return;
    }
    RunImport(ui);
}

void RunImport(IImportUi& ui) {
    TImportJob& job = ImportJob();
    IncrementCounter("copycount");
    std::string ErrorText;
    ui.SetPreviewTimer(false);

    const TSettings& settings = Settings();
    TRunSettings run{TMaskState(),          settings.CurrentMask, settings.Path,
                     settings.DateNameTables, settings.TimeForMask, settings.VerifyCopy};
    run.naming.RunningIndex = 1;
    run.naming.TotalCount = static_cast<int32_t>(job.SourceFiles.size());
    job.ArchiveFolder = run.targetFolder;
    // The ordering and the naming ask each file's date: one read serves both.
    // A file whose metadata cannot be read keeps the reader's message apart
    // from the run's error text (which is the mask's) and is named once in
    // the result.
    TRememberedFileDates fileDates(WinCaptureDatePlatform());
    std::unordered_map<std::string, std::string> unreadable;
    const TDateOf dateOf = [&](const std::string& f, std::string&) {
        std::string why;
        const TDateTime d = CaptureDate(run.timeSource, f, why, fileDates);
        if (!why.empty()) unreadable.emplace(f, why);
        return d;
    };

    {
        TDynamicDateTimeArray dates;
        const int hi = run.naming.TotalCount - 1;
        SortFiles(dates, 0, hi < 0 ? 0 : hi, true, ui, dateOf);
    }
    ServiceEvents(ui);
    if (!NameTargets(ui, run, dateOf, ErrorText)) return EndOfRun(ui);

    job.Tally = TRunTally();
    NoteUndated(job.Tally, job.SourceFiles, unreadable);
    RemoveStaleCopiesOfRun();
    ui.BeginCopying();  // reads BarMax and BarPosition
    {
        TTargetListsGuard targetLists;
        CopyFilesOfRun(ui, run.verify);
    }
    CommitImportRecords();
    // The title shows the run's progress only while it runs.
    ui.SetTitle("Kolibrio 2");
    Report(ui, ErrorText, run.targetFolder);
    EndOfRun(ui);
}
