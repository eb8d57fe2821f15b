#include "import/CopyFile_win.h"

#include <windows.h>

#include <array>
#include <memory>

#include "framework/Strings.h"
#include "import/CopyChecker_win.h"
#include "import/FileAccess_win.h"
#include "import/ImportCore.h"
#include "import/ImportHistory.h"
#include "import/ImportHistory_win.h"
#include "import/ImportJob.h"
#include "import/Placing_win.h"
#include "import/RunPacing_win.h"
#include "import/TargetFolders_win.h"
#include "import/ImportReport.h"
#include "import/VerifyCopy.h"
#include "settings/Settings.h"

namespace {

// One pass over a file ends in one of these: the file's outcome is known,
// or it begins anew (after "No" to the cancel question, or when another
// program made the target while this one copied).
enum class TPass { Succeeded, Failed, Again };

TPass Outcome(bool ok) { return ok ? TPass::Succeeded : TPass::Failed; }

class TFileCopy {
public:
    TFileCopy(const std::string& source, const std::string& target, TCopyFailure& failure, IImportUi& ui,
              const TCopyOptions& options)
        : source_(source), target_(target), failure_(failure), error_(failure.text), ui_(ui), options_(options) {}

    TPass Pass() {
        ui_.SetFileBar(0, 0);
        ui_.SetFileLabels(source_, target_);
        // Known from an earlier import: not even opened.
        if (KnownFromHistory()) return AlreadyThere();
        if (!OpenSource()) return TPass::Failed;
        targetExists_ = TargetFolders().FileExists(target_);
        // The same content at the target needs no history to be seen.
        if (job_.SkipImported && targetExists_ && SameContentAsTarget()) {
            RecordCopy(options_.history, source_, sourceHash_, target_);
            ++job_.Tally.FoundByContent;
            AdvanceOverall(ui_, size_);
            return TPass::Succeeded;
        }
        if (!job_.OverwriteAll && targetExists_) {
            const TAsked asked = AskAboutTarget();
            if (asked == TAsked::Again) return TPass::Again;
            if (asked == TAsked::Done) return TPass::Succeeded;
            if (asked == TAsked::Failed) {
                AdvanceOverall(ui_, size_);
                return TPass::Failed;
            }
        }
        // Overwriting a file with itself (an import into its own folder):
        // it already holds what the copy would write.
        if (targetExists_ && SameFile(source_, target_)) return Skip();
        if (!CreateCopy()) return TPass::Failed;
        CopyBlocks();
        return Finish();
    }

private:
    enum class TAsked { Copy, Done, Again, Failed };

    TPass Skip() {
        AdvanceOverall(ui_, size_);
        ++job_.Tally.Skipped;
        return TPass::Succeeded;
    }

    TPass AlreadyThere() {
        AdvanceOverall(ui_, size_);
        ++job_.Tally.AlreadyImported;
        return TPass::Succeeded;
    }

    // The history keys a file by its name, size and write time as the scan
    // listed them, and knows it only where its copy lies in this archive.
    bool KnownFromHistory() {
        if (!options_.history) return false;
        const std::optional<THistoryKey> key = ListedKey(source_);
        const std::string& archive = job_.ArchiveFolder;
        if (!key || !options_.history->Find(*key, [&](const std::string& t) { return ArchiveHolds(archive, t); }))
            return false;
        size_ = key->Size;
        return true;
    }

    // A target of the same size is read, and the source with it, only to
    // learn whether it holds what the copy would write.
    bool SameContentAsTarget() {
        int64_t targetSize = 0;
        FILETIME written{};
        if (!SizeAndWriteTime(target_, targetSize, written) || targetSize != size_) return false;
        TFileHandle target(OpenForReading(target_));
        uint64_t targetHash = 0;
        if (!target.Valid() || !HashWhole(target.Get(), targetHash) || !HashWhole(in_->Get(), sourceHash_)) return false;
        // The copy, if one follows, reads the source from its start.
        LARGE_INTEGER start{};
        SetFilePointerEx(in_->Get(), start, nullptr, FILE_BEGIN);
        return targetHash == sourceHash_;
    }

