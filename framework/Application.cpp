#include "framework/Application.h"

#include <commctrl.h>

#include "framework/Form.h"
#include "framework/Strings.h"
#include "framework/UiThread.h"

namespace fw {

Application& App() {
    static Application app;
    return app;
}

void Application::Initialize(HINSTANCE instance) {
    instance_ = instance;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS |
                                                ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    InitUiDispatcher();

    WNDCLASSW wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.lpszClassName = L"TApplication";
    RegisterClassW(&wc);
    // A zero-size window in the middle of the screen, like the application
    // window of classic tray programs: it carries the taskbar button and
    // owns every form.
    int x = GetSystemMetrics(SM_CXSCREEN) / 2, y = GetSystemMetrics(SM_CYSCREEN) / 2;
    handle_ = CreateWindowExW(0, wc.lpszClassName, Wide(title_).c_str(),
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, x, y, 0, 0,
                              nullptr, nullptr, instance, nullptr);
}

void Application::SetTitle(const std::string& title) {
    title_ = title;
    if (handle_) SetWindowTextW(handle_, Wide(title).c_str());
}

void Application::SetHideTaskbarButton(bool hide) {
    hideTaskbarButton_ = hide;
    FormVisibilityChanged();
}

LRESULT CALLBACK Application::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Application& app = App();
    switch (msg) {
    case WM_SYSCOMMAND:
        switch (wp & 0xFFF0) {
        case SC_MINIMIZE:
            app.Minimize();
            return 0;
        case SC_RESTORE:
            app.Restore();
            return 0;
        }
        break;
    case WM_CLOSE:
        // The taskbar's "Close window" closes the window the button stands
        // for, as its close box would; it never ends a tray program.
        if (HWND form = app.FrontForm()) SendMessageW(form, WM_CLOSE, 0, 0);
        return 0;
    case WM_ACTIVATE:
        // Hand the activation to the last active form, as a taskbar click expects.
        if (LOWORD(wp) != WA_INACTIVE) {
            if (HWND form = app.FrontForm()) SetFocus(form);  // the form puts it on its control
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

int Application::Run() {
    MSG msg;
    while (!terminated_) {
        BOOL r = GetMessageW(&msg, nullptr, 0, 0);
        if (r == 0 || r == -1) break;
        HandleMessage(msg);
    }
    terminated_ = true;
    return 0;
}

void Application::Terminate() {
    terminated_ = true;
    PostQuitMessage(0);
}

static Form* FormOf(HWND hwnd) {
    HWND root = GetAncestor(hwnd, GA_ROOT);
    if (!root) return nullptr;
    return reinterpret_cast<Form*>(GetPropW(root, L"fw.form"));
}

bool Application::HandleMessage(MSG& msg) {
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        return false;
    }
    if (msg.hwnd && (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN || msg.message == WM_CHAR ||
                     msg.message == WM_SYSCHAR)) {
        if (Form* form = FormOf(msg.hwnd)) {
            bool consumed = false;
            Guarded([&] { consumed = form->PreTranslateKey(msg); });
            if (consumed) return true;
            if (IsDialogMessageW(form->Handle(), &msg)) return true;
        }
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

void Application::ProcessMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the quit for the loop that owns it.
            terminated_ = true;
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        HandleMessage(msg);
    }
    RunPendingUiCalls();
}

void Application::Minimize() {
    if (minimized_) return;
    // The settings window hides itself here.
    if (OnMinimize) Guarded(OnMinimize);
    // Nothing left to come back: the program sits in the tray, with no
    // taskbar entry and nothing that a restore would bring back.
    if (hideTaskbarButton_ && VisibleForms() == 0) {
        FormVisibilityChanged();
        return;
    }
    minimized_ = true;
    // The forms it owns go with the application window and come back with
    // it, a box still waiting for its answer among them. Windows does this
    // on minimising the owner; saying it outright also covers window
    // managers that do not.
    if (!IsWindowVisible(handle_)) ShowWindow(handle_, SW_SHOWNOACTIVATE);
    ShowOwnedPopups(handle_, FALSE);
    ShowWindow(handle_, SW_MINIMIZE);
}

void Application::Restore() {
    if (!minimized_) return;
    minimized_ = false;
    ShowWindow(handle_, SW_RESTORE);
    ShowOwnedPopups(handle_, TRUE);
    if (OnRestore) Guarded(OnRestore);
    FormVisibilityChanged();
}

void Application::BringToFront() {
    HWND popup = GetLastActivePopup(handle_);
    SetForegroundWindow(popup ? popup : handle_);
}

void Application::ShowException(const std::exception& e) {
    ShowException(std::string(e.what()));
}

void Application::ShowException(const std::string& text) {
    HWND owner = nullptr;
    HWND active = GetActiveWindow();
    if (active && IsWindowVisible(active)) owner = active;
    MessageBoxW(owner, Wide(text).c_str(), Wide(title_).c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

namespace {
// Forms with a taskbar button of their own do not need the program's.
bool IsProgramForm(HWND hwnd) {
    return IsWindowVisible(hwnd) && GetPropW(hwnd, L"fw.form") &&
           !(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
}
BOOL CALLBACK CountVisibleForms(HWND hwnd, LPARAM lp) {
    if (IsProgramForm(hwnd)) ++*reinterpret_cast<int*>(lp);
    return TRUE;
}
BOOL CALLBACK FindFrontForm(HWND hwnd, LPARAM lp) {
    if (!IsProgramForm(hwnd) || !IsWindowEnabled(hwnd)) return TRUE;
    *reinterpret_cast<HWND*>(lp) = hwnd;
    return FALSE;
}
}  // namespace

int Application::VisibleForms() const {
    int visible = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountVisibleForms, reinterpret_cast<LPARAM>(&visible));
    return visible;
}

HWND Application::FrontForm() const {
    HWND popup = GetLastActivePopup(handle_);
    if (popup && popup != handle_ && IsProgramForm(popup) && IsWindowEnabled(popup)) return popup;
    HWND found = nullptr;  // never activated: the topmost one
    EnumThreadWindows(GetCurrentThreadId(), FindFrontForm, reinterpret_cast<LPARAM>(&found));
    return found;
}

void Application::FormVisibilityChanged() {
    if (!handle_ || minimized_) return;
    if (VisibleForms() > 0) {
        if (!IsWindowVisible(handle_)) ShowWindow(handle_, SW_SHOWNOACTIVATE);
    } else if (hideTaskbarButton_) {
        ShowWindow(handle_, SW_HIDE);
    }
}

std::string Application::ExeFolder() const {
    wchar_t buf[32768];
    DWORD n = GetModuleFileNameW(nullptr, buf, 32768);
    std::wstring path(buf, n);
    size_t slash = path.find_last_of(L"\\/");
    return Utf8(path.substr(0, slash + 1));
}

}  // namespace fw
