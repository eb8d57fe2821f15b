// Reads list texts that come from a settings file anyone may have edited.
// Whatever the bytes, reading must end, and writing what was read must read
// back as the same items.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/ListText.h"
#include "fuzz/Seeds.h"

namespace {

void WriteSeeds(const char* folder) {
    WriteSeedFile(folder, "extensions", ";*.jpg; *.avi;*.mov");
    WriteSeedFile(folder, "catalogue", ",\"a,b\",\"x y\",\"say \"\"hi\"\"\",%yyyy%\\%mm%,");
    WriteSeedFile(folder, "unclosed", ",\"un\"\"closed");
    WriteSeedFile(folder, "empties", ";;; ;\"\"");
    WriteSeedFile(folder, "nul", std::string(",a\0b,\"c\0", 9));
    WriteSeedFile(folder, "boolean", "00x7FFFFFFF");
}

void CheckRoundTrip(const std::vector<std::string>& items, char separator) {
    if (TextToList(ListToText(items, separator), separator) != items) std::abort();
}

}  // namespace

KOLIBRIO_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the separator, the rest is the text.
    const char separator = (data[0] & 1) ? ',' : ';';
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

    const std::vector<std::string> items = TextToList(text, separator);
    if (items.size() > text.size() + 1) std::abort();
    for (const auto& item : items)
        if (item.find('\0') != std::string::npos) std::abort();
    CheckRoundTrip(items, separator);

    // Any items without NUL survive a write and a read.
    std::vector<std::string> pieces;
    std::string piece;
    for (char c : text) {
        if (c == '\n') {
            pieces.push_back(piece);
            piece.clear();
        } else if (c != '\0') {
            piece += c;
        }
    }
    pieces.push_back(piece);
    CheckRoundTrip(pieces, separator);

    TDateNameTables tables;
    ApplyMonthNames(tables, text, TNameLength::Long);
    ApplyDayNames(tables, text, TNameLength::Short);
    (void)ParseBoolean(text, true);
    return 0;
}
