#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include "framework/Application.h"
#include "framework/Form.h"
#include "framework/Strings.h"

#include <unordered_map>

namespace fw {

namespace {

// The control behind each window handle, and the window procedure its
// class gave it. Kept here rather than in window properties: under Wine
// every property look-up is a round trip to the server, and one was paid
// for each message to a control and each colour a label asked its form for.
struct Subclassed {
    Control* control;
    WNDPROC original;
};

std::unordered_map<HWND, Subclassed>& Subclasses() {
    static std::unordered_map<HWND, Subclassed> subclasses;
    return subclasses;
}

// Keys and focus changes of a control reach its callbacks through this
// procedure, whatever the control's class.
LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    const auto it = Subclasses().find(hwnd);
    if (it == Subclasses().end()) return DefWindowProcW(hwnd, msg, wp, lp);
    // Copies: a handler may create or destroy controls.
    Control* const control = it->second.control;
    const WNDPROC original = it->second.original;
    switch (msg) {
    case WM_GETDLGCODE:
        // A control with its own key handling sees Enter and Esc itself.
        if (control->OnKeyDown) return CallWindowProcW(original, hwnd, msg, wp, lp) | DLGC_WANTALLKEYS;
        break;
    case WM_SETFOCUS: {
        LRESULT r = CallWindowProcW(original, hwnd, msg, wp, lp);
        if (control->Owner()) control->Owner()->ControlFocused(control);
        return r;
    }
    case WM_NCDESTROY:
        Subclasses().erase(hwnd);
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        break;
    }
    return CallWindowProcW(original, hwnd, msg, wp, lp);
}

LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* control = Control::FromHandle(hwnd);
    if (control && control->Owner()) {
        bool handled = false;
        LRESULT r = 0;
        try {
            r = control->Owner()->HandleChildMessage(hwnd, msg, wp, lp, handled);
        } catch (const std::exception& e) {
            App().ShowException(e);
            handled = true;
        }
        if (handled) return r;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void RegisterPanelClass() {
    static bool done = false;
    if (done) return;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = PanelProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"KolibrioPanel";
    RegisterClassW(&wc);
    done = true;
}

RECT BoundsInParent(HWND hwnd) {
    RECT r;
    GetWindowRect(hwnd, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string ListText(HWND hwnd, UINT lenMsg, UINT textMsg, int index) {
    LRESULT n = SendMessageW(hwnd, lenMsg, index, 0);
    if (n < 0) return {};
    std::wstring buf(static_cast<size_t>(n) + 1, L'\0');
    SendMessageW(hwnd, textMsg, index, reinterpret_cast<LPARAM>(buf.data()));
    buf.resize(static_cast<size_t>(n));
    return Utf8(buf);
}

}  // namespace

Control::~Control() {
    if (!hwnd_) return;
    // A window that is gone already (its form went first) has left the
    // table; its handle may name another window by now, which stays.
    const auto it = Subclasses().find(hwnd_);
    if (it == Subclasses().end() || it->second.control != this) return;
    // The window's last messages go to its own class, not to a control
    // that is going.
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(it->second.original));
    Subclasses().erase(it);
    DestroyWindow(hwnd_);
}

Control* Control::FromHandle(HWND hwnd) {
    if (!hwnd) return nullptr;
    const auto it = Subclasses().find(hwnd);
    return it == Subclasses().end() ? nullptr : it->second.control;
}

void Control::CreateHandle(Form* form, HWND parent, const wchar_t* className, const std::string& text, DWORD style,
                           DWORD exStyle, int left, int top, int width, int height) {
    form_ = form;
    hwnd_ = CreateWindowExW(exStyle, className, Wide(text).c_str(), style | WS_CHILD, ScaleToScreen(left),
                            ScaleToScreen(top), ScaleToScreen(width), ScaleToScreen(height), parent,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) return;
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont()), FALSE);
    const auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd_, GWLP_WNDPROC));
    Subclasses()[hwnd_] = {this, original};
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc));
}

void Control::HandleCommand(WORD) {}

void Control::SetText(const std::string& text) {
    SetWindowTextW(hwnd_, Wide(text).c_str());
}

std::string Control::Text() const {
    int n = GetWindowTextLengthW(hwnd_);
    std::wstring buf(n + 1, L'\0');
    n = GetWindowTextW(hwnd_, buf.data(), n + 1);
    buf.resize(n);
    return Utf8(buf);
}

