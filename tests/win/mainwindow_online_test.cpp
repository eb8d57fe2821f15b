// The main window's schedule of online checks: the real window, its real
// timers and the real HTTP component, with the system's proxy setting
// sending the vendor's host to a server on 127.0.0.1:80. No test waits for
// the timer's minutes: it reads the timer and fires its handler.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/Unit1_win.h"
#include "framework/Application.h"
#include "framework/Strings.h"
#include "import/UnitMyDlg_win.h"
#include "net/NetLogic.h"
#include "settings/SettingsStore_win.h"
#include "support/HttpServer.h"
#include "support/Questions.h"
#include "support/UiTest.h"
#include "support/WinTest.h"

using wintest::HttpAnswer;
using wintest::HttpConnection;
using wintest::HttpRequest;
using wintest::HttpServer;

namespace {

HttpServer* gServer = nullptr;
const wchar_t kInternetSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

class ProxyEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        wintest::InitApp();
        gServer = new HttpServer;
        ASSERT_TRUE(gServer->Start()) << "127.0.0.1:80 stayed busy";
        // WinInet's preconfigured access: every host through this proxy.
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        const DWORD on = 1;
        const wchar_t proxy[] = L"127.0.0.1:80";
        RegSetValueExW(key, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);
        RegSetValueExW(key, L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(proxy), sizeof proxy);
        RegCloseKey(key);
    }
    void TearDown() override {
        delete gServer;
        gServer = nullptr;
    }
};
const auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new ProxyEnvironment);

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Requests whose target (absolute, as a proxy gets it) ends with path.
size_t RequestsTo(const std::string& path) {
    size_t n = 0;
    for (const HttpRequest& r : gServer->Requests())
        if (EndsWith(r.target, path)) ++n;
    return n;
}

const char kReport[] = "/bin/statistic_run.php";
const char kQuery[] = "/kolibrio/version.php";

}  // namespace

TEST(MainWindowOnline, ScheduleOfTheChecks) {
    struct Case {
        const char* name;
        bool autoUpdate;
        const char* newest;     // the server's answer
        bool questionAsked;     // a newer version
        bool timerAfterCheck;   // Timer2 still runs after the first check
    } cases[] = {
        {"on, same version", true, "2.1", false, true},
        {"on, newer version", true, "2.2", true, false},
        {"off", false, "2.2", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring folder = wintest::MakeTempDir();
        wintest::WriteFileBytes(folder + L"setting.ini",
                                std::string("[Options]\r\nAutoUpdate=") + (c.autoUpdate ? "1" : "0") + "\r\n");
        SetSettingsFolder(fw::Utf8(folder));
        wintest::gQuestions.clear();
        wintest::gAnswer = 7;  // No: no browser
        SetMessageDlgHook(wintest::RecordQuestion);
        TTrayIkona::SetShellNotify(wintest::IgnoreShell);
        gServer->Reset();
        const std::string answer = HttpAnswer("200 OK", std::string("[version]\r\nnewest=") + c.newest + "\r\n");
        gServer->SetHandler([answer](const HttpRequest& r, HttpConnection& conn) {
            conn.Send(EndsWith(r.target, kQuery) ? answer : HttpAnswer("200 OK", "thanks"));
        });
        {
            TForm1 form;
            ASSERT_FALSE(form.HandedOver());
            if (!c.autoUpdate) {
                wintest::Pump(1500);
                EXPECT_EQ(gServer->ConnectionCount(), 0u) << "nothing is sent";
                EXPECT_FALSE(form.Timer2.Enabled()) << "Timer2 never runs";
            } else {
                // The check at start, before any tick of Timer2.
                ASSERT_TRUE(wintest::WaitFor([] { return RequestsTo(kQuery) == 1 && RequestsTo(kReport) == 1; },
                                             20000));
                for (const HttpRequest& r : gServer->Requests())
                    EXPECT_EQ(r.Header("Host"), net::kVendorHost) << r.target;
                ASSERT_TRUE(wintest::WaitFor(
                    [&] { return !form.OnlineCheck.HTTPGet1.Busy() && !form.OnlineCheck.HTTPGet2.Busy(); }, 20000));
                wintest::Pump(200);
                EXPECT_EQ(wintest::gQuestions.size(), c.questionAsked ? 1u : 0u);
                EXPECT_EQ(form.Timer2.Enabled(), c.timerAfterCheck);
                if (c.timerAfterCheck) {
                    EXPECT_EQ(form.Timer2.Interval(), 60000u) << "the first tick comes a minute after the start";
                    // Each tick checks again, and from the first one on hourly.
                    for (size_t tick = 1; tick <= 2; ++tick) {
                        SCOPED_TRACE(tick);
                        form.Timer2.OnTimer();
                        EXPECT_EQ(form.Timer2.Interval(), 3600000u);
                        EXPECT_TRUE(form.Timer2.Enabled());
                        EXPECT_TRUE(wintest::WaitFor(
                            [&] { return RequestsTo(kQuery) == tick + 1 && RequestsTo(kReport) == tick + 1; }, 20000));
                        ASSERT_TRUE(wintest::WaitFor(
                            [&] { return !form.OnlineCheck.HTTPGet1.Busy() && !form.OnlineCheck.HTTPGet2.Busy(); },
                            20000));
                    }
                }
            }
        }
        gServer->SetHandler(nullptr);
        SetMessageDlgHook(nullptr);
        TTrayIkona::SetShellNotify(nullptr);
        SetSettingsFolder("");
        wintest::RemoveTree(folder);
    }
}
