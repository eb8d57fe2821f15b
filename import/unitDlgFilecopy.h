#pragma once
// The copy progress window of an import run.
#include "framework/Form.h"

class TDlgFilecopy : public fw::Form {
public:
    TDlgFilecopy();
};

extern TDlgFilecopy* DlgFilecopy;