    bool HashWhole(HANDLE file, uint64_t& hash) {
        static std::array<char, 65536> buffer;
        TCopyHash h;
        int64_t servicedAt = 0;
        for (;;) {
            DWORD n = 0;
            if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) return false;
            if (n == 0) break;
            h.Update(buffer.data(), n);
            if (h.Bytes() - servicedAt >= kServiceBytes) {
                ServiceEvents(ui_);
                servicedAt = h.Bytes();
            }
        }
        hash = h.Digest();
        return h.Bytes() == size_;
    }

    // "Ponechat oba": the new file takes the first free numbered name.
    bool KeepBoth() {
        for (int n = 2; n < 10000; ++n) {
            const std::string candidate = NumberedName(target_, n);
            if (TargetFolders().FileExists(candidate) || (options_.checker && options_.checker->Pending(candidate)))
                continue;
            if (!IsStorableTargetPath(candidate)) break;
            target_ = candidate;
            targetExists_ = false;
            ui_.SetFileLabels(source_, target_);
            return true;
        }
        error_ = BadTargetMessage(NumberedName(target_, 2));
        return false;
    }

    // One open serves the size and the copy: under Wine every open and
    // close is a round trip to the server.
    bool OpenSource() {
        in_ = std::make_unique<TFileHandle>(OpenForReading(source_));
        BY_HANDLE_FILE_INFORMATION info{};
        if (in_->Valid() && GetFileInformationByHandle(in_->Get(), &info)) {
            size_ = static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
            writeTime_ = info.ftLastWriteTime;
            NoteWhatItIs();
            return true;
        }
        error_ = CopyErrorText(source_, fw::SystemErrorText(GetLastError()));
        AdvanceOverallAsListed(ui_, source_);
        return false;
    }

    // A file that is not what the scan listed (rewritten since, or another
    // card under the same names) is copied as what it is, and the history
    // records it under its own name, size and time, never the listed ones.
    void NoteWhatItIs() {
        const int64_t written = FileTimeValue(writeTime_);
        const auto size = job_.SourceSizes.find(source_);
        const auto time = job_.SourceWriteTimes.find(source_);
        if (size == job_.SourceSizes.end() || time == job_.SourceWriteTimes.end()) return;
        size->second = size_;
        time->second = written;
    }

    // The question's added line: both files, as the system's own copy
    // shows them; none when the target cannot be read.
    std::string BothFiles() {
        int64_t targetSize = 0;
        FILETIME written{};
        if (!SizeAndWriteTime(target_, targetSize, written)) return {};
        return "\r\n" + BothFilesLine(targetSize, LocalParts(written), size_, LocalParts(writeTime_));
    }

    // The target exists and no "Ano pro vše" is in force.
    TAsked AskAboutTarget() {
        if (job_.SkipAll) {
            Skip();
            return TAsked::Done;
        }
        TMsgButtons buttons = MsgBtn::Yes | MsgBtn::No | MsgBtn::Cancel | MsgBtn::NoAll | MsgBtn::YesAll;
        // A different file holds the name: it may stay beside the new one,
        // and the user sees which is which before one replaces the other.
        if (job_.SkipImported) buttons |= MsgBtn::KeepBoth;
        const std::string question = OverwriteQuestion(target_) + (job_.SkipImported ? BothFiles() : std::string());
        const int answer = AskTimed(ui_, question, "Kolibrio2 - Potvrdit nahrazení souboru", mkInformation, buttons,
                                    MsgBtn::No);
        if (EndRequested()) return TAsked::Done;
        if (job_.SkipImported && answer == ButtonResult(MsgBtn::kKeepBothBit))
            return KeepBoth() ? TAsked::Copy : TAsked::Failed;
        switch (OverwriteAnswer(answer, job_.OverwriteAll, job_.SkipAll)) {
        case TOverwriteAnswer::Copy:
            return TAsked::Copy;
        case TOverwriteAnswer::Skip:
            Skip();
            return TAsked::Done;
        case TOverwriteAnswer::Cancel:
            break;
        }
        // Cancel, or the close box of the question. The timer stays stopped
        // for a run that ends here.
        ui_.SetSpeedTimer(false);
        const uint32_t t0 = ui_.TickCount();
        const int sure = ui_.Message("Opravdu chcete kopírování přerušit?", "Kolibrio2 - Otázka", mkConfirmation,
                                     MsgBtn::Yes | MsgBtn::No, MsgBtn::No);
        if (sure == 6 || EndRequested()) {
            job_.Cancelled = true;
            return TAsked::Done;
        }
        job_.StartTick += ui_.TickCount() - t0;
        ui_.SetSpeedTimer(true);
        return TAsked::Again;
    }

