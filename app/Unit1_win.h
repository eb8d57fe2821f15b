#pragma once
// The main window: hidden at start, it owns the tray icon and menu, the
// timers, the single-instance guard and the lists, and is at the same time
// the settings window.
#include <memory>
#include <string>
#include <vector>

#include "app/OneInstance_win.h"
#include "app/TrayIkona_win.h"
#include "framework/Form.h"
#include "import/PathDialog_win.h"
#include "net/OnlineCheck_win.h"
#include "settings/SettingsWindow_win.h"

class TForm1 : public fw::Form {
public:
    TForm1();
    ~TForm1() override;

    std::unique_ptr<TOneInstance> OneInstance1;
    TTrayIkona TrayIkona1;
    fw::PopupMenu PopupMenu1;
    fw::Timer Timer1{500};
    fw::Timer Timer2{60000};
    TPathDialog sPathDialog2;  // the folder of "Zpracovat fotografie ze složky..."
    TOnlineCheck OnlineCheck;  // owns HTTPGet1 and HTTPGet2
    // The pages of the settings window; none in a copy that handed over.
    std::unique_ptr<TSettingsWindow> SettingsWindow;

    void ShowSettingsWindow();
    // Runs one online check (usage report and version query).
    void RunOnlineCheck();
    // Set when this copy handed over to a running one and is ending.
    bool HandedOver() const { return handedOver_; }

    // Handlers.
    void FormCreate();
    void FormDestroy();
    void TrayIkona1DblClick();
    void MenuSettingClick();
    void Load1Click();
    void MenuUkoncitClick();
    void OneInstance1InstanceStarted(TOneInstance* Sender, const std::vector<std::string>& params);
    void OneInstance1CloseRequested(TOneInstance* Sender);
    void ApplicationEvents1Minimize();
    void Timer1Timer();
    void Timer2Timer();
    LRESULT WMDeviceChange(WPARAM wp, LPARAM lp);

    bool PreTranslateKey(MSG& msg) override;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void FormShow() override;
    void FormClose(fw::CloseAction& action) override;
    void OnEscape() override;

private:
    bool handedOver_ = false;
};

extern TForm1* Form1;
