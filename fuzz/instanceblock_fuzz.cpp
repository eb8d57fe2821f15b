// Reads a hand-over block that another process may have filled with
// anything; the reader must stay inside the block whatever the bytes are.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/InstanceBlock.h"
#include "fuzz/Seeds.h"

namespace {

void WriteSeed(const char* folder, const char* name, const std::vector<unsigned char>& bytes) {
    WriteSeedFile(folder, name, std::string(bytes.begin(), bytes.end()));
}

void WriteSeeds(const char* folder) {
    std::vector<unsigned char> block(kInstanceBlockSize, 0);
    WriteReceiverHandle(block.data(), block.size(), 0x00010203);
    WriteInstanceParams(block.data(), block.size(), {"E:\\DCIM\\", "druhy parametr", std::string(300, 'x')});
    WriteSeed(folder, "three-params", block);
    WriteInstanceParams(block.data(), block.size(), {});
    WriteSeed(folder, "no-params", block);
    std::vector<unsigned char> full(kInstanceBlockSize, 'y');
    WriteSeed(folder, "unterminated", full);
    block[4] = 0xFF, block[5] = 0xFF, block[6] = 0xFF, block[7] = 0x7F;
    WriteSeed(folder, "huge-count", block);
    WriteSeed(folder, "short", std::vector<unsigned char>(16, 1));
}

}  // namespace

KOLIBRIO_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly the mapped size, as the receiver sees it; short inputs are
    // padded so that every input exercises the reader.
    std::vector<unsigned char> block(kInstanceBlockSize, 0);
    std::memcpy(block.data(), data, size < block.size() ? size : block.size());
    std::vector<std::string> params = ReadInstanceParams(block.data(), block.size());
    if (params.size() > kInstanceMaxParams) std::abort();
    for (const auto& p : params)
        if (p.size() > kInstanceMaxParamLength) std::abort();
    // A short buffer is refused without being touched.
    if (size < kInstanceBlockSize && !ReadInstanceParams(data, size).empty()) std::abort();
    return 0;
}
