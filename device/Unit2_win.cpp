#include "device/Unit2_win.h"

#include "app/Unit1_win.h"
#include "framework/Application.h"
#include "framework/Png.h"
#include "import/ImportJob.h"
#include "mask/CaptureDate_win.h"
#include "mask/MaskExpand.h"
#include "mask/MinimizeName.h"
#include "settings/Settings.h"
#include "res/resource.h"

TOKBottomDlg1* OKBottomDlg1 = nullptr;

namespace {

HFONT CaptionFont() {
    static HFONT font = fw::MakeFont(10, FW_BOLD);
    return font;
}

constexpr int kValueWidth = 393;
constexpr char kQuestion[] = "Chcete začít kopírovat fotografie\r\npodle aktuálního nastavení?";

}  // namespace

TOKBottomDlg1::TOKBottomDlg1() {
    OKBottomDlg1 = this;
    CreateForm({"Kolibrio2 - Byl vložen fotoaparát", 520, 256});
    Panel1.Create(this, hwnd_, 0, 0, 520, 256);
    HWND p = Panel1.Handle();

    Image1.Create(this, p, 8, 8, 90, 90);
    int w = 0, h = 0;
    if (HBITMAP bmp = fw::LoadPngResource(IDR_PNG_CAMERA, w, h)) Image1.SetBitmap(bmp, w, h);
    sLabelCaption.Create(this, p, "Byla zaznamenána přítomnost fotoaparátu...", 106, 18, 404, 20, false, SS_CENTER);
    sLabelCaption.SetFont(CaptionFont());
    sLabelFX2.Create(this, p, kQuestion, 106, 48, 404, 30, false, SS_CENTER);
    LabelHistory.Create(this, p, "", 106, 84, 404, 14, false, SS_CENTER);
    sBevel2.Create(this, p, "", 8, 104, 504, 2, false, SS_ETCHEDHORZ);
    sLabelFX1.Create(this, p, "Orientační náhled aktuálního nastavení masky:", 12, 112);

    struct Row {
        fw::Label& title;
        const char* text;
        fw::Label& value;
    } rows[] = {{sLabel1, "Kopírovat z:", LabelFoto},
                {sLabel2, "Do adresáře:", LabelPath},
                {sLabel3, "Jména souborů:", LabelSoub},
                {sLabel4, "Maska:", LabelMask}};
    int top = 134;
    for (Row& r : rows) {
        r.title.Create(this, p, r.text, 12, top, 96, 14, false, SS_RIGHT);
        r.value.Create(this, p, "", 114, top, kValueWidth, 14, false);
        top += 18;
    }
    sBevel1.Create(this, p, "", 8, 212, 504, 2, false, SS_ETCHEDHORZ);
    sBitBtn1.Create(this, p, "Upravit nastavení", 12, 222, 115, 25);
    sBitBtn1.SetHint("Začít kopírovat.");
    ButtonOK.Create(this, p, "Ano", 352, 222, 75, 25);
    ButtonOK.SetHint("Začít kopírovat.");
    ButtonStorno.Create(this, p, "Ne", 436, 222, 75, 25);
    ButtonStorno.SetHint("Přerušit... Teď nechci nic kopírovat.");

    sBitBtn1.OnClick = [this] { sBitBtn1Click(); };
    ButtonOK.OnClick = [this] { SetModalResult(fw::mrOK); };
    ButtonStorno.OnClick = [this] { SetModalResult(fw::mrCancel); };
    TimerFlash.OnTimer = [this] { TimerFlashTimer(); };
    CenterOnScreen();
}

TOKBottomDlg1::~TOKBottomDlg1() {
    // Other windows reach this one through the global; never leave it dangling.
    if (OKBottomDlg1 == this) OKBottomDlg1 = nullptr;
}

void TOKBottomDlg1::FormShow() {
    // The tool tips follow the Hint setting only once the settings window
    // has passed it on; until then they stay as created.
    RefreshLabels(true);
    ButtonOK.SetFocus();
}

void TOKBottomDlg1::OnEscape() {
    SetModalResult(fw::mrCancel);
}

void TOKBottomDlg1::RefreshLabels(bool flash) {
    const TSettings& s = Settings();
    auto fit = [](fw::Label& label, const std::string& path) {
        label.SetText(MinimizeName(path, [&label](const std::string& t) { return label.TextWidth(t); },
                                   label.Width()));
    };
    fit(LabelFoto, ImportJob().SourcePath);
    LabelHistory.SetText(ImportJob().ArrivalSummary);
    // With nothing new there is nothing to ask about; Ano only ends it.
    sLabelFX2.SetText(ImportJob().NothingNew ? "Není co kopírovat." : kQuestion);
    LabelMask.SetText(s.CurrentMask);
    fit(LabelPath, s.Path);
    std::string ignored;
    TMaskInputs inputs{s.DateNameTables,
                       [](const std::string& f, std::string& err) { return CaptureDate(f, err); }, LocalNow};
    LabelSoub.SetText(ExpandMask(SampleFileName, s.CurrentMask, ignored, true, ImportJob().Mask, inputs));
    SetForegroundWindow(fw::App().Handle());
    if (flash) {
        flashTicks_ = 0;
        flashActive_ = false;
        TimerFlash.SetEnabled(true);
    }
}

void TOKBottomDlg1::TimerFlashTimer() {
    ++flashTicks_;
    flashActive_ = FlashWindow(fw::App().Handle(), flashActive_ ? FALSE : TRUE) != FALSE;
    if (flashTicks_ >= 6) TimerFlash.SetEnabled(false);
}

void TOKBottomDlg1::sBitBtn1Click() {
    if (!Form1) return;
    if (Form1->ShowModal() == fw::mrOK) RefreshLabels(false);
}
