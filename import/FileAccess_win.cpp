#include "import/FileAccess_win.h"

#include "framework/Strings.h"

namespace {

TBlockRead gBlockRead = nullptr;
TFileFault gFileFault = nullptr;

class TFindHandle {
public:
    explicit TFindHandle(HANDLE h) : h_(h) {}
    TFindHandle(const TFindHandle&) = delete;
    TFindHandle& operator=(const TFindHandle&) = delete;
    ~TFindHandle() { FindClose(h_); }

private:
    HANDLE h_;
};

}  // namespace

HANDLE TFileHandle::Release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
}

bool TFileHandle::Close() {
    bool ok = true;
    if (Valid()) ok = CloseHandle(h_) != FALSE;
    h_ = INVALID_HANDLE_VALUE;
    return ok;
}

// The form of a path that the file functions take beyond MAX_PATH: the
// temporary file beside a target near the limit lies past it.
std::wstring LongPathForm(const std::string& path) {
    std::wstring w = fw::Wide(path);
    if (IsLongPathForm(w)) return w;
    DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0) return w;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(w.c_str(), n, &full[0], nullptr);
    if (n == 0 || n >= full.size()) return w;
    full.resize(n);
    return LongFormOfFullPath(full);
}

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

// The system's own case rules, not a table of ours: the names compared are
// the file system's.
std::wstring FoldedPath(const std::string& path) {
    std::wstring w = fw::Wide(path);
    if (!w.empty()) CharUpperBuffW(&w[0], static_cast<DWORD>(w.size()));
    return w;
}

bool SameFile(const std::string& a, const std::string& b) {
    TFileHandle ha(CreateFileW(fw::Wide(a).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
    TFileHandle hb(CreateFileW(fw::Wide(b).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
    if (!ha.Valid() || !hb.Valid()) return false;
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    if (!GetFileInformationByHandle(ha.Get(), &ia) || !GetFileInformationByHandle(hb.Get(), &ib)) return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

void ListEntries(const std::string& search, const std::function<bool(const TScanEntry&)>& each) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(LongPathForm(search).c_str(), &fd);  // folders may nest past MAX_PATH
    if (h == INVALID_HANDLE_VALUE) return;
    TFindHandle guard(h);
    do {
        TScanEntry e;
        e.Name = fw::Utf8(fd.cFileName);
        e.Directory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        e.Hidden = (fd.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
        e.System = (fd.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0;
        e.VolumeLabel = false;  // Win32 finds never list the volume label
        e.Size = static_cast<int64_t>((static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow);
        e.WriteTime = FileTimeValue(fd.ftLastWriteTime);
        if (!each(e)) return;
    } while (FindNextFileW(h, &fd));
}

bool ForceDirectories(const std::string& folder, uint32_t* code, std::string* failed) {
    std::wstring w = fw::Wide(folder);
    while (!w.empty() && (w.back() == L'\\' || w.back() == L'/')) w.pop_back();
    auto fail = [&](DWORD reason) {
        if (code) *code = reason;
        if (failed) *failed = fw::Utf8(w) + "\\";
        return false;
    };
    if (w.empty()) return fail(ERROR_PATH_NOT_FOUND);
    DWORD attr = GetFileAttributesW(w.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES) {
        if (attr & FILE_ATTRIBUTE_DIRECTORY) return true;
        return fail(ERROR_ALREADY_EXISTS);  // a file holds the folder's name
    }
    size_t slash = w.find_last_of(L"\\/");
    // A drive root exists or nothing will.
    if (slash != std::wstring::npos && slash > 0 && w[slash - 1] != L':' && w[slash - 1] != L'\\' &&
        !ForceDirectories(fw::Utf8(w.substr(0, slash)), code, failed))
        return false;
    DWORD made = InjectedFault(TFileStep::MakeFolder, w);
    if (made == 0 && !CreateDirectoryW(w.c_str(), nullptr)) made = GetLastError();
    attr = GetFileAttributesW(w.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY)) return true;
    return fail(made != 0 ? made : static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

int64_t AddFileSize(const std::string& path, int64_t total) {
    TFileHandle h(OpenForReading(path));
    if (!h.Valid()) return total;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h.Get(), &size)) return total;
    return total + size.QuadPart;
}

void SetBlockReadForTests(TBlockRead read) { gBlockRead = read; }

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

// The copy carries the source's times, as robocopy and cp -p do, so that
// the archive sorts by date. The last-write time is the one that matters; a
// target that refuses the creation time still gets it. A volume that keeps
// no times at all (some shares) still gets the copy: the photo is whole,
// and its name, not its file time, sorts the archive; the system's reason
// is returned so that the result can say why the times are the import's.
DWORD KeepFileTimes(HANDLE source, HANDLE target, const std::wstring& targetPath) {
    FILETIME created, written;
    if (!GetFileTime(source, &created, nullptr, &written)) return 0;  // the card's fault, not the archive's
    if (const DWORD fault = InjectedFault(TFileStep::SetTimes, targetPath)) return fault;
    if (SetFileTime(target, &created, nullptr, &written)) return 0;
    if (SetFileTime(target, nullptr, nullptr, &written)) return 0;
    return GetLastError();
}

bool CloseWritten(TFileHandle& file, const std::wstring& path) {
    const DWORD fault = file.Valid() ? InjectedFault(TFileStep::Close, path) : 0;
    const bool closed = file.Close();
    if (fault) SetLastError(fault);
    return closed && !fault;
}

bool DeleteFileAt(const std::wstring& path) {
    if (InjectedFault(TFileStep::Delete, path)) return false;
    return DeleteFileW(path.c_str()) != FALSE;
}

bool SizeAndWriteTime(const std::string& path, int64_t& size, FILETIME& written) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(LongPathForm(path).c_str(), GetFileExInfoStandard, &data)) return false;
    size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    written = data.ftLastWriteTime;
    return true;
}

int64_t FileTimeValue(const FILETIME& time) {
    return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

DateParts LocalParts(const FILETIME& utc) {
    SYSTEMTIME u{}, l{};
    if (!FileTimeToSystemTime(&utc, &u) || !SystemTimeToTzSpecificLocalTime(nullptr, &u, &l)) l = u;
    return DateParts{l.wYear, l.wMonth, l.wDay, l.wHour, l.wMinute, l.wSecond, l.wMilliseconds};
}

bool FlushToDisk(const std::string& path) {
    const std::wstring w = LongPathForm(path);
    // Flushing takes the right to write, though nothing is written.
    TFileHandle file(CreateFileW(w.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.Valid()) return false;
    if (InjectedFault(TFileStep::Flush, w)) return false;
    return FlushFileBuffers(file.Get()) != FALSE;
}

void SetFileFaultForTests(TFileFault fault) { gFileFault = fault; }

uint32_t InjectedFault(TFileStep step, const std::wstring& path) {
    const uint32_t code = gFileFault ? gFileFault(step, path) : 0;
    if (code) SetLastError(code);
    return code;
}
