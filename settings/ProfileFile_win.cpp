#include "settings/ProfileFile_win.h"

#include <windows.h>

#include <stdexcept>
#include <vector>

#include "base/Text.h"
#include "framework/Strings.h"
#include "import/FileAccess_win.h"
#include "settings/TextEncoding.h"

namespace {

// The first read buffer holds 2048 characters like the program always had;
// longer values (a big catalogue) get a bigger one rather than being cut.
constexpr DWORD kFirstReadChars = 2048;
constexpr DWORD kMaxReadChars = 16u << 20;
// Far beyond any settings file; the profile functions read a file whole.
constexpr LONGLONG kMaxFileBytes = 64ll << 20;
constexpr wchar_t kMark = L'\xFEFF';

DWORD gReplaceFault = 0;

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    ~FileHandle() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    explicit operator bool() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }

private:
    HANDLE h_;
};

enum class TRead { Read, Missing, Failed };

// The whole file; Failed with the reason as the last error.
TRead ReadBytes(const std::wstring& path, std::string& bytes) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return TRead::Missing;
        return TRead::Failed;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size)) return TRead::Failed;
    if (size.QuadPart > kMaxFileBytes) {
        SetLastError(ERROR_FILE_TOO_LARGE);
        return TRead::Failed;
    }
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!bytes.empty() && !ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
        return TRead::Failed;
    bytes.resize(got);
    return TRead::Read;
}

std::wstring Decode(const std::string& bytes) {
    const TDetectedEncoding found = DetectTextEncoding(bytes);
    const std::string_view text = std::string_view(bytes).substr(found.markSize);
    switch (found.encoding) {
    case TTextEncoding::Utf16Le:
    case TTextEncoding::Utf16Be: {
        const std::u16string units = Utf16Units(text, found.encoding == TTextEncoding::Utf16Be);
        return std::wstring(units.begin(), units.end());
    }
    case TTextEncoding::Utf8: return fw::Wide(text);
    case TTextEncoding::Ansi: break;
    }
    return fw::AnsiToWide(text);
}

// Writes a UTF-16 LE file with its byte-order mark, which the profile
// functions then read and write in UTF-16.
bool WriteUtf16File(HANDLE file, const std::wstring& text) {
    const std::wstring whole = kMark + text;
    const DWORD size = static_cast<DWORD>(whole.size() * sizeof(wchar_t));
    DWORD written = 0;
    if (!WriteFile(file, whole.data(), size, &written, nullptr)) return false;
    // A write cut short without a reason found the disk full.
    if (written != size) SetLastError(ERROR_DISK_FULL);
    return written == size;
}

[[noreturn]] void Refuse(const std::string& where, DWORD error) {
    throw std::runtime_error(SaveFailureText(where, error ? error : ERROR_WRITE_FAULT));
}

}  // namespace

ProfileFile::ProfileFile(std::string path) : readPath_(fw::Wide(path)) {
    std::string bytes;
    if (ReadBytes(readPath_, bytes) != TRead::Read) return;  // the profile functions give the defaults
    if (DetectTextEncoding(bytes) == TDetectedEncoding{TTextEncoding::Utf16Le, 2}) return;
    wchar_t folder[MAX_PATH + 1], copy[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    if (n == 0 || n > MAX_PATH || !GetTempFileNameW(folder, L"kol", 0, copy)) return;
    {
        FileHandle file(CreateFileW(copy, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr));
        if (!file || !WriteUtf16File(file.Get(), Decode(bytes))) {
            DeleteFileW(copy);
            return;  // read as the profile functions read it, in the ANSI code page
        }
    }
    readPath_ = copy;
    temporary_ = true;
}

ProfileFile::~ProfileFile() {
    if (!temporary_) return;
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, readPath_.c_str());  // out of the profile cache
    DeleteFileW(readPath_.c_str());
}

std::string ProfileFile::Read(const wchar_t* section, const wchar_t* key, const std::string& defaultValue) const {
    const std::wstring wideDefault = fw::Wide(defaultValue);
    std::vector<wchar_t> buf(kFirstReadChars);
    for (;;) {
        const auto size = static_cast<DWORD>(buf.size());
        DWORD n = GetPrivateProfileStringW(section, key, wideDefault.c_str(), buf.data(), size, readPath_.c_str());
        // A full buffer may mean a cut value: read again with more room.
        if (n + 1 < size || size >= kMaxReadChars) return fw::Utf8(std::wstring_view(buf.data(), n));
        buf.resize(size * 2);
    }
}

// The new version is a file of its own until it is whole and on the disk: a
// power cut or a full disk in the middle of a save leaves the old file as it
// was, never a mix of both (a byte-order mark, part of the new text and the
// old tail would count as a converted file for ever).
ProfileSave::ProfileSave(std::string path, const std::string& from)
    : path_(std::move(path)), temp_(fw::Wide(path_ + ".tmp")) {
    std::string bytes;
    if (ReadBytes(fw::Wide(from), bytes) == TRead::Failed) Refuse(from, GetLastError());
    bool written;
    DWORD error;
    {
        FileHandle file(
            CreateFileW(temp_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) Refuse(path_, GetLastError());
        written = WriteUtf16File(file.Get(), Decode(bytes));
        error = GetLastError();
    }
    if (!written) {
        DeleteFileW(temp_.c_str());
        Refuse(path_, error);
    }
}

ProfileSave::~ProfileSave() {
    if (committed_) return;
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, temp_.c_str());
    DeleteFileW(temp_.c_str());
}

void ProfileSave::Write(const wchar_t* section, const wchar_t* key, std::string value) {
    // A line break would end the value's line and start whatever follows
    // as new keys or sections of the file.
    for (char& c : value)
        if (c == '\r' || c == '\n') c = ' ';
    if (!WritePrivateProfileStringW(section, key, fw::Wide(value).c_str(), temp_.c_str()))
        Refuse(path_, GetLastError());
}

void ProfileSave::Commit() {
    // Whatever the profile functions still hold goes to the file, and the
    // file to the disk, before it takes the old one's name.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, temp_.c_str());
    if (!FlushToDisk(fw::Utf8(temp_))) Refuse(path_, GetLastError());
    if (gReplaceFault) Refuse(path_, gReplaceFault);
    // A rename over the old file: on one volume it is one step, the old
    // file or the new one, never neither. ReplaceFileW would keep the old
    // file's access rights too, but it fails in ways that leave the old
    // file under a backup name or nowhere.
    if (!MoveFileExW(temp_.c_str(), fw::Wide(path_).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        Refuse(path_, GetLastError());
    committed_ = true;
}

std::string SaveFailureText(const std::string& where, unsigned long error) {
    const bool folder = EndsWith(where, "\\");
    return std::string("Nastavení nebylo možné uložit do ") + (folder ? "složky" : "souboru") + " \"" + where +
           "\".\r\n" + fw::SystemErrorText(error) + ".";
}

void SetReplaceFaultForTests(unsigned long error) {
    gReplaceFault = error;
}
