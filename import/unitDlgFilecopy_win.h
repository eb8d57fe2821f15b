#pragma once
// The copy progress window of an import run: state text, a bar for the
// file and one for the run, the paths of the file being copied, speed and
// remaining time; Storno (or Esc) cancels after a question.
#include <string>

#include "framework/Form.h"
#include "import/ImportCore.h"

class TDlgFilecopy : public fw::Form {
public:
    TDlgFilecopy();
    ~TDlgFilecopy() override;

    fw::Panel Panel1;
    fw::Label sLabelCaption;
    fw::Label sLabelProgresFile;
    fw::ProgressBar sProgressBarFile;
    fw::Label sLabelProgresAll;
    fw::ProgressBar sProgressBarAll;
    fw::Label LabelTitleZ;
    fw::Label LabelFrom;
    fw::Label LabeltitleDo;
    fw::Label LabelTo;
    fw::Label sLabel1;
    fw::Label LabelSpeed;
    fw::Label sLabel2;
    fw::Label sLabelRemaining;
    fw::Label sBevel1;
    fw::Button ButtonStorno;
    fw::Timer Timer1{1000};
    fw::Timer Timer2{100};

    void FormCreate();
    void ButtonStornoClick();
    void Timer1Timer();
    void Timer2Timer();
    // The last figures of the copy phase, with the run's average speed.
    void FinalTick();

    // The run's figures behind the bars, in bytes (the controls hold
    // scaled 32-bit values).
    void SetFileProgress(int64_t position, int64_t max);
    void SetOverallProgress(int64_t position, int64_t max);
    // Shortens a path to the width of LabelFrom / LabelTo.
    void SetPaths(const std::string& from, const std::string& to);

    // The system's long time format applied to a time of day (milliseconds).
    static std::string FormatTimeOfDay(int64_t ms);

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void FormHide() override;
    void FormClose(fw::CloseAction& action) override;
    void OnEscape() override;

private:
    void ShowFigures(const TProgressFigures& f);

    HFONT boldFont_ = nullptr;
    HFONT captionFont_ = nullptr;
};

extern TDlgFilecopy* DlgFilecopy;
