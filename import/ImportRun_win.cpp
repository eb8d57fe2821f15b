#include "import/ImportRun_win.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "import/CopyChecker_win.h"
#include "import/CopyFile_win.h"
#include "import/FileAccess_win.h"
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
        // A name the system would store otherwise, or not at all, is refused
        // as a wrong one: nothing is copied and nothing is left behind.
        if (!IsValidTargetPath(target) || !NamesAFile(target) || !IsStorableTargetPath(target)) {
            ui.Message(BadTargetMessage(target), "Kolibrio 2 - Chyba", mkError, MsgBtn::OK, MsgBtn::OK);
            return false;
        }
        ++run.naming.RunningIndex;
        job.TargetFiles.push_back(target);
    }
    return true;
}

// How long a cancelled run waits for the checks still running before it
// gives them up (a check stuck on a share that went away would keep the
// run, and the program's end, waiting for ever).
uint32_t gCheckPatienceMs = 10000;

// The loop over the files of a run. Copies with the check on go to the
// checker and come back as outcomes, which are taken on this thread: the
// counts, the failures in file order and the target lists stay the run's.
// Every file ends in exactly one count, whatever ends the run.
class TCopyPhase {
public:
    TCopyPhase(IImportUi& ui, bool verify) : ui_(ui), verify_(verify) {}

    void Run() {
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
            WaitForChecks([&] { return checker_.Outstanding() > 0; }, job_.Cancelled);
            GiveUpChecks();
            ui_.SetSpeedTimer(false);
            ui_.SpeedTick();
        } catch (const std::exception& e) {
            // The copy phase ends here; the file being copied fails with the
            // reason, and the copies handed to the checker are still counted.
            if (current_ < job_.SourceFiles.size())
                Fail(current_, FailureLine(job_.SourceFiles[current_], e.what()));
            else
                failures_.emplace_back(job_.TargetFiles.size(), e.what());
            Drain();
        }
        std::stable_sort(failures_.begin(), failures_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& failure : failures_) job_.Tally.Failures.push_back(std::move(failure.second));
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
    }

    void Fail(size_t index, std::string line) {
        ++job_.Tally.Failed;
        failures_.emplace_back(index, std::move(line));
    }

    void CopyFile(size_t j) {
        TCopyFailure failure;
        current_ = j;
        const bool ok =
            CopyFileOfRun(job_.SourceFiles[j], job_.TargetFiles[j], failure, ui_, {&checker_, verify_, j});
        current_ = kNone;
        if (ok) return;
        if (failure.folder.empty()) return Fail(j, FailureLine(job_.SourceFiles[j], failure.text));
        // A folder that cannot be made is named once; its files all fail.
        ++job_.Tally.Failed;
        if (failedFolders_.insert(FoldedPath(failure.folder)).second) failures_.emplace_back(j, failure.text);
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
                Fail(check->index, FailureLine(check->source, check->error));
                break;
            case TPlacing::Appeared:
                TargetFolders().FileAdded(check->target);
                // Another program made the file while this one copied. After
                // Storno, or once the run is ending, nothing more is asked:
                // the file is not copied.
                if (job_.Cancelled || ending_) {
                    ++job_.Tally.Skipped;
                    break;
                }
                // Otherwise it is asked about like any other existing file.
                AdvanceOverall(ui_, -check->bytes);
                CopyFile(check->index);
                break;
            }
        }
    }

    // Waits for the checker while more() holds, with the windows kept
    // alive; a wait that lasts shows in the progress window as the check
    // it is. A bounded wait ends after gCheckPatienceMs whatever more says.
    void WaitForChecks(const std::function<bool()>& more, bool bounded = false) {
        const uint32_t start = ui_.TickCount(), began = GetTickCount();
        bool showing = false;
        while (more()) {
            if (bounded && GetTickCount() - began >= gCheckPatienceMs) break;
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

    // The checks still running when the run must end are given up: each of
    // their files fails as not checked, and none of their copies takes its
    // name later.
    void GiveUpChecks() {
        if (checker_.Outstanding() == 0) return;
        for (const auto& [index, source] : checker_.Abandon()) Fail(index, UnverifiedLine(source));
        ending_ = true;
        TakeChecked();
    }

    // After a failure of the run itself: the windows may be what failed, so
    // the checks are waited for without them, as long as a cancelled run
    // would wait.
    void Drain() {
        ending_ = true;
        try {
            const uint32_t began = GetTickCount();
            while (checker_.Outstanding() > 0 && GetTickCount() - began < gCheckPatienceMs) {
                checker_.WaitForChecked(10);
                TakeChecked();
            }
            GiveUpChecks();
        } catch (const std::exception&) {
            // Nothing more can be learnt; what was counted stands.
        }
    }

    static constexpr size_t kNone = static_cast<size_t>(-1);

    IImportUi& ui_;
    const bool verify_;
    TImportJob& job_ = ImportJob();
    std::vector<std::pair<size_t, std::string>> failures_;
    std::unordered_set<std::wstring> failedFolders_;
    size_t current_ = kNone;
    bool ending_ = false;
    TCopyChecker checker_;  // last: its threads end before the rest goes
};

// The temporary copies a run ended by force left in the folders this run
// writes to: only names the copies take, written before this process began.
void RemoveStaleCopiesOfRun() {
    TImportJob& job = ImportJob();
    std::vector<std::string> folders;
    std::unordered_set<std::wstring> seen;
    for (const std::string& target : job.TargetFiles) {
        const std::string folder = FolderOf(target);
        if (seen.insert(FoldedPath(folder)).second) folders.push_back(folder);
    }
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return;
    const uint64_t since = (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    job.Tally.StaleRemoved = RemoveStaleCopies(folders, since);
}

// The result messages: the texts of the run, then the counts and the files
// left behind. After a run that copied something, the last box offers to
// open the target folder.
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
        if (offerFolder && answer == ButtonResult(MsgBtn::kOpenFolderBit)) ui.OpenFolder(targetFolder);
    }
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
    TRunSettings run{TMaskState(), settings.CurrentMask, settings.Path, settings.DateNameTables,
                     settings.TimeForMask, settings.VerifyCopy};
    run.naming.RunningIndex = 1;
    run.naming.TotalCount = static_cast<int32_t>(job.SourceFiles.size());
    // The ordering and the naming ask each file's date: one read serves both.
    TRememberedFileDates fileDates(WinCaptureDatePlatform());
    const TDateOf dateOf = [&](const std::string& f, std::string& err) {
        return CaptureDate(run.timeSource, f, err, fileDates);
    };

    {
        TDynamicDateTimeArray dates;
        const int hi = run.naming.TotalCount - 1;
        SortFiles(dates, 0, hi < 0 ? 0 : hi, true, ui, dateOf);
    }
    ServiceEvents(ui);
    if (!NameTargets(ui, run, dateOf, ErrorText)) return EndOfRun(ui);

    job.Tally = TRunTally();
    RemoveStaleCopiesOfRun();
    ui.BeginCopying();  // reads BarMax and BarPosition
    {
        TTargetListsGuard targetLists;
        TCopyPhase(ui, run.verify).Run();
    }
    // The title shows the run's progress only while it runs.
    ui.SetTitle("Kolibrio 2");
    Report(ui, ErrorText, run.targetFolder);
    EndOfRun(ui);
}

void SetCheckPatienceForTests(uint32_t ms) { gCheckPatienceMs = ms; }
