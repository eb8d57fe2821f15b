// Kolibrio 2: imports photos from cameras, cards and folders into the
// picture archive, named by the user's mask.
#include <windows.h>
#include <ole2.h>

#include <memory>

#include "app/Unit1_win.h"
#include "app/Unit3_win.h"
#include "device/Unit2_win.h"
#include "framework/Application.h"
#include "framework/UiThread.h"
#include "import/UnitMyDlg_win.h"
#include "import/unitDlgFilecopy_win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // The folder dialog of the tray menu uses the new dialog style, which
    // the platform runs on OLE initialised in the calling thread: done once
    // here, on the user-interface thread, for the program's whole life.
    const bool ole = SUCCEEDED(OleInitialize(nullptr));
    struct OleSession {
        bool on;
        ~OleSession() {
            if (on) OleUninitialize();
        }
    } oleSession{ole};

    fw::Application& app = fw::App();
    app.Initialize(instance);
    app.SetTitle("Kolibrio 2");
    app.SetShowMainForm(false);

    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TOKBottomDlg1> form2;
    std::unique_ptr<TForm3> form3;
    std::unique_ptr<TDlgFilecopy> form4;
    std::unique_ptr<TMyDlg> form5;
    try {
        form1 = std::make_unique<TForm1>();
        if (form1->HandedOver()) return 0;
        form2 = std::make_unique<TOKBottomDlg1>();
        form3 = std::make_unique<TForm3>();
        form4 = std::make_unique<TDlgFilecopy>();
        form5 = std::make_unique<TMyDlg>();
        MyDlg = form5.get();
    } catch (const std::exception& e) {
        // Start-up cannot go on (no semaphore, for one): report and end.
        app.ShowException(e);
        return 1;
    }
    app.Run();

    MyDlg = nullptr;
    form5.reset();
    form4.reset();
    form3.reset();
    form2.reset();
    form1.reset();
    // Workers that outlive the windows find nobody to call back.
    fw::ShutdownUiDispatcher();
    return 0;
}
