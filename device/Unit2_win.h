#pragma once
// The arrival confirmation window: shows where an import would copy from
// and to, the mask with a preview name, and asks whether to start.
#include <string>

#include "framework/Form.h"

class TOKBottomDlg1 : public fw::Form {
public:
    TOKBottomDlg1();
    ~TOKBottomDlg1() override;

    fw::Panel Panel1;
    fw::Image Image1;
    fw::Label sLabelCaption;
    fw::Label sLabelFX2;
    // How many of the card's files are new and how many were imported
    // before; empty when the history is not asked.
    fw::Label LabelHistory;
    fw::Label sBevel2;
    fw::Label sLabelFX1;
    fw::Label sLabel1, LabelFoto;
    fw::Label sLabel2, LabelPath;
    fw::Label sLabel3, LabelSoub;
    fw::Label sLabel4, LabelMask;
    fw::Label sBevel1;
    fw::Button sBitBtn1;
    fw::Button ButtonOK;
    fw::Button ButtonStorno;
    fw::Timer TimerFlash{600};

    void TimerFlashTimer();
    void sBitBtn1Click();
    // Fills the labels from the job and the settings; flash starts the
    // flashing of the application's window (not on the refresh after the
    // settings were edited).
    void RefreshLabels(bool flash);
    int FlashTicks() const { return flashTicks_; }

protected:
    void FormShow() override;
    void OnEscape() override;

private:
    int flashTicks_ = 0;
    bool flashActive_ = false;
};

extern TOKBottomDlg1* OKBottomDlg1;