    // The target folder is made when the create finds it missing: most
    // files go to a folder that exists already, and asking first costs
    // every file a round trip to the Wine server.
    bool CreateCopy() {
        const int first = TemporaryNameStart(options_.verify && options_.checker, options_.index);
        HANDLE created = CreateTemporaryBeside(target_, temp_, first);
        DWORD createError = created == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (createError == ERROR_PATH_NOT_FOUND) {
            uint32_t folderError = 0;
            if (!ForceDirectories(FolderOf(target_), &folderError, &failure_.folder)) {
                // The folder's own path and reason, not the file's "path not
                // found": a read-only archive is not a missing card.
                error_ = FolderFailureLine(failure_.folder, fw::SystemErrorText(folderError));
                AdvanceOverall(ui_, size_);
                return false;
            }
            created = CreateTemporaryBeside(target_, temp_, first);
            createError = created == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        }
        out_ = std::make_unique<TFileHandle>(created);
        if (out_->Valid()) return true;
        // The target cannot be written: the file counts as done for the
        // bars and fails.
        error_ = CopyErrorText(target_, fw::SystemErrorText(createError));
        AdvanceOverall(ui_, size_);
        return false;
    }

    // The bars move when the copied share crosses a tenth of the file, and
    // window events are serviced then and every kServiceBytes between.
    void CopyBlocks() {
        static std::array<char, 32769> buffer;
        const int64_t T = size_;
        ui_.SetFileBar(0, T);
        int64_t pending = 0, remaining = T, servicedAt = 0;
        int last = 0;
        while (remaining > 0) {
            DWORD n = 0;
            const BOOL read = ReadBlock(in_->Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &n);
            if (!read || n == 0) {
                // A source that ends early (a file cut short) reads no bytes
                // without a failure of its own.
                const DWORD code = read ? static_cast<DWORD>(ERROR_HANDLE_EOF) : GetLastError();
                error_ = CopyErrorText(source_, fw::SystemErrorText(code));
                ok_ = false;
                break;
            }
            remaining -= n;
            // Hashed with the check off too: the history keeps every copy's hash.
            hash_.Update(buffer.data(), n);
            if (!WriteAll(out_->Get(), buffer.data(), n)) {
                error_ = CopyErrorText(target_, fw::SystemErrorText(GetLastError()));
                ok_ = false;
                break;
            }
            done_ += n;
            pending += n;
            const int tenth = CopyTenth(done_, T);
            if (tenth != last) {
                last = tenth;
                ui_.SetFileBar(done_, T);
                AdvanceOverall(ui_, pending);
                pending = 0;
                ServiceEvents(ui_);
                servicedAt = done_;
            } else if (done_ - servicedAt >= kServiceBytes) {
                // A tenth of a long file can take seconds on a slow card;
                // Storno is answered between tenths too.
                ServiceEvents(ui_);
                servicedAt = done_;
            }
            if (job_.Cancelled) break;
        }
        if (!ok_ && done_ < T) AdvanceOverall(ui_, T - done_ + pending);  // the bars count the whole file as handled
        if (ok_) {
            if (const DWORD refused = KeepFileTimes(in_->Get(), out_->Get(), temp_))
                NoteTimesRefused(job_.Tally, FolderOf(target_), fw::SystemErrorText(refused));
        }
        in_->Close();
    }

