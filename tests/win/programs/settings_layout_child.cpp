// Reports where the controls of the settings window's options page come out
// on this screen, for the layout test, into the file named by its argument:
// a line "dpi page-width page-height",
// then one line per control "left top right bottom needed-width text" in
// screen pixels relative to the page, where needed-width is what its text
// takes (with the box of a check or radio button).
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/Unit1_win.h"
#include "framework/Application.h"
#include "framework/Strings.h"
#include "settings/SettingsStore_win.h"

namespace {

FILE* gOut = nullptr;

int TextWidth(HWND control, const std::wstring& text) {
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size.cx;
}

BOOL CALLBACK Report(HWND control, LPARAM page) {
    if (GetParent(control) != reinterpret_cast<HWND>(page) || !(GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE)) return TRUE;
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, reinterpret_cast<HWND>(page), reinterpret_cast<POINT*>(&r), 2);
    wchar_t cls[32] = {}, text[256] = {};
    GetClassNameW(control, cls, 32);
    GetWindowTextW(control, text, 256);
    int needed = 0;
    if (lstrcmpiW(cls, L"Button") == 0) {
        const LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
        const bool box = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                         type == BS_AUTORADIOBUTTON;
        // The box and the gap beside it take about a text line's height.
        needed = TextWidth(control, text) + (box ? (r.bottom - r.top) + 2 : 8);
    } else if (lstrcmpiW(cls, L"Static") == 0) {
        needed = TextWidth(control, text);
    }
    std::fprintf(gOut, "%ld %ld %ld %ld %d %s\n", r.left, r.top, r.right, r.bottom, needed, fw::Utf8(text).c_str());
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || !(gOut = _wfopen(argv[1], L"wb"))) return 2;
    fw::App().Initialize(GetModuleHandleW(nullptr));
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    SetSettingsFolder(fw::Utf8(temp));  // no setting.ini there: the defaults
    TForm1 form;
    form.ShowSettingsWindow();
    TSettingsWindow& w = *form.SettingsWindow;
    w.sPageControl1.SetActivePage(1);
    HWND page = w.sTabSheetSetting->Handle();
    RECT client;
    GetClientRect(page, &client);
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    std::fprintf(gOut, "%d %ld %ld\n", dpi, client.right, client.bottom);
    EnumChildWindows(page, Report, reinterpret_cast<LPARAM>(page));
    std::fclose(gOut);
    form.Hide();
    return 0;
}
