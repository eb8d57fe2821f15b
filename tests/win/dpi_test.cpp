// Layouts are written for a 96-DPI screen and scaled to the real one: a
// program started on a 144-DPI screen makes its controls half as large
// again and still reports them in the layout's own units.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/WinTest.h"

namespace {

std::string RunProbe() {
    std::wstring exe = wintest::BuildDir() + L"tests\\dpi_child.exe";
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE readPipe = nullptr, writePipe = nullptr;
    if (!CreatePipe(&readPipe, &writePipe, &sa, 0)) return {};
    SetHandleInformation(readPipe, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writePipe;
    si.hStdError = writePipe;
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = L"\"" + exe + L"\"";
    BOOL started = CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(writePipe);
    std::string out;
    if (started) {
        char buf[256];
        DWORD got = 0;
        while (ReadFile(readPipe, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
        WaitForSingleObject(pi.hProcess, 20000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(readPipe);
    return out;
}

void SetScreenDpi(DWORD dpi) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    RegCloseKey(key);
}

}  // namespace

TEST(ScreenResolution, ControlsScaleAndReportLayoutUnits) {
    struct Case { DWORD dpi; int width, height; } cases[] = {{96, 75, 25}, {144, 113, 38}};
    for (const Case& c : cases) {
        SetScreenDpi(c.dpi);
        std::string out = RunProbe();
        int dpi = 0, physW = 0, physH = 0, logW = 0, logH = 0, client = 0;
        ASSERT_EQ(std::sscanf(out.c_str(), "%d %d %d %d %d %d", &dpi, &physW, &physH, &logW, &logH, &client), 6)
            << out;
        ASSERT_EQ(dpi, static_cast<int>(c.dpi)) << "the probe runs on the screen resolution set";
        EXPECT_EQ(physW, c.width);
        EXPECT_EQ(physH, c.height);
        EXPECT_EQ(logW, 75);
        EXPECT_EQ(logH, 25);
        EXPECT_EQ(client, 300);
    }
    SetScreenDpi(96);
}
