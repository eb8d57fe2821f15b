#pragma once
// Where the program's settings live. The portable program keeps setting.ini
// beside itself; the installed one keeps it in the user's profile, made at
// its first start from the user's earlier settings. UI thread only.
#include <string>

// True when the program runs where the installer put it: the uninstaller
// the installer writes stands beside the executable.
bool IsInstalledProgram();

// "%APPDATA%\Kolibrio 2\": the installed program's settings folder. Empty
// when the shell names no such folder.
std::string ProfileSettingsFolder();
// "%LOCALAPPDATA%\Kolibrio 2\": the installed program's folder for what
// belongs to this computer (the import history). Empty like the above.
std::string ProfileHistoryFolder();

// The installed program's first start without a setting.ini in the profile:
// copies the first of the user's earlier settings that exists (see
// FirstStartSources) into file's place. Empty when file is there now or
// there was nothing to start from; else the source, which is to be read
// instead while the profile cannot take the copy.
std::string StartUsersSettings(const std::string& file);
