#pragma once
// Drives defined at run time through Wine's mount manager, the way Wine's
// own configuration tool does it, so that GetDriveType reports the type asked
// for (a card reader is DRIVE_REMOVABLE). The mount manager runs as a service
// whose broadcasts do not reach the test's desktop: tests send the
// WM_DEVICECHANGE themselves.
#include <windows.h>

#include <string>

namespace wintest {

// Maps letter: onto an existing Windows folder with the given drive type
// (DRIVE_REMOVABLE, DRIVE_FIXED...). False when the mount manager refuses.
bool DefineWineDrive(wchar_t letter, const std::wstring& folder, UINT type);
bool RemoveWineDrive(wchar_t letter);
// A letter from D: to Y: that no drive uses, or 0.
wchar_t FreeDriveLetter();

}  // namespace wintest
