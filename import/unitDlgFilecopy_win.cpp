#include "import/unitDlgFilecopy_win.h"

#include <commctrl.h>

#include "framework/Application.h"
#include "framework/Strings.h"
#include "import/ImportCore.h"
#include "import/ImportJob.h"
#include "import/UnitMyDlg_win.h"
#include "mask/MinimizeName.h"
#include "settings/Settings.h"

TDlgFilecopy* DlgFilecopy = nullptr;

namespace {

constexpr int kPathWidth = 433;

}  // namespace

TDlgFilecopy::TDlgFilecopy() {
    DlgFilecopy = this;
    CreateForm({"Kolibrio2 - průběh kopírování, prosím čekejte...", 481, 226,
                WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT});
    // Made once for the process, as the default font is.
    static HFONT boldFont = fw::MakeFont(8, FW_BOLD);
    static HFONT captionFont = fw::MakeFont(10, FW_BOLD);
    boldFont_ = boldFont;
    captionFont_ = captionFont;

    Panel1.Create(this, hwnd_, 0, 0, 481, 226);
    HWND p = Panel1.Handle();
    sLabelCaption.Create(this, p, "Příprava ke kopírování. Prosím o chvilku strpení...", 8, 8, 465, 18, false,
                         SS_CENTER);
    sLabelCaption.SetFont(captionFont_);
    sLabelProgresFile.Create(this, p, "Průběh kopírování souboru:", 12, 34);
    sProgressBarFile.Create(this, p, 12, 50, 457, 16);
    sLabelProgresAll.Create(this, p, "Celkový průběh:", 12, 74);
    sLabelProgresAll.SetFont(boldFont_);
    sLabelProgresAll.SizeToText();
    sProgressBarAll.Create(this, p, 12, 90, 457, 16);
    LabelTitleZ.Create(this, p, "Z:", 12, 116);
    LabelTitleZ.SetFont(boldFont_);
    LabelTitleZ.SizeToText();
    LabelFrom.Create(this, p, "", 36, 116, kPathWidth, 14, false);
    LabeltitleDo.Create(this, p, "Do:", 12, 134);
    LabeltitleDo.SetFont(boldFont_);
    LabeltitleDo.SizeToText();
    LabelTo.Create(this, p, "", 36, 134, kPathWidth, 14, false);
    sLabel1.Create(this, p, "Rychlost:", 12, 158);
    sLabel1.SetFont(boldFont_);
    sLabel1.SizeToText();
    LabelSpeed.Create(this, p, "0 KB/s", 72, 158, 150, 14, false);
    sLabel2.Create(this, p, "Zbývá času:", 250, 158);
    sLabel2.SetFont(boldFont_);
    sLabel2.SizeToText();
    sLabelRemaining.Create(this, p, "0:00:00", 330, 158, 120, 14, false);
    sBevel1.Create(this, p, "", 8, 182, 465, 2, false, SS_ETCHEDHORZ);
    ButtonStorno.Create(this, p, "Storno", 203, 192, 75, 25);
    ButtonStorno.SetHint("Přerušit kopírování.");
    ButtonStorno.OnClick = [this] { ButtonStornoClick(); };
    Timer1.OnTimer = [this] { Timer1Timer(); };
    Timer2.OnTimer = [this] { Timer2Timer(); };
    CenterOnScreen();
    FormCreate();
}

TDlgFilecopy::~TDlgFilecopy() {
    Timer1.SetEnabled(false);
    Timer2.SetEnabled(false);
    if (DlgFilecopy == this) DlgFilecopy = nullptr;
}

void TDlgFilecopy::FormCreate() {
    LabelFrom.SetText("");
    LabelTo.SetText("");
    sProgressBarFile.SetPosition(0);
    sProgressBarAll.SetPosition(0);
}

void TDlgFilecopy::FormHide() {
    fw::App().SetTitle("Kolibrio 2");
}

void TDlgFilecopy::OnEscape() {
    ButtonStornoClick();
}

