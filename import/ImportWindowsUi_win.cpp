#include <windows.h>

#include <shellapi.h>

#include "app/Unit1_win.h"
#include "device/Unit2_win.h"
#include "framework/Application.h"
#include "framework/Strings.h"
#include "import/ImportRun_win.h"
#include "import/UnitMyDlg_win.h"
#include "import/unitDlgFilecopy_win.h"

namespace {

// The screen changes no more often than a person can follow: the figures of
// the copy are kept here as the engine reports them and reach the controls
// at most every kShowMs, and always at the end of the run, before a
// question, and at the end of a file whose progress was on screen.
constexpr uint32_t kShowMs = 50;
// Window events are serviced at most this often: often enough that Storno,
// Esc and the timers answer at once, while a card of small files does not
// pay a round trip to the Wine server for each of its calls.
constexpr uint32_t kServiceMs = 10;

// The program's windows as the import engine meets them. The windows are
// created at start-up; a missing one (a test that builds only some)
// declines the import or shows nothing.
class TWindowImportUi : public IImportUi {
public:
    int ConfirmImport() override { return OKBottomDlg1 ? OKBottomDlg1->ShowModal() : fw::mrCancel; }
    void ShowPreparing() override {
        copying_ = false;
        servicedAt_ = GetTickCount() - kServiceMs;  // the window paints at the next service
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
        copying_ = false;
        if (DlgFilecopy) DlgFilecopy->Hide();
    }
    void BeginCopying() override {
        copying_ = true;
        from_.clear();
        to_.clear();
        filePosition_ = fileMax_ = 0;
        dirty_ = true;
        fileOnScreen_ = false;
        shownAt_ = GetTickCount() - kShowMs;
        if (!DlgFilecopy) return;
        DlgFilecopy->Timer2.SetEnabled(false);
        DlgFilecopy->sLabelCaption.SetText("Probíhá kopírování fotografií. Prosím čekejte...");
        fw::App().ProcessMessages();
        servicedAt_ = GetTickCount();
    }
    void SetFileLabels(const std::string& from, const std::string& to) override {
        from_ = from;
        to_ = to;
        fileOnScreen_ = false;
        dirty_ = true;
    }
    void SetChecking(bool on) override {
        if (DlgFilecopy)
            DlgFilecopy->sLabelCaption.SetText(on ? "Probíhá ověřování kopie. Prosím čekejte..."
                                                  : "Probíhá kopírování fotografií. Prosím čekejte...");
    }
    void SetFileBar(int64_t position, int64_t max) override {
        filePosition_ = position;
        fileMax_ = max;
        dirty_ = true;
    }
    // The engine reports the overall bar after the file bar of the same step.
    void OverallChanged() override {
        dirty_ = true;
        const bool fileEnds = fileMax_ > 0 && filePosition_ == fileMax_;
        Show(fileEnds && fileOnScreen_);
    }
    void SetSpeedTimer(bool on) override {
        if (DlgFilecopy) DlgFilecopy->Timer1.SetEnabled(on);
    }
    // Runs once when the copy phase ends: the last figures go on screen
    // with the final speed.
    void SpeedTick() override {
        Show(true);
        if (DlgFilecopy) DlgFilecopy->FinalTick();
    }
    int Message(const std::string& text, const std::string& caption, TMsgDlgKind kind, TMsgButtons buttons,
                TMsgButtons focus) override {
        Show(true);
        return MyMessageDlg(text, caption, kind, buttons, focus);
    }
    void ProcessMessages() override {
        const uint32_t now = GetTickCount();
        if (now - servicedAt_ < kServiceMs) return;
        Show(false);
        fw::App().ProcessMessages();
        servicedAt_ = GetTickCount();
    }
    uint32_t TickCount() override { return GetTickCount(); }
    void SetPreviewTimer(bool on) override {
        if (Form1) Form1->Timer1.SetEnabled(on);
    }
    void SetTitle(const std::string& title) override { fw::App().SetTitle(title); }
    // Explorer, or whatever the user has made the program for folders.
    void OpenFolder(const std::string& folder) override {
        ShellExecuteW(fw::App().Handle(), L"open", fw::Wide(folder).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }

private:
    // Brings the controls to the kept figures when force, or when the last
    // time was kShowMs ago; only what differs is sent.
    void Show(bool force) {
        if (!copying_ || !dirty_ || !DlgFilecopy) return;
        const uint32_t now = GetTickCount();
        if (!force && now - shownAt_ < kShowMs) return;
        TDlgFilecopy& d = *DlgFilecopy;
        d.SetPaths(from_, to_);
        d.SetFileProgress(filePosition_, fileMax_);
        d.SetOverallProgress(ImportJob().BarPosition, ImportJob().BarMax);
        fileOnScreen_ = fileMax_ > 0 && filePosition_ < fileMax_;
        dirty_ = false;
        shownAt_ = now;
    }

    bool copying_ = false;
    std::string from_, to_;
    int64_t filePosition_ = 0, fileMax_ = 0;
    bool dirty_ = false;
    // The current file's bar is on screen short of its end: its end is shown
    // at once, so no bar the user saw moving stops short of full.
    bool fileOnScreen_ = false;
    uint32_t shownAt_ = 0;
    uint32_t servicedAt_ = 0;
};

}  // namespace

IImportUi& WindowImportUi() {
    static TWindowImportUi ui;
    return ui;
}
