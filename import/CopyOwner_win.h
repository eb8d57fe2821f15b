#pragma once
// Who owns a temporary copy: this process, named so that another import
// into the same folder (another session, another program of this one)
// can tell a live copy from one whose owner is gone.
#include "import/ImportCore.h"

// This process on this computer.
const TCopyOwner& ThisCopyOwner();
// Whether the owner, a process of this computer, still runs. A process that
// exists but may not be asked (another user's) counts as running.
bool CopyOwnerRunning(const TCopyOwner& owner);
