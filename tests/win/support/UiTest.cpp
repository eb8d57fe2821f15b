#include "support/UiTest.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "framework/Application.h"
#include "support/WinTest.h"

namespace wintest {

void InitApp() {
    static bool done = false;
    if (done) return;
    fw::App().Initialize(GetModuleHandleW(nullptr));
    fw::App().SetTitle("Kolibrio 2");
    done = true;
}

namespace {

struct Waiter {
    std::wstring caption;
    std::function<void(HWND)> action;
    DWORD deadline;
    UINT_PTR timer;
};
std::vector<std::unique_ptr<Waiter>> gWaiters;

void CALLBACK WaiterTick(HWND, UINT, UINT_PTR id, DWORD) {
    for (size_t i = 0; i < gWaiters.size(); ++i) {
        Waiter* w = gWaiters[i].get();
        if (w->timer != id) continue;
        HWND found = FindProcessWindow(GetCurrentProcessId(), w->caption, true);
        if (!found && GetTickCount() < w->deadline) return;
        KillTimer(nullptr, id);
        auto keep = std::move(gWaiters[i]);
        gWaiters.erase(gWaiters.begin() + i);
        if (found) keep->action(found);
        return;
    }
}

}  // namespace

void WhenWindowAppears(const std::wstring& caption, std::function<void(HWND)> action, DWORD timeoutMs) {
    auto w = std::make_unique<Waiter>();
    w->caption = caption;
    w->action = std::move(action);
    w->deadline = GetTickCount() + timeoutMs;
    w->timer = SetTimer(nullptr, 0, 50, WaiterTick);
    gWaiters.push_back(std::move(w));
}

namespace {
struct ChildSearch {
    std::wstring text;
    HWND found;
};
BOOL CALLBACK FindChildProc(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<ChildSearch*>(lp);
    if (WindowText(hwnd) == s->text) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HWND FindChildByText(HWND parent, const std::wstring& text) {
    ChildSearch s{text, nullptr};
    EnumChildWindows(parent, FindChildProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

RECT ChildRect(HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::wstring MenuText(HMENU menu, int pos) {
    wchar_t buf[256] = {};
    GetMenuStringW(menu, pos, buf, 255, MF_BYPOSITION);
    return buf;
}

RECT ClientRectOf(HWND hwnd) {
    RECT r;
    GetClientRect(hwnd, &r);
    return r;
}

namespace {
struct DialogSearch {
    HWND owner;
    HWND found;
};
BOOL CALLBACK FindOwnedDialogProc(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<DialogSearch*>(lp);
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    if (IsWindowVisible(hwnd) && lstrcmpW(cls, L"#32770") == 0 && GetWindow(hwnd, GW_OWNER) == s->owner) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    return cls;
}

// The pixels a painting leaves in a fresh 32-bit picture of w x h.
std::vector<DWORD> Render(int w, int h, const std::function<void(HDC)>& paint) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<DWORD> out;
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(dc, bitmap);
        paint(dc);
        GdiFlush();
        out.assign(static_cast<DWORD*>(bits), static_cast<DWORD*>(bits) + w * h);
        SelectObject(dc, old);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
    return out;
}

// The kind whose stock icon, on the box's own background, is exactly the
// picture the box's image control paints; -1 when none or several are.
int KindShown(HWND box, HWND image) {
    RECT r;
    GetClientRect(image, &r);
    const std::vector<DWORD> shown = Render(r.right, r.bottom, [&](HDC dc) {
        SendMessageW(image, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    });
    static const LPCWSTR icons[] = {IDI_EXCLAMATION, IDI_HAND, IDI_ASTERISK, IDI_QUESTION};
    int kind = -1;
    for (int k = 0; k < 4; ++k) {
        const std::vector<DWORD> stock = Render(r.right, r.bottom, [&](HDC dc) {
            auto brush = reinterpret_cast<HBRUSH>(SendMessageW(box, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                               reinterpret_cast<LPARAM>(image)));
            FillRect(dc, &r, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
            DrawIconEx(dc, 0, 0, LoadIconW(nullptr, icons[k]), r.right, r.bottom, 0, nullptr, DI_NORMAL);
        });
        if (shown.empty() || stock != shown) continue;
        if (kind != -1) return -1;
        kind = k;
    }
    return kind;
}
}  // namespace

HWND OwnedDialog(HWND owner) {
    DialogSearch s{owner, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindOwnedDialogProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

bool IsMessageBox(HWND hwnd) {
    return hwnd && IsWindowVisible(hwnd) && FindChildByText(hwnd, L"Ano pro vše");
}

BoxSeen ReadMessageBox(HWND box) {
    BoxSeen seen;
    seen.caption = WindowText(box);
    std::vector<std::pair<LONG, std::wstring>> buttons;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        const std::wstring cls = ClassOf(c);
        if (!lstrcmpiW(cls.c_str(), L"Button")) {
            if (IsWindowVisible(c)) buttons.emplace_back(ChildRect(c).left, WindowText(c));
        } else if (!lstrcmpiW(cls.c_str(), L"Static")) {
            if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_OWNERDRAW)
                seen.kind = KindShown(box, c);
            else if (!WindowText(c).empty())
                seen.text = WindowText(c);
        }
    }
    std::sort(buttons.begin(), buttons.end());
    for (const auto& b : buttons) seen.buttons.push_back(b.second);
    HWND focus = GetFocus();
    if (focus && GetParent(focus) == box) seen.focused = WindowText(focus);
    return seen;
}

}  // namespace wintest
