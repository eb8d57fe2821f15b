#include "framework/Form.h"

#include <commctrl.h>

#include "framework/Application.h"
#include "framework/Strings.h"

namespace fw {

namespace {

const wchar_t kFormProp[] = L"fw.form";
const wchar_t kFormClass[] = L"KolibrioForm";

void RegisterFormClass(WNDPROC proc) {
    static bool done = false;
    if (done) return;
    WNDCLASSW wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClass;
    RegisterClassW(&wc);
    done = true;
}

}  // namespace

namespace {
int ScreenDpi() {
    static int dpi = [] {
        HDC dc = GetDC(nullptr);
        int d = GetDeviceCaps(dc, LOGPIXELSY);
        ReleaseDC(nullptr, dc);
        return d > 0 ? d : 96;
    }();
    return dpi;
}
}  // namespace

int ScaleToScreen(int logical) {
    return MulDiv(logical, ScreenDpi(), 96);
}

int ScaleFromScreen(int physical) {
    return MulDiv(physical, 96, ScreenDpi());
}

HFONT MakeFont(int points, int weight) {
    HDC dc = GetDC(nullptr);
    int height = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
    ReleaseDC(nullptr, dc);
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma");
}

HFONT DefaultFont() {
    static HFONT font = MakeFont(8, FW_NORMAL);
    return font;
}

Form::~Form() {
    if (hwnd_) {
        RemovePropW(hwnd_, kFormProp);
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
        hwnd_ = nullptr;
        App().FormVisibilityChanged();
    }
}

void Form::CreateForm(const CreateArgs& args) {
    RegisterFormClass(StaticWndProc);
    RECT r = {0, 0, ScaleToScreen(args.clientWidth), ScaleToScreen(args.clientHeight)};
    AdjustWindowRectEx(&r, args.style, FALSE, args.exStyle);
    CreateWindowExW(args.exStyle, kFormClass, Wide(args.caption).c_str(), args.style, CW_USEDEFAULT, CW_USEDEFAULT,
                    r.right - r.left, r.bottom - r.top, App().Handle(), nullptr, GetModuleHandleW(nullptr), this);
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont()), FALSE);
    // Remove the system menu items a fixed dialog frame does not offer.
    HMENU sys = GetSystemMenu(hwnd_, FALSE);
    if (sys) {
        DeleteMenu(sys, SC_SIZE, MF_BYCOMMAND);
        DeleteMenu(sys, SC_MAXIMIZE, MF_BYCOMMAND);
        DeleteMenu(sys, SC_RESTORE, MF_BYCOMMAND);
        if (!(args.style & WS_MINIMIZEBOX)) DeleteMenu(sys, SC_MINIMIZE, MF_BYCOMMAND);
    }
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 400);
    CenterOnScreen();
}

LRESULT CALLBACK Form::StaticWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Form* form = nullptr;
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        form = static_cast<Form*>(cs->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
        SetPropW(hwnd, kFormProp, form);
    } else {
        form = reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!form) return DefWindowProcW(hwnd, msg, wp, lp);
    LRESULT result = 0;
    try {
        result = form->HandleMessage(msg, wp, lp);
    } catch (const std::exception& e) {
        App().ShowException(e);
    } catch (...) {
        App().ShowException(std::string("Unknown error"));
    }
    return result;
}

LRESULT Form::DefaultHandler(UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

namespace {
PaintHook gPaintHook = nullptr;
}  // namespace

void SetPaintHook(PaintHook hook) {
    gPaintHook = hook;
}

LRESULT Form::HandleChildMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
    handled = false;
    if (gPaintHook) {
        LRESULT r = gPaintHook(window, msg, wp, lp, handled);
        if (handled) return r;
    }
    switch (msg) {
    case WM_COMMAND:
        if (lp) {
            if (Control* c = Control::FromHandle(reinterpret_cast<HWND>(lp))) {
                handled = true;
                c->HandleCommand(HIWORD(wp));
                return 0;
            }
        }
        break;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lp);
        if (auto* pages = dynamic_cast<PageControl*>(Control::FromHandle(hdr->hwndFrom))) {
            handled = true;
            pages->HandleNotify(hdr);
            return 0;
        }
        break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        Control* c = Control::FromHandle(reinterpret_cast<HWND>(lp));
        if (c && c->TextColor() != CLR_INVALID) {
            handled = true;
            HDC dc = reinterpret_cast<HDC>(wp);
            ::SetTextColor(dc, c->TextColor());
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    }
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
        if (auto* image = dynamic_cast<Image*>(Control::FromHandle(dis->hwndItem))) {
            handled = true;
            image->Paint(dis->hDC);
            return TRUE;
        }
        break;
    }
    }
    (void)window;
    return 0;
}

