#include "import/unitDlgFilecopy.h"

TDlgFilecopy* DlgFilecopy = nullptr;

TDlgFilecopy::TDlgFilecopy() {
    DlgFilecopy = this;
    CreateForm({"Kolibrio2 - průběh kopírování, prosím čekejte...", 420, 200});
}
