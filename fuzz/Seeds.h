#pragma once
// Seed corpus files for the fuzz targets: each target writes its own seeds
// into the folder named by KOLIBRIO_SEEDS (see run-fuzzer.sh).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

inline void WriteSeedFile(const std::string& folder, const std::string& name, const std::string& bytes) {
    std::string path = folder + "/" + name;
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

inline void WriteSeedFiles(const std::string& folder, const std::vector<std::string>& seeds) {
    for (size_t i = 0; i < seeds.size(); ++i) WriteSeedFile(folder, "seed" + std::to_string(i), seeds[i]);
}

// Defines the fuzzer's initialiser: it writes the target's seeds (through
// writer(const char* folder)) when KOLIBRIO_SEEDS names a folder.
#define KOLIBRIO_FUZZ_SEEDS(writer)                                        \
    extern "C" int LLVMFuzzerInitialize(int*, char***) {                   \
        if (const char* folder = std::getenv("KOLIBRIO_SEEDS")) writer(folder); \
        return 0;                                                          \
    }
