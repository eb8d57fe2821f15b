#pragma once
// Skins of the program: one INI-like text file per skin in the folder
// "skins\" beside the executable, named <skin name>.ini. A skin sets the
// colours of the windows and the font of their headings. Portable.
//
//   [Colors]            ; #RRGGBB
//   Window=#F3F0E8      ; window and page background
//   Text=#202020        ; normal text
//   Edit=#FFFFFF        ; background of edits and lists
//   EditText=#000000    ; text in edits and lists
//   Link=#1A4C8C        ; links
//   [Font]
//   Name=Tahoma         ; headings and links
//   Size=8              ; points, 6 to 10
#include <cstdint>
#include <string>
#include <vector>

constexpr int kMinSkinFontSize = 6;
constexpr int kMaxSkinFontSize = 10;

// Colours as 0x00BBGGRR, the way Windows stores them.
struct TSkin {
    uint32_t Window = 0xF0F0F0;
    uint32_t Text = 0x000000;
    uint32_t Edit = 0xFFFFFF;
    uint32_t EditText = 0x000000;
    uint32_t Link = 0x800000;
    std::string FontName = "Tahoma";
    int FontSize = 8;
};

// Reads a skin file's text; keys missing or spelt wrong keep the values
// of TSkin's defaults. Never throws.
TSkin ParseSkin(const std::string& text);
// "#RRGGBB" to 0x00BBGGRR; false when the text is no such colour.
bool ParseSkinColor(const std::string& text, uint32_t& color);

// The skin names behind a folder's file names: every "<name>.ini" (the
// extension in any case), without the extension, sorted without regard to
// case; other files are left out.
std::vector<std::string> SkinNamesFromFiles(const std::vector<std::string>& fileNames);
