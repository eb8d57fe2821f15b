#pragma once
// The copy of one file of a run: the overwrite question, the source opened
// once, the blocks copied into a temporary file with the bars moving, and
// the complete copy put in place (or handed to the copy check).
#include <cstddef>
#include <string>

#include "import/ImportUi.h"

class TCopyChecker;
class TImportHistory;

// What a run's copy of a file needs besides the file.
struct TCopyOptions {
    TCopyChecker* checker = nullptr;  // checks copies on its threads; none: checked here
    bool verify = false;              // the copy check, as the run took it when it started
    size_t index = 0;                 // the file's place in the run
    // With a history, a file it knows, or whose target holds the same
    // content, is not copied, a different file under the target's name may
    // be kept beside the new one, and copies placed are recorded.
    TImportHistory* history = nullptr;
};

// Why a file failed: its error text (the path and the system's message);
// folder names the target folder when that could not be made.
struct TCopyFailure {
    std::string text;
    std::string folder;
};

// True when copied, handed to the checker, skipped by the user's answer (or
// because the run was cancelled before its copy could take its name), or
// cancelled at the overwrite question; false when it failed.
bool CopyFileOfRun(const std::string& source, const std::string& target, TCopyFailure& failure, IImportUi& ui,
                   const TCopyOptions& options);

// Records a copy that has taken its name in the history (when there is
// one): the source as the scan listed it, the content's hash, the target.
// flushed: the copy's data is on the disk already (it was checked); if not,
// the record waits for the copy's flush.
void RecordCopy(TImportHistory* history, const std::string& source, uint64_t hash, const std::string& target,
                bool flushed = true);

// A file on its own, checked on the calling thread when the settings say so.
bool CopyOneFile(const std::string& source, const std::string& target, std::string& ErrorText, IImportUi& ui);
