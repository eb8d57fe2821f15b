#include "import/UnitMyDlg_win.h"

#include "framework/Application.h"
#include "settings/Settings.h"

TMyDlg* MyDlg = nullptr;

namespace {
TMessageDlgHook gHook = nullptr;
}

void SetMessageDlgHook(TMessageDlgHook hook) {
    gHook = hook;
}

TMyDlg::TMyDlg() {
    CreateForm({"Dialog", 256, 81});
    HWND h = Handle();
    ImageIcon.Create(this, h, 8, 8, 32, 32);
    LabelText.Create(this, h, "", 48, 8);
    LabelText.SetTextColor(RGB(0, 0, 0));  // black under any skin
    // Created in tab order; all hidden until the layout shows them.
    struct Def { fw::Button* button; const char* caption; int bit; int width; };
    const Def defs[] = {
        {&BtnYes, "&Ano", 0, 75}, {&BtnNo, "&Ne", 1, 75}, {&BtnOK, "&OK", 2, 75}, {&BtnAbort, "A&bort", 4, 75},
        {&BtnCancel, "Z&rušit", 3, 75}, {&BtnIgnore, "&Ignoruj", 6, 75}, {&BtnRetry, "&Znovu", 5, 75},
        {&BtnNoAll, "Ne pro vše", 8, 75}, {&BtnYesAll, "Ano pro vše", 9, 75},
        {&BtnKeepBoth, "Ponechat oba", MsgBtn::kKeepBothBit, 100},
        {&BtnOpenFolder, "Otevřít složku", MsgBtn::kOpenFolderBit, 100},
    };
    for (const Def& d : defs) {
        d.button->Create(this, h, d.caption, 0, 0, d.width, 25);
        d.button->SetVisible(false);
        int result = ButtonResult(d.bit);
        d.button->OnClick = [this, result] { SetModalResult(result); };
    }
}

void TMyDlg::FormShow() {
    Layout();
}

void TMyDlg::Layout() {
    fw::Button* byBit[MsgBtn::kBits] = {&BtnYes,   &BtnNo,     &BtnOK,  &BtnCancel,   &BtnAbort,
                                        &BtnRetry, &BtnIgnore, nullptr, &BtnNoAll,    &BtnYesAll,
                                        nullptr,   &BtnKeepBoth, &BtnOpenFolder};
    for (int k = 0; k < MsgBtn::kBits; ++k) ButtonTable[k] = byBit[k];

    TDlgSizes sizes;
    sizes.iconWidth = ImageIcon.Width();
    sizes.iconHeight = ImageIcon.Height();
    sizes.labelWidth = LabelText.Width();
    sizes.labelHeight = LabelText.Height();
    sizes.buttonWidth = BtnYes.Width();
    sizes.buttonHeight = BtnYes.Height();
    sizes.wideButtonWidth = BtnKeepBoth.Width();
    TDlgLayout l = LayoutMessageDialog(sizes, Buttons, FocusButtons);

    SetClientSize(l.clientWidth, l.clientHeight);
    CenterOnScreen();
    ImageIcon.SetBounds(l.iconLeft, l.iconTop, sizes.iconWidth, sizes.iconHeight);
    LabelText.SetBounds(l.labelLeft, l.labelTop, sizes.labelWidth, sizes.labelHeight);
    for (int k = 0; k < MsgBtn::kBits; ++k) {
        if (!ButtonTable[k]) continue;
        if (l.buttons[k].visible)
            ButtonTable[k]->SetBounds(l.buttons[k].left, l.buttons[k].top, ButtonWidth(sizes, k), sizes.buttonHeight);
        ButtonTable[k]->SetVisible(l.buttons[k].visible);
    }
    if (l.focusBit >= 0 && ButtonTable[l.focusBit]) ButtonTable[l.focusBit]->SetFocus();
}

int MyMessageDlg(const std::string& text, const std::string& caption, TMsgDlgKind kind, TMsgButtons buttons,
                 TMsgButtons focus) {
    if (gHook) return gHook(text, caption, kind, buttons, focus);
    TMyDlg dlg;
    dlg.SetModalResult(fw::mrNone);
    dlg.Buttons = buttons;
    dlg.FocusButtons = focus;
    dlg.SetShowHints(Settings().Hint);
    dlg.SetCaption(caption);
    dlg.LabelText.SetCaption(text);
    static const LPCWSTR icons[] = {IDI_EXCLAMATION, IDI_HAND, IDI_ASTERISK, IDI_QUESTION};
    if (kind < 4) dlg.ImageIcon.SetIcon(LoadIconW(nullptr, icons[kind]));
    return dlg.ShowModal();
}
