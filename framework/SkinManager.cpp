#include "framework/SkinManager.h"

#include "framework/Form.h"

namespace fw {

namespace {

BOOL CALLBACK RedrawThreadWindow(HWND hwnd, LPARAM) {
    RedrawWindow(hwnd, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
    return TRUE;
}

bool IsEditOrList(HWND hwnd) {
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 32);
    return lstrcmpiW(cls, L"Edit") == 0 || lstrcmpiW(cls, L"ListBox") == 0;
}

}  // namespace

SkinManager& Skins() {
    static SkinManager manager;
    return manager;
}

SkinManager::~SkinManager() {
    if (windowBrush_) DeleteObject(windowBrush_);
    if (editBrush_) DeleteObject(editBrush_);
}

void SkinManager::SetSkin(const std::string& name, const SkinLook* look) {
    loaded_ = look != nullptr;
    name_ = loaded_ ? name : std::string();
    look_ = loaded_ ? *look : SkinLook();
    MakeBrushes();
    Changed();
}

void SkinManager::SetActive(bool active) {
    active_ = active;
    SetPaintHook(active_ ? &SkinManager::Paint : nullptr);
    EnumThreadWindows(GetCurrentThreadId(), RedrawThreadWindow, 0);
    Changed();
}

COLORREF SkinManager::StandardTextColor() const {
    return loaded_ ? look_.Text : RGB(0xFF, 0x00, 0xFF);
}

void SkinManager::Repaint() const {
    if (active_) EnumThreadWindows(GetCurrentThreadId(), RedrawThreadWindow, 0);
}

void SkinManager::Changed() {
    if (active_) Repaint();
    if (OnAfterChange) OnAfterChange();
}

void SkinManager::MakeBrushes() {
    if (windowBrush_) DeleteObject(windowBrush_);
    if (editBrush_) DeleteObject(editBrush_);
    windowBrush_ = CreateSolidBrush(look_.Window);
    editBrush_ = CreateSolidBrush(look_.Edit);
}

LRESULT SkinManager::Paint(HWND window, UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
    const SkinManager& self = Skins();
    handled = false;
    if (!self.active_ || !self.loaded_) return 0;
    HDC dc = reinterpret_cast<HDC>(wp);
    switch (msg) {
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(window, &r);
        FillRect(dc, &r, self.windowBrush_);
        handled = true;
        return 1;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        SetTextColor(dc, self.look_.EditText);
        SetBkColor(dc, self.look_.Edit);
        handled = true;
        return reinterpret_cast<LRESULT>(self.editBrush_);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        HWND child = reinterpret_cast<HWND>(lp);
        if (IsEditOrList(child)) {  // a read-only edit asks as a static
            SetTextColor(dc, self.look_.EditText);
            SetBkColor(dc, self.look_.Edit);
            handled = true;
            return reinterpret_cast<LRESULT>(self.editBrush_);
        }
        // A control's own colour (a warning, a link) wins over the skin's.
        const Control* c = Control::FromHandle(child);
        SetTextColor(dc, c && c->TextColor() != CLR_INVALID ? c->TextColor() : self.look_.Text);
        SetBkColor(dc, self.look_.Window);
        handled = true;
        return reinterpret_cast<LRESULT>(self.windowBrush_);
    }
    }
    return 0;
}

}  // namespace fw
