#pragma once
// What the result of an import tells beyond whether it succeeded: how many
// files were copied, skipped and failed, why each failure happened, and
// which files of the source no pattern took. Portable.
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "import/ImportCore.h"
#include "import/MyDlgLayout.h"

// Where the copies of a run went: the one folder while they all went
// there, and the folder of the copy latest in the run's order.
struct TCopiedFolders {
    std::string common;
    bool spread = false;  // into more than one folder
    size_t lastIndex = 0;
    std::string last;
};

// The files of one run, counted as the copy phase handles them.
struct TRunTally {
    int32_t Copied = 0;
    int64_t CopiedBytes = 0;
    int32_t Skipped = 0;  // answered No or No to all, or the target is the source itself
    int32_t Failed = 0;
    // Known from the history of imports: not opened, not copied, not asked
    // about.
    int32_t AlreadyImported = 0;
    // New to the history, but its target already held the same content:
    // not copied, not asked about.
    int32_t FoundByContent = 0;
    // One "name: reason" line per failed file; one line for all the files of
    // a target folder that could not be made.
    std::vector<std::string> Failures;
    // One line per file whose metadata could not be read (copied all the
    // same, dated by its file time), in the order of the run.
    std::vector<std::string> Undated;
    // Temporary copies that could not be removed: notes, not failed files.
    std::vector<std::string> Leftovers;
    // Temporary copies of an earlier run ended by force, removed at the start.
    int32_t StaleRemoved = 0;
    // Target folders whose volume refused the copies' file times, each once
    // in the order met, and the system's reason the first time.
    std::vector<std::string> TimesRefused;
    std::string TimesRefusedReason;
    TCopiedFolders CopiedTo;
};

// Notes a copy that took its name: index is the file's place in the run.
void NoteCopied(TRunTally& tally, size_t index, const std::string& target);
// The folder "Otevřít složku" opens: the copies' common folder, or the last
// file's when they spread over several (a folder a day); fallback when
// nothing was copied.
std::string FolderToOpen(const TRunTally& tally, const std::string& fallback);

// Files below the source that no pattern took, by type.
struct TLeftFiles {
    int64_t Count = 0;
    std::map<std::string, int64_t> ByType;  // ".CR3"; empty for a name without extension
};

// A camera's side files (thumbnails and catalogues beside the pictures)
// and names starting with a full stop are nothing a user misses.
bool IsSideFile(const std::string& name);

// Walks the tree below folder as the scan does (hidden, system and
// dot-named folders are not entered) and counts every file that is not in
// taken, leaving out hidden and system files, side files, and files of a
// type the patterns take (one that came after the scan is not left for
// want of a type).
TLeftFiles CountLeftFiles(const std::string& folder, const std::vector<std::string>& taken, const TScanContext& ctx,
                          const std::vector<std::string>& patterns = {});
// Whether a file name matches a pattern of the settings ("*.jpg"): "*" any
// run of characters, "?" one, letters of either case.
bool MatchesPattern(const std::string& name, const std::string& pattern);

// Whether a source path is the picture folder of a card ("E:\DCIM\").
bool IsCardFolder(const std::string& path);

// "1,5 MB": 1024-based units, one decimal with a comma.
std::string FormatSize(int64_t bytes);

// "Zkopírováno souborů: 12 (45,6 MB), přeskočeno: 2, nezdařilo se: 1.", and
// ", již v archivu: 5" before the full stop when the history knew files,
// ", nalezeno v archivu podle obsahu: 1" when a target held a new file.
std::string CountsLine(const TRunTally& tally);

// The line of the arrival confirmation window: how many files of the card
// (or folder) are new (and their size) and how many the history knows in
// this archive; the result's counts use the same words.
std::string ArrivalSummary(int64_t newFiles, int64_t newBytes, int64_t known, bool card = true);
// The result of a run whose every file the archive already holds: nothing
// was copied, and why.
std::string NothingNewText(int64_t known, bool card);
// The line the overwrite question adds: the file in the archive and the
// new one, each with its size and last-write time (local).
std::string BothFilesLine(int64_t archiveSize, const DateParts& archiveTime, int64_t newSize,
                          const DateParts& newTime);

// The free name the n-th copy of a file takes beside another file of its
// name ("IMG_1.JPG" → "IMG_1 (2).JPG"): n from 2 on, before the extension.
std::string NumberedName(const std::string& target, int n);

// The files left behind, at most a few types named; empty when none.
std::string LeftFilesText(const TLeftFiles& left, bool card);

// The failures for the error box: the naming error of the run first, then
// one line per failed file, cut after a screenful.
constexpr size_t kMaxFailureLines = 15;
std::string FailureText(const std::string& namingError, const std::vector<std::string>& failures);

// What follows the result message's own text: a blank line, the counts,
// the temporary files of an earlier run that were removed, the folders
// that kept no file times, and the files left behind, each when there are
// any.
std::string ResultFooter(const TRunTally& tally, const TLeftFiles& left, bool card);

// "IMG_0042.CR3: Na disku není dost místa." for the error box, from a
// copy's error text (the path on a line of its own, then the reason).
std::string FailureLine(const std::string& source, const std::string& reason);

// "IMG_0007.JPG: metadata nelze přečíst, soubor je poškozený nebo zkrácený;
// datum podle času souboru." for a file whose capture date could not be
// read from its metadata, from the reader's message.
std::string UndatedLine(const std::string& source, const std::string& readerMessage);
// Fills tally.Undated from the readers' messages by file: one line per file,
// in the run's order, a file listed twice (by two patterns) named once.
void NoteUndated(TRunTally& tally, const std::vector<std::string>& sourceFiles,
                 const std::unordered_map<std::string, std::string>& unreadable);

// The result boxes of a run, in the order they are shown: the error box
// when anything failed, the naming left an error, a file's metadata could
// not be read (after the failed files, within the same screenful) or a
// temporary copy could not be removed (listed apart after them), the notice of a
// cancelled run, or else the notice of success. The footer (counts and
// files left behind) follows the last box's own text.
struct TResultMessage {
    std::string text;
    TMsgDlgKind kind;
};
std::vector<TResultMessage> ResultMessages(const std::string& namingError, const TRunTally& tally, bool cancelled,
                                           const std::string& footer);

// Notes a folder whose volume would not take a copy's file times.
void NoteTimesRefused(TRunTally& tally, const std::string& folder, const std::string& systemMessage);
// "Čas souborů nelze zachovat ve složce "N:\Foto\05\" a v dalších (2):
// Přístup byl odepřen. Kopie mají čas importu."; empty when none.
std::string TimesRefusedLine(const TRunTally& tally);

// "Složku "D:\Foto\2024\" nelze vytvořit: Přístup byl odepřen."
std::string FolderFailureLine(const std::string& folder, const std::string& systemMessage);
// The note of a temporary copy that could not be removed.
std::string LeftoverLine(const std::string& path);
// The failure line of a copy whose check was still running when the run
// had to end: the copy is not in the archive.
std::string UnverifiedLine(const std::string& source);
