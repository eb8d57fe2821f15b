#include "app/TrayIkona_win.h"

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
    // The shell hands back a 32-bit identifier, so a component is named by
    // a number of its own, never by its address: a 64-bit address cut to
    // 32 bits would name nothing.
    UINT Register(TTrayIkona* c) {
        components_.push_back({++lastId_, c});
        return lastId_;
    }
    void Unregister(TTrayIkona* c) {
        components_.erase(std::remove_if(components_.begin(), components_.end(),
                                         [c](const Entry& e) { return e.component == c; }),
                          components_.end());
    }
    TTrayIkona* Find(WPARAM id) const {
        for (const Entry& e : components_)
            if (e.id == id) return e.component;
        return nullptr;
    }

private:
    TIconManager()
        : callbackMessage_(RegisterWindowMessageA("QMT.TrayNotifyIconMsg")),
          taskbarCreated_(RegisterWindowMessageA("TaskbarCreated")),
          window_([this](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return WndProc(hwnd, msg, wp, lp); }, false,
                  L"TIconManager") {}

    LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == callbackMessage_) {
            // wParam names the component; ignore one that no longer exists.
            TTrayIkona* c = Find(wp);
            if (!c) return 0;
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
            for (const Entry& e : live) e.component->Readd();
            return 0;
        }
        return DefWindowProcA(hwnd, msg, wp, lp);
    }

    struct Entry {
        UINT id;
        TTrayIkona* component;
    };
    UINT callbackMessage_;
    UINT taskbarCreated_;
    UINT lastId_ = 0;
    std::vector<Entry> components_;
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

TTrayIkona::TTrayIkona() : id_(TIconManager::Instance().Register(this)) {}

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
    data.uID = id_;
    data.hWnd = TIconManager::Instance().Handle();
    data.uCallbackMessage = TIconManager::Instance().CallbackMessage();
    // The default picture is loaded on first use, not in the constructor,
    // where a derived component's LoadDefaultIcon could not yet be called.
    if (!icon_ && !defaultIcon_) LoadDefaultIcon();
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