LRESULT Form::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    bool handled = false;
    LRESULT r = HandleChildMessage(hwnd_, msg, wp, lp, handled);
    if (handled) return r;
    switch (msg) {
    case WM_CLOSE: {
        CloseAction action = modal_ ? CloseAction::Free : CloseAction::Hide;
        FormClose(action);
        if (modal_) {
            // Closing a modal form ends its modal display as Cancel, unless
            // the handler refused to close.
            if (action != CloseAction::None && modalResult_ == mrNone) modalResult_ = mrCancel;
        } else if (action == CloseAction::Hide || action == CloseAction::Free) {
            Hide();
        } else if (action == CloseAction::Minimize) {
            App().Minimize();
        }
        return 0;
    }
    case WM_SYSCOMMAND:
        // A window with a taskbar button of its own minimises alone; the
        // others stand for the program and minimise it.
        if ((wp & 0xFFF0) == SC_MINIMIZE && !(GetWindowLongW(hwnd_, GWL_EXSTYLE) & WS_EX_APPWINDOW)) {
            App().Minimize();
            return 0;
        }
        break;
    case WM_SHOWWINDOW:
        // Hidden by the program (not with its owner): the next showing
        // starts afresh, so a field left behind runs no check then.
        if (!wp && !lp) activeControl_ = nullptr;
        if (wp) FormShow(); else FormHide();
        break;
    case WM_ACTIVATE:
        // As dialog boxes do: the focused control comes back with the
        // window, not the window itself, so Enter and Tab go on from it.
        if (LOWORD(wp) != WA_INACTIVE && !HIWORD(wp) && RestoreFocus()) return 0;
        break;
    case WM_SETFOCUS:
        if (RestoreFocus()) return 0;
        break;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd_, &ps);
        FormPaint(dc);
        EndPaint(hwnd_, &ps);
        return 0;
    }
    case WM_NCDESTROY:
        RemovePropW(hwnd_, kFormProp);
        break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

void Form::Show() {
    if (!hwnd_) return;
    // A window that comes up while the program is minimised brings it back.
    if (App().Minimized()) App().Restore();
    if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
    if (!IsWindowVisible(hwnd_)) {
        ShowWindow(hwnd_, SW_SHOW);
        App().FormVisibilityChanged();
    }
    SetForegroundWindow(hwnd_);
}

void Form::Hide() {
    if (!hwnd_ || !IsWindowVisible(hwnd_)) return;
    ShowWindow(hwnd_, SW_HIDE);
    App().FormVisibilityChanged();
}

bool Form::Visible() const {
    return hwnd_ && IsWindowVisible(hwnd_);
}

namespace {
struct DisabledWindows {
    HWND except;
    std::vector<HWND> list;
};
BOOL CALLBACK DisableOthers(HWND hwnd, LPARAM lp) {
    auto* d = reinterpret_cast<DisabledWindows*>(lp);
    if (hwnd != d->except && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
        d->list.push_back(hwnd);
        EnableWindow(hwnd, FALSE);
    }
    return TRUE;
}
}  // namespace

int Form::ShowModal() {
    modalResult_ = mrNone;
    DisabledWindows disabled{hwnd_, {}};
    EnumThreadWindows(GetCurrentThreadId(), DisableOthers, reinterpret_cast<LPARAM>(&disabled));
    modal_ = true;
    EnableWindow(hwnd_, TRUE);
    Show();
    MSG msg;
    while (modalResult_ == mrNone) {
        BOOL r = GetMessageW(&msg, nullptr, 0, 0);
        if (r == 0 || r == -1) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // leave it for the main loop
            if (modalResult_ == mrNone) modalResult_ = mrCancel;
            break;
        }
        App().HandleMessage(msg);
        // Only a button, the close box or Alt+F4 end the display; a window
        // hidden with a minimised program is still waiting for its answer.
        if (modalResult_ == mrNone && (!hwnd_ || !IsWindow(hwnd_))) modalResult_ = mrCancel;
    }
    for (HWND h : disabled.list)
        if (IsWindow(h)) EnableWindow(h, TRUE);
    modal_ = false;
    Hide();
    return modalResult_;
}

