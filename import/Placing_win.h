#pragma once
// A copy is written to a temporary file beside its target and takes the
// target's name only when it is complete (and, with the check on, equal to
// what was read from the card). These are the steps of that placing.
#include <windows.h>

#include <string>

// A new temporary file in the target's folder, open for writing and for
// its rename; its long-form path in temp. An existing file of that name
// (another program's, a target, a copy still waiting for its check) is
// never opened: the next number is tried, starting at first.
HANDLE CreateTemporaryBeside(const std::string& target, std::wstring& temp, int first);

// How a complete copy came to its target's name: in place, or not because
// another program made the target meanwhile (only a file the user agreed
// to overwrite is replaced), or refused for another reason.
enum class TPlacing { Placed, Appeared, Refused };

// Names the file open as handle target, through that handle. code holds the
// system's reason of a refusal.
TPlacing RenameThrough(HANDLE handle, const std::string& target, bool replace, DWORD& code);

// Names the closed copy at temp target by path, where the rename through a
// handle was refused; a copy that does not take the name is removed.
TPlacing MoveIntoPlace(const std::wstring& temp, const std::string& target, bool replace, DWORD& code);
