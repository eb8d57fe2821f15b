#include "settings/ProfileFile_win.h"

#include <windows.h>

#include <stdexcept>
#include <vector>

#include "base/Text.h"
#include "framework/Strings.h"

namespace {

// The first read buffer holds 2048 characters like the program always had;
// longer values (a big catalogue) get a bigger one rather than being cut.
constexpr DWORD kFirstReadChars = 2048;
constexpr DWORD kMaxReadChars = 16u << 20;
// Far beyond any settings file; the profile functions read a file whole.
constexpr LONGLONG kMaxConvertBytes = 64ll << 20;

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

// The text of a settings file that is not UTF-16 LE. A byte-order mark names
// its encoding (a file an editor saved); without one it is in the ANSI code
// page, which every earlier version wrote and the profile functions read.
std::wstring DecodeOlderFile(const std::string& bytes) {
    if (StartsWith(bytes, "\xEF\xBB\xBF")) return fw::Wide(std::string_view(bytes).substr(3));
    if (StartsWith(bytes, "\xFE\xFF")) {
        std::wstring text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const auto high = static_cast<unsigned char>(bytes[i]), low = static_cast<unsigned char>(bytes[i + 1]);
            text += static_cast<wchar_t>(high << 8 | low);
        }
        return text;
    }
    return fw::AnsiToWide(bytes);
}

bool ReadWhole(HANDLE file, std::string& bytes) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart > kMaxConvertBytes) return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    return bytes.empty() || (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
                             got == bytes.size());
}

bool ReplaceWhole(HANDLE file, const void* data, size_t size) {
    LARGE_INTEGER start{};
    DWORD written = 0;
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) &&
           WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size &&
           SetEndOfFile(file);
}

}  // namespace

ProfileFile::ProfileFile(std::string path) : path_(std::move(path)), widePath_(fw::Wide(path_)) {}

std::string ProfileFile::Read(const wchar_t* section, const wchar_t* key, const std::string& defaultValue) const {
    const std::wstring wideDefault = fw::Wide(defaultValue);
    std::vector<wchar_t> buf(kFirstReadChars);
    for (;;) {
        const auto size = static_cast<DWORD>(buf.size());
        DWORD n = GetPrivateProfileStringW(section, key, wideDefault.c_str(), buf.data(), size, widePath_.c_str());
        // A full buffer may mean a cut value: read again with more room.
        if (n + 1 < size || size >= kMaxReadChars) return fw::Utf8(std::wstring_view(buf.data(), n));
        buf.resize(size * 2);
    }
}

void ProfileFile::Write(const wchar_t* section, const wchar_t* key, std::string value) const {
    // A line break would end the value's line and start whatever follows
    // as new keys or sections of the file.
    for (char& c : value)
        if (c == '\r' || c == '\n') c = ' ';
    if (!WritePrivateProfileStringW(section, key, fw::Wide(value).c_str(), widePath_.c_str()))
        throw std::runtime_error("Unable to write to " + path_);
}

// The profile functions write a file that starts with a UTF-16 LE byte-order
// mark in UTF-16 and any other file, a new one included, in the ANSI code
// page, which would turn every character outside it into "?". So the file
// is made Unicode before they write to it, and they keep it so.
void ProfileFile::MakeUnicode() const {
    const std::runtime_error refused("Unable to write to " + path_);
    // Whatever the profile functions still hold goes to the file first.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, widePath_.c_str());
    FileHandle file(CreateFileW(widePath_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw refused;
    std::string bytes;
    if (!ReadWhole(file.Get(), bytes)) throw refused;
    if (StartsWith(bytes, "\xFF\xFE")) return;

    const std::wstring text = L'\xFEFF' + DecodeOlderFile(bytes);
    // Rewritten in place, through the handle that read it: the file keeps
    // its access rights, and a program that may not make files in its
    // folder can still save. A write that fails puts the old bytes back.
    if (!ReplaceWhole(file.Get(), text.data(), text.size() * sizeof(wchar_t))) {
        ReplaceWhole(file.Get(), bytes.data(), bytes.size());
        throw refused;
    }
}
