// The options page of the settings window on a 96-DPI and a 144-DPI screen:
// every control inside the page, none over another, every text within its
// control. The screen resolution is read when a process starts, so each one
// is measured by a program of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/WinTest.h"

namespace {

struct Placed {
    RECT r;
    int needed;
    std::string text;
};

struct Page {
    int dpi = 0, width = 0, height = 0;
    std::vector<Placed> controls;
};

void SetScreenDpi(DWORD dpi) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    RegCloseKey(key);
}

Page Measure() {
    const std::wstring out = wintest::MakeTempDir() + L"layout.txt";
    wintest::ChildProcess child;
    Page page;
    if (!child.Start(wintest::BuildDir() + L"tests\\settings_layout_child.exe", {out}) || !child.WaitExit(30000))
        return page;
    std::istringstream lines(wintest::ReadFileBytes(out));
    std::string line;
    if (std::getline(lines, line)) std::sscanf(line.c_str(), "%d %d %d", &page.dpi, &page.width, &page.height);
    while (std::getline(lines, line)) {
        Placed p{};
        int used = 0;
        if (std::sscanf(line.c_str(), "%ld %ld %ld %ld %d %n", &p.r.left, &p.r.top, &p.r.right, &p.r.bottom,
                        &p.needed, &used) < 5)
            continue;
        p.text = line.substr(static_cast<size_t>(used));
        page.controls.push_back(p);
    }
    return page;
}

bool Overlap(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace

TEST(SettingsLayout, OptionsPageIsTidyAt96And144Dpi) {
    for (DWORD dpi : {96u, 144u}) {
        SCOPED_TRACE(dpi);
        SetScreenDpi(dpi);
        const Page page = Measure();
        ASSERT_EQ(page.dpi, static_cast<int>(dpi)) << "the page is measured at the resolution set";
        bool verifyBoxSeen = false;
        for (size_t i = 0; i < page.controls.size(); ++i) {
            const Placed& c = page.controls[i];
            SCOPED_TRACE(c.text);
            verifyBoxSeen |= c.text == "Ověřovat zkopírované soubory";
            EXPECT_GE(c.r.left, 0);
            EXPECT_GE(c.r.top, 0);
            EXPECT_LE(c.r.right, page.width);
            EXPECT_LE(c.r.bottom, page.height);
            EXPECT_LE(c.needed, c.r.right - c.r.left) << "the text is cut";
            for (size_t j = i + 1; j < page.controls.size(); ++j)
                EXPECT_FALSE(Overlap(c.r, page.controls[j].r)) << "over " << page.controls[j].text;
        }
        EXPECT_TRUE(verifyBoxSeen) << page.controls.size() << " controls";
    }
    SetScreenDpi(96);
}
