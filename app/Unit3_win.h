#pragma once
// The licence window: shows Licence.txt from beside the executable.
#include "framework/Form.h"

class TForm3 : public fw::Form {
public:
    TForm3();
    ~TForm3() override;

    fw::Edit sMemo1;
    fw::Panel sPanel1;
    fw::Button sBitBtn1;
    HWND sStatusBar1 = nullptr;

    void sBitBtn1Click();

protected:
    void FormShow() override;
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Arrange();
};

extern TForm3* Form3;
