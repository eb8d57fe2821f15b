#include "import/MyDlgLayout.h"

#include <gtest/gtest.h>

TEST(MessageDialogLayout, PlacesTextIconAndButtons) {
    struct Case {
        const char* name;
        TDlgSizes sizes;
        TMsgButtons buttons, focus;
        int clientWidth, clientHeight, labelLeft, firstButtonLeft, buttonTop, focusBit;
    } cases[] = {
        // One line of 200 x 13 with OK: the worked example.
        {"error with OK", {32, 32, 200, 13, 75, 25}, MsgBtn::OK, MsgBtn::OK, 256, 81, 48, 82, 48, 2},
        // Five buttons widen a short text to 5 x 83 + 8 and centre it right of the icon.
        {"overwrite question", {32, 32, 100, 13, 75, 25},
         MsgBtn::Yes | MsgBtn::No | MsgBtn::Cancel | MsgBtn::NoAll | MsgBtn::YesAll, MsgBtn::No, 423, 81,
         (423 - 32 - 8 - 100) / 2 + 40, 0, 48, 1},
        // Several lines make it taller; the buttons follow the bottom edge.
        {"three lines", {32, 32, 150, 39, 75, 25}, MsgBtn::Yes | MsgBtn::No, MsgBtn::No, 206, 88, 48, (206 - 174) / 2,
         55, 1},
        // A wide text leaves the button row centred, 8 pixels left of the middle.
        {"wide text", {32, 32, 400, 13, 75, 25}, MsgBtn::OK | MsgBtn::Cancel, MsgBtn::Cancel, 456, 81, 48,
         (456 - 174) / 2, 48, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TDlgLayout l = LayoutMessageDialog(c.sizes, c.buttons, c.focus);
        EXPECT_EQ(l.clientWidth, c.clientWidth);
        EXPECT_EQ(l.clientHeight, c.clientHeight);
        EXPECT_EQ(l.iconLeft, 8);
        EXPECT_EQ(l.iconTop, 8);
        EXPECT_EQ(l.labelLeft, c.labelLeft);
        EXPECT_EQ(l.labelTop, 8);
        EXPECT_EQ(l.focusBit, c.focusBit);
        int x = c.firstButtonLeft;
        for (int k = 0; k < MsgBtn::kBits; ++k) {
            bool shown = (c.buttons >> k) & 1;
            EXPECT_EQ(l.buttons[k].visible, shown) << "bit " << k;
            if (!shown) continue;
            EXPECT_EQ(l.buttons[k].left, x) << "bit " << k;
            EXPECT_EQ(l.buttons[k].top, c.buttonTop) << "bit " << k;
            x += 83;
        }
    }
}

TEST(MessageDialogLayout, HighestFocusBitWinsAndEmptyBitsAreIgnored) {
    TDlgSizes s{32, 32, 100, 13, 75, 25};
    EXPECT_EQ(LayoutMessageDialog(s, MsgBtn::Yes | MsgBtn::No, MsgBtn::Yes | MsgBtn::No).focusBit, 1);
    EXPECT_EQ(LayoutMessageDialog(s, MsgBtn::OK, 0).focusBit, -1);
    // Bits 7 and 10 name no button: never visible, never focused.
    TDlgLayout l = LayoutMessageDialog(s, MsgBtn::OK | (1 << 7), (1 << 10));
    EXPECT_FALSE(l.buttons[7].visible);
    EXPECT_EQ(l.focusBit, -1);
}

TEST(MessageDialogLayout, ButtonResults) {
    const int expected[MsgBtn::kBits] = {6, 7, 1, 2, 3, 4, 5, 0, 9, 10, 0, 12, 13};
    for (int k = 0; k < MsgBtn::kBits; ++k) EXPECT_EQ(ButtonResult(k), expected[k]) << "bit " << k;
}

// Six buttons (the overwrite question with "Ponechat oba", which is wider)
// at 96 and 144 DPI: the row fits the box, no button overlaps the next, and
// the text stays centred right of the icon.
TEST(MessageDialogLayout, SixButtonsWithAWideOneAtTwoScales) {
    const TMsgButtons six = MsgBtn::Yes | MsgBtn::No | MsgBtn::Cancel | MsgBtn::NoAll | MsgBtn::YesAll | MsgBtn::KeepBoth;
    struct Case {
        const char* name;
        TDlgSizes sizes;
        int clientWidth;
    } cases[] = {
        // In 96-DPI units: five buttons of 75 and one of 100, each with its gap.
        {"96 DPI", {32, 32, 180, 26, 75, 25, 100}, 5 * 83 + 108 + 8},
        // At 144 DPI a layout measured in screen pixels: everything half as large again.
        {"144 DPI", {48, 48, 270, 39, 113, 38, 150}, 5 * 121 + 158 + 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TDlgLayout l = LayoutMessageDialog(c.sizes, six, MsgBtn::No);
        EXPECT_EQ(l.clientWidth, c.clientWidth);
        EXPECT_EQ(l.focusBit, 1);
        int right = -8, shown = 0;  // the row may start at the edge, as every row does
        for (int k = 0; k < MsgBtn::kBits; ++k) {
            if (!l.buttons[k].visible) continue;
            ++shown;
            EXPECT_GE(l.buttons[k].left, right + 8) << "bit " << k;
            right = l.buttons[k].left + ButtonWidth(c.sizes, k);
            EXPECT_EQ(l.buttons[k].top, l.clientHeight - c.sizes.buttonHeight - 8);
        }
        EXPECT_EQ(shown, 6);
        EXPECT_EQ(ButtonWidth(c.sizes, MsgBtn::kKeepBothBit), c.sizes.wideButtonWidth);
        EXPECT_TRUE(l.buttons[MsgBtn::kKeepBothBit].visible) << "the last in the row";
        EXPECT_LE(right + 8, l.clientWidth);
        EXPECT_EQ(l.buttons[0].left, (l.clientWidth - c.clientWidth) / 2) << "the row fills the box";
        EXPECT_EQ(l.labelLeft, (l.clientWidth - c.sizes.iconWidth - 8 - c.sizes.labelWidth) / 2 + c.sizes.iconWidth + 8);
    }
}