// The close box and Alt+F4 are Storno: hiding the window would leave the
// copy running unseen, and its result box would come out of nowhere.
void TDlgFilecopy::FormClose(fw::CloseAction& action) {
    action = fw::CloseAction::None;
    ButtonStornoClick();
}

LRESULT TDlgFilecopy::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_MINIMIZE) {
        // The whole application goes to the taskbar; the import goes on.
        EnableWindow(fw::App().Handle(), TRUE);
        fw::App().Minimize();
        return 0;
    }
    return Form::HandleMessage(msg, wp, lp);
}

void TDlgFilecopy::ButtonStornoClick() {
    if (MyMessageDlg("Opravdu chcete kopírování přerušit?", "Kolibrio2 - Otázka", mkConfirmation,
                     MsgBtn::Yes | MsgBtn::No, MsgBtn::No) == fw::mrYes) {
        ImportJob().Cancelled = true;
        Hide();
    }
}

namespace {

// A bar's range and position, each sent only when it differs from what the
// control holds: under Wine every change repaints the bar at once.
void SetBar(fw::ProgressBar& bar, int64_t position, int64_t max) {
    TBarScale scale(max);
    const int32_t m = scale(max), p = scale(position);
    if (bar.Max() != m) bar.SetMax(m);
    if (bar.Position() != p) bar.SetPosition(p);
}

void SetLabel(fw::Label& label, const std::string& text) {
    if (label.Text() != text) label.SetText(text);
}

}  // namespace

void TDlgFilecopy::SetFileProgress(int64_t position, int64_t max) { SetBar(sProgressBarFile, position, max); }

void TDlgFilecopy::SetOverallProgress(int64_t position, int64_t max) { SetBar(sProgressBarAll, position, max); }

void TDlgFilecopy::SetPaths(const std::string& from, const std::string& to) {
    auto fit = [](fw::Label& label, const std::string& path) {
        SetLabel(label, MinimizeName(path, [&label](const std::string& t) { return label.TextWidth(t); },
                                     label.Width()));
    };
    fit(LabelFrom, from);
    fit(LabelTo, to);
}

std::string TDlgFilecopy::FormatTimeOfDay(int64_t ms) {
    SYSTEMTIME st{};
    st.wYear = 1899;
    st.wMonth = 12;
    st.wDay = 30;
    int64_t seconds = ms / 1000;
    st.wHour = static_cast<WORD>(seconds / 3600);
    st.wMinute = static_cast<WORD>(seconds / 60 % 60);
    st.wSecond = static_cast<WORD>(seconds % 60);
    st.wMilliseconds = static_cast<WORD>(ms % 1000);
    wchar_t buf[64] = {};
    if (!GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, buf, 64)) return std::string();
    return fw::Utf8(buf);
}

void TDlgFilecopy::Timer1Timer() {
    const TImportJob& job = ImportJob();
    ShowFigures(ComputeProgress(GetTickCount() - job.StartTick, job.BarPosition, job.BarMax));
}

void TDlgFilecopy::FinalTick() {
    const TImportJob& job = ImportJob();
    ShowFigures(FinalProgress(GetTickCount() - job.StartTick, job.Tally.CopiedBytes, job.BarPosition, job.BarMax));
}

void TDlgFilecopy::ShowFigures(const TProgressFigures& f) {
    if (f.speedKBs) LabelSpeed.SetText(std::to_string(*f.speedKBs) + " KB/s");
    if (f.remainingMs) {
        std::string text = FormatTimeOfDay(DurationAsTimeOfDay(*f.remainingMs));
        if (!text.empty()) sLabelRemaining.SetText(text);
    }
    if (f.percent) fw::App().SetTitle(std::to_string(*f.percent) + "% - Kolibrio 2");
}

void TDlgFilecopy::Timer2Timer() {
    // The control starts again from its minimum when a step passes the end.
    sProgressBarAll.SetMax(100);
    SendMessageW(sProgressBarAll.Handle(), PBM_SETSTEP, 4, 0);
    SendMessageW(sProgressBarAll.Handle(), PBM_STEPIT, 0, 0);
    fw::App().ProcessMessages();
}
