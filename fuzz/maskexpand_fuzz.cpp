// Hostile masks, source names and dates for the mask expansion, the target
// path check and the label shortener.
//
// Input layout: byte 0 = flags, bytes 1..8 = the date (a double), 9..12 the
// running index, 13..16 the total count, then the source name and the mask
// separated by the first newline.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "mask/MaskExpand.h"
#include "mask/MinimizeName.h"
#include "fuzz/Seeds.h"
#include "tests/core/czech_names.h"

namespace {

// The fuzzer must hold every broken promise as a crash.
void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

TDateNameTables Names(bool hostile) {
    TDateNameTables n = CzechNames();
    if (hostile) {
        // Names that hold placeholders themselves, separators and nothing.
        n.LongMonth[4] = "%dd%%index_dir%\\";
        n.ShortMonth[4] = "%ss%:%";
        n.LongDay[5] = "%mmmm%%mmmm%";
        n.ShortDay[5] = "";
    }
    return n;
}

std::string Header(uint8_t flags, double date, int32_t index, int32_t total) {
    std::string h(17, '\0');
    h[0] = static_cast<char>(flags);
    std::memcpy(&h[1], &date, 8);
    std::memcpy(&h[9], &index, 4);
    std::memcpy(&h[13], &total, 4);
    return h;
}

void WriteSeeds(const char* dir) {
    const double may9 = EncodeDateTime({2008, 5, 9, 14, 7, 3, 0});
    const std::vector<std::string> seeds = {
        Header(0, may9, 7, 250) + "C:\\DCIM\\100OLYMP\\P1070283.JPG\n%yyyy%\\%mm%\\%index_dir%.%file_ext%",
        Header(1, may9, 1, 110) + "P1070283.JPG\n%YYYY%-%Mm%-%dd% %hh%%nn%%ss%\\%index%_%count%.jpg",
        Header(2, may9, 1000, 9) + "C:\\DCIM\\IMG_%d%.JPG\n%file_name%.%file_ext%\\%mmm%\\%dddd%",
        Header(0, 1e300, -5, -2147483647 - 1) + "x%index%.jpg\n100% %xyz% %index_dir%\\%d%d%",
        Header(4, may9, 1, 0) + "C:\\dir.x\\README\n%%d%%\\%file_ext%:%count%\\\\con\\nul",
        Header(1, 0.0, 1, 10) + "\\\\server\\share\\.hidden\n%ss%\\%index_dir%\\%index_dir%",
    };
    WriteSeedFiles(dir, seeds);
}

int CharCount(const std::string& text) {
    int n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

}  // namespace

KOLIBRIO_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 17) return 0;
    const uint8_t flags = data[0];
    double date;
    int32_t index, total;
    std::memcpy(&date, data + 1, 8);
    std::memcpy(&index, data + 9, 4);
    std::memcpy(&total, data + 13, 4);
    const std::string rest(reinterpret_cast<const char*>(data + 17), size - 17);
    const size_t newline = rest.find('\n');
    // A short source name keeps repeated "%file_name%" from growing the
    // text past what the fuzzer's memory limit allows.
    std::string file = rest.substr(0, std::min<size_t>(newline, 512));
    const std::string mask = newline == std::string::npos ? std::string() : rest.substr(newline + 1);

    const bool preview = flags & 1;
    const TDateNameTables names = Names(flags & 2);
    int reads = 0;
    TMaskInputs inputs{names,
                       [&](const std::string&, std::string& error) {
                           ++reads;
                           if (flags & 4) error = "date problem";
                           return date;
                       },
                       [&] { return date; }};
    TMaskState state;
    state.RunningIndex = index;
    state.TotalCount = total;
    state.PreviewTotal = total;

    std::string error = "kept";
    const std::string first = ExpandMask(file, mask, error, preview, state, inputs);
    const std::string second = ExpandMask(file, mask, error, preview, state, inputs);
    Require(reads == (preview ? 0 : 2), "preview reads no file, a run reads each time");
    Require(!error.empty(), "the error text is never emptied");
    Require(state.TotalCount == total, "total count as given");
    Require(!state.IndexDirs.empty() && state.IndexDirs.size() <= 2, "one folder record per expansion at most");
    int32_t counted = 0;
    for (const TIndexDir& r : state.IndexDirs) counted += r.Count;
    Require(counted == 2, "both expansions were counted");
    if (mask.find('%') == std::string::npos) Require(first == mask && second == mask, "plain mask unchanged");

    for (const std::string& out : {first, second}) {
        const std::string path = "C:\\Foto\\" + out;
        const bool valid = IsValidTargetPath(path);
        const std::vector<std::string> items = SplitText(path, '\\');
        for (size_t i = 1; valid && i < items.size(); ++i)
            Require(!items[i].empty() && items[i].find_first_of("/:*?<>|") == std::string::npos,
                    "a valid path has clean items");
        const int width = flags >> 3;
        const std::string shortPath = MinimizeName(path, CharCount, width);
        const std::string name = NamePartOf(path);
        Require(shortPath.size() >= name.size() &&
                    shortPath.compare(shortPath.size() - name.size(), name.size(), name) == 0,
                "the file name survives shortening");
        Require(CharCount(shortPath) <= width || shortPath == name, "shortening stops only when it fits");
    }
    return 0;
}
