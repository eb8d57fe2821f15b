#include "app/InstanceBlock.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kHandleOffset = 0;
constexpr size_t kCountOffset = 4;
constexpr size_t kSlotsOffset = 8;
static_assert(kSlotsOffset + kInstanceMaxParams * kInstanceSlotSize == kInstanceBlockSize);

void PutLE32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

uint32_t GetLE32(const unsigned char* p) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
}

}  // namespace

void WriteReceiverHandle(void* block, size_t size, uint32_t handle) {
    if (!block || size < kInstanceBlockSize) return;
    PutLE32(static_cast<unsigned char*>(block) + kHandleOffset, handle);
}

uint32_t ReadReceiverHandle(const void* block, size_t size) {
    if (!block || size < kInstanceBlockSize) return 0;
    return GetLE32(static_cast<const unsigned char*>(block) + kHandleOffset);
}

void WriteInstanceParams(void* block, size_t size, const std::vector<std::string>& params) {
    if (!block || size < kInstanceBlockSize) return;
    auto* bytes = static_cast<unsigned char*>(block);
    const size_t count = std::min(params.size(), kInstanceMaxParams);
    PutLE32(bytes + kCountOffset, static_cast<uint32_t>(count));
    // Unused slots are cleared too, so nothing of an earlier hand-over stays.
    std::memset(bytes + kSlotsOffset, 0, kInstanceMaxParams * kInstanceSlotSize);
    for (size_t k = 0; k < count; ++k) {
        const size_t n = std::min(params[k].size(), kInstanceMaxParamLength);
        std::memcpy(bytes + kSlotsOffset + k * kInstanceSlotSize, params[k].data(), n);
    }
}

std::vector<std::string> ReadInstanceParams(const void* block, size_t size) {
    std::vector<std::string> params;
    if (!block || size < kInstanceBlockSize) return params;
    const auto* bytes = static_cast<const unsigned char*>(block);
    const auto count = static_cast<int32_t>(GetLE32(bytes + kCountOffset));
    const size_t n = count <= 0 ? 0 : std::min(static_cast<size_t>(count), kInstanceMaxParams);
    for (size_t k = 0; k < n; ++k) {
        const char* slot = reinterpret_cast<const char*>(bytes + kSlotsOffset + k * kInstanceSlotSize);
        const void* end = std::memchr(slot, 0, kInstanceMaxParamLength);
        params.emplace_back(slot, end ? static_cast<const char*>(end) - slot : kInstanceMaxParamLength);
    }
    return params;
}