void Control::SetBounds(int left, int top, int width, int height) {
    SetWindowPos(hwnd_, nullptr, ScaleToScreen(left), ScaleToScreen(top), ScaleToScreen(width), ScaleToScreen(height),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

int Control::Left() const { return ScaleFromScreen(BoundsInParent(hwnd_).left); }
int Control::Top() const { return ScaleFromScreen(BoundsInParent(hwnd_).top); }
int Control::Width() const { RECT r = BoundsInParent(hwnd_); return ScaleFromScreen(r.right - r.left); }
int Control::Height() const { RECT r = BoundsInParent(hwnd_); return ScaleFromScreen(r.bottom - r.top); }

void Control::SetVisible(bool visible) {
    ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
}

bool Control::Visible() const {
    return (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Control::SetEnabled(bool enabled) { EnableWindow(hwnd_, enabled); }
bool Control::Enabled() const { return IsWindowEnabled(hwnd_) != 0; }
void Control::SetFocus() { ::SetFocus(hwnd_); }
bool Control::Focused() const { return GetFocus() == hwnd_; }

void Control::SetFont(HFONT font) {
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

HFONT Control::Font() const {
    return reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0));
}

void Control::SetHint(const std::string& hint) {
    hint_ = hint;
    if (form_) form_->UpdateHint(this);
}

void Control::SetTextColor(COLORREF color) {
    textColor_ = color;
    InvalidateRect(hwnd_, nullptr, TRUE);
}

// --- Label -----------------------------------------------------------------

void Label::Create(Form* form, HWND parent, const std::string& text, int left, int top, int width, int height,
                   bool autoSize, DWORD align) {
    autoSize_ = autoSize;
    CreateHandle(form, parent, L"STATIC", text, WS_VISIBLE | SS_NOTIFY | SS_NOPREFIX | align, 0, left, top,
                 width ? width : 10, height ? height : 13);
    if (autoSize_) SizeToText();
}

int Label::TextWidth(const std::string& text) const {
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, Font());
    std::wstring w = Wide(text);
    SIZE size = {};
    GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    return ScaleFromScreen(size.cx);
}

void Label::SizeToText() {
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, Font());
    std::wstring w = Wide(Text());
    RECT r = {0, 0, 0, 0};
    if (w.empty()) {
        TEXTMETRICW tm;
        GetTextMetricsW(dc, &tm);
        r.bottom = tm.tmHeight;
    } else {
        DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
    }
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    SetWindowPos(hwnd_, nullptr, 0, 0, r.right, r.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Label::SetCaption(const std::string& text) {
    SetText(text);
    if (autoSize_) SizeToText();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

// --- Buttons ---------------------------------------------------------------

void Button::Create(Form* form, HWND parent, const std::string& text, int left, int top, int width, int height) {
    CreateHandle(form, parent, L"BUTTON", text, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, left, top, width, height);
}

void Button::HandleCommand(WORD code) {
    if (code == BN_CLICKED && OnClick) OnClick();
}

void CheckBox::Create(Form* form, HWND parent, const std::string& text, int left, int top, int width, int height) {
    CreateHandle(form, parent, L"BUTTON", text, WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, left, top, width, height);
}

bool CheckBox::Checked() const { return SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED; }
void CheckBox::SetChecked(bool checked) { SendMessageW(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0); }

void CheckBox::HandleCommand(WORD code) {
    if (code == BN_CLICKED && OnClick) OnClick();
}

void RadioButton::Create(Form* form, HWND parent, const std::string& text, int left, int top, int width, int height,
                         bool firstOfGroup) {
    CreateHandle(form, parent, L"BUTTON", text, WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON | (firstOfGroup ? WS_GROUP : 0),
                 0, left, top, width, height);
}

bool RadioButton::Checked() const { return SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED; }
void RadioButton::SetChecked(bool checked) { SendMessageW(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0); }

void RadioButton::HandleCommand(WORD code) {
    if (code == BN_CLICKED && OnClick) OnClick();
}

void GroupBox::Create(Form* form, HWND parent, const std::string& text, int left, int top, int width, int height) {
    CreateHandle(form, parent, L"BUTTON", text, WS_VISIBLE | BS_GROUPBOX, 0, left, top, width, height);
}

// --- Edit ------------------------------------------------------------------

void Edit::Create(Form* form, HWND parent, const std::string& text, int left, int top, int width, int height,
                  bool multiLine, bool readOnly) {
    DWORD style = WS_VISIBLE | WS_TABSTOP | (readOnly ? ES_READONLY : 0);
    style |= multiLine ? (ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | ES_WANTRETURN) : ES_AUTOHSCROLL;
    CreateHandle(form, parent, L"EDIT", text, style, WS_EX_CLIENTEDGE, left, top, width, height);
}

int Edit::SelStart() const {
    DWORD s = 0, e = 0;
    SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    return static_cast<int>(s);
}

int Edit::SelLength() const {
    DWORD s = 0, e = 0;
    SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    return static_cast<int>(e - s);
}

void Edit::SetSel(int start, int length) {
    SendMessageW(hwnd_, EM_SETSEL, start, start + length);
}

void Edit::ReplaceSel(const std::string& text) {
    SendMessageW(hwnd_, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

void Edit::HandleCommand(WORD code) {
    switch (code) {
    case EN_CHANGE: if (OnChange) OnChange(); break;
    case EN_SETFOCUS: if (OnEnter) OnEnter(); break;
    }
}

// --- ListBox ---------------------------------------------------------------

void ListBox::Create(Form* form, HWND parent, int left, int top, int width, int height) {
    CreateHandle(form, parent, L"LISTBOX", "",
                 WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                     (multiSelect_ ? LBS_EXTENDEDSEL : 0),
                 WS_EX_CLIENTEDGE,
                 left, top, width, height);
}

void ListBox::Clear() { SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0); }

int ListBox::Add(const std::string& item) {
    return static_cast<int>(SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str())));
}

void ListBox::Insert(int index, const std::string& item) {
    SendMessageW(hwnd_, LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(Wide(item).c_str()));
}

void ListBox::Delete(int index) { SendMessageW(hwnd_, LB_DELETESTRING, index, 0); }
int ListBox::Count() const { return static_cast<int>(SendMessageW(hwnd_, LB_GETCOUNT, 0, 0)); }
std::string ListBox::Item(int index) const { return ListText(hwnd_, LB_GETTEXTLEN, LB_GETTEXT, index); }

void ListBox::SetItem(int index, const std::string& item) {
    int selected = ItemIndex();
    Delete(index);
    Insert(index, item);
    if (selected == index) SetItemIndex(index);
}

int ListBox::ItemIndex() const { return static_cast<int>(SendMessageW(hwnd_, LB_GETCURSEL, 0, 0)); }
void ListBox::SetItemIndex(int index) { SendMessageW(hwnd_, LB_SETCURSEL, index, 0); }
int ListBox::TopIndex() const { return static_cast<int>(SendMessageW(hwnd_, LB_GETTOPINDEX, 0, 0)); }
void ListBox::SetTopIndex(int index) { SendMessageW(hwnd_, LB_SETTOPINDEX, index, 0); }

int ListBox::ItemAtPoint(POINT p) const {
    LRESULT r = SendMessageW(hwnd_, LB_ITEMFROMPOINT, 0, MAKELPARAM(p.x, p.y));
    if (HIWORD(r)) return -1;  // outside the items
    return LOWORD(r);
}

void ListBox::SetHorizontalExtent(int pixels) { SendMessageW(hwnd_, LB_SETHORIZONTALEXTENT, pixels, 0); }

bool ListBox::Selected(int index) const { return SendMessageW(hwnd_, LB_GETSEL, index, 0) > 0; }
void ListBox::SetSelected(int index, bool selected) { SendMessageW(hwnd_, LB_SETSEL, selected, index); }
int ListBox::CaretIndex() const { return Count() ? static_cast<int>(SendMessageW(hwnd_, LB_GETCARETINDEX, 0, 0)) : -1; }
void ListBox::SetCaretIndex(int index) { SendMessageW(hwnd_, LB_SETCARETINDEX, index, FALSE); }

void ListBox::HandleCommand(WORD code) {
    switch (code) {
    case LBN_SELCHANGE: if (OnClick) OnClick(); break;
    case LBN_DBLCLK: if (OnDblClick) OnDblClick(); break;
    case LBN_SETFOCUS: if (OnEnter) OnEnter(); break;
    }
}

// --- ComboBox --------------------------------------------------------------

void ComboBox::Create(Form* form, HWND parent, int left, int top, int width, int height) {
    CreateHandle(form, parent, L"COMBOBOX", "", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, left, top,
                 width, height);
}

void ComboBox::Clear() { SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0); }

int ComboBox::Add(const std::string& item) {
    return static_cast<int>(SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str())));
}

