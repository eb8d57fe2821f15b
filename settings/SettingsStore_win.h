#pragma once
// Moves TSettings between memory and setting.ini (beside the portable
// program, in the user's profile for the installed one: SettingsPlace_win),
// the autorun value and the usage counters in the registry. UI thread only.
// Errors the user must see are thrown as std::runtime_error.
#include <string>

#include "settings/Settings.h"

class ISettingsView;

// The folder of setting.ini, ending with a backslash: the executable's
// folder, or the profile's for the installed program, unless another one
// was set (setting_def.ini is then there too, else beside the executable);
// an empty text goes back to the program's own choice.
void SetSettingsFolder(const std::string& folder);
std::string SettingsFolder();
std::string SettingsFilePath();
std::string DefaultsFilePath();
// The executable's full path (the autorun value names it).
std::string ExecutablePath();

// The settings window, or nullptr while there is none.
void SetSettingsView(ISettingsView* view);

// Fills Settings() from setting.ini and the autorun value.
void LoadSettings();
// Writes Settings() to setting.ini and the autorun value. Throws the user's
// text of where it could not be saved and why (see SaveFailureText) when
// the folder or the file refuses; the old file then stays as it was, and
// the autorun value is not touched.
void SaveSettings();
// Replaces setting.ini by setting_def.ini and switches autorun on; call
// LoadSettings afterwards.
void RestoreDefaults();

// A shell folder (CSIDL_*) as a path ending with a backslash; empty when the
// shell cannot name it.
std::string SpecialFolderPath(int folderId);
// Sets all four name tables to the month and day names of the system's
// regional settings.
void ResetDateNamesToSystem(TDateNameTables& tables);

// Adds one to a usage counter ("runcount", "copycount") of the program's
// registry key. The value is never created: false, silently, when the key
// or the value is missing, not a 32-bit integer, or cannot be written.
bool IncrementCounter(const char* valueName);
