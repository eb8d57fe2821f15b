#pragma once
// The arrival confirmation window: asks whether to import a card.
#include "framework/Form.h"

class TOKBottomDlg1 : public fw::Form {
public:
    TOKBottomDlg1();
};

extern TOKBottomDlg1* OKBottomDlg1;
