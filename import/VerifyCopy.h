#pragma once
// The check of a finished copy: the source's bytes are hashed while the
// copy reads them, the copy is read back from the medium and hashed again,
// and only equal hashes and lengths release the copy under its name. The
// hash and the arithmetic of the read-back; the read-back itself is in
// VerifyCopy_win.h. Portable.
#include <cstdint>
#include <memory>
#include <string>

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
