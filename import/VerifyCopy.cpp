#include "import/VerifyCopy.h"

// Used header-only: no library to link, the same code in every build.
#define XXH_INLINE_ALL
#include <xxhash.h>

struct TCopyHash::State {
    XXH3_state_t* xxh = XXH3_createState();
    ~State() { XXH3_freeState(xxh); }
};

TCopyHash::TCopyHash() : state_(std::make_unique<State>()) {
    XXH3_64bits_reset(state_->xxh);
}

TCopyHash::~TCopyHash() = default;

void TCopyHash::Update(const void* data, size_t bytes) {
    XXH3_64bits_update(state_->xxh, data, bytes);
    bytes_ += static_cast<int64_t>(bytes);
}

uint64_t TCopyHash::Digest() const {
    return XXH3_64bits_digest(state_->xxh);
}

uint32_t ReadBackAlignment(uint32_t sectorBytes) {
    // Pages are 4 KiB; a sector size that is no power of two is a false
    // report, and the page then serves as the unit.
    constexpr uint32_t kPage = 4096;
    const bool powerOfTwo = sectorBytes != 0 && (sectorBytes & (sectorBytes - 1)) == 0;
    return powerOfTwo && sectorBytes > kPage ? sectorBytes : kPage;
}

uint32_t ReadBackBufferBytes(uint32_t want, uint32_t alignment) {
    const uint32_t units = want / alignment + (want % alignment != 0);
    return (units ? units : 1) * alignment;
}

std::string CopyCheckFailedText(const std::string& source, TCopyCheck outcome, const std::string& systemText) {
    if (outcome == TCopyCheck::Different) return "Kopie souboru \"" + source + "\" se liší od originálu.";
    std::string text = "Kopii souboru \"" + source + "\" nelze přečíst a ověřit.";
    if (!systemText.empty()) text += " " + systemText;
    return text;
}
