#pragma once
// The program's message box: every question and report goes through
// MyMessageDlg, which shows a TMyDlg modally and returns the pressed
// button's result (6 Yes, 7 No, 1 OK, 2 Cancel or the close box, ...).
#include <array>
#include <string>

#include "framework/Form.h"
#include "import/MyDlgLayout.h"

class TMyDlg : public fw::Form {
public:
    TMyDlg();

    fw::Label LabelText;
    fw::Image ImageIcon;
    fw::Button BtnYes, BtnNo, BtnOK, BtnAbort, BtnCancel, BtnIgnore, BtnRetry, BtnNoAll, BtnYesAll;
    fw::Button BtnKeepBoth, BtnOpenFolder;  // wider: their captions are longer
    TMsgButtons Buttons = 0;
    TMsgButtons FocusButtons = 0;
    std::array<fw::Button*, MsgBtn::kBits> ButtonTable{};

protected:
    void FormShow() override;

private:
    void Layout();
};

int MyMessageDlg(const std::string& text, const std::string& caption, TMsgDlgKind kind, TMsgButtons buttons,
                 TMsgButtons focus);

// Test seam: when set, MyMessageDlg calls it instead of showing a window.
// Scripted import runs and benchmarks answer questions through it.
using TMessageDlgHook = int (*)(const std::string& text, const std::string& caption, TMsgDlgKind kind,
                                TMsgButtons buttons, TMsgButtons focus);
void SetMessageDlgHook(TMessageDlgHook hook);

extern TMyDlg* MyDlg;
