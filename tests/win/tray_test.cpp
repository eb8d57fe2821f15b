// The tray component against a recording stand-in for the shell, and one
// round through the real Shell_NotifyIconA.
#include <windows.h>

#include <gtest/gtest.h>

#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "app/TrayIkona_win.h"
#include "support/UiTest.h"

namespace {

struct ShellCall {
    DWORD message;
    NOTIFYICONDATAA data;
};
std::vector<ShellCall> gCalls;

BOOL WINAPI RecordShell(DWORD message, PNOTIFYICONDATAA data) {
    gCalls.push_back({message, *data});
    return TRUE;
}

class TrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        wintest::InitApp();
        gCalls.clear();
        TTrayIkona::SetShellNotify(RecordShell);
    }
    void TearDown() override { TTrayIkona::SetShellNotify(nullptr); }
};

}  // namespace

TEST_F(TrayTest, AddsOnceWithTheFullRecordAndRemovesOnDestruction) {
    {
        TTrayIkona tray;
        tray.SetHint(std::string(70, 'x'));
        EXPECT_TRUE(gCalls.empty()) << "a hint set while hidden goes nowhere";
        tray.SetIconVisible(true);
        tray.SetIconVisible(true);
        ASSERT_EQ(gCalls.size(), 1u);
        const NOTIFYICONDATAA& d = gCalls[0].data;
        EXPECT_EQ(gCalls[0].message, static_cast<DWORD>(NIM_ADD));
        // The shell's first record version: 88 bytes with 32-bit handles,
        // 104 with 64-bit ones.
        EXPECT_EQ(d.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE));
        EXPECT_EQ(d.cbSize, sizeof(void*) == 8 ? 104u : 88u);
        EXPECT_EQ(d.uFlags, 7u);
        EXPECT_EQ(d.hWnd, TrayManagerWindow());
        EXPECT_EQ(d.uID, tray.Id());
        EXPECT_EQ(d.uCallbackMessage, RegisterWindowMessageA("QMT.TrayNotifyIconMsg"));
        EXPECT_EQ(std::string(d.szTip), std::string(63, 'x'));
        EXPECT_EQ(d.hIcon, LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_WINLOGO)));

        tray.SetHint("Kolibrio 2");
        tray.SetHint("Kolibrio 2");
        ASSERT_EQ(gCalls.size(), 2u);
        EXPECT_EQ(gCalls[1].message, static_cast<DWORD>(NIM_MODIFY));
        EXPECT_EQ(gCalls[1].data.uFlags, static_cast<UINT>(NIF_TIP));
        EXPECT_STREQ(gCalls[1].data.szTip, "Kolibrio 2");

        tray.SetIcon(LoadIconW(nullptr, IDI_INFORMATION));
        ASSERT_EQ(gCalls.size(), 3u);
        EXPECT_EQ(gCalls[2].message, static_cast<DWORD>(NIM_MODIFY));
        EXPECT_EQ(gCalls[2].data.uFlags, static_cast<UINT>(NIF_ICON));
        EXPECT_EQ(gCalls[2].data.hIcon, tray.Icon());
        EXPECT_NE(gCalls[2].data.hIcon, nullptr);
    }
    ASSERT_EQ(gCalls.size(), 4u);
    EXPECT_EQ(gCalls[3].message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(gCalls[3].data.uFlags, 7u);
}

TEST_F(TrayTest, MouseNotificationsRaiseEventsWithTheManagerAsSender) {
    TTrayIkona tray;
    std::vector<std::string> events;
    void* sender = nullptr;
    tray.OnClick = [&](void* s) { events.push_back("click"); sender = s; };
    tray.OnDblClick = [&](void*) { events.push_back("dblclick"); };
    tray.SetIconVisible(true);
    UINT msg = TrayNotifyMessage();
    WPARAM id = tray.Id();
    HWND manager = TrayManagerWindow();
    SendMessageW(manager, msg, id, WM_LBUTTONDOWN);
    SendMessageW(manager, msg, id, WM_LBUTTONUP);
    SendMessageW(manager, msg, id, WM_LBUTTONDBLCLK);
    SendMessageW(manager, msg, id, WM_MOUSEMOVE);
    // A right click without a menu does nothing; nor does a stale identifier.
    SendMessageW(manager, msg, id, WM_RBUTTONDOWN);
    SendMessageW(manager, msg, id + 4, WM_LBUTTONDOWN);
    EXPECT_EQ(events, (std::vector<std::string>{"click", "dblclick"}));
    EXPECT_NE(sender, nullptr);
    EXPECT_NE(sender, static_cast<void*>(&tray));
}

