// Reads skin files anyone may have put into the skin folder. Whatever the
// bytes, reading ends, and the skin's values stay within what the windows
// can be drawn with: colours of 24 bits, a font size the layout holds, a
// face name that fits a font record.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/Seeds.h"
#include "settings/SkinFile.h"

namespace {

void WriteSeeds(const char* folder) {
    WriteSeedFile(folder, "elegant",
                  "; skin\r\n[Colors]\r\nWindow=#F4F0E6\r\nText=#3A2E22\r\nEdit=#FFFDF8\r\nEditText=#1E1A14\r\n"
                  "Link=#7A4A12\r\n[Font]\r\nName=Tahoma\r\nSize=8\r\n");
    WriteSeedFile(folder, "odd", "[colors\n=#\nText=#GGGGGG\n[Font]\nSize=99999999999\nName=\n[]\n=\n");
    WriteSeedFile(folder, "nul", std::string("[Font]\0Name=A\0B\nSize=0\n", 24));
}

}  // namespace

KOLIBRIO_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const TSkin skin = ParseSkin(text);
    for (uint32_t color : {skin.Window, skin.Text, skin.Edit, skin.EditText, skin.Link})
        if (color > 0xFFFFFF) std::abort();
    if (skin.FontSize < kMinSkinFontSize || skin.FontSize > kMaxSkinFontSize) std::abort();
    if (skin.FontName.empty() || skin.FontName.size() >= 32) std::abort();
    uint32_t color = 0;
    if (ParseSkinColor(text, color) && color > 0xFFFFFF) std::abort();
    return 0;
}
