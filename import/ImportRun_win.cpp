#include <windows.h>

#include <algorithm>
#include <array>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "framework/Application.h"
#include "framework/Lock.h"
#include "framework/Strings.h"
#include "framework/Thread.h"
#include "import/ImportReport.h"
#include "import/ImportRun.h"
#include "import/VerifyCopy.h"
#include "mask/CaptureDateWin.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"

namespace {

class FileHandle {
public:
    explicit FileHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { Close(); }
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }
    HANDLE Release() {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }
    // False when closing reports a failure (a delayed write that failed).
    bool Close() {
        bool ok = true;
        if (Valid()) ok = CloseHandle(h_) != FALSE;
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE h_;
};

class FindHandle {
public:
    explicit FindHandle(HANDLE h) : h_(h) {}
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    ~FindHandle() {
        if (h_ != INVALID_HANDLE_VALUE) FindClose(h_);
    }

private:
    HANDLE h_;
};

std::wstring LongPathForm(const std::string& path);

// Sources are opened in long form: a card's folders can nest past MAX_PATH.
HANDLE OpenForReading(const std::string& path) {
    return CreateFileW(LongPathForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

bool FileExistsAt(const std::string& path) {
    DWORD attr = GetFileAttributesW(fw::Wide(path).c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExistsAt(const std::string& path) {
    DWORD attr = GetFileAttributesW(fw::Wide(path).c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A path as the file system compares names: without regard to case.
std::wstring Folded(const std::string& path) {
    std::wstring w = fw::Wide(path);
    if (!w.empty()) CharUpperBuffW(&w[0], static_cast<DWORD>(w.size()));
    return w;
}

// The file names in each target folder, listed once when the run first
// names a file in it and kept up to date with what the run puts there.
// Under Wine a look-up of a name that is not there reads the whole folder,
// so asking the system once per file costs a run into one folder time that
// grows with the square of its files. Only a run's copy phase keeps the
// lists; a name that appears behind them is still never overwritten
// unasked: the copy takes its place only where no file is.
class TTargetFolders {
public:
    void Begin() {
        active_ = true;
        folders_.clear();
    }
    void End() {
        active_ = false;
        folders_.clear();
    }
    bool FileExists(const std::string& target) {
        if (!active_) return FileExistsAt(target);
        const std::wstring w = Folded(target);
        const size_t slash = w.find_last_of(L"\\/");
        const Folder* folder = Listed(w.substr(0, slash + 1), target);
        if (!folder->listed) return FileExistsAt(target);
        return folder->files.count(w.substr(slash + 1)) != 0;
    }
    void FileAdded(const std::string& target) {
        if (!active_) return;
        const std::wstring w = Folded(target);
        const size_t slash = w.find_last_of(L"\\/");
        auto it = folders_.find(w.substr(0, slash + 1));
        if (it != folders_.end()) it->second.files.insert(w.substr(slash + 1));
    }

private:
    struct Folder {
        bool listed = false;  // false: the folder could not be read, ask per file
        std::unordered_set<std::wstring> files;
    };

    const Folder* Listed(const std::wstring& key, const std::string& target) {
        auto it = folders_.find(key);
        if (it != folders_.end()) return &it->second;
        Folder& folder = folders_[key];
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW(LongPathForm(FolderOf(target) + "*").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            // A folder still to be made holds nothing yet.
            folder.listed = code == ERROR_PATH_NOT_FOUND || code == ERROR_FILE_NOT_FOUND;
            return &folder;
        }
        FindHandle guard(h);
        do {
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            for (const wchar_t* name : {fd.cFileName, fd.cAlternateFileName}) {
                std::wstring n = name;
                if (n.empty()) continue;
                CharUpperBuffW(&n[0], static_cast<DWORD>(n.size()));
                folder.files.insert(std::move(n));
            }
        } while (FindNextFileW(h, &fd));
        folder.listed = true;
        return &folder;
    }

    bool active_ = false;
    std::unordered_map<std::wstring, Folder> folders_;
};

TTargetFolders& TargetFolders() {
    static TTargetFolders folders;
    return folders;
}

// True when both names reach the same file (another spelling, a short name).
bool SameFile(const std::string& a, const std::string& b) {
    FileHandle ha(CreateFileW(fw::Wide(a).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
    FileHandle hb(CreateFileW(fw::Wide(b).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
    if (!ha.Valid() || !hb.Valid()) return false;
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    if (!GetFileInformationByHandle(ha.Get(), &ia) || !GetFileInformationByHandle(hb.Get(), &ib)) return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

// Window events are serviced at least once per this many bytes of a file.
constexpr int64_t kServiceBytes = 256 * 1024;

TBlockRead gBlockRead = nullptr;

BOOL ReadBlock(HANDLE file, void* buffer, DWORD size, DWORD* read) {
    if (!gBlockRead) return ReadFile(file, buffer, size, read, nullptr);
    uint32_t n = 0;
    const bool ok = gBlockRead(file, buffer, size, &n);
    *read = n;
    return ok ? TRUE : FALSE;
}

// A full disk first takes what fits and reports success for that part; the
// write of the rest then fails with the reason.
bool WriteAll(HANDLE file, const char* data, DWORD n) {
    while (n > 0) {
        DWORD written = 0;
        if (!WriteFile(file, data, n, &written, nullptr)) return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        data += written;
        n -= written;
    }
    return true;
}

// Once "Ukončit" has been confirmed every question answers 2 at once and the
// main loop waits for the run to return: the run ends as a cancelled one.
bool EndRequested() {
    if (!fw::App().Terminated()) return false;
    ImportJob().Cancelled = true;
    return true;
}

// Services window events, where the Storno button and the end of the
// program reach the run.
void ServiceEvents(IImportUi& ui) {
    ui.ProcessMessages();
    EndRequested();
}

TScanContext ScanContextFor(IImportUi& ui) {
    TScanContext ctx;
    ctx.list = [](const std::string& search, const std::function<bool(const TScanEntry&)>& each) {
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW(LongPathForm(search).c_str(), &fd);  // folders may nest past MAX_PATH
        if (h == INVALID_HANDLE_VALUE) return;
        FindHandle guard(h);
        do {
            TScanEntry e;
            e.Name = fw::Utf8(fd.cFileName);
            e.Directory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            e.Hidden = (fd.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
            e.System = (fd.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0;
            e.VolumeLabel = false;  // Win32 finds never list the volume label
            e.Size = static_cast<int64_t>((static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow);
            if (!each(e)) return;
        } while (FindNextFileW(h, &fd));
    };
    ctx.processMessages = [&ui] { ServiceEvents(ui); };
    ctx.cancelled = &ImportJob().Cancelled;
    ctx.taken = [](const std::string& path, const TScanEntry& e) { ImportJob().SourceSizes[path] = e.Size; };
    return ctx;
}

// The form of a path that the file functions take beyond MAX_PATH: the
// temporary file beside a target near the limit lies past it.
std::wstring LongPathForm(const std::string& path) {
    std::wstring w = fw::Wide(path);
    if (w.rfind(L"\\\\?\\", 0) == 0) return w;
    DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0) return w;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(w.c_str(), n, &full[0], nullptr);
    if (n == 0 || n >= full.size()) return w;
    full.resize(n);
    if (full.rfind(L"\\\\.\\", 0) == 0) return full;  // a device keeps its own form
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// A new temporary file in the target's folder; its long-form path in temp.
// An existing file of that name (another program's, a target, a copy
// still waiting for its check) is never opened: the next number is tried.
// A run starts each file at a number of its own, so that the copies
// waiting for their check do not cost every file failed creates.
HANDLE CreateTemporaryBeside(const std::string& target, std::wstring& temp, int first) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = LongPathForm(TemporaryTargetName(target, first + attempt));
        // DELETE: the finished copy is renamed through this handle.
        HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (h != INVALID_HANDLE_VALUE) return h;
        DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            SetLastError(code);
            return INVALID_HANDLE_VALUE;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

// How a complete copy came to its target's name: in place, or not because
// another program made the target meanwhile (only a file the user agreed
// to overwrite is replaced), or refused for another reason.
enum class TPlacing { Placed, Appeared, Refused };

// Names the file open as handle target, through that handle: a rename by
// path opens the file once more, which under Wine costs three round trips
// to the server. The name goes in the system's own form (\??\C:\...),
// which every Windows takes. code holds the system's reason of a refusal.
TPlacing RenameThrough(HANDLE handle, const std::string& target, bool replace, DWORD& code) {
    std::wstring name = LongPathForm(target);
    if (name.rfind(L"\\\\?\\", 0) != 0) {
        code = ERROR_INVALID_NAME;
        return TPlacing::Refused;
    }
    name[1] = L'?';  // from the long form to the system's own
    const size_t bytes = sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(bytes, 0);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), info->FileName);
    if (SetFileInformationByHandle(handle, FileRenameInfo, info, static_cast<DWORD>(bytes))) return TPlacing::Placed;
    code = GetLastError();
    return !replace && (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) ? TPlacing::Appeared
                                                                                   : TPlacing::Refused;
}

// Names the closed copy at temp target by path, where the rename through a
// handle was refused; a copy that does not take the name is removed.
TPlacing MoveIntoPlace(const std::wstring& temp, const std::string& target, bool replace, DWORD& code) {
    if (MoveFileExW(temp.c_str(), LongPathForm(target).c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0))
        return TPlacing::Placed;
    code = GetLastError();
    DeleteFileW(temp.c_str());
    return !replace && FileExistsAt(target) ? TPlacing::Appeared : TPlacing::Refused;
}

void AdvanceOverall(IImportUi& ui, int64_t bytes) {
    ImportJob().BarPosition += bytes;
    ui.OverallChanged();
}

// Asks a question with the speed timer stopped; the time it stays open is
// not copying time.
int AskTimed(IImportUi& ui, const std::string& text, const std::string& caption, TMsgDlgKind kind,
             TMsgButtons buttons, TMsgButtons focus, bool restartTimer) {
    ui.SetSpeedTimer(false);
    uint32_t t0 = ui.TickCount();
    int answer = ui.Message(text, caption, kind, buttons, focus);
    if (restartTimer) {
        ImportJob().StartTick += ui.TickCount() - t0;
        ui.SetSpeedTimer(true);
    }
    return answer;
}

// The copy carries the source's times, as robocopy and cp -p do, so that
// the archive sorts by date. The last-write time is the one that matters; a
// target that refuses the creation time still gets it.
void KeepFileTimes(HANDLE source, HANDLE target) {
    FILETIME created, written;
    if (!GetFileTime(source, &created, nullptr, &written)) return;
    if (!SetFileTime(target, &created, nullptr, &written)) SetFileTime(target, nullptr, nullptr, &written);
}

// "IMG_0042.CR3: Na disku není dost místa." for the error box. The copy's
// error text names the path on a line of its own before the system's
// reason; the list names the file and keeps one line per failure.
std::string FailureLine(const std::string& source, const std::string& reason) {
    const size_t lineBreak = reason.rfind("\r\n");
    std::string why = lineBreak == std::string::npos ? reason : reason.substr(lineBreak + 2);
    if (why.empty()) why = "neznámá chyba";
    // Texts of our own end with their full stop already.
    if (why.back() != '.') why += '.';
    return NamePartOf(source) + ": " + why;
}

// Clears Running however StartImport ends.
struct RunningGuard {
    RunningGuard() { ImportJob().Running = true; }
    ~RunningGuard() { ImportJob().Running = false; }
    RunningGuard(const RunningGuard&) = delete;
    RunningGuard& operator=(const RunningGuard&) = delete;
};

// A complete copy whose check is still to come. It stays open until then,
// so that the flush before the read-back is the check's to wait for.
struct TCheckJob {
    TCheckJob() = default;
    TCheckJob(const TCheckJob&) = delete;
    TCheckJob& operator=(const TCheckJob&) = delete;
    // A copy dropped before its check leaves nothing behind.
    ~TCheckJob() {
        if (out == INVALID_HANDLE_VALUE) return;
        CloseHandle(out);
        DeleteFileW(temp.c_str());
    }

    size_t index = 0;  // the file's place in the run
    std::string source, target;
    std::wstring temp;  // the copy, in long form
    HANDLE out = INVALID_HANDLE_VALUE;
    int64_t bytes = 0;
    uint64_t hash = 0;
    bool replace = false;  // the user agreed to overwrite the target

    // Refused with error set when the copy failed its check or its naming.
    TPlacing outcome = TPlacing::Refused;
    std::string error;
};

// Flushes the copy, reads it back and compares it with what was written;
// only an equal copy takes the target's name. A copy that fails goes, and
// the error names its source. Touches files only, never a window (ui, when
// given, is the progress window of a check on the user-interface thread).
void CheckAndPlace(TCheckJob& job, IImportUi* ui) {
    job.outcome = TPlacing::Refused;
    // The read-back must find the data on the medium, not on its way.
    const bool flushed = FlushFileBuffers(job.out) != FALSE;
    DWORD code = flushed ? 0 : GetLastError();
    const bool closed = CloseHandle(job.out) != FALSE;
    if (flushed && !closed) code = GetLastError();
    job.out = INVALID_HANDLE_VALUE;
    if (!flushed || !closed) {
        DeleteFileW(job.temp.c_str());
        job.error = CopyErrorText(job.target, fw::SystemErrorText(code));
        return;
    }
    uint32_t error = 0;
    const std::string temp = fw::Utf8(job.temp);
    // An equal copy is named through the handle that read it back.
    TPlacing placing = TPlacing::Refused;
    const TCopyCheck check = ReadBackCopy(temp, job.bytes, job.hash, ui, error, [&](void* handle) {
        placing = RenameThrough(static_cast<HANDLE>(handle), job.target, job.replace, code);
    });
    if (check != TCopyCheck::Equal) {
        RemoveFailedCopy(temp);
        job.error = CopyCheckFailedText(job.source, check, error ? fw::SystemErrorText(error) : std::string());
        return;
    }
    if (placing == TPlacing::Appeared) DeleteFileW(job.temp.c_str());
    if (placing == TPlacing::Refused) placing = MoveIntoPlace(job.temp, job.target, job.replace, code);
    if (placing == TPlacing::Refused) job.error = CopyErrorText(job.target, fw::SystemErrorText(code));
    job.outcome = placing;
}

// Checks a run's copies on threads of their own while the run copies the
// next files: the flush waits for the disk and the read-back reads it, time
// the copying need not wait for. A flush waits mostly for the disk's
// journal, which takes the flushes that wait together in one commit, so
// several threads check at once. They touch the copies only; the run takes
// the outcomes on its own thread and keeps the counts, the failures and the
// target lists.
class TCopyChecker {
public:
    TCopyChecker() = default;
    TCopyChecker(const TCopyChecker&) = delete;
    TCopyChecker& operator=(const TCopyChecker&) = delete;
    // Every copy handed over is checked and placed or removed before the
    // threads end.
    ~TCopyChecker() {
        {
            std::lock_guard<fw::Lock> lock(lock_);
            stopping_ = true;
        }
        work_.NotifyAll();
        threads_.clear();  // each waits for its thread
    }

    // Takes the copy when a thread runs (made at the first copy, so a run
    // without checks has none); false leaves it to the caller.
    bool Add(std::unique_ptr<TCheckJob>& job) {
        while (threads_.size() < kThreads) {
            auto thread = std::make_unique<Worker>(*this);
            if (!thread->Start()) break;
            threads_.push_back(std::move(thread));
        }
        if (threads_.empty()) return false;
        ++pending_[Folded(job->target)];
        ++outstanding_;
        {
            std::lock_guard<fw::Lock> lock(lock_);
            todo_.push_back(std::move(job));
        }
        work_.NotifyOne();
        return true;
    }
    // The copies checked since the last call.
    std::vector<std::unique_ptr<TCheckJob>> TakeChecked() {
        std::vector<std::unique_ptr<TCheckJob>> out;
        {
            std::lock_guard<fw::Lock> lock(lock_);
            out.swap(checked_);
        }
        for (const auto& job : out) {
            auto it = pending_.find(Folded(job->target));
            if (it != pending_.end() && --it->second == 0) pending_.erase(it);
        }
        outstanding_ -= out.size();
        return out;
    }
    // Returns when a check has ended or after ms.
    void WaitForChecked(unsigned ms) {
        std::unique_lock<fw::Lock> lock(lock_);
        checkedReady_.WaitFor(lock, ms, [this] { return !checked_.empty(); });
    }
    // Handed over and not yet taken back.
    size_t Outstanding() const { return outstanding_; }
    bool Pending(const std::string& target) const {
        return !pending_.empty() && pending_.count(Folded(target)) != 0;
    }

private:
    // Four flushes that wait together cost a small card under Wine about
    // what one costs; more buy little on two cores (bench/README.md).
    static constexpr size_t kThreads = 4;

    class Worker : public fw::Thread {
    public:
        explicit Worker(TCopyChecker& owner) : owner_(owner) {}
        ~Worker() override { WaitFor(); }

    protected:
        void Execute() override { owner_.Work(); }

    private:
        TCopyChecker& owner_;
    };

    void Work() {
        for (;;) {
            std::unique_ptr<TCheckJob> job;
            {
                std::unique_lock<fw::Lock> lock(lock_);
                work_.Wait(lock, [this] { return !todo_.empty() || stopping_; });
                if (todo_.empty()) return;
                job = std::move(todo_.front());
                todo_.pop_front();
            }
            try {
                CheckAndPlace(*job, nullptr);
            } catch (const std::exception& e) {
                job->outcome = TPlacing::Refused;
                job->error = e.what();
            } catch (...) {
                // The run waits for every copy it handed over.
                job->outcome = TPlacing::Refused;
            }
            {
                std::lock_guard<fw::Lock> lock(lock_);
                checked_.push_back(std::move(job));
            }
            checkedReady_.NotifyAll();
        }
    }

    fw::Lock lock_;
    fw::Condition work_, checkedReady_;
    std::deque<std::unique_ptr<TCheckJob>> todo_;
    std::vector<std::unique_ptr<TCheckJob>> checked_;
    bool stopping_ = false;
    // The run's thread only:
    std::vector<std::unique_ptr<Worker>> threads_;
    size_t outstanding_ = 0;
    std::unordered_map<std::wstring, int> pending_;  // folded targets of the copies handed over
};

// At most this many copies wait for their check: each holds a handle and
// a temporary name, and a run that ends waits for all of them.
constexpr size_t kMaxWaitingChecks = 32;

}  // namespace

void SetBlockReadForTests(TBlockRead read) { gBlockRead = read; }

bool ForceDirectories(const std::string& folder) {
    std::wstring w = fw::Wide(folder);
    while (!w.empty() && (w.back() == L'\\' || w.back() == L'/')) w.pop_back();
    if (w.empty()) return false;
    DWORD attr = GetFileAttributesW(w.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES) return (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
    size_t slash = w.find_last_of(L"\\/");
    // A drive root exists or nothing will.
    if (slash != std::wstring::npos && slash > 0 && w[slash - 1] != L':' && w[slash - 1] != L'\\')
        ForceDirectories(fw::Utf8(w.substr(0, slash)));
    CreateDirectoryW(w.c_str(), nullptr);
    attr = GetFileAttributesW(w.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

int64_t AddFileSize(const std::string& path, int64_t total) {
    FileHandle h(OpenForReading(path));
    if (!h.Valid()) return total;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h.Get(), &size)) return total;
    return total + size.QuadPart;
}

void ScanFolder(const std::string& folder, const std::string& pattern, IImportUi& ui) {
    ::ScanFolder(folder, pattern, ImportJob().SourceFiles, ScanContextFor(ui));
}

void ScanPatterns(const std::string& folder, const std::vector<std::string>& patterns, IImportUi& ui) {
    ::ScanPatterns(folder, patterns, ImportJob().SourceFiles, ScanContextFor(ui));
}

namespace {

using TDateOf = std::function<TDateTime(const std::string& FileName, std::string& ErrorText)>;

void SortFiles(TDynamicDateTimeArray& D, int lo, int hi, bool fill, IImportUi& ui, const TDateOf& dateOf) {
    TImportJob& job = ImportJob();
    TSortContext ctx{job.SourceFiles, dateOf, [&ui] { ServiceEvents(ui); }, &job.Cancelled, {}};
    ::SortByCaptureDate(D, lo, hi, fill, ctx);
}

}  // namespace

void SortByCaptureDate(TDynamicDateTimeArray& D, int lo, int hi, bool fill, IImportUi& ui) {
    SortFiles(D, lo, hi, fill, ui, [](const std::string& f, std::string& err) { return CaptureDate(f, err); });
}

namespace {

// The copy of one file. A checked copy goes to checker when there is one
// (the file then counts as copied or failed when its check ends); without
// one it is checked here. index is the file's place in the run.
bool CopyFileOfRun(const std::string& source, const std::string& target, std::string& ErrorText, IImportUi& ui,
                   TCopyChecker* checker, size_t index) {
    TImportJob& job = ImportJob();
    for (;;) {  // the file begins anew after "No" to the cancel question
        ui.SetFileBar(0, 0);
        ui.SetFileLabels(source, target);

        // One open serves the size and the copy: under Wine every open and
        // close is a round trip to the server.
        FileHandle in(OpenForReading(source));
        LARGE_INTEGER size{};
        if (!in.Valid() || !GetFileSizeEx(in.Get(), &size)) {
            ErrorText = CopyErrorText(source, fw::SystemErrorText(GetLastError()));
            // The total counted the file as listed; the bars count it handled.
            const auto listed = job.SourceSizes.find(source);
            if (listed != job.SourceSizes.end()) AdvanceOverall(ui, listed->second);
            return false;
        }
        const int64_t s = size.QuadPart;
        const bool targetExists = TargetFolders().FileExists(target);

        if (!job.OverwriteAll && targetExists) {
            if (job.SkipAll) {
                AdvanceOverall(ui, s);
                ++job.Tally.Skipped;
                return true;
            }
            int answer = AskTimed(ui, OverwriteQuestion(target), "Kolibrio2 - Potvrdit nahrazení souboru",
                                  mkInformation,
                                  MsgBtn::Yes | MsgBtn::No | MsgBtn::Cancel | MsgBtn::NoAll | MsgBtn::YesAll,
                                  MsgBtn::No, true);
            if (EndRequested()) return true;
            if (answer == 9) {
                job.SkipAll = true;
                answer = 7;
            } else if (answer == 10) {
                job.OverwriteAll = true;
                answer = 6;
            }
            if (answer == 6) {
                // go on with the copy
            } else if (answer == 7) {
                AdvanceOverall(ui, s);
                ++job.Tally.Skipped;
                return true;
            } else {
                // Cancel, or the close box of the question.
                ui.SetSpeedTimer(false);
                uint32_t t0 = ui.TickCount();
                int sure = ui.Message("Opravdu chcete kopírování přerušit?", "Kolibrio2 - Otázka", mkConfirmation,
                                      MsgBtn::Yes | MsgBtn::No, MsgBtn::No);
                if (sure == 6 || EndRequested()) {
                    job.Cancelled = true;
                    return true;
                }
                job.StartTick += ui.TickCount() - t0;
                ui.SetSpeedTimer(true);
                continue;
            }
        }

        // Overwriting a file with itself (an import into its own folder):
        // it already holds what the copy would write.
        if (targetExists && SameFile(source, target)) {
            AdvanceOverall(ui, s);
            ++job.Tally.Skipped;
            return true;
        }

        std::wstring wtemp;
        const int64_t T = s;
        const bool verify = Settings().VerifyCopy;
        // Copies waiting for their check keep their temporary names.
        const int firstTemp = verify && checker ? static_cast<int>(index % 1000) : 0;
        // The target folder is made when the create finds it missing: most
        // files go to a folder that exists already, and asking first costs
        // every file a round trip to the Wine server.
        HANDLE created = CreateTemporaryBeside(target, wtemp, firstTemp);
        DWORD createError = created == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (createError == ERROR_PATH_NOT_FOUND && ForceDirectories(FolderOf(target))) {
            created = CreateTemporaryBeside(target, wtemp, firstTemp);
            createError = created == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        }
        FileHandle out(created);
        if (!out.Valid()) {
            // The target cannot be written: the file counts as done for the
            // bars and fails.
            ErrorText = CopyErrorText(target, fw::SystemErrorText(createError));
            AdvanceOverall(ui, T);
            return false;
        }
        ui.SetFileBar(0, T);

        static std::array<char, 32769> buffer;
        TCopyHash sourceHash;
        bool ok = true;
        int64_t done = 0, pending = 0, remaining = T, servicedAt = 0;
        int last = 0;
        while (remaining > 0) {
            DWORD n = 0;
            const BOOL read = ReadBlock(in.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &n);
            if (!read || n == 0) {
                // A source that ends early (a file cut short) reads no bytes
                // without a failure of its own.
                const DWORD code = read ? static_cast<DWORD>(ERROR_HANDLE_EOF) : GetLastError();
                ErrorText = CopyErrorText(source, fw::SystemErrorText(code));
                ok = false;
                break;
            }
            remaining -= n;
            if (verify) sourceHash.Update(buffer.data(), n);
            if (!WriteAll(out.Get(), buffer.data(), n)) {
                ErrorText = CopyErrorText(target, fw::SystemErrorText(GetLastError()));
                ok = false;
                break;
            }
            done += n;
            pending += n;
            int tenth = CopyTenth(done, T);
            if (tenth != last) {
                last = tenth;
                ui.SetFileBar(done, T);
                AdvanceOverall(ui, pending);
                pending = 0;
                ServiceEvents(ui);
                servicedAt = done;
            } else if (done - servicedAt >= kServiceBytes) {
                // A tenth of a long file can take seconds on a slow card;
                // Storno is answered between tenths too.
                ServiceEvents(ui);
                servicedAt = done;
            }
            if (job.Cancelled) break;
        }
        if (!ok && done < T) AdvanceOverall(ui, T - done + pending);  // the bars count the whole file as handled
        if (ok) KeepFileTimes(in.Get(), out.Get());
        in.Close();
        // A cancel that comes after the last block leaves a whole copy: it
        // takes its place like any other (once its check has passed). Only
        // a complete copy ever takes the target's name.
        const bool complete = ok && done == T;
        TPlacing placing = TPlacing::Refused;
        DWORD code = 0;
        if (complete && verify) {
            auto check = std::make_unique<TCheckJob>();
            check->index = index;
            check->source = source;
            check->target = target;
            check->temp = wtemp;
            check->bytes = T;
            check->hash = sourceHash.Digest();
            check->replace = targetExists;
            check->out = out.Release();
            if (checker && checker->Add(check)) return true;
            CheckAndPlace(*check, &ui);
            if (check->outcome == TPlacing::Refused) {
                ErrorText = check->error;
                return false;
            }
            placing = check->outcome;
        } else if (complete) {
            placing = RenameThrough(out.Get(), target, targetExists, code);
            if (placing == TPlacing::Placed && !out.Close()) {
                // A delayed write failed: the name goes with the copy.
                ErrorText = CopyErrorText(target, fw::SystemErrorText(GetLastError()));
                DeleteFileW(LongPathForm(target).c_str());
                return false;
            }
            if (placing == TPlacing::Appeared) {
                out.Close();
                DeleteFileW(wtemp.c_str());
            }
        }
        if (placing == TPlacing::Refused) {
            if (!out.Close() && ok) {
                ErrorText = CopyErrorText(target, fw::SystemErrorText(GetLastError()));
                ok = false;
            }
            if (!complete) {
                DeleteFileW(wtemp.c_str());
                return job.Cancelled && ok;
            }
            placing = MoveIntoPlace(wtemp, target, targetExists, code);
            if (placing == TPlacing::Refused) {
                ErrorText = CopyErrorText(target, fw::SystemErrorText(code));
                return false;
            }
        }
        TargetFolders().FileAdded(target);
        if (placing == TPlacing::Appeared) {
            // Another program made the file while this one copied: it is
            // asked about like any other existing file.
            AdvanceOverall(ui, -T);
            continue;
        }
        ++job.Tally.Copied;
        job.Tally.CopiedBytes += T;
        return true;
    }
}

}  // namespace

bool CopyOneFile(const std::string& source, const std::string& target, std::string& ErrorText, IImportUi& ui) {
    return CopyFileOfRun(source, target, ErrorText, ui, nullptr, 0);
}

void StartImport(const std::string& path) { StartImport(path, WindowImportUi()); }

void StartImport(const std::string& path, IImportUi& ui) {
    TImportJob& job = ImportJob();
    if (job.Running) return;  // never nested inside a running import
    RunningGuard running;

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
    {
        const TScanContext ctx = ScanContextFor(ui);
        job.LeftFiles = CountLeftFiles(job.SourcePath, job.SourceFiles, ctx);
        if (job.Cancelled) return;
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
    bool failed = false;

    // The run names its files with a naming state of its own, and with the
    // mask, folder and name tables it started with: the settings window's
    // previews, run from the events serviced below (its buttons, the mask
    // field, the catalogue, the preview tab), rewrite the shared state and
    // must never change which files a run copies or what it names them.
    TMaskState naming;
    naming.RunningIndex = 1;
    naming.TotalCount = static_cast<int32_t>(job.SourceFiles.size());
    const TSettings& settings = Settings();
    const std::string mask = settings.CurrentMask;
    const std::string targetFolder = settings.Path;
    const TDateNameTables names = settings.DateNameTables;
    const TTimeSource timeSource = settings.TimeForMask;
    // The ordering and the naming ask each file's date: one read serves both.
    TRememberedFileDates fileDates(WinCaptureDatePlatform());
    const TDateOf dateOf = [&](const std::string& f, std::string& err) {
        return CaptureDate(timeSource, f, err, fileDates);
    };

    auto endOfRun = [&] {
        ui.HideProgress();
        job.Mask.IndexDirs.clear();
        job.SourceFiles.clear();
        job.SourceSizes.clear();
        job.TargetFiles.clear();
        ui.SetTitle("Kolibrio 2");
        ui.SetPreviewTimer(true);
    };

    {
        TDynamicDateTimeArray dates;
        int hi = naming.TotalCount - 1;
        SortFiles(dates, 0, hi < 0 ? 0 : hi, true, ui, dateOf);
    }
    ServiceEvents(ui);

    TMaskInputs inputs{names, dateOf, LocalNow};
    for (int32_t i = 0; i < naming.TotalCount; ++i) {
        if (job.Cancelled) return endOfRun();
        std::string name = ExpandMask(job.SourceFiles[i], mask, ErrorText, false, naming, inputs);
        std::string target = targetFolder + name;
        ServiceEvents(ui);
        if (!IsValidTargetPath(target) || !NamesAFile(target)) {
            ui.Message(BadTargetMessage(target), "Kolibrio 2 - Chyba", mkError, MsgBtn::OK, MsgBtn::OK);
            return endOfRun();
        }
        ++naming.RunningIndex;
        job.TargetFiles.push_back(target);
    }

    ui.BeginCopying();  // reads BarMax and BarPosition
    struct TargetListsGuard {
        TargetListsGuard() { TargetFolders().Begin(); }
        ~TargetListsGuard() { TargetFolders().End(); }
    } targetLists;
    // Failures by the file's place in the run: a check ends after the
    // copies of later files, the list keeps the order of the files.
    std::vector<std::pair<size_t, std::string>> failures;
    {
        TCopyChecker checker;
        auto copyFile = [&](size_t j) {
            std::string reason;
            if (!CopyFileOfRun(job.SourceFiles[j], job.TargetFiles[j], reason, ui, &checker, j))
                failures.emplace_back(j, FailureLine(job.SourceFiles[j], reason));
        };
        auto takeChecked = [&] {
            for (const auto& check : checker.TakeChecked()) {
                switch (check->outcome) {
                case TPlacing::Placed:
                    TargetFolders().FileAdded(check->target);
                    ++job.Tally.Copied;
                    job.Tally.CopiedBytes += check->bytes;
                    break;
                case TPlacing::Refused:
                    failures.emplace_back(check->index, FailureLine(check->source, check->error));
                    break;
                case TPlacing::Appeared:
                    // Another program made the file while this one copied:
                    // it is asked about like any other existing file.
                    TargetFolders().FileAdded(check->target);
                    AdvanceOverall(ui, -check->bytes);
                    copyFile(check->index);
                    break;
                }
            }
        };
        // Waits for the checker while more() holds, with the windows kept
        // alive; a wait that lasts shows in the progress window as the
        // check it is.
        auto waitForChecks = [&](const std::function<bool()>& more) {
            const uint32_t start = ui.TickCount();
            bool showing = false;
            while (more()) {
                checker.WaitForChecked(10);
                takeChecked();
                ServiceEvents(ui);
                if (!showing && more() && ui.TickCount() - start >= kShowCheckingMs) {
                    showing = true;
                    ui.SetChecking(true);
                }
            }
            if (showing) ui.SetChecking(false);
        };
        try {
            job.BarMax = job.TotalBytes;
            job.BarPosition = 0;
            ui.OverallChanged();
            ui.SetSpeedTimer(true);
            job.StartTick = ui.TickCount();
            job.OverwriteAll = false;
            job.SkipAll = false;
            job.Tally = TRunTally();
            for (size_t j = 0; j < job.TargetFiles.size(); ++j) {
                ServiceEvents(ui);
                takeChecked();
                // A file whose target a waiting copy is to take is asked
                // about once that copy is in place.
                const std::string& target = job.TargetFiles[j];
                waitForChecks([&] { return checker.Outstanding() >= kMaxWaitingChecks || checker.Pending(target); });
                copyFile(j);
                if (job.Cancelled) break;
            }
            // Complete copies take their place after a cancel too.
            waitForChecks([&] { return checker.Outstanding() > 0; });
            ui.SetSpeedTimer(false);
            ui.SpeedTick();
        } catch (const std::exception& e) {
            // The copy phase ends here; the report below still tells what
            // happened. The copies handed to the checker are placed or
            // removed before it ends.
            failures.emplace_back(job.TargetFiles.size(), e.what());
        }
    }
    std::stable_sort(failures.begin(), failures.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& failure : failures) job.Tally.Failures.push_back(std::move(failure.second));
    // Copies that failed their check while another program held them.
    for (const std::string& left : RemoveLeftoverCopies())
        job.Tally.Failures.push_back("Dočasný soubor \"" + left + "\" nelze smazat.");
    failed = !job.Tally.Failures.empty();

    // The counts and the files left behind follow the last of the result
    // messages, after its own text.
    const char* caption = "Kolibrio2 - Výsledky kopírování";
    const std::string footer = ResultFooter(job.Tally, job.LeftFiles, IsCardFolder(job.SourcePath));
    const bool errorBox = failed || !ErrorText.empty();
    if (errorBox)
        ui.Message("Během kopírování došlo k chybě:\r\n" + FailureText(ErrorText, job.Tally.Failures) +
                       (job.Cancelled ? "" : footer),
                   caption, mkError, MsgBtn::OK, MsgBtn::OK);
    if (job.Cancelled) ui.Message("Kopírování bylo přerušeno." + footer, caption, mkWarning, MsgBtn::OK, MsgBtn::OK);
    if (!errorBox && !job.Cancelled)
        ui.Message("Kopírování proběhlo úspěšně." + footer, caption, mkInformation, MsgBtn::OK, MsgBtn::OK);
    endOfRun();
}
