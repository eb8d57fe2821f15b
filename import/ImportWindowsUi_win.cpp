#include <windows.h>

#include "app/Unit1.h"
#include "device/Unit2.h"
#include "framework/Application.h"
#include "import/ImportRun.h"
#include "import/UnitMyDlg.h"
#include "import/unitDlgFilecopy.h"

namespace {

// The program's windows as the import engine meets them. The windows are
// created at start-up; a missing one (a test that builds only some)
// declines the import or shows nothing.
class TWindowImportUi : public IImportUi {
public:
    int ConfirmImport() override { return OKBottomDlg1 ? OKBottomDlg1->ShowModal() : fw::mrCancel; }
    void ShowPreparing() override {
        if (!DlgFilecopy) return;
        TDlgFilecopy& d = *DlgFilecopy;
        d.LabelTo.SetText("");
        d.LabelFrom.SetText("");
        d.sProgressBarFile.SetPosition(0);
        d.sProgressBarAll.SetPosition(0);
        d.sLabelCaption.SetText("Příprava ke kopírování. Prosím o chvilku strpení...");
        d.Timer2.SetEnabled(true);
        d.Show();
    }
    void HideProgress() override {
        if (DlgFilecopy) DlgFilecopy->Hide();
    }
    void BeginCopying() override {
        if (!DlgFilecopy) return;
        DlgFilecopy->Timer2.SetEnabled(false);
        DlgFilecopy->sLabelCaption.SetText("Probíhá kopírování fotografií. Prosím čekejte...");
        fw::App().ProcessMessages();
    }
    void SetFileLabels(const std::string& from, const std::string& to) override {
        if (DlgFilecopy) DlgFilecopy->SetPaths(from, to);
    }
    void SetFileBar(int64_t position, int64_t max) override {
        if (DlgFilecopy) DlgFilecopy->SetFileProgress(position, max);
    }
    void OverallChanged() override {
        if (DlgFilecopy) DlgFilecopy->SetOverallProgress(ImportJob().BarPosition, ImportJob().BarMax);
    }
    void SetSpeedTimer(bool on) override {
        if (DlgFilecopy) DlgFilecopy->Timer1.SetEnabled(on);
    }
    void SpeedTick() override {
        if (DlgFilecopy) DlgFilecopy->Timer1Timer();
    }
    int Message(const std::string& text, const std::string& caption, TMsgDlgKind kind, TMsgButtons buttons,
                TMsgButtons focus) override {
        return MyMessageDlg(text, caption, kind, buttons, focus);
    }
    void ProcessMessages() override { fw::App().ProcessMessages(); }
    uint32_t TickCount() override { return GetTickCount(); }
    void SetPreviewTimer(bool on) override {
        if (Form1) Form1->Timer1.SetEnabled(on);
    }
    void SetTitle(const std::string& title) override { fw::App().SetTitle(title); }
};

}  // namespace

IImportUi& WindowImportUi() {
    static TWindowImportUi ui;
    return ui;
}
