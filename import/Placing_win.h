#pragma once
// A copy is written to a temporary file beside its target and takes the
// target's name only when it is complete (and, with the check on, equal to
// what was read from the card). These are the steps of that placing, and
// the removal of temporary files that did not take their name.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

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

// Removes the file open as handle (opened with the right to delete) when
// the handle closes.
bool RemoveThrough(HANDLE handle);

// Removes a temporary copy that is not to take its name. One that cannot
// go at once (another program holds it open) is tried again by
// TakeLeftovers, which returns those still there, for the report.
// Safe on any thread.
void RemoveTemporary(const std::wstring& temp);
std::vector<std::string> TakeLeftovers();
// The copies that cannot go on the calling thread are noted in list until
// it is set back to null, and reach TakeLeftovers only through
// NoteLeftovers: a check the run gave up must not have its copy reported
// by a later run, which knows nothing of its file.
void KeepLeftoversOfThisThreadIn(std::vector<std::wstring>* list);
void NoteLeftovers(const std::vector<std::wstring>& list);

// Removes the temporary copies that a run ended by force (the process
// killed, the power cut) left in these folders: only names of the form
// the copies take whose owner, a process of this computer, is gone (an
// earlier version's, which name none: last written before since, a
// FILETIME as 64 bits). Returns how many went.
int RemoveStaleCopies(const std::vector<std::string>& folders, uint64_t since);