int ComboBox::Count() const { return static_cast<int>(SendMessageW(hwnd_, CB_GETCOUNT, 0, 0)); }
std::string ComboBox::Item(int index) const { return ListText(hwnd_, CB_GETLBTEXTLEN, CB_GETLBTEXT, index); }
int ComboBox::ItemIndex() const { return static_cast<int>(SendMessageW(hwnd_, CB_GETCURSEL, 0, 0)); }
void ComboBox::SetItemIndex(int index) { SendMessageW(hwnd_, CB_SETCURSEL, index, 0); }

bool ComboBox::DroppedDown() const { return SendMessageW(hwnd_, CB_GETDROPPEDSTATE, 0, 0) != 0; }

void ComboBox::HandleCommand(WORD code) {
    if (code == CBN_SELCHANGE && OnChange) OnChange();
}

// --- ProgressBar -----------------------------------------------------------

void ProgressBar::Create(Form* form, HWND parent, int left, int top, int width, int height) {
    CreateHandle(form, parent, PROGRESS_CLASSW, "", WS_VISIBLE | PBS_SMOOTH, 0, left, top, width, height);
    SetMax(100);
}

void ProgressBar::SetMax(int max) {
    max_ = max;
    SendMessageW(hwnd_, PBM_SETRANGE32, 0, max);
}

