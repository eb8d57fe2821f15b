#include "app/Unit3_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include "framework/Application.h"
#include "framework/StringList.h"

TForm3* Form3 = nullptr;

namespace {
const int kPanelHeight = 41;
}

TForm3::TForm3() {
    Form3 = this;
    CreateForm({"Kolibrio 2 - Licence", 480, 400,
                WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN,
                // A window of its own: its taskbar button takes its minimise,
                // which leaves the program and the settings window alone.
                WS_EX_CONTROLPARENT | WS_EX_APPWINDOW});
    sMemo1.Create(this, Handle(), "", 0, 0, 480, 340, true, true);
    sPanel1.Create(this, Handle(), 0, 340, 480, kPanelHeight);
    sBitBtn1.Create(this, sPanel1.Handle(), "OK", 202, 8, 75, 25);
    sBitBtn1.OnClick = [this] { sBitBtn1Click(); };
    sStatusBar1 = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                  Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    Arrange();
}

TForm3::~TForm3() {
    // Other windows reach this one through the global; never leave it dangling.
    if (Form3 == this) Form3 = nullptr;
}

void TForm3::FormShow() {
    CenterOnScreen();
    // A missing file is reported, and the window still opens with what it
    // showed before.
    fw::StringList lines;
    lines.LoadFromFile(fw::App().ExeFolder() + "Licence.txt");
    sMemo1.SetText(lines.Text());
}

void TForm3::sBitBtn1Click() {
    Close();
}

void TForm3::Arrange() {
    SendMessageW(sStatusBar1, WM_SIZE, 0, 0);
    RECT sb;
    GetWindowRect(sStatusBar1, &sb);
    int statusHeight = fw::ScaleFromScreen(sb.bottom - sb.top);
    int w = ClientWidth(), h = ClientHeight();
    int memoHeight = h - statusHeight - kPanelHeight;
    if (memoHeight < 0) memoHeight = 0;
    sMemo1.SetBounds(0, 0, w, memoHeight);
    sPanel1.SetBounds(0, memoHeight, w, kPanelHeight);
    sBitBtn1.SetBounds((w - sBitBtn1.Width()) / 2, 8, sBitBtn1.Width(), sBitBtn1.Height());
}

LRESULT TForm3::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SIZE:
        Arrange();
        break;
    case WM_NCHITTEST: {
        LRESULT hit = DefWindowProcW(Handle(), msg, wp, lp);
        RECT r;
        GetWindowRect(Handle(), &r);
        // Drag the window by any point of the top strip.
        if (hit == HTCLIENT && GET_Y_LPARAM(lp) - r.top <= 25) return HTCAPTION;
        return hit;
    }
    }
    return Form::HandleMessage(msg, wp, lp);
}
