#pragma once
// Windows of the program: a form owns its controls (as members) and handles
// its messages in OnXxx members. Forms are created hidden and owned by the
// application window.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fw {

class Form;

enum ModalResult : int { mrNone = 0, mrOK = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5,
                         mrYes = 6, mrNo = 7, mrNoToAll = 9, mrYesToAll = 10 };

// Layouts are written in pixels of a 96-DPI screen; the framework scales
// them to the screen's resolution when it creates and moves windows, and
// reports sizes back in the same 96-DPI units, so layout code never mixes
// the two.
int ScaleToScreen(int logical);
int ScaleFromScreen(int physical);

HFONT DefaultFont();  // 8-point sans-serif, the look of the program's windows
// A new font of the program's face at the screen's resolution; the caller
// owns it.
HFONT MakeFont(int points, int weight);

// One child control. Derived classes add the operations of their kind.
class Control {
public:
    Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control();

    HWND Handle() const { return hwnd_; }
    Form* Owner() const { return form_; }

    void SetText(const std::string& text);
    std::string Text() const;
    void SetBounds(int left, int top, int width, int height);
    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetVisible(bool visible);
    bool Visible() const;
    void SetEnabled(bool enabled);
    bool Enabled() const;
    void SetFocus();
    bool Focused() const;
    void SetFont(HFONT font);
    HFONT Font() const;
    // Tool tip text, shown when the form's hints are on.
    void SetHint(const std::string& hint);
    const std::string& Hint() const { return hint_; }
    // Text colour; CLR_INVALID uses the system's.
    void SetTextColor(COLORREF color);
    COLORREF TextColor() const { return textColor_; }

    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    std::function<void()> OnChange;
    std::function<void()> OnEnter;
    // The focus moved on from this control to another one of its form.
    std::function<void()> OnExit;
    // Key pressed while the control has the focus; true consumes the key.
    std::function<bool(WPARAM key)> OnKeyDown;

    // Called by the form for WM_COMMAND notifications of this control.
    virtual void HandleCommand(WORD code);
    // Control behind a window handle, or nullptr.
    static Control* FromHandle(HWND hwnd);

protected:
    // parent: the form's window or a panel inside it.
    void CreateHandle(Form* form, HWND parent, const wchar_t* className, const std::string& text, DWORD style,
                      DWORD exStyle, int left, int top, int width, int height);
    HWND hwnd_ = nullptr;
    Form* form_ = nullptr;
    std::string hint_;
    COLORREF textColor_ = CLR_INVALID;
};

class Label : public Control {
public:
    // autoSize: the label takes the size of its text (several lines on "\r\n").
    void Create(Form* form, HWND parent, const std::string& text, int left, int top, int width = 0, int height = 0,
                bool autoSize = true, DWORD align = SS_LEFT);
    void SetCaption(const std::string& text);  // resizes when auto-sized
    void SizeToText();
    // Width in pixels of text in this label's font.
    int TextWidth(const std::string& text) const;

private:
    bool autoSize_ = true;
};

class Button : public Control {
public:
    void Create(Form* form, HWND parent, const std::string& text, int left, int top, int width = 75, int height = 25);
    void HandleCommand(WORD code) override;
};

class CheckBox : public Control {
public:
    void Create(Form* form, HWND parent, const std::string& text, int left, int top, int width, int height = 17);
    bool Checked() const;
    void SetChecked(bool checked);  // raises no OnClick
    void HandleCommand(WORD code) override;
};

class RadioButton : public Control {
public:
    // firstOfGroup starts a new group of mutually exclusive buttons.
    void Create(Form* form, HWND parent, const std::string& text, int left, int top, int width, int height = 17,
                bool firstOfGroup = false);
    bool Checked() const;
    void SetChecked(bool checked);
    void HandleCommand(WORD code) override;
};

class Edit : public Control {
public:
    void Create(Form* form, HWND parent, const std::string& text, int left, int top, int width, int height = 21,
                bool multiLine = false, bool readOnly = false);
    // Selection in characters (UTF-16 units, as the control counts them).
    int SelStart() const;
    int SelLength() const;
    void SetSel(int start, int length);
    void ReplaceSel(const std::string& text);
    void HandleCommand(WORD code) override;
};

