#include "device/Unit2.h"

TOKBottomDlg1* OKBottomDlg1 = nullptr;

TOKBottomDlg1::TOKBottomDlg1() {
    OKBottomDlg1 = this;
    CreateForm({"Kolibrio2 - Byl vložen fotoaparát", 420, 260});
}
