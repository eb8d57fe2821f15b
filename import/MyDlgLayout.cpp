#include "import/MyDlgLayout.h"

#include <algorithm>

int ButtonResult(int bit) {
    static const int results[MsgBtn::kBits] = {6, 7, 1, 2, 3, 4, 5, 0, 9, 10, 0};
    return bit >= 0 && bit < MsgBtn::kBits ? results[bit] : 0;
}

TDlgLayout LayoutMessageDialog(const TDlgSizes& s, TMsgButtons buttons, TMsgButtons focus) {
    TDlgLayout l;
    const int b = s.buttonWidth + 8;
    l.iconLeft = 8;
    l.iconTop = 8;
    l.labelTop = 8;
    l.clientWidth = s.iconWidth + s.labelWidth + 24;
    l.clientHeight = std::max(s.labelHeight + s.buttonHeight + 24, s.iconHeight + s.buttonHeight + 24);

    int n = 0;
    for (int k = 0; k < MsgBtn::kBits; ++k)
        if (buttons & (1u << k)) ++n;
    l.clientWidth = std::max(l.clientWidth, n * b + 8);

    // Centres the text in the area right of the icon.
    l.labelLeft = (l.clientWidth - s.iconWidth - 8 - s.labelWidth) / 2 + s.iconWidth + 8;

    int x = (l.clientWidth - (n * b + 8)) / 2;
    for (int k = 0; k < MsgBtn::kBits; ++k) {
        if (!(buttons & (1u << k))) continue;
        l.buttons[k].left = x;
        l.buttons[k].top = l.clientHeight - s.buttonHeight - 8;
        x += s.buttonWidth + 8;
    }
    for (int k = 0; k < MsgBtn::kBits; ++k) l.buttons[k].visible = (buttons & (1u << k)) && MsgBtn::HasButton(k);
    // Each focus bit takes the focus in turn, so the highest one keeps it.
    for (int k = 0; k < MsgBtn::kBits; ++k)
        if ((focus & (1u << k)) && MsgBtn::HasButton(k)) l.focusBit = k;
    return l;
}
