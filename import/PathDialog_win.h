#pragma once
// The folder dialog of the folder import: a tree rooted at the desktop that
// opens in the folder chosen last (at first the root of the first hard disk).
#include <windows.h>

#include <string>

class TPathDialog {
public:
    std::string Caption;
    // The folder chosen last; empty until the first choice.
    std::string Directory;
    // True when the user chose a folder (then in Directory).
    bool Execute(HWND owner);
    // The root of the first fixed drive, such as "C:\"; empty when none.
    static std::string FirstHardDiskRoot();
};
