#include "settings/SettingsPlace.h"

#include <algorithm>

#include "base/Text.h"

namespace {

constexpr char kProgramFolderName[] = "Kolibrio 2\\";

bool OnDriveLetter(const std::string& folder) {
    return folder.size() >= 3 && ((folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z')) &&
           folder[1] == ':' && folder[2] == '\\';
}

}  // namespace

std::string VirtualStorePath(const std::string& localAppData, const std::string& folder, const std::string& file) {
    if (localAppData.empty() || !OnDriveLetter(folder)) return {};
    return localAppData + "VirtualStore\\" + folder.substr(3) + file;
}

std::vector<std::string> FirstStartSources(const TFirstStartFolders& folders) {
    std::vector<std::string> sources;
    auto add = [&](const std::string& path) {
        if (path.empty()) return;
        // Folder names are matched without regard to case, as Windows does.
        const bool known = std::any_of(sources.begin(), sources.end(),
                                       [&](const std::string& s) { return EqualsNoCase(s, path); });
        if (!known) sources.push_back(path);
    };
    add(VirtualStorePath(folders.localAppData, folders.program, "setting.ini"));
    if (!folders.programFiles32.empty())
        add(VirtualStorePath(folders.localAppData, folders.programFiles32 + kProgramFolderName, "setting.ini"));
    if (!folders.program.empty()) {
        add(folders.program + "setting.ini");
        add(folders.program + "setting_def.ini");
    }
    return sources;
}
