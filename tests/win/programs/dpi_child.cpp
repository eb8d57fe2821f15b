// Reports how a form and a button of the framework come out on this
// screen, for the resolution test: one line "dpi physical-width
// physical-height logical-width logical-height client-width" on stdout.
#include <windows.h>

#include <cstdio>

#include "framework/Application.h"
#include "framework/Form.h"

namespace {

class Probe : public fw::Form {
public:
    Probe() {
        CreateForm({"Probe", 300, 200});
        button.Create(this, Handle(), "OK", 8, 8, 75, 25);
    }
    fw::Button button;
};

}  // namespace

int wmain() {
    fw::App().Initialize(GetModuleHandleW(nullptr));
    Probe probe;
    RECT r;
    GetWindowRect(probe.button.Handle(), &r);
    HDC dc = GetDC(nullptr);
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    std::printf("%d %ld %ld %d %d %d\n", dpi, r.right - r.left, r.bottom - r.top, probe.button.Width(),
                probe.button.Height(), probe.ClientWidth());
    return 0;
}