class ListBox : public Control {
public:
    void Create(Form* form, HWND parent, int left, int top, int width, int height);
    void Clear();
    int Add(const std::string& item);
    void Insert(int index, const std::string& item);
    void Delete(int index);
    int Count() const;
    std::string Item(int index) const;
    void SetItem(int index, const std::string& item);
    int ItemIndex() const;
    void SetItemIndex(int index);
    int TopIndex() const;
    void SetTopIndex(int index);
    int ItemAtPoint(POINT clientPoint) const;
    void SetHorizontalExtent(int pixels);
    void HandleCommand(WORD code) override;

    // Several lines selectable (extended selection); set before Create.
    void SetMultiSelect(bool multi) { multiSelect_ = multi; }
    bool Selected(int index) const;
    void SetSelected(int index, bool selected);
    // The line with the focus mark, which in a multi-selection list need
    // not be selected; -1 when the list is empty.
    int CaretIndex() const;
    void SetCaretIndex(int index);

private:
    bool multiSelect_ = false;
};

class ComboBox : public Control {
public:
    void Create(Form* form, HWND parent, int left, int top, int width, int height = 200);
    void Clear();
    int Add(const std::string& item);
    int Count() const;
    std::string Item(int index) const;
    int ItemIndex() const;
    void SetItemIndex(int index);
    bool DroppedDown() const;
    void HandleCommand(WORD code) override;
};

class ProgressBar : public Control {
public:
    void Create(Form* form, HWND parent, int left, int top, int width, int height);
    void SetMax(int max);
    void SetPosition(int position);
    int Position() const;
    int Max() const;

private:
    int max_ = 100;
};

class GroupBox : public Control {
public:
    void Create(Form* form, HWND parent, const std::string& text, int left, int top, int width, int height);
};

// A picture: an icon, or a 32-bit bitmap with alpha drawn blended.
class Image : public Control {
public:
    ~Image() override;
    void Create(Form* form, HWND parent, int left, int top, int width, int height);
    void SetIcon(HICON icon);  // sizes the control to 32 x 32
    void SetBitmap(HBITMAP premultipliedBgra, int width, int height);  // takes ownership
    bool HasPicture() const { return icon_ || bitmap_; }
    void Paint(HDC dc);

private:
    HICON icon_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    int bmWidth_ = 0, bmHeight_ = 0;
};

// A plain container for controls (a page of a page control, a panel).
class Panel : public Control {
public:
    void Create(Form* form, HWND parent, int left, int top, int width, int height, bool border = false);
};

// A pop-up menu of text items; one may be the default (bold) item.
class PopupMenu {
public:
    PopupMenu();
    PopupMenu(const PopupMenu&) = delete;
    PopupMenu& operator=(const PopupMenu&) = delete;
    ~PopupMenu();
    HMENU Handle() const { return menu_; }
    // Returns the item's command identifier. The icon (16 x 16, not owned)
    // is drawn beside the caption by the menu's owner window, which passes
    // its WM_MEASUREITEM and WM_DRAWITEM to HandleOwnerMessage.
    UINT AddItem(const std::string& caption, std::function<void()> onClick, bool isDefault = false,
                 HICON icon = nullptr);
    static bool HandleOwnerMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    // Opens the menu at a screen point for the owner window and runs the
    // chosen item's action after the menu has closed.
    void Popup(HWND owner, POINT at, UINT flags);
    // Runs the action of the item with this command identifier.
    void Click(UINT command);
    // Called when the menu is destroyed, so that holders can drop it.
    void AddDestroyListener(void* key, std::function<void()> onDestroy);
    void RemoveDestroyListener(void* key);

private:
    HMENU menu_ = nullptr;
    std::vector<std::function<void()>> actions_;
    std::vector<std::pair<void*, std::function<void()>>> destroyListeners_;
};

