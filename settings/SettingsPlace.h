#pragma once
// Which files the installed program's first start takes its settings from.
// Portable: the folders come from the system (SettingsPlace_win).
#include <string>
#include <vector>

// Where Windows put a file of this folder that a 32-bit program without an
// execution level wrote while it could not write the folder itself:
// "<local app data>VirtualStore\<folder without its drive><file>". Empty for
// a folder that is not on a drive letter (Windows virtualises none other).
// Both folders end with a backslash.
std::string VirtualStorePath(const std::string& localAppData, const std::string& folder, const std::string& file);

struct TFirstStartFolders {
    std::string program;        // the executable's folder
    std::string localAppData;   // the user's local application data
    std::string programFiles32; // where 32-bit programs are installed
};

// The files to start the user's own setting.ini from, best first: the
// user's virtualised copy of an earlier 32-bit installation (in this folder,
// or in the 32-bit program folder, where it stood on 64-bit Windows before
// the 64-bit program came), a setting.ini beside the program (an earlier
// version run with the rights to write there, or the installer's first
// copy), the factory file.
std::vector<std::string> FirstStartSources(const TFirstStartFolders& folders);
