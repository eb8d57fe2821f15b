#include "import/MyDlgLayout.h"

#include <algorithm>

int ButtonResult(int bit) {
    static const int results[MsgBtn::kBits] = {6, 7, 1, 2, 3, 4, 5, 0, 9, 10, 0, 12, 13};
    return bit >= 0 && bit < MsgBtn::kBits ? results[bit] : 0;
}

int ButtonWidth(const TDlgSizes& s, int bit) {
    return bit >= MsgBtn::kFirstWideBit && s.wideButtonWidth > 0 ? s.wideButtonWidth : s.buttonWidth;
}

TDlgLayout LayoutMessageDialog(const TDlgSizes& s, TMsgButtons buttons, TMsgButtons focus) {
    TDlgLayout l;
    l.iconLeft = 8;
    l.iconTop = 8;
    l.labelTop = 8;
    l.clientWidth = s.iconWidth + s.labelWidth + 24;
    l.clientHeight = std::max(s.labelHeight + s.buttonHeight + 24, s.iconHeight + s.buttonHeight + 24);

    int row = 8;
    for (int k = 0; k < MsgBtn::kBits; ++k)
        if (buttons & (1u << k)) row += ButtonWidth(s, k) + 8;
    l.clientWidth = std::max(l.clientWidth, row);

    // Centres the text in the area right of the icon.
    l.labelLeft = (l.clientWidth - s.iconWidth - 8 - s.labelWidth) / 2 + s.iconWidth + 8;

    int x = (l.clientWidth - row) / 2;
    for (int k = 0; k < MsgBtn::kBits; ++k) {
        if (!(buttons & (1u << k))) continue;
        l.buttons[k].left = x;
        l.buttons[k].top = l.clientHeight - s.buttonHeight - 8;
        x += ButtonWidth(s, k) + 8;
    }
    for (int k = 0; k < MsgBtn::kBits; ++k) l.buttons[k].visible = (buttons & (1u << k)) && MsgBtn::HasButton(k);
    // Each focus bit takes the focus in turn, so the highest one keeps it.
    for (int k = 0; k < MsgBtn::kBits; ++k)
        if ((focus & (1u << k)) && MsgBtn::HasButton(k)) l.focusBit = k;
    return l;
}
