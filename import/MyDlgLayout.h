#pragma once
// Placement of text, icon and buttons in the program's message box,
// computed from the sizes of its parts. Portable.
#include <array>
#include <cstdint>

using TMsgButtons = uint16_t;

enum TMsgDlgKind : uint8_t { mkWarning = 0, mkError = 1, mkInformation = 2, mkConfirmation = 3, mkCustom = 4 };

// One bit per button; bits 7 and 10 have no button.
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
constexpr int kBits = 11;
constexpr bool HasButton(int bit) { return bit >= 0 && bit < kBits && bit != 7 && bit != 10; }
}  // namespace MsgBtn

struct TDlgSizes {
    int iconWidth = 32, iconHeight = 32;
    int labelWidth = 0, labelHeight = 0;
    int buttonWidth = 75, buttonHeight = 25;
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

TDlgLayout LayoutMessageDialog(const TDlgSizes& sizes, TMsgButtons buttons, TMsgButtons focus);
// The modal result of the button of a bit (0 for bits without a button).
int ButtonResult(int bit);
