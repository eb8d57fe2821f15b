#pragma once
// The read-back of a finished copy past the system cache.
#include <cstdint>
#include <functional>
#include <string>

#include "import/VerifyCopy.h"

class IImportUi;

// Reads the file at path once more from the medium, past the system cache,
// and compares it with the length and hash of what was written. With a ui
// (a check on the user-interface thread) the progress window learns that
// the copy is being checked when the read-back lasts kShowCheckingMs; the
// file bar stays where the copy left it. A check on another thread passes
// none. On Unreadable, systemError holds the system's error code.
// When the copy is equal, whenEqual (if given) gets the open read-back
// handle before it closes: a rename through it saves opening the file again.
TCopyCheck ReadBackCopy(const std::string& path, int64_t bytes, uint64_t hash, IImportUi* ui,
                        uint32_t& systemError, const std::function<void(void* handle)>& whenEqual = {});

// A wait for a check that lasts this long shows in the progress window;
// shorter ones would only make its status line flicker.
constexpr uint32_t kShowCheckingMs = 250;

// Test seam: called with the copy's path after it was written and flushed
// and before it is read back, as another program could touch it there. In
// a run it is called on the thread that checks the copies.
using TBeforeReadBack = void (*)(const std::string& path);
void SetBeforeReadBack(TBeforeReadBack hook);