// Tabs over pages: each page is a Panel whose visibility follows the tab.
class PageControl : public Control {
public:
    void Create(Form* form, HWND parent, int left, int top, int width, int height);
    Panel& AddPage(const std::string& caption);
    int PageCount() const { return static_cast<int>(pages_.size()); }
    Panel& Page(int index) { return *pages_[index]; }
    int ActivePage() const;
    void SetActivePage(int index);
    std::string PageCaption(int index) const;
    void HandleNotify(NMHDR* hdr);

private:
    std::vector<std::unique_ptr<Panel>> pages_;
};

// A layer that colours every window of the program (the skins) answers
// WM_ERASEBKGND and WM_CTLCOLOR* of forms and panels before they do; it sets
// handled when it took the message. None is set by default.
using PaintHook = LRESULT (*)(HWND window, UINT msg, WPARAM wp, LPARAM lp, bool& handled);
void SetPaintHook(PaintHook hook);

enum class CloseAction { None, Hide, Free, Minimize };

class Form {
public:
    struct CreateArgs {
        std::string caption;
        int clientWidth = 300;
        int clientHeight = 200;
        DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
        DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    };
    Form() = default;
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;
    virtual ~Form();

    HWND Handle() const { return hwnd_; }
    void Show();
    void Hide();
    bool Visible() const;
    // Shows the form modally; returns its modal result.
    int ShowModal();
    bool Modal() const { return modal_; }
    void SetModalResult(int result) { modalResult_ = result; }
    int GetModalResult() const { return modalResult_; }
    void Close();
    void SetCaption(const std::string& caption);
    std::string Caption() const;
    void SetClientSize(int width, int height);
    int ClientWidth() const;
    int ClientHeight() const;
    void CenterOnScreen();
    void BringToFront();
    void SetShowHints(bool show);
    bool ShowHints() const { return showHints_; }
    // Adds or refreshes a control's tool tip (controls call this).
    void UpdateHint(Control* control);

    // Keyboard handling the message loop offers every form before the
    // control sees the key; true consumes it.
    virtual bool PreTranslateKey(MSG& msg);
    // Esc pressed in this form.
    virtual void OnEscape() {}
    // A control of this form received the focus (controls call this).
    void ControlFocused(Control* control);

    // Shared handling of child notifications, also used by panels.
    LRESULT HandleChildMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp, bool& handled);

protected:
    void CreateForm(const CreateArgs& args);
    virtual LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
    // Events a form overrides.
    virtual void FormShow() {}
    virtual void FormHide() {}
    virtual void FormClose(CloseAction& action) { (void)action; }
    virtual void FormPaint(HDC dc) { (void)dc; }
    LRESULT DefaultHandler(UINT msg, WPARAM wp, LPARAM lp);

    HWND hwnd_ = nullptr;

private:
    static LRESULT CALLBACK StaticWndProc(HWND, UINT, WPARAM, LPARAM);
    bool RestoreFocus();
    // The control that had the focus last; it gets it back on activation.
    HWND activeControl_ = nullptr;
    HWND tooltip_ = nullptr;
    bool showHints_ = true;
    bool modal_ = false;
    int modalResult_ = mrNone;
};

// A hidden window that only receives messages (timers, notifications,
// hand-overs). Its handler runs on the thread that created it.
class MessageWindow {
public:
    using Handler = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;
    // messageOnly false creates a hidden top-level window instead (for
    // messages that are broadcast to top-level windows).
    explicit MessageWindow(Handler handler, bool messageOnly = true, const wchar_t* className = L"KolibrioHiddenWindow");
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;
    ~MessageWindow();
    HWND Handle() const { return hwnd_; }

private:
    static LRESULT CALLBACK WndProc(HWND, UINT, WPARAM, LPARAM);
    HWND hwnd_ = nullptr;
    Handler handler_;
};

class Timer {
public:
    explicit Timer(unsigned intervalMs = 1000, std::function<void()> onTimer = nullptr);
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    ~Timer();
    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }
    void SetInterval(unsigned ms);
    unsigned Interval() const { return interval_; }
    std::function<void()> OnTimer;

private:
    void Update();
    MessageWindow window_;
    unsigned interval_;
    bool enabled_ = false;
};

}  // namespace fw
