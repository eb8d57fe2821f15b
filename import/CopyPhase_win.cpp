#include "import/CopyPhase_win.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <functional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "import/CopyChecker_win.h"
#include "import/CopyFile_win.h"
#include "import/FileAccess_win.h"
#include "import/ImportJob.h"
#include "import/ImportReport.h"
#include "import/ImportRun_win.h"
#include "import/RunPacing_win.h"
#include "import/TargetFolders_win.h"
#include "import/VerifyCopy_win.h"

namespace {

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
                // about once that copy is in place. A cancel that comes
                // before a file is copied still lets a file copied at once
                // be kept whole; a file that waited past the patience is not
                // copied.
                const std::string& target = job_.TargetFiles[j];
                if (!WaitForChecks([&] {
                        return checker_.Outstanding() >= kMaxWaitingChecks || checker_.Pending(target);
                    }))
                    break;
                CopyFile(j);
                if (CancelNoted()) break;
            }
            // Complete copies take their place after a cancel too, as long
            // as the checks end within the patience.
            WaitForChecks([&] { return checker_.Outstanding() > 0; });
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
        // A name the system would store otherwise, or not at all: the file
        // fails by its name, and nothing is made for it.
        if (!IsStorableTargetPath(job_.TargetFiles[j])) {
            AdvanceOverallAsListed(ui_, job_.SourceFiles[j]);
            return Fail(j, FailureLine(job_.SourceFiles[j], BadTargetMessage(job_.TargetFiles[j])));
        }
        TCopyFailure failure;
        current_ = j;
        const bool ok = CopyFileOfRun(job_.SourceFiles[j], job_.TargetFiles[j], failure, ui_,
                                      {&checker_, verify_, j, job_.History});
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
                NoteCopied(job_.Tally, check->index, check->target);
                RecordCopy(job_.History, check->source, check->hash, check->target);
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

    // True once the run is cancelled (Storno, "Ukončit", the program's
    // end); the first call that sees it starts the patience.
    bool CancelNoted() {
        if (!job_.Cancelled) return false;
        if (!cancelNoted_) {
            cancelNoted_ = true;
            cancelledAt_ = GetTickCount();
        }
        return true;
    }

    // Waits for the checker while more() holds, with the windows kept
    // alive; a wait that lasts shows in the progress window as the check
    // it is. Once the run is cancelled, whenever that comes, the wait ends
    // gCheckPatienceMs after the cancel whatever more says; false then.
    bool WaitForChecks(const std::function<bool()>& more) {
        const uint32_t start = ui_.TickCount();
        bool showing = false, patient = true;
        while (more()) {
            if (CancelNoted() && GetTickCount() - cancelledAt_ >= gCheckPatienceMs) {
                patient = false;
                break;
            }
            checker_.WaitForChecked(10);
            TakeChecked();
            ServiceEvents(ui_);
            if (!showing && more() && ui_.TickCount() - start >= kShowCheckingMs) {
                showing = true;
                ui_.SetChecking(true);
            }
        }
        if (showing) ui_.SetChecking(false);
        return patient;
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
    bool cancelNoted_ = false;
    uint32_t cancelledAt_ = 0;  // GetTickCount when the cancel was first seen
    TCopyChecker checker_;  // last: its threads end before the rest goes
};

}  // namespace

void CopyFilesOfRun(IImportUi& ui, bool verify) { TCopyPhase(ui, verify).Run(); }

void SetCheckPatienceForTests(uint32_t ms) { gCheckPatienceMs = ms; }
