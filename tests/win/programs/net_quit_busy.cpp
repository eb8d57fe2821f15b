// Starts an online check against 127.0.0.1, lets its transfers hang on the
// test's server for a while, then ends the way the program does: the
// check is destroyed and WinMain returns. Exit code 0 when all went so.
#include <windows.h>

#include "framework/Application.h"
#include "net/OnlineCheck_win.h"

namespace {

void PumpFor(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    fw::App().Initialize(instance);
    {
        TOnlineCheck check;
        check.Host = "127.0.0.1";
        check.IsConnected = [] { return true; };
        check.RunOnlineCheck();
        if (!check.HTTPGet1.Busy() || !check.HTTPGet2.Busy()) return 2;
        PumpFor(2000);
        // The server still holds both: the user quits now.
        if (!check.HTTPGet1.Busy() || !check.HTTPGet2.Busy()) return 3;
    }
    PumpFor(200);
    return 0;
}
