#include "support/UiTest.h"

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

}  // namespace wintest
