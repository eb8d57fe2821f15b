#include "app/TrayIkona.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "framework/Application.h"
#include "framework/Strings.h"

namespace {

TTrayIkona::ShellNotifyFn gShellNotify = Shell_NotifyIconA;

}  // namespace

// One hidden window for all tray components. It is a top-level window, not
// a message-only one, because the taskbar's "TaskbarCreated" broadcast only
// reaches top-level windows.
class TIconManager {
public:
    static TIconManager& Instance() {
        static TIconManager manager;
        return manager;
    }
    HWND Handle() const { return window_.Handle(); }
    UINT CallbackMessage() const { return callbackMessage_; }
    void Register(TTrayIkona* c) { components_.push_back(c); }
    void Unregister(TTrayIkona* c) { components_.erase(std::remove(components_.begin(), components_.end(), c), components_.end()); }

private:
    TIconManager()
        : callbackMessage_(RegisterWindowMessageA("QMT.TrayNotifyIconMsg")),
          taskbarCreated_(RegisterWindowMessageA("TaskbarCreated")),
          window_([this](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return WndProc(hwnd, msg, wp, lp); }, false,
                  L"TIconManager") {}

    LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == callbackMessage_) {
            // wParam names the component; ignore one that no longer exists.
            auto* c = reinterpret_cast<TTrayIkona*>(wp);
            if (std::find(components_.begin(), components_.end(), c) == components_.end()) return 0;
            switch (lp) {
            case WM_LBUTTONDOWN:
                if (c->OnClick) c->OnClick(this);
                break;
            case WM_LBUTTONDBLCLK:
                if (c->OnDblClick) c->OnDblClick(this);
                break;
            case WM_RBUTTONDOWN:
                if (c->popupMenu_) {
                    SetForegroundWindow(hwnd);
                    POINT p;
                    GetCursorPos(&p);
                    fw::PopupMenu* menu = c->popupMenu_;
                    menu->Popup(hwnd, p, TPM_BOTTOMALIGN | TPM_RIGHTBUTTON);
                    // Lets the menu close when the user clicks elsewhere.
                    PostMessageA(hwnd, WM_USER, 0, 0);
                }
                break;
            }
            return 0;
        }
        LRESULT menuResult = 0;
        if (fw::PopupMenu::HandleOwnerMessage(msg, wp, lp, menuResult)) return menuResult;
        if (msg == taskbarCreated_ && taskbarCreated_) {
            auto live = components_;
            for (TTrayIkona* c : live) c->Readd();
            return 0;
        }
        return DefWindowProcA(hwnd, msg, wp, lp);
    }

    UINT callbackMessage_;
    UINT taskbarCreated_;
    std::vector<TTrayIkona*> components_;
    fw::MessageWindow window_;
};

UINT TrayNotifyMessage() {
    return TIconManager::Instance().CallbackMessage();
}

HWND TrayManagerWindow() {
    return TIconManager::Instance().Handle();
}

void TTrayIkona::SetShellNotify(ShellNotifyFn fn) {
    gShellNotify = fn ? fn : Shell_NotifyIconA;
}

TTrayIkona::TTrayIkona() {
    TIconManager::Instance().Register(this);
    LoadDefaultIcon();
}

TTrayIkona::~TTrayIkona() {
    if (iconVisible_) SetIconVisible(false);
    SetPopupMenu(nullptr);
    if (icon_) DestroyIcon(icon_);
    TIconManager::Instance().Unregister(this);
}

void TTrayIkona::LoadDefaultIcon() {
    defaultIcon_ = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_WINLOGO));
}

void TTrayIkona::Notify(DWORD message, UINT flags) {
    NOTIFYICONDATAA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    std::string tip = fw::Utf8ToAnsi(hint_);
    std::strncpy(data.szTip, tip.c_str(), 63);
    data.szTip[63] = '\0';
    data.uFlags = flags;
    data.uID = static_cast<UINT>(reinterpret_cast<UINT_PTR>(this));
    data.hWnd = TIconManager::Instance().Handle();
    data.uCallbackMessage = TIconManager::Instance().CallbackMessage();
    data.hIcon = icon_ ? icon_ : defaultIcon_;
    gShellNotify(message, &data);
}

void TTrayIkona::SetIconVisible(bool visible) {
    if (iconVisible_ == visible) return;
    iconVisible_ = visible;
    Notify(visible ? NIM_ADD : NIM_DELETE, NIF_MESSAGE | NIF_ICON | NIF_TIP);
}

void TTrayIkona::SetHint(const std::string& hint) {
    if (hint == hint_) return;
    hint_ = hint;
    if (iconVisible_) Notify(NIM_MODIFY, NIF_TIP);
}

void TTrayIkona::SetIcon(HICON icon) {
    if (icon_) DestroyIcon(icon_);
    icon_ = icon ? CopyIcon(icon) : nullptr;
    if (iconVisible_) Notify(NIM_MODIFY, NIF_ICON);
}

void TTrayIkona::SetHideTask(bool hide) {
    if (hideTask_ == hide) return;
    hideTask_ = hide;
    ShowWindow(fw::App().Handle(), hide ? SW_HIDE : SW_SHOWNORMAL);
    fw::App().SetHideTaskbarButton(hide);
}

void TTrayIkona::SetPopupMenu(fw::PopupMenu* menu) {
    if (popupMenu_) popupMenu_->RemoveDestroyListener(this);
    popupMenu_ = menu;
    if (menu) menu->AddDestroyListener(this, [this, menu] { Notification(menu); });
}

void TTrayIkona::Notification(fw::PopupMenu* removed) {
    if (removed == popupMenu_) popupMenu_ = nullptr;
}

void TTrayIkona::Loaded() {
    if (iconVisible_) Notify(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP);
}

void TTrayIkona::Readd() {
    if (iconVisible_) Notify(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP);
}
