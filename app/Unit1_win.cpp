#include "app/Unit1_win.h"

#include <dbt.h>

#include "device/DeviceChange_win.h"
#include "framework/Application.h"
#include "settings/SkinFolder_win.h"
#include "import/ImportJob.h"
#include "import/ImportRun_win.h"
#include "import/UnitMyDlg_win.h"
#include "settings/Settings.h"
#include "settings/SettingsStore_win.h"
#include "res/resource.h"

TForm1* Form1 = nullptr;

namespace {

// The small pictures of the tray menu, kept for the life of the process.
HICON MenuIcon(int id) {
    return static_cast<HICON>(LoadImageW(fw::App().Instance(), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, LR_SHARED));
}

}  // namespace

TForm1::TForm1() {
    Form1 = this;
    CreateForm({"Kolibrio 2 - nastavení", 560, 400});

    // The components as the window's description sets them up.
    TrayIkona1.SetIcon(LoadIconW(fw::App().Instance(), MAKEINTRESOURCEW(IDI_KOLIBRIO)));
    TrayIkona1.SetHint("Kolibrio 2");
    TrayIkona1.SetHideTask(true);
    TrayIkona1.SetPopupMenu(&PopupMenu1);
    TrayIkona1.OnDblClick = [this](void*) { TrayIkona1DblClick(); };
    PopupMenu1.AddItem("Nastavení...", [this] { MenuSettingClick(); }, true, MenuIcon(IDI_KOLIBRIO));
    PopupMenu1.AddItem("Zpracovat fotografie ze složky...", [this] { Load1Click(); }, false, MenuIcon(IDI_MENU_FOLDER));
    PopupMenu1.AddItem("Ukončit", [this] { MenuUkoncitClick(); }, false, MenuIcon(IDI_MENU_EXIT));
    Timer1.OnTimer = [this] { Timer1Timer(); };
    Timer2.OnTimer = [this] { Timer2Timer(); };
    OnlineCheck.StopTimer2 = [this] { Timer2.SetEnabled(false); };
    fw::App().OnMinimize = [this] { ApplicationEvents1Minimize(); };
    TrayIkona1.Loaded();

    // A second copy hands its command line to the first and ends here,
    // before FormCreate.
    OneInstance1 = std::make_unique<TOneInstance>();
    OneInstance1->IdentString = "Kolibrio2_TB-Venor";
    OneInstance1->ShowOnNewInstance = false;
    OneInstance1->UseHaltToExit = true;
    OneInstance1->OnInstanceStarted = [this](TOneInstance* sender, const std::vector<std::string>& params) {
        OneInstance1InstanceStarted(sender, params);
    };
    OneInstance1->OnCloseRequested = [this](TOneInstance* sender) { OneInstance1CloseRequested(sender); };
    if (!OneInstance1->Loaded()) {
        handedOver_ = true;
        return;
    }

    SettingsWindow = std::make_unique<TSettingsWindow>(*this);
    // The live preview and the import share one naming state, so a run
    // starts from the counters the previews left and resets them itself.
    SettingsWindow->UseMaskState(ImportJob().Mask);
    Timer1.SetEnabled(true);
    FormCreate();
}

TForm1::~TForm1() {
    FormDestroy();
    if (Form1 == this) Form1 = nullptr;
}

void TForm1::FormCreate() {
    // A missing, mistyped or unwritable counter only means the start is not
    // counted.
    IncrementCounter("runcount");
    fw::App().SetTitle("Kolibrio 2");
    TrayIkona1.SetIconVisible(true);
    SkinFolder().SetDirectory(fw::App().ExeFolder() + "skins\\");
    LoadSettings();
    Timer2.SetEnabled(Settings().AutoUpdate);
    if (Timer2.Enabled()) RunOnlineCheck();
}

void TForm1::FormDestroy() {
    Timer1.SetEnabled(false);
    Timer2.SetEnabled(false);
}

void TForm1::ShowSettingsWindow() {
    Show();
    SetForegroundWindow(fw::App().Handle());
}

void TForm1::TrayIkona1DblClick() {
    ShowSettingsWindow();
}

void TForm1::MenuSettingClick() {
    ShowSettingsWindow();
}

void TForm1::Load1Click() {
    // A running import answers no second one, not even with the dialog.
    if (ImportJob().Running) return;
    sPathDialog2.Caption = "Zvolte adresář se soubory které chcete zpracovat";
    if (sPathDialog2.Execute(Handle())) StartImport(sPathDialog2.Directory);
}

void TForm1::MenuUkoncitClick() {
    if (MyMessageDlg("Opravdu chcete ukončit aplikaci Kolibrio 2 ?", "Kolibrio2 - Otázka", mkConfirmation,
                     MsgBtn::Yes | MsgBtn::No, MsgBtn::No) == fw::mrYes)
        fw::App().Terminate();
}

void TForm1::OneInstance1InstanceStarted(TOneInstance*, const std::vector<std::string>&) {
    MyMessageDlg("Aplikace Kolibrio 2 je již spuštěna.", "Kolibrio2", mkInformation, MsgBtn::OK, MsgBtn::OK);
}

void TForm1::OneInstance1CloseRequested(TOneInstance*) {
    // The uninstaller or an upgrade waits for the program to go: it ends as
    // "Ukončit" ends it, without the question. A run in progress sees the
    // end and stops as cancelled, removing the copy it was writing, and every
    // open box answers as if closed.
    fw::App().Terminate();
}

void TForm1::ApplicationEvents1Minimize() {
    // Shown modally it is the box the arrival window waits on: it goes and
    // comes back with the program, still waiting for OK or Cancel.
    if (!Modal()) Hide();
}

void TForm1::Timer1Timer() {
    if (SettingsWindow) SettingsWindow->Timer1Timer();
}

void TForm1::Timer2Timer() {
    Timer2.SetInterval(3600000);
    RunOnlineCheck();
}

void TForm1::RunOnlineCheck() {
    OnlineCheck.RunOnlineCheck();
}

LRESULT TForm1::WMDeviceChange(WPARAM wp, LPARAM lp) {
    TDeviceChangeDecision decision = DecideDeviceChangeMessage(wp, lp, Settings().AutoRecognize);
    // The whole import runs inside this handler; StartImport refuses a
    // second card that arrives while one is being imported.
    if (!decision.importPath.empty()) StartImport(decision.importPath);
    return decision.result;
}

LRESULT TForm1::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_DEVICECHANGE:
        return WMDeviceChange(wp, lp);
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // Logging off ends the program like "Ukončit", without the question,
        // so the tray icon is removed and nothing is saved.
        if (wp) fw::App().Terminate();
        return 0;
    }
    return Form::HandleMessage(msg, wp, lp);
}

void TForm1::FormShow() {
    SetShowHints(Settings().Hint);
    if (SettingsWindow) SettingsWindow->FormShow();
}

void TForm1::FormClose(fw::CloseAction& action) {
    // Shown on its own the window only hides; shown modally the close ends
    // the modal display.
    if (!Modal()) action = fw::CloseAction::Hide;
}

void TForm1::OnEscape() {
    // Esc is the Cancel button.
    if (SettingsWindow)
        SettingsWindow->ButtonStornoClick();
    else
        Hide();
}

bool TForm1::PreTranslateKey(MSG& msg) {
    if (SettingsWindow && SettingsWindow->PreTranslateKey(msg)) return true;
    return Form::PreTranslateKey(msg);
}
