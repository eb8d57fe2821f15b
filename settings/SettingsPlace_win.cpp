#include "settings/SettingsPlace_win.h"

#include <windows.h>
#include <shlobj.h>

#include "framework/Strings.h"
#include "import/FileAccess_win.h"
#include "import/ImportCore.h"
#include "settings/SettingsPlace.h"
#include "settings/SettingsStore_win.h"

namespace {

constexpr char kProfileFolder[] = "Kolibrio 2\\";

std::string KnownFolder(REFKNOWNFOLDERID id, DWORD flags = 0) {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, flags, nullptr, &path)) && path && *path) folder = fw::Utf8(path);
    CoTaskMemFree(path);
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    return folder;
}

// Through a temporary copy: a copy cut short by a power cut would count as
// the user's settings for ever.
bool CopyInto(const std::string& source, const std::string& file) {
    const std::string tempFile = file + ".tmp";
    const std::wstring temp = fw::Wide(tempFile), target = fw::Wide(file);
    if (!CopyFileW(fw::Wide(source).c_str(), temp.c_str(), FALSE)) return false;
    // A read-only source (a file from a CD, an installation's) would make a
    // copy that no save can replace.
    SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    // Without replacing: a copy another start of the program made meanwhile
    // is the user's already.
    if (FlushToDisk(tempFile) && MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
    DeleteFileW(temp.c_str());
    return FileExistsAt(file);
}

}  // namespace

bool IsInstalledProgram() {
    // The portable archive carries no uninstaller, and the installer always
    // writes one: a test that survives the registry's views, a folder
    // renamed or an installation copied from an older Windows.
    const std::string folder = FolderOf(ExecutablePath());
    return !folder.empty() && FileExistsAt(folder + "Uninstall.exe");
}

std::string ProfileHistoryFolder() {
    const std::string localAppData = KnownFolder(FOLDERID_LocalAppData, KF_FLAG_CREATE);
    return localAppData.empty() ? std::string() : localAppData + kProfileFolder;
}

std::string ProfileSettingsFolder() {
    // Roaming: the settings follow the user to another computer of the
    // domain, unlike the import history, which names this computer's files.
    const std::string appData = KnownFolder(FOLDERID_RoamingAppData);
    return appData.empty() ? std::string() : appData + kProfileFolder;
}

std::string StartUsersSettings(const std::string& file) {
    if (FileExistsAt(file)) return {};
    TFirstStartFolders folders{FolderOf(ExecutablePath()), KnownFolder(FOLDERID_LocalAppData),
                               KnownFolder(FOLDERID_ProgramFilesX86)};
    for (const std::string& source : FirstStartSources(folders)) {
        if (!FileExistsAt(source)) continue;
        if (ForceDirectories(FolderOf(file)) && CopyInto(source, file)) return {};
        return source;
    }
    return {};
}
