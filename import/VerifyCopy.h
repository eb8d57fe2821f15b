#pragma once
// The check of a finished copy: the source's bytes are hashed while the
// copy reads them, the copy is read back from the medium and hashed again,
// and only equal hashes and lengths release the copy under its name. The
// hash and the arithmetic of the read-back are portable; ReadBackCopy is the
// Windows part (VerifyCopy_win.cpp).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class IImportUi;

// XXH3 (64 bits) over bytes given in any number of pieces.
class TCopyHash {
public:
    TCopyHash();
    ~TCopyHash();
    TCopyHash(const TCopyHash&) = delete;
    TCopyHash& operator=(const TCopyHash&) = delete;

    void Update(const void* data, size_t bytes);
    uint64_t Digest() const;
    int64_t Bytes() const { return bytes_; }

private:
    struct State;
    std::unique_ptr<State> state_;
    int64_t bytes_ = 0;
};

enum class TCopyCheck { Equal, Different, Unreadable };

// The size and address alignment of reads that bypass the system cache: a
// whole number of the volume's sectors and of memory pages.
uint32_t ReadBackAlignment(uint32_t sectorBytes);
// The read-back buffer: at least want bytes, a whole number of alignment units.
uint32_t ReadBackBufferBytes(uint32_t want, uint32_t alignment);

// The error text of a copy that failed its check, naming the source file.
std::string CopyCheckFailedText(const std::string& source, TCopyCheck outcome, const std::string& systemText);

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

// Removes a copy that failed its check. A copy another program holds open
// without sharing cannot go at once: it is tried again by
// RemoveLeftoverCopies, which returns those still there at its call.
void RemoveFailedCopy(const std::string& path);
std::vector<std::string> RemoveLeftoverCopies();

// Test seam: called with the copy's path after it was written and flushed
// and before it is read back, as another program could touch it there. In
// a run it is called on the thread that checks the copies.
using TBeforeReadBack = void (*)(const std::string& path);
void SetBeforeReadBack(TBeforeReadBack hook);
