// Shows one window of the program the way a user sees it, for the
// screenshots in docs/ (scripts/screenshots.sh). Arguments: the shot
// (settings0..settings3, confirm, progress, message), the file to create
// once the window is on screen, the logo picture. The window stays for a
// few seconds, then the program ends.
#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Unit1_win.h"
#include "app/Unit3_win.h"
#include "device/Unit2_win.h"
#include "framework/Application.h"
#include "framework/Png.h"
#include "settings/SkinFolder_win.h"
#include "framework/Strings.h"
#include "import/UnitMyDlg_win.h"
#include "import/unitDlgFilecopy_win.h"
#include "settings/Settings.h"
#include "settings/SettingsStore_win.h"

namespace {

std::wstring gReadyFile;

void PumpFor(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) fw::App().HandleMessage(msg);
        Sleep(10);
    }
}

// The ready file holds the window's place on the screen as an ImageMagick
// crop geometry: WxH+X+Y.
void SignalReady(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    const std::string geometry = std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) + "+" +
                                 std::to_string(r.left) + "+" + std::to_string(r.top) + "\n";
    HANDLE h = CreateFileW(gReadyFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(h, geometry.data(), static_cast<DWORD>(geometry.size()), &written, nullptr);
    CloseHandle(h);
}

std::string ReadAll(const std::wstring& path) {
    std::string bytes;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got) bytes.append(buf, got);
    CloseHandle(h);
    return bytes;
}

void CALLBACK ReadyTick(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (HWND box = FindWindowW(nullptr, L"Kolibrio2 - Ot\u00e1zka")) SignalReady(box);
}

void CALLBACK CloseTick(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (HWND box = FindWindowW(nullptr, L"Kolibrio2 - Ot\u00e1zka")) PostMessageW(box, WM_CLOSE, 0, 0);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 4) return 2;
    const std::string shot = fw::Utf8(argv[1]);
    gReadyFile = argv[2];
    const std::wstring logoPath = argv[3];

    fw::App().Initialize(instance);
    fw::App().SetTitle("Kolibrio 2");
    const std::string build = fw::App().ExeFolder() + "..\\";
    // Settings of a user who has worked with the program a while; no
    // online check.
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"kolibrio-shots\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::string ini =
        "[Mask]\r\nCurrentMask=%yyyy%\\%yyyy%-%mm%-%dd%\\%file_name%.%file_ext%\r\nPath=C:\\Fotky\\\r\n"
        "ListMask=\"%yyyy%\\%mm%\\%file_name%.%file_ext%,%yyyy%-%mm%-%dd%_%index%.%file_ext%,"
        "%yyyy%\\%mmmm%\\%dd%_%hh%%nn%%ss%.%file_ext%\"\r\n"
        "[Skin]\r\nSkinName=Elegant\r\n[Options]\r\nAutoUpdate=0\r\n";
    HANDLE h = CreateFileW((folder + L"setting.ini").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, ini.data(), static_cast<DWORD>(ini.size()), &written, nullptr);
    CloseHandle(h);
    SetSettingsFolder(fw::Utf8(folder));

    TForm1 form1;
    TOKBottomDlg1 form2;
    TForm3 form3;
    TDlgFilecopy form4;
    TMyDlg form5;
    SkinFolder().SetDirectory(build + "skins\\");
    LoadSettings();
    const std::string logo = ReadAll(logoPath);
    int w = 0, hgt = 0;
    if (HBITMAP bmp = fw::DecodePng(reinterpret_cast<const unsigned char*>(logo.data()), logo.size(), w, hgt))
        form1.SettingsWindow->Image1.SetBitmap(bmp, w, hgt);
    // This program carries no resources: the camera comes from its file too.
    std::wstring cameraPath = logoPath;
    cameraPath.replace(cameraPath.rfind(L"logo.png"), 8, L"camera.png");
    const std::string camera = ReadAll(cameraPath);
    if (HBITMAP bmp = fw::DecodePng(reinterpret_cast<const unsigned char*>(camera.data()), camera.size(), w, hgt))
        form2.Image1.SetBitmap(bmp, w, hgt);

    if (shot.rfind("settings", 0) == 0) {
        form1.ShowSettingsWindow();
        form1.SettingsWindow->sPageControl1.SetActivePage(shot.back() - '0');
        form1.SettingsWindow->sListBox1.SetSelected(1, true);
        PumpFor(1200);
        SignalReady(form1.Handle());
        PumpFor(2500);
    } else if (shot == "confirm") {
        form2.RefreshLabels(false);
        form2.Show();
        PumpFor(1200);
        SignalReady(form2.Handle());
        PumpFor(2500);
    } else if (shot == "progress") {
        form4.Show();
        form4.SetFileProgress(3 * 1024 * 1024, 5 * 1024 * 1024);
        form4.SetOverallProgress(40 * 1024 * 1024, 130 * 1024 * 1024);
        form4.SetPaths("E:\\DCIM\\100OLYMP\\P1070283.JPG", "C:\\Fotky\\2008\\2008-05-17\\P1070283.JPG");
        PumpFor(1200);
        SignalReady(form4.Handle());
        PumpFor(2500);
    } else if (shot == "message") {
        SetTimer(nullptr, 0, 1200, ReadyTick);
        SetTimer(nullptr, 0, 3700, CloseTick);
        MyMessageDlg("Opravdu chcete smazat vybrané položky?", "Kolibrio2 - Otázka", mkConfirmation,
                     MsgBtn::Yes | MsgBtn::No, MsgBtn::No);
    } else {
        return 3;
    }
    LocalFree(argv);
    return 0;
}
