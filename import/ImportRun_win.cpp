#include "import/ImportRun_win.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <utility>
#include <vector>

#include "import/CopyChecker_win.h"
#include "import/CopyFile_win.h"
#include "import/FileAccess_win.h"
#include "import/ImportReport.h"
#include "import/RunPacing_win.h"
#include "import/TargetFolders_win.h"
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
    ctx.taken = [](const std::string& path, const TScanEntry& e) { ImportJob().SourceSizes[path] = e.Size; };
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

// What a run names its files with, taken when it starts: the settings
// window's previews, run from the events serviced during the run (its
// buttons, the mask field, the catalogue, the preview tab), rewrite the
// shared state and must never change which files a run copies or what it
// names them.
struct TRunNaming {
    TMaskState state;
    std::string mask;
    std::string targetFolder;
    TDateNameTables names;
    TTimeSource timeSource;
};

// Names every file of the run into job.TargetFiles; false when a name is
// refused (the user has been told).
bool NameTargets(IImportUi& ui, TRunNaming& naming, const TDateOf& dateOf, std::string& ErrorText) {
    TImportJob& job = ImportJob();
    TMaskInputs inputs{naming.names, dateOf, LocalNow};
    for (int32_t i = 0; i < naming.state.TotalCount; ++i) {
        if (job.Cancelled) return false;
        const std::string name = ExpandMask(job.SourceFiles[i], naming.mask, ErrorText, false, naming.state, inputs);
        const std::string target = naming.targetFolder + name;
        ServiceEvents(ui);
        if (!IsValidTargetPath(target) || !NamesAFile(target)) {
            ui.Message(BadTargetMessage(target), "Kolibrio 2 - Chyba", mkError, MsgBtn::OK, MsgBtn::OK);
            return false;
        }
        ++naming.state.RunningIndex;
        job.TargetFiles.push_back(target);
    }
    return true;
}

// The loop over the files of a run. Copies with the check on go to the
// checker and come back as outcomes, which are taken on this thread: the
// counts, the failures in file order and the target lists stay the run's.
class TCopyPhase {
public:
    explicit TCopyPhase(IImportUi& ui) : ui_(ui) {}

    // The failures by the file's place in the run.
    std::vector<std::pair<size_t, std::string>> Run() {
        try {
            Begin();
            for (size_t j = 0; j < job_.TargetFiles.size(); ++j) {
                ServiceEvents(ui_);
                TakeChecked();
                // A file whose target a waiting copy is to take is asked
                // about once that copy is in place.
                const std::string& target = job_.TargetFiles[j];
                WaitForChecks([&] {
                    return checker_.Outstanding() >= kMaxWaitingChecks || checker_.Pending(target);
                });
                CopyFile(j);
                if (job_.Cancelled) break;
            }
            // Complete copies take their place after a cancel too.
            WaitForChecks([&] { return checker_.Outstanding() > 0; });
            ui_.SetSpeedTimer(false);
            ui_.SpeedTick();
        } catch (const std::exception& e) {
            // The copy phase ends here; the report still tells what
            // happened. The copies handed to the checker are placed or
            // removed before it ends.
            failures_.emplace_back(job_.TargetFiles.size(), e.what());
        }
        return std::move(failures_);
    }

private:
    void Begin() {
        job_.BarMax = job_.TotalBytes;
        job_.BarPosition = 0;
        ui_.OverallChanged();
        ui_.SetSpeedTimer(true);
        job_.StartTick = ui_.TickCount();
        job_.OverwriteAll = false;
        job_.SkipAll = false;
        job_.Tally = TRunTally();
    }

    void CopyFile(size_t j) {
        std::string reason;
        if (!CopyFileOfRun(job_.SourceFiles[j], job_.TargetFiles[j], reason, ui_, &checker_, j))
            failures_.emplace_back(j, FailureLine(job_.SourceFiles[j], reason));
    }

    void TakeChecked() {
        for (const auto& check : checker_.TakeChecked()) {
            switch (check->outcome) {
            case TPlacing::Placed:
                TargetFolders().FileAdded(check->target);
                ++job_.Tally.Copied;
                job_.Tally.CopiedBytes += check->bytes;
                break;
            case TPlacing::Refused:
                failures_.emplace_back(check->index, FailureLine(check->source, check->error));
                break;
            case TPlacing::Appeared:
                // Another program made the file while this one copied: it
                // is asked about like any other existing file.
                TargetFolders().FileAdded(check->target);
                AdvanceOverall(ui_, -check->bytes);
                CopyFile(check->index);
                break;
            }
        }
    }

