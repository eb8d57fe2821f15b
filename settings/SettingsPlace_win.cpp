#include "settings/SettingsPlace_win.h"

#include <windows.h>
#include <shlobj.h>

#include "framework/Strings.h"
#include "settings/SettingsPlace.h"
#include "settings/SettingsStore_win.h"

namespace {

constexpr char kProfileFolder[] = "Kolibrio 2\\";

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)) && path && *path) folder = fw::Utf8(path);
    CoTaskMemFree(path);
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    return folder;
}

bool IsFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(fw::Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(fw::Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Through a temporary copy: a copy cut short by a power cut would count as
// the user's settings for ever.
bool CopyInto(const std::string& source, const std::string& file) {
    const std::wstring temp = fw::Wide(file + ".tmp"), target = fw::Wide(file);
    if (!CopyFileW(fw::Wide(source).c_str(), temp.c_str(), FALSE)) return false;
    // A read-only source (a file from a CD, an installation's) would make a
    // copy that no save can replace.
    SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool flushed = h != INVALID_HANDLE_VALUE && FlushFileBuffers(h);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    // Without replacing: a copy another start of the program made meanwhile
    // is the user's already.
    if (flushed && MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
    DeleteFileW(temp.c_str());
    return IsFile(file);
}

}  // namespace

bool IsInstalledProgram() {
    // The portable archive carries no uninstaller, and the installer always
    // writes one: a test that survives the registry's views, a folder
    // renamed or an installation copied from an older Windows.
    const std::string folder = FolderOf(ExecutablePath());
    return !folder.empty() && IsFile(folder + "Uninstall.exe");
}

std::string ProfileSettingsFolder() {
    // Roaming: the settings follow the user to another computer of the
    // domain, unlike the import history, which names this computer's files.
    const std::string appData = KnownFolder(FOLDERID_RoamingAppData);
    return appData.empty() ? std::string() : appData + kProfileFolder;
}

unsigned long MakeFolder(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    const int result = SHCreateDirectoryExW(nullptr, fw::Wide(path).c_str(), nullptr);
    if (result == ERROR_SUCCESS || IsFolder(path)) return 0;
    return result == ERROR_FILE_EXISTS || result == ERROR_ALREADY_EXISTS ? ERROR_ALREADY_EXISTS
                                                                          : static_cast<unsigned long>(result);
}

std::string StartUsersSettings(const std::string& file) {
    if (IsFile(file)) return {};
    TFirstStartFolders folders{FolderOf(ExecutablePath()), KnownFolder(FOLDERID_LocalAppData),
                               KnownFolder(FOLDERID_ProgramFilesX86)};
    for (const std::string& source : FirstStartSources(folders)) {
        if (!IsFile(source)) continue;
        if (MakeFolder(FolderOf(file)) == 0 && CopyInto(source, file)) return {};
        return source;
    }
    return {};
}
