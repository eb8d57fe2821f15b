#pragma once
// Placement of text, icon and buttons in the program's message box,
// computed from the sizes of its parts. Portable.
#include <array>
#include <cstdint>

using TMsgButtons = uint16_t;

enum TMsgDlgKind : uint8_t { mkWarning = 0, mkError = 1, mkInformation = 2, mkConfirmation = 3, mkCustom = 4 };

// One bit per button; bits 7 and 10 have no button. The buttons of bits 11
// and up carry longer captions and are wider than the others.
namespace MsgBtn {
constexpr TMsgButtons Yes = 1 << 0;
constexpr TMsgButtons No = 1 << 1;
constexpr TMsgButtons OK = 1 << 2;
constexpr TMsgButtons Cancel = 1 << 3;
constexpr TMsgButtons Abort = 1 << 4;
constexpr TMsgButtons Retry = 1 << 5;
constexpr TMsgButtons Ignore = 1 << 6;
constexpr TMsgButtons NoAll = 1 << 8;
constexpr TMsgButtons YesAll = 1 << 9;
constexpr int kKeepBothBit = 11;
constexpr int kOpenFolderBit = 12;
constexpr TMsgButtons KeepBoth = 1 << kKeepBothBit;      // "Ponechat oba"
constexpr TMsgButtons OpenFolder = 1 << kOpenFolderBit;  // "Otevřít složku"
constexpr int kBits = 13;
constexpr int kFirstWideBit = 11;
constexpr bool HasButton(int bit) { return bit >= 0 && bit < kBits && bit != 7 && bit != 10; }
}  // namespace MsgBtn

struct TDlgSizes {
    int iconWidth = 32, iconHeight = 32;
    int labelWidth = 0, labelHeight = 0;
    int buttonWidth = 75, buttonHeight = 25;
    int wideButtonWidth = 0;  // the buttons from kFirstWideBit on; 0: as wide as the others
};

struct TDlgLayout {
    int clientWidth = 0, clientHeight = 0;
    int iconLeft = 0, iconTop = 0;
    int labelLeft = 0, labelTop = 0;
    struct Button {
        bool visible = false;
        int left = 0, top = 0;
    };
    std::array<Button, MsgBtn::kBits> buttons;  // indexed by bit
    int focusBit = -1;                          // the button that ends up focused, -1 for none
};

// Every button stands 8 pixels from the next; the row is as wide as its
// buttons and their gaps, plus 8.
TDlgLayout LayoutMessageDialog(const TDlgSizes& sizes, TMsgButtons buttons, TMsgButtons focus);
// The width of a bit's button in these sizes.
int ButtonWidth(const TDlgSizes& sizes, int bit);
// The modal result of the button of a bit (0 for bits without a button).
int ButtonResult(int bit);
