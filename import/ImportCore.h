#pragma once
// The decisions of an import that need no system: the order of the source
// files, the depth-first scan over a directory lister, the arithmetic of
// the progress window, the forms of long paths and what an answer to the
// overwrite question means. Portable.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/DateTime.h"

using TDynamicDateTimeArray = std::vector<TDateTime>;

// One entry of a directory listing.
struct TScanEntry {
    std::string Name;
    bool Directory = false;
    bool Hidden = false;
    bool System = false;
    bool VolumeLabel = false;
    int64_t Size = 0;
    int64_t WriteTime = 0;  // last write, UTC in 100-ns units since 1601, as the system lists it
};

struct TScanContext {
    // Lists the entries matching a wildcard search path (folder + pattern),
    // in the system's order; a folder that cannot be searched lists nothing.
    // The callback returns false to stop the listing.
    std::function<void(const std::string& searchPath, const std::function<bool(const TScanEntry&)>& each)> list;
    std::function<void()> processMessages;
    const bool* cancelled = nullptr;
    // Told of every file the scan takes, with its listed entry.
    std::function<void(const std::string& path, const TScanEntry& entry)> taken;
};

// Appends every matching file below Folder (depth-first: the folder's own
// matches, then its sub-folders in listing order) to files.
void ScanFolder(const std::string& Folder, const std::string& Mask, std::vector<std::string>& files,
                const TScanContext& ctx);

// ScanFolder for each pattern in order, until cancelled.
void ScanPatterns(const std::string& Folder, std::vector<std::string> patterns, std::vector<std::string>& files,
                  const TScanContext& ctx);

struct TSortContext {
    std::vector<std::string>& files;
    // The ordering passes one error text for all files and drops it.
    std::function<TDateTime(const std::string& FileName, std::string& ErrorText)> captureDate;
    std::function<void()> processMessages;
    const bool* cancelled = nullptr;
    std::string errorText;
};

// Quicksort with a middle pivot and a Hoare partition over files[lo..hi]
// by ascending capture date; fill collects the dates first (outermost call).
// Stable: files of one date keep the order they had before the sort.
void SortByCaptureDate(TDynamicDateTimeArray& D, int lo, int hi, bool fill, TSortContext& ctx);

// Nearest integer, a half going to the even neighbour.
int64_t RoundHalfEven(double x);

// The figures one tick of the progress window shows; empty members keep the
// label or title as it is.
struct TProgressFigures {
    std::optional<int64_t> speedKBs;
    std::optional<int64_t> remainingMs;  // may be negative when estimates overshoot
    std::optional<int64_t> percent;
};

// elapsed: milliseconds of copying; bytes: overall position; barMax: the
// run's byte total, taken when the copy phase started.
TProgressFigures ComputeProgress(uint32_t elapsedMs, int64_t bytes, int64_t barMax);

// The figures once the copy phase has ended: the speed is the run's
// average over the bytes it copied, shown however short the run was (a
// tick shows none before two seconds); nothing remains to be copied.
TProgressFigures FinalProgress(uint32_t elapsedMs, int64_t copiedBytes, int64_t bytes, int64_t barMax);

// Milliseconds of a duration as the time of day it is written as: whole
// days are dropped, and an estimate that overshot (more bytes than the
// total, from files that grew) shows as zero rather than as a wrapped clock.
int64_t DurationAsTimeOfDay(int64_t ms);

// The tenth of a file reached after done of total bytes (0..10).
int CopyTenth(int64_t done, int64_t total);

// A progress bar control holds 32-bit positions: 64-bit byte counts are
// shifted right until the maximum fits.
struct TBarScale {
    int shift = 0;
    explicit TBarScale(int64_t max);
    int32_t operator()(int64_t value) const;
};

// The texts of the run that are built from paths.
std::string OverwriteQuestion(const std::string& target);
std::string BadTargetMessage(const std::string& target);

// A copy's temporary name: the head, a number, the tail.
constexpr char kTemporaryHead[] = "~kolibrio";
constexpr char kTemporaryTail[] = ".part";

// Who writes a temporary copy: the computer (a hash of its identity), the
// process and the moment that process began (a part of its start time, so
// that a number the system gives again to a later process is not taken
// for the owner).
struct TCopyOwner {
    uint32_t machine = 0;
    uint32_t pid = 0;
    uint32_t started = 0;
    bool operator==(const TCopyOwner& o) const {
        return machine == o.machine && pid == o.pid && started == o.started;
    }
};

// Where a copy is written until it is complete: beside the target, so the
// final rename stays on one volume, under a short name of its own that
// names its owner (attempt numbers the tries when the name is taken).
std::string TemporaryTargetName(const std::string& target, int attempt, const TCopyOwner& owner);

// The error text of a file that could not be copied: the file and the
// system's message.
std::string CopyErrorText(const std::string& path, const std::string& systemMessage);

// The folder part of a path, up to and including its last separator;
// empty when there is none.
std::string FolderOf(const std::string& path);

// Long paths: "\\?\C:\..." takes the file functions past MAX_PATH.
bool IsLongPathForm(const std::wstring& path);
// The long form of a full path: "\\?\" before a drive path, "\\?\UNC\"
// for a share; a device path ("\\.\") keeps its own form.
std::wstring LongFormOfFullPath(const std::wstring& full);
// A long path as the user knows it ("C:\...", "\\server\..."); any
// other path as it is.
std::wstring ShortFormOfLongPath(const std::wstring& path);
// The system's own form of a long path ("\??\C:\..."), which a rename
// through a handle takes on every Windows; empty for any other path.
std::wstring NtFormOfLongPath(const std::wstring& longPath);

// What the answer to the overwrite question makes of the file. The answers
// "to all" set their flag for the rest of the run; Cancel, the close box
// and anything else lead to the question whether to end the run.
enum class TOverwriteAnswer { Copy, Skip, Cancel };
TOverwriteAnswer OverwriteAnswer(int answer, bool& overwriteAll, bool& skipAll);

// The first number tried for a file's temporary name. Copies that wait for
// their check keep their names meanwhile, so each file starts at a number
// of its own; otherwise the first name is free again for every file.
int TemporaryNameStart(bool waitsForCheck, size_t index);
// Whether a file name is one that TemporaryTargetName makes, or one of
// the copies of earlier versions, which named no owner ("~kolibrio7.part").
bool IsTemporaryCopyName(const std::string& name);
// The owner a temporary copy's name gives; none for an earlier version's.
std::optional<TCopyOwner> OwnerOfTemporaryCopy(const std::string& name);

// Whether a sweep removes a file it listed: only a temporary copy whose
// owner is gone. A copy of this computer's names its process, and running
// says whether that process still runs; a copy of another computer's (an
// archive on a share) is never judged here. An earlier version's copy,
// which names no owner, goes when last written before since (this
// process's start, in the listing's time units).
bool IsStaleCopy(const std::string& name, int64_t writeTime, uint32_t thisMachine, int64_t since,
                 const std::function<bool(const TCopyOwner&)>& running);

// Targets the system would store under another name, or not at all, though
// the mask's check lets them pass: a folder or file name that ends in a
// full stop or a blank (Windows drops them, so the copy would land
// elsewhere, or made in the long form, Explorer cannot open it), a "."
// or ".." item, a name over 255 characters or a path over 259 (MAX_PATH
// with its terminating zero), counted as the system counts, in UTF-16.
bool IsStorableTargetPath(const std::string& path);