void ProgressBar::SetPosition(int position) { SendMessageW(hwnd_, PBM_SETPOS, position, 0); }
int ProgressBar::Position() const { return static_cast<int>(SendMessageW(hwnd_, PBM_GETPOS, 0, 0)); }
int ProgressBar::Max() const { return max_; }

// --- Image -----------------------------------------------------------------

Image::~Image() {
    if (bitmap_) DeleteObject(bitmap_);
}

void Image::Create(Form* form, HWND parent, int left, int top, int width, int height) {
    CreateHandle(form, parent, L"STATIC", "", WS_VISIBLE | SS_OWNERDRAW, 0, left, top, width, height);
}

void Image::SetIcon(HICON icon) {
    icon_ = icon;
    SetWindowPos(hwnd_, nullptr, 0, 0, ScaleToScreen(32), ScaleToScreen(32), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void Image::SetBitmap(HBITMAP bitmap, int width, int height) {
    if (bitmap_) DeleteObject(bitmap_);
    bitmap_ = bitmap;
    bmWidth_ = width;
    bmHeight_ = height;
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void Image::Paint(HDC dc) {
    RECT r;
    GetClientRect(hwnd_, &r);
    // The background a static control gets from its parent, so the picture
    // sits on the window's own colour (a skin's too).
    auto brush = reinterpret_cast<HBRUSH>(
        SendMessageW(GetParent(hwnd_), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd_)));
    FillRect(dc, &r, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
    if (icon_) DrawIconEx(dc, 0, 0, icon_, r.right, r.bottom, 0, nullptr, DI_NORMAL);
    if (bitmap_) {
        HDC mem = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(mem, bitmap_);
        BLENDFUNCTION bf = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        AlphaBlend(dc, 0, 0, ScaleToScreen(bmWidth_), ScaleToScreen(bmHeight_), mem, 0, 0, bmWidth_, bmHeight_, bf);
        SelectObject(mem, old);
        DeleteDC(mem);
    }
}

// --- Panel and PageControl -------------------------------------------------

void Panel::Create(Form* form, HWND parent, int left, int top, int width, int height, bool border) {
    RegisterPanelClass();
    CreateHandle(form, parent, L"KolibrioPanel", "", WS_VISIBLE | WS_CLIPCHILDREN,
                 WS_EX_CONTROLPARENT | (border ? WS_EX_STATICEDGE : 0), left, top, width, height);
}

void PageControl::Create(Form* form, HWND parent, int left, int top, int width, int height) {
    CreateHandle(form, parent, WC_TABCONTROLW, "", WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, 0, left, top, width,
                 height);
}

Panel& PageControl::AddPage(const std::string& caption) {
    std::wstring text = Wide(caption);
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    int index = static_cast<int>(pages_.size());
    SendMessageW(hwnd_, TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&item));
    RECT r;
    GetClientRect(hwnd_, &r);
    SendMessageW(hwnd_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    // Pages are siblings laid over the tab control's display area, so their
    // controls' notifications reach the form through the panel.
    auto page = std::make_unique<Panel>();
    page->Create(form_, GetParent(hwnd_), Left() + ScaleFromScreen(r.left), Top() + ScaleFromScreen(r.top),
                 ScaleFromScreen(r.right - r.left), ScaleFromScreen(r.bottom - r.top));
    SetWindowPos(page->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    page->SetVisible(index == ActivePage());
    pages_.push_back(std::move(page));
    return *pages_.back();
}

int PageControl::ActivePage() const {
    return static_cast<int>(SendMessageW(hwnd_, TCM_GETCURSEL, 0, 0));
}

void PageControl::SetActivePage(int index) {
    SendMessageW(hwnd_, TCM_SETCURSEL, index, 0);
    for (size_t i = 0; i < pages_.size(); ++i) pages_[i]->SetVisible(static_cast<int>(i) == index);
}

std::string PageControl::PageCaption(int index) const {
    wchar_t buf[256] = {};
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = buf;
    item.cchTextMax = 255;
    SendMessageW(hwnd_, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item));
    return Utf8(buf);
}

void PageControl::HandleNotify(NMHDR* hdr) {
    if (hdr->code == TCN_SELCHANGE) {
        SetActivePage(ActivePage());
        if (OnChange) OnChange();
    }
}

}  // namespace fw