    // A cancel that comes after the last block leaves a whole copy: it
    // takes its place like any other (once its check has passed). Only a
    // complete copy ever takes the target's name, and only once it is
    // known to be written: a close that reports a failed write fails the
    // file before a file the user agreed to replace is touched.
    TPass Finish() {
        const bool complete = ok_ && done_ == size_;
        if (!complete) {
            CloseWritten(*out_, temp_);
            RemoveTemporary(temp_);
            return Outcome(job_.Cancelled && ok_);
        }
        TPlacing placing = TPlacing::Refused;
        DWORD code = 0;
        if (options_.verify) {
            auto check = std::make_unique<TCheckJob>();
            check->index = options_.index;
            check->source = source_;
            check->target = target_;
            check->temp = temp_;
            check->bytes = size_;
            check->hash = hash_.Digest();
            check->replace = targetExists_;
            check->out = out_->Release();
            if (options_.checker && options_.checker->Add(check)) return TPass::Succeeded;
            CheckAndPlace(*check, &ui_);
            if (check->outcome == TPlacing::Refused) {
                error_ = check->error;
                return TPass::Failed;
            }
            placing = check->outcome;
        } else if (!targetExists_) {
            // A new name: renamed through the handle that wrote it, which
            // saves opening the file again. Should the close then report a
            // failed write, the name goes with the copy and nothing else
            // was there to lose.
            placing = RenameThrough(out_->Get(), target_, false, code);
            if (placing == TPlacing::Placed && !CloseWritten(*out_, temp_)) {
                error_ = CopyErrorText(target_, fw::SystemErrorText(GetLastError()));
                RemoveTemporary(LongPathForm(target_));
                return TPass::Failed;
            }
            if (placing == TPlacing::Appeared) {
                CloseWritten(*out_, temp_);
                RemoveTemporary(temp_);
            }
        }
        if (placing == TPlacing::Refused) {
            if (!CloseWritten(*out_, temp_)) {
                error_ = CopyErrorText(target_, fw::SystemErrorText(GetLastError()));
                RemoveTemporary(temp_);
                return TPass::Failed;
            }
            placing = MoveIntoPlace(temp_, target_, targetExists_, code);
            if (placing == TPlacing::Refused) {
                error_ = CopyErrorText(target_, fw::SystemErrorText(code));
                return TPass::Failed;
            }
        }
        TargetFolders().FileAdded(target_);
        if (placing == TPlacing::Appeared) {
            // Another program made the file while this one copied. After
            // Storno nothing more is asked: the file is not copied.
            if (job_.Cancelled) {
                ++job_.Tally.Skipped;
                return TPass::Succeeded;
            }
            // Otherwise it is asked about like any other existing file.
            AdvanceOverall(ui_, -size_);
            return TPass::Again;
        }
        ++job_.Tally.Copied;
        job_.Tally.CopiedBytes += size_;
        NoteCopied(job_.Tally, options_.index, target_);
        RecordCopy(options_.history, source_, hash_.Digest(), target_, options_.verify);
        return TPass::Succeeded;
    }

    const std::string& source_;
    std::string target_;  // another name when the user keeps both files
    TCopyFailure& failure_;
    std::string& error_;
    IImportUi& ui_;
    const TCopyOptions& options_;
    TImportJob& job_ = ImportJob();

    std::unique_ptr<TFileHandle> in_, out_;
    int64_t size_ = 0;
    FILETIME writeTime_{};
    bool targetExists_ = false;
    std::wstring temp_;
    TCopyHash hash_;
    uint64_t sourceHash_ = 0;
    bool ok_ = true;
    int64_t done_ = 0;
};

}  // namespace

bool CopyFileOfRun(const std::string& source, const std::string& target, TCopyFailure& failure, IImportUi& ui,
                   const TCopyOptions& options) {
    for (;;) {
        TFileCopy pass(source, target, failure, ui, options);
        const TPass outcome = pass.Pass();
        if (outcome != TPass::Again) return outcome == TPass::Succeeded;
    }
}

void RecordCopy(TImportHistory* history, const std::string& source, uint64_t hash, const std::string& target,
                bool flushed) {
    if (!history) return;
    // Keyed as the scan listed the file (or as it was when opened, where
    // that differed), as the next look-up will key it.
    const std::optional<THistoryKey> key = ListedKey(source);
    // A record that fails costs the file nothing: it is in the archive, and
    // the next run finds it there by its content.
    if (key) RecordImported(*key, hash, target, flushed);
}

bool CopyOneFile(const std::string& source, const std::string& target, std::string& ErrorText, IImportUi& ui) {
    TCopyOptions options;
    options.verify = Settings().VerifyCopy;
    TCopyFailure failure;
    const bool ok = CopyFileOfRun(source, target, failure, ui, options);
    if (!ok) ErrorText = failure.text;
    return ok;
}