void Form::Close() {
    if (hwnd_) SendMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void Form::SetCaption(const std::string& caption) {
    SetWindowTextW(hwnd_, Wide(caption).c_str());
}

std::string Form::Caption() const {
    int n = GetWindowTextLengthW(hwnd_);
    std::wstring buf(n + 1, L'\0');
    GetWindowTextW(hwnd_, buf.data(), n + 1);
    buf.resize(n);
    return Utf8(buf);
}

void Form::SetClientSize(int width, int height) {
    RECT r = {0, 0, ScaleToScreen(width), ScaleToScreen(height)};
    AdjustWindowRectEx(&r, GetWindowLongW(hwnd_, GWL_STYLE), FALSE, GetWindowLongW(hwnd_, GWL_EXSTYLE));
    SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int Form::ClientWidth() const {
    RECT r;
    GetClientRect(hwnd_, &r);
    return ScaleFromScreen(r.right);
}

int Form::ClientHeight() const {
    RECT r;
    GetClientRect(hwnd_, &r);
    return ScaleFromScreen(r.bottom);
}

void Form::CenterOnScreen() {
    RECT r;
    GetWindowRect(hwnd_, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::BringToFront() {
    SetForegroundWindow(hwnd_);
    BringWindowToTop(hwnd_);
}

void Form::SetShowHints(bool show) {
    showHints_ = show;
    if (tooltip_) SendMessageW(tooltip_, TTM_ACTIVATE, show, 0);
}

void Form::UpdateHint(Control* control) {
    if (!tooltip_ || !control->Handle()) return;
    std::wstring text = Wide(control->Hint());
    TTTOOLINFOW ti = {};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = hwnd_;
    ti.uId = reinterpret_cast<UINT_PTR>(control->Handle());
    SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    if (text.empty()) return;
    ti.lpszText = text.data();
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void Form::ControlFocused(Control* control) {
    HWND previous = activeControl_;
    activeControl_ = control->Handle();
    if (previous == activeControl_) return;
    // Leaving a field runs its exit only when the focus moves on within this
    // window: switching programs, a box coming up or the window coming back
    // leave it pending until the user really moves on, once.
    Control* left = Control::FromHandle(previous);
    if (left && left->Owner() == this && left->OnExit) Guarded(left->OnExit);
}

bool Form::RestoreFocus() {
    HWND target = activeControl_;
    if (!target || !IsWindow(target) || !IsChild(hwnd_, target) || !IsWindowVisible(target) ||
        !IsWindowEnabled(target))
        target = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    if (!target || target == hwnd_) return false;
    if (GetFocus() != target) ::SetFocus(target);
    return true;
}

bool Form::PreTranslateKey(MSG& msg) {
    if (msg.message != WM_KEYDOWN) return false;
    Control* c = Control::FromHandle(msg.hwnd);
    if (!c) c = Control::FromHandle(GetParent(msg.hwnd));  // the edit inside a combo box
    if (c && c->OnKeyDown && c->OnKeyDown(msg.wParam)) return true;
    switch (msg.wParam) {
    case VK_RETURN:
        // No default button: Enter presses the focused button, nothing else.
        if (c && dynamic_cast<Button*>(c)) {
            SendMessageW(c->Handle(), BM_CLICK, 0, 0);
            return true;
        }
        return false;
    case VK_ESCAPE:
        // An open drop-down list takes its own Esc and only closes.
        if (auto* combo = dynamic_cast<ComboBox*>(c); combo && combo->DroppedDown()) return false;
        OnEscape();
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------

MessageWindow::MessageWindow(Handler handler, bool messageOnly, const wchar_t* className)
    : handler_(std::move(handler)) {
    WNDCLASSW wc = {};
    if (!GetClassInfoW(GetModuleHandleW(nullptr), className, &wc)) {
        wc.lpfnWndProc = WndProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = className;
        RegisterClassW(&wc);
    }
    hwnd_ = CreateWindowExW(0, className, L"", messageOnly ? 0 : WS_POPUP, 0, 0, 0, 0,
                            messageOnly ? HWND_MESSAGE : nullptr, nullptr, GetModuleHandleW(nullptr), this);
}

MessageWindow::~MessageWindow() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

LRESULT CALLBACK MessageWindow::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    MessageWindow* self = nullptr;
    if (msg == WM_NCCREATE) {
        self = static_cast<MessageWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self || !self->handler_) return DefWindowProcW(hwnd, msg, wp, lp);
    LRESULT result = 0;
    try {
        result = self->handler_(hwnd, msg, wp, lp);
    } catch (const std::exception& e) {
        App().ShowException(e);
    } catch (...) {
        App().ShowException(std::string("Unknown error"));
    }
    return result;
}

// ---------------------------------------------------------------------------

PopupMenu::PopupMenu() : menu_(CreatePopupMenu()) {}

PopupMenu::~PopupMenu() {
    auto listeners = destroyListeners_;
    for (auto& l : listeners) l.second();
    if (menu_) DestroyMenu(menu_);
}

UINT PopupMenu::AddItem(const std::string& caption, std::function<void()> onClick, bool isDefault, HICON icon) {
    actions_.push_back(std::move(onClick));
    UINT id = static_cast<UINT>(actions_.size());
    AppendMenuW(menu_, MF_STRING, id, Wide(caption).c_str());
    if (isDefault) SetMenuDefaultItem(menu_, id, FALSE);
    if (icon) {
        MENUITEMINFOW mii = {};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_BITMAP | MIIM_DATA;
        mii.hbmpItem = HBMMENU_CALLBACK;
        mii.dwItemData = reinterpret_cast<ULONG_PTR>(icon);
        SetMenuItemInfoW(menu_, id, FALSE, &mii);
    }
    return id;
}

bool PopupMenu::HandleOwnerMessage(UINT msg, WPARAM, LPARAM lp, LRESULT& result) {
    if (msg == WM_MEASUREITEM) {
        auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
        if (mis->CtlType != ODT_MENU) return false;
        mis->itemWidth = 16;
        mis->itemHeight = 16;
        result = TRUE;
        return true;
    }
    if (msg == WM_DRAWITEM) {
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
        if (dis->CtlType != ODT_MENU || !dis->itemData) return false;
        int y = dis->rcItem.top + (dis->rcItem.bottom - dis->rcItem.top - 16) / 2;
        DrawIconEx(dis->hDC, dis->rcItem.left, y, reinterpret_cast<HICON>(dis->itemData), 16, 16, 0, nullptr,
                   DI_NORMAL);
        result = TRUE;
        return true;
    }
    return false;
}

void PopupMenu::Popup(HWND owner, POINT at, UINT flags) {
    UINT id = TrackPopupMenu(menu_, flags | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0, owner, nullptr);
    if (id) Click(id);
}

void PopupMenu::Click(UINT command) {
    if (command >= 1 && command <= actions_.size() && actions_[command - 1]) {
        auto action = actions_[command - 1];
        action();
    }
}

void PopupMenu::AddDestroyListener(void* key, std::function<void()> onDestroy) {
    destroyListeners_.emplace_back(key, std::move(onDestroy));
}

void PopupMenu::RemoveDestroyListener(void* key) {
    for (auto it = destroyListeners_.begin(); it != destroyListeners_.end();)
        it = it->first == key ? destroyListeners_.erase(it) : it + 1;
}

// ---------------------------------------------------------------------------

Timer::Timer(unsigned intervalMs, std::function<void()> onTimer)
    : OnTimer(std::move(onTimer)),
      window_([this](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
          if (msg == WM_TIMER) {
              if (enabled_ && OnTimer) OnTimer();
              return 0;
          }
          return DefWindowProcW(hwnd, msg, wp, lp);
      }),
      interval_(intervalMs) {}

Timer::~Timer() {
    if (window_.Handle()) KillTimer(window_.Handle(), 1);
}

void Timer::SetEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    Update();
}

void Timer::SetInterval(unsigned ms) {
    if (interval_ == ms) return;
    interval_ = ms;
    Update();
}

void Timer::Update() {
    KillTimer(window_.Handle(), 1);
    if (enabled_ && interval_ > 0) SetTimer(window_.Handle(), 1, interval_, nullptr);
}

}  // namespace fw
