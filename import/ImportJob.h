#pragma once
// The one import state of the process, shared by the run, the single-file
// copy, the progress window and the mask previews. Portable.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "import/ImportHistory.h"
#include "import/ImportReport.h"
#include "mask/MaskExpand.h"

struct TImportJob {
    std::string SourcePath;
    std::vector<std::string> SourceFiles;
    std::vector<std::string> TargetFiles;
    // Each source file's size as the scan listed it: the total comes from
    // the listing, not from opening every file once more.
    std::unordered_map<std::string, int64_t> SourceSizes;
    // And its last-write time as listed, which with its name and size
    // tells the history of imports whether it was imported before.
    std::unordered_map<std::string, int64_t> SourceWriteTimes;
    // The line of the arrival confirmation window about the files known
    // from the history; empty when the history is not asked.
    std::string ArrivalSummary;
    // Every file found is in the archive already: the confirmation says
    // there is nothing to copy.
    bool NothingNew = false;
    // RunningIndex, TotalCount and IndexDirs of the naming; the live mask
    // preview of the settings window rewrites them between runs.
    TMaskState Mask;
    int64_t TotalBytes = 0;
    bool Cancelled = false;
    bool OverwriteAll = false;
    bool SkipAll = false;
    uint32_t StartTick = 0;
    // The overall progress in bytes: copied so far plus skipped files. Kept
    // in 64 bits; the bar control gets a scaled value (see TBarScale).
    int64_t BarMax = 0;
    int64_t BarPosition = 0;
    // What the copy phase did with each file, and the files below the
    // source that no pattern took; both for the result message.
    TRunTally Tally;
    TLeftFiles LeftFiles;
    // Set while StartImport runs: a second start is refused, never nested.
    bool Running = false;
    // The history of imports a run asks and records in; none when the
    // option is off or no history can be used.
    TImportHistory* History = nullptr;
    // The option to skip files imported before, as the run took it: with it
    // a target of the same content is not copied again and a different
    // file under the name may be kept beside, history or none.
    bool SkipImported = false;
    // The archive the run imports into (its target folder): a file counts
    // as imported before only when the history has its copy in there.
    std::string ArchiveFolder;
};

TImportJob& ImportJob();

// What the history knows a source file of the run by: its name, size and
// write time as the scan listed them. None for a file the scan did not list.
std::optional<THistoryKey> ListedKey(const std::string& source);
