#include "settings/SkinFile.h"

#include <gtest/gtest.h>

TEST(SkinColor, ReadsHashRgbIntoWindowsOrder) {
    uint32_t c = 0;
    ASSERT_TRUE(ParseSkinColor("#112233", c));
    EXPECT_EQ(c, 0x332211u);
    ASSERT_TRUE(ParseSkinColor("  #ffFFfe ", c));
    EXPECT_EQ(c, 0xFEFFFFu);
    for (const char* bad : {"", "#12345", "#1234567", "112233", "#12x456", "#"}) {
        c = 7;
        EXPECT_FALSE(ParseSkinColor(bad, c)) << bad;
        EXPECT_EQ(c, 7u);
    }
}

TEST(SkinFile, ReadsColoursAndFontAndKeepsDefaultsForBadValues) {
    const TSkin skin = ParseSkin(
        "; comment\r\n"
        "[Colors]\r\n"
        "Window = #F3F0E8\r\n"
        "TEXT=#202020 ; trailing comment\r\n"
        "Edit=white\r\n"
        "Link=#1A4C8C\r\n"
        "[Font]\r\n"
        "Name=Verdana\r\n"
        "Size=40\r\n"
        "[Other]\r\n"
        "Window=#000000");
    const TSkin defaults;
    EXPECT_EQ(skin.Window, 0xE8F0F3u);
    EXPECT_EQ(skin.Text, 0x202020u);
    EXPECT_EQ(skin.Edit, defaults.Edit);  // not a colour
    EXPECT_EQ(skin.Link, 0x8C4C1Au);
    EXPECT_EQ(skin.FontName, "Verdana");
    EXPECT_EQ(skin.FontSize, defaults.FontSize);  // out of the usable range
    EXPECT_EQ(ParseSkin("[Font]\nSize=10").FontSize, 10);
    EXPECT_EQ(ParseSkin("[Font]\nSize=11").FontSize, defaults.FontSize);
    EXPECT_EQ(ParseSkin("[Font]\nSize=6").FontSize, 6);
    EXPECT_EQ(ParseSkin("[Font]\nSize=-9").FontSize, defaults.FontSize);
    const TSkin empty = ParseSkin("");
    EXPECT_EQ(empty.Window, defaults.Window);
    EXPECT_EQ(empty.FontName, defaults.FontName);
}

TEST(SkinNames, OnlyIniFilesSortedWithoutRegardToCase) {
    EXPECT_EQ(SkinNamesFromFiles({"zima.ini", "Elegant.INI", "readme.txt", "alfa.ini", ".ini", "x.ini.bak"}),
              (std::vector<std::string>{"alfa", "Elegant", "zima"}));
    EXPECT_TRUE(SkinNamesFromFiles({}).empty());
}