    // Waits for the checker while more() holds, with the windows kept
    // alive; a wait that lasts shows in the progress window as the check
    // it is.
    void WaitForChecks(const std::function<bool()>& more) {
        const uint32_t start = ui_.TickCount();
        bool showing = false;
        while (more()) {
            checker_.WaitForChecked(10);
            TakeChecked();
            ServiceEvents(ui_);
            if (!showing && more() && ui_.TickCount() - start >= kShowCheckingMs) {
                showing = true;
                ui_.SetChecking(true);
            }
        }
        if (showing) ui_.SetChecking(false);
    }

    IImportUi& ui_;
    TImportJob& job_ = ImportJob();
    std::vector<std::pair<size_t, std::string>> failures_;
    TCopyChecker checker_;  // last: its threads end before the rest goes
};

// The result messages: the texts of the run, then the counts and the files
// left behind.
void Report(IImportUi& ui, const std::string& ErrorText, std::vector<std::pair<size_t, std::string>> failures) {
    TImportJob& job = ImportJob();
    std::stable_sort(failures.begin(), failures.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& failure : failures) job.Tally.Failures.push_back(std::move(failure.second));
    // Copies that failed their check while another program held them.
    for (const std::string& left : RemoveLeftoverCopies())
        job.Tally.Failures.push_back("Dočasný soubor \"" + left + "\" nelze smazat.");
    const std::string footer = ResultFooter(job.Tally, job.LeftFiles, IsCardFolder(job.SourcePath));
    for (const TResultMessage& message : ResultMessages(ErrorText, job.Tally.Failures, job.Cancelled, footer))
        ui.Message(message.text, "Kolibrio2 - Výsledky kopírování", message.kind, MsgBtn::OK, MsgBtn::OK);
}

void EndOfRun(IImportUi& ui) {
    TImportJob& job = ImportJob();
    ui.HideProgress();
    job.Mask.IndexDirs.clear();
    job.SourceFiles.clear();
    job.SourceSizes.clear();
    job.TargetFiles.clear();
    ui.SetTitle("Kolibrio 2");
    ui.SetPreviewTimer(true);
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

    job.SourcePath = path;
    if (!FolderExistsAt(path)) return;
    job.Mask.RunningIndex = 1;
    if (ui.ConfirmImport() == 2) return;

    job.Cancelled = false;
    ui.ShowPreparing();
    ServiceEvents(ui);

    job.Mask.RunningIndex = 1;
    job.SourceFiles.clear();
    job.SourceSizes.clear();
    job.TargetFiles.clear();
    if (job.Cancelled) return;
    ScanPatterns(job.SourcePath, Settings().ExtensionList, ui);
    if (job.Cancelled) return;
    job.LeftFiles = CountLeftFiles(job.SourcePath, job.SourceFiles, ScanContextFor(ui));
    if (job.Cancelled) return;
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
    TRunNaming naming{TMaskState(), settings.CurrentMask, settings.Path, settings.DateNameTables,
                      settings.TimeForMask};
    naming.state.RunningIndex = 1;
    naming.state.TotalCount = static_cast<int32_t>(job.SourceFiles.size());
    // The ordering and the naming ask each file's date: one read serves both.
    TRememberedFileDates fileDates(WinCaptureDatePlatform());
    const TDateOf dateOf = [&](const std::string& f, std::string& err) {
        return CaptureDate(naming.timeSource, f, err, fileDates);
    };

    {
        TDynamicDateTimeArray dates;
        const int hi = naming.state.TotalCount - 1;
        SortFiles(dates, 0, hi < 0 ? 0 : hi, true, ui, dateOf);
    }
    ServiceEvents(ui);
    if (!NameTargets(ui, naming, dateOf, ErrorText)) return EndOfRun(ui);

    ui.BeginCopying();  // reads BarMax and BarPosition
    std::vector<std::pair<size_t, std::string>> failures;
    {
        TTargetListsGuard targetLists;
        failures = TCopyPhase(ui).Run();
    }
    Report(ui, ErrorText, std::move(failures));
    EndOfRun(ui);
}