TEST_F(TrayTest, ForgetsADestroyedMenu) {
    TTrayIkona tray;
    {
        fw::PopupMenu menu;
        tray.SetPopupMenu(&menu);
        EXPECT_EQ(tray.PopupMenu(), &menu);
    }
    EXPECT_EQ(tray.PopupMenu(), nullptr);
}

TEST_F(TrayTest, AddsTheIconAgainWhenTheTaskbarIsRecreated) {
    TTrayIkona hidden, shown;
    shown.SetIconVisible(true);
    gCalls.clear();
    SendMessageW(TrayManagerWindow(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(gCalls[0].data.uID, shown.Id());
}

// The shell keeps the record's 32-bit identifier and sends exactly that
// back as wParam. A component whose address does not fit in 32 bits (a
// 64-bit heap above 4 GiB) must still get its clicks and its menu.
TEST_F(TrayTest, ComponentAboveFourGigabytesGetsTheShellsClicks) {
    void* place = nullptr;
#ifdef _WIN64
    for (ULONG_PTR at = 0x100000000ull; !place && at < 0x7f0000000000ull; at += 0x10000000ull)
        place = VirtualAlloc(reinterpret_cast<void*>(at), 0x10000, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(place, nullptr) << "no memory above 4 GiB";
    ASSERT_GT(reinterpret_cast<ULONG_PTR>(place), 0xffffffffull);
#else
    std::cout << "[   NOTE   ] a 32-bit process has no address above 4 GiB; the round trip runs at an ordinary one\n";
    place = VirtualAlloc(nullptr, 0x10000, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(place, nullptr);
#endif
    auto* tray = new (place) TTrayIkona;
    int clicks = 0, doubles = 0;
    tray->OnClick = [&](void*) { ++clicks; };
    tray->OnDblClick = [&](void*) { ++doubles; };
    tray->SetIconVisible(true);
    ASSERT_EQ(gCalls.size(), 1u);
    const WPARAM fromShell = gCalls[0].data.uID;  // 32 bits, zero-extended
    SendMessageW(TrayManagerWindow(), TrayNotifyMessage(), fromShell, WM_LBUTTONDOWN);
    SendMessageW(TrayManagerWindow(), TrayNotifyMessage(), fromShell, WM_LBUTTONDBLCLK);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(doubles, 1);
    tray->~TTrayIkona();
    VirtualFree(place, 0, MEM_RELEASE);
}

namespace {
// A component that shows another picture while no icon is set.
class InformationTray : public TTrayIkona {
protected:
    void LoadDefaultIcon() override { defaultIcon_ = LoadIconW(nullptr, IDI_INFORMATION); }
};
}  // namespace

TEST_F(TrayTest, DefaultIconOfADerivedComponentIsUsed) {
    InformationTray tray;
    tray.SetIconVisible(true);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].data.hIcon, LoadIconW(nullptr, IDI_INFORMATION));
}

std::vector<BOOL> gResults;

// Passes the call to the real shell and keeps its answer.
BOOL WINAPI RealShell(DWORD m, PNOTIFYICONDATAA d) {
    BOOL r = Shell_NotifyIconA(m, d);
    gResults.push_back(r);
    return r;
}

TEST_F(TrayTest, RealShellAcceptsTheRecord) {
    gResults.clear();
    TTrayIkona::SetShellNotify(RealShell);
    {
        TTrayIkona tray;
        tray.SetHint("Kolibrio 2");
        tray.SetIconVisible(true);
        tray.SetHint("Kolibrio 2 - test");
    }
    ASSERT_EQ(gResults.size(), 3u);
    EXPECT_TRUE(gResults[0]) << "NIM_ADD";
    EXPECT_TRUE(gResults[1]) << "NIM_MODIFY";
    EXPECT_TRUE(gResults[2]) << "NIM_DELETE";
}
