// The online check end to end: the usage report and the version query go
// to a real HTTP server on 127.0.0.1:80, the counters come from the real
// registry, and the update question is the program's own message box.
#include "net/OnlineCheck_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/Application.h"
#include "framework/Strings.h"
#include "import/UnitMyDlg_win.h"
#include "support/HttpServer.h"
#include "support/WinTest.h"

using namespace std::string_literals;
using wintest::HttpAnswer;
using wintest::HttpConnection;
using wintest::HttpRequest;
using wintest::HttpServer;

namespace {

HttpServer* gServer = nullptr;

class OnlineEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        fw::App().Initialize(GetModuleHandleW(nullptr));
        gServer = new HttpServer;
        ASSERT_TRUE(gServer->Start()) << "127.0.0.1:80 stayed busy";
    }
    void TearDown() override {
        delete gServer;
        gServer = nullptr;
    }
};
const auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new OnlineEnvironment);

const char kCountersKey[] = "Software\\tb-venor\\Kolibrio 2";

void DeleteCounters() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kCountersKey);
}

// idAnsi is stored as given: bytes of the ANSI code page.
void WriteCounters(const std::string* idAnsi, const DWORD* copyCount, const DWORD* runCount) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCountersKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (idAnsi)
        RegSetValueExA(key, "ID", 0, REG_SZ, reinterpret_cast<const BYTE*>(idAnsi->c_str()),
                       static_cast<DWORD>(idAnsi->size() + 1));
    if (copyCount)
        RegSetValueExA(key, "copycount", 0, REG_DWORD, reinterpret_cast<const BYTE*>(copyCount), sizeof(DWORD));
    if (runCount)
        RegSetValueExA(key, "runcount", 0, REG_DWORD, reinterpret_cast<const BYTE*>(runCount), sizeof(DWORD));
    RegCloseKey(key);
}

const net::TOsVersionInfo kXp = {2, 5, 1, 2600, "Service Pack 3"};

// What the program's message box looked like when it came up, and the
// button this script pressed. The box is modal on this thread, so the
// script runs from a thread timer inside its message loop.
struct QuestionScript {
    bool answerYes = true;
    int shown = 0;
    std::string caption;
    std::string text;
    std::vector<std::string> buttons;  // visible, in creation order
    std::string focused;
};
QuestionScript* gScript = nullptr;

BOOL CALLBACK CollectChild(HWND child, LPARAM lp) {
    auto* s = reinterpret_cast<QuestionScript*>(lp);
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (!IsWindowVisible(child)) return TRUE;
    const std::string text = fw::Utf8(wintest::WindowText(child));
    if (lstrcmpiW(cls, L"Button") == 0)
        s->buttons.push_back(text);
    else if (lstrcmpiW(cls, L"Static") == 0 && !text.empty())
        s->text = text;
    return TRUE;
}

HWND FindChildByText(HWND parent, const std::string& text) {
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (fw::Utf8(wintest::WindowText(c)) == text) return c;
    return nullptr;
}

BOOL CALLBACK FindQuestion(HWND hwnd, LPARAM lp) {
    if (!IsWindowVisible(hwnd) || fw::Utf8(wintest::WindowText(hwnd)) != net::kUpdateQuestionCaption) return TRUE;
    *reinterpret_cast<HWND*>(lp) = hwnd;
    return FALSE;
}

void CALLBACK AnswerQuestion(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dlg = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindQuestion, reinterpret_cast<LPARAM>(&dlg));
    if (!dlg || !gScript) return;
    KillTimer(nullptr, id);
    QuestionScript& s = *gScript;
    ++s.shown;
    s.caption = fw::Utf8(wintest::WindowText(dlg));
    s.buttons.clear();
    EnumChildWindows(dlg, CollectChild, reinterpret_cast<LPARAM>(&s));
    s.focused = GetFocus() ? fw::Utf8(wintest::WindowText(GetFocus())) : "";
    HWND button = FindChildByText(dlg, s.answerYes ? "&Ano" : "&Ne");
    if (button) PostMessageW(button, BM_CLICK, 0, 0);
}

// The kind, buttons and focus the online check asks the message box for.
struct DlgCall {
    int calls = 0;
    TMsgDlgKind kind = mkCustom;
    TMsgButtons buttons = 0, focus = 0;
};
DlgCall gDlgCall;
int RecordDlgCall(const std::string&, const std::string&, TMsgDlgKind kind, TMsgButtons buttons, TMsgButtons focus) {
    ++gDlgCall.calls;
    gDlgCall.kind = kind;
    gDlgCall.buttons = buttons;
    gDlgCall.focus = focus;
    return 7;
}

class OnlineCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        gServer->Reset();
        SetVersionAnswer(HttpAnswer("200 OK", "[version]\r\nnewest=2.1\r\n"));
        gServer->SetHandler([this](const HttpRequest& r, HttpConnection& c) {
            if (r.target == "/kolibrio/version.php") {
                HttpServer::Handler h;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    h = versionHandler_;
                }
                h(r, c);
            } else {
                c.Send(HttpAnswer("200 OK", "thanks"));
            }
        });
        DeleteCounters();
        const std::string id = "INST-42";
        const DWORD copy = 3, run = 12;
        WriteCounters(&id, &copy, &run);

        check_ = std::make_unique<TOnlineCheck>();
        check_->Host = "127.0.0.1";
        check_->IsConnected = [this] { return connected_; };
        check_->GetVersionInfo = [this](net::TOsVersionInfo& info) {
            info = version_;
            return true;
        };
        check_->StopTimer2 = [this] { ++timerStops_; };
        check_->OpenUrl = [this](const std::string& url) { urls_.push_back(url); };
        gScript = &script_;
    }
    void TearDown() override {
        KillTimer(nullptr, scriptTimer_);
        gScript = nullptr;
        check_.reset();
        gServer->SetHandler(nullptr);
        DeleteCounters();
    }

    void SetVersionAnswer(const std::string& raw) {
        SetVersionHandler([raw](const HttpRequest&, HttpConnection& c) { c.Send(raw); });
    }
    void SetVersionHandler(HttpServer::Handler h) {
        std::lock_guard<std::mutex> lock(mutex_);
        versionHandler_ = std::move(h);
    }
    // Runs one check and waits until both transfers have ended.
    void RunCheck(bool answerYes = true) {
        script_.answerYes = answerYes;
        scriptTimer_ = SetTimer(nullptr, 0, 50, AnswerQuestion);
        check_->RunOnlineCheck();
        ASSERT_TRUE(wintest::WaitFor([&] { return !check_->HTTPGet1.Busy() && !check_->HTTPGet2.Busy(); }, 20000));
        wintest::Pump(200);
        KillTimer(nullptr, scriptTimer_);
    }
    std::vector<HttpRequest> RequestsTo(const std::string& target) const {
        std::vector<HttpRequest> out;
        for (auto& r : gServer->Requests())
            if (r.target == target) out.push_back(r);
        return out;
    }

    std::unique_ptr<TOnlineCheck> check_;
    bool connected_ = true;
    net::TOsVersionInfo version_ = kXp;
    int timerStops_ = 0;
    std::vector<std::string> urls_;
    QuestionScript script_;
    UINT_PTR scriptTimer_ = 0;
    std::mutex mutex_;
    HttpServer::Handler versionHandler_;
};

TEST_F(OnlineCheckTest, WithoutAConnectionNothingIsSent) {
    connected_ = false;
    check_->RunOnlineCheck();
    EXPECT_FALSE(check_->HTTPGet1.Busy());
    EXPECT_FALSE(check_->HTTPGet2.Busy());
    wintest::Pump(500);
    EXPECT_EQ(gServer->ConnectionCount(), 0u);
    EXPECT_EQ(script_.shown, 0);
}

TEST_F(OnlineCheckTest, ReportThenVersionQueryAsTheyArrive) {
    RunCheck();
    auto reports = RequestsTo("/bin/statistic_run.php");
    auto queries = RequestsTo("/kolibrio/version.php");
    ASSERT_EQ(reports.size(), 1u);
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(gServer->RequestCount(), 2u);

    const HttpRequest& report = reports[0];
    EXPECT_EQ(report.method, "POST");
    EXPECT_EQ(report.version, "HTTP/1.0");
    EXPECT_EQ(report.Header("Host"), "127.0.0.1");
    EXPECT_EQ(report.Header("User-Agent"), "Brantlow HTTPGet");
    EXPECT_EQ(report.Header("Referer"), "AutoUpdater");
    EXPECT_EQ(report.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(report.body, "id=INST-42&copy=3&run=12&os=Microsoft Windows XP&os_ver=5.1.2600.Service Pack 3");

    const HttpRequest& query = queries[0];
    EXPECT_EQ(query.method, "GET");
    EXPECT_EQ(query.version, "HTTP/1.0");
    EXPECT_EQ(query.Header("User-Agent"), "Brantlow HTTPGet");
    EXPECT_EQ(query.Header("Referer"), "AutoUpdater");
    EXPECT_EQ(query.body, "");

    EXPECT_EQ(check_->NewestVersion, "2.1");
    EXPECT_EQ(script_.shown, 0);
    EXPECT_EQ(timerStops_, 0);
}

TEST_F(OnlineCheckTest, StatisticBodies) {
    const DWORD three = 3, twelve = 12, big = 0xFFFFFFFF;
    const std::string empty, czech = "\xC8" "apek 1";  // "Čapek 1" in code page 1250
    struct Case {
        const char* name;
        bool writeKey;
        const std::string* id;
        const DWORD* copy;
        const DWORD* run;
        net::TOsVersionInfo os;
        std::string body;
    } cases[] = {
        {"XP, empty ID", true, &empty, &three, &twelve, kXp,
         "id=&copy=3&run=12&os=Microsoft Windows XP&os_ver=5.1.2600.Service Pack 3"},
        {"98 SE", true, &czech, &three, &twelve, {1, 4, 10, 0x040A08AE, " A "},
         "id=\xC8" "apek 1&copy=3&run=12&os=Microsoft Windows 98 SE&os_ver=4.10.67766446. A "},
        {"NT 6", true, &czech, &big, &twelve, {2, 6, 1, 7601, "Service Pack 1"},
         "id=\xC8" "apek 1&copy=-1&run=12&os=&os_ver="},
        {"no ID value", true, nullptr, &three, &twelve, kXp,
         "id=&copy=3&run=12&os=Microsoft Windows XP&os_ver=5.1.2600.Service Pack 3"},
        {"no counter values", true, &czech, nullptr, nullptr, kXp,
         "id=\xC8" "apek 1&copy=0&run=0&os=Microsoft Windows XP&os_ver=5.1.2600.Service Pack 3"},
        {"no key", false, nullptr, nullptr, nullptr, kXp,
         "id=&copy=0&run=0&os=Microsoft Windows XP&os_ver=5.1.2600.Service Pack 3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gServer->Reset();
        DeleteCounters();
        if (c.writeKey) WriteCounters(c.id, c.copy, c.run);
        version_ = c.os;
        RunCheck();
        auto reports = RequestsTo("/bin/statistic_run.php");
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0].body, c.body);
        EXPECT_EQ(reports[0].Header("Content-Length"), std::to_string(c.body.size()));
    }
}

TEST_F(OnlineCheckTest, StatisticWithoutAVersionRecordNamesNoWindows) {
    check_->GetVersionInfo = [](net::TOsVersionInfo&) { return false; };
    RunCheck();
    auto reports = RequestsTo("/bin/statistic_run.php");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].body, "id=INST-42&copy=3&run=12&os=&os_ver=");
}

TEST_F(OnlineCheckTest, TheSystemsOwnVersionRecordIsReported) {
    // Wine names an NT-family version of its own; whatever it is, the
    // report describes it as the table does.
    check_->GetVersionInfo = TOnlineCheck().GetVersionInfo;
    OSVERSIONINFOA v = {};
    v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ASSERT_TRUE(GetVersionExA(&v));
#pragma GCC diagnostic pop
    RunCheck();
    auto reports = RequestsTo("/bin/statistic_run.php");
    ASSERT_EQ(reports.size(), 1u);
    const net::TOsDescription os = net::DescribeWindows(
        {v.dwPlatformId, v.dwMajorVersion, v.dwMinorVersion, v.dwBuildNumber, v.szCSDVersion});
    EXPECT_EQ(reports[0].body, net::StatisticBody("INST-42", 3, 12, os));
}

TEST_F(OnlineCheckTest, VersionAnswersThroughTheMessageBox) {
    const std::string question22 =
        "Byla nalezena nová verze programu Kolibrio2.\r\nStávající verze:2.1\r\nNová verze:2.2\r\n\r\n"
        "Chcete stáhnout aktualizaci?";
    struct Case {
        const char* name;
        std::string answer;
        bool yes;
        std::string question;  // empty: no question
        std::string url;       // empty: no browser
    } cases[] = {
        {"newer", "[version]\r\nnewest=2.2\r\nnewest_link=x\r\n", true, question22, "http://127.0.0.1/x"},
        {"capitals and blanks", "[VERSION]\r\nnewest = 2.2\r\nnewest_link = x\r\n", true, question22,
         "http://127.0.0.1/x"},
        {"the same version", "[version]\r\nnewest=2.1\r\nnewest_link=x\r\n", true, "", ""},
        {"10.0 sorts before 2.1", "[version]\nnewest=10.0\nnewest_link=x\n", true, "", ""},
        {"empty link", "[version]\nnewest=3\nnewest_link=\n", true,
         "Byla nalezena nová verze programu Kolibrio2.\r\nStávající verze:2.1\r\nNová verze:3\r\n\r\n"
         "Chcete stáhnout aktualizaci?",
         "http://127.0.0.1/"},
        {"answered No", "[version]\nnewest=2.2\nnewest_link=x\n", false, question22, ""},
        {"text in the ANSI code page", "[version]\nnewest=2.2 \xE8" "esky\nnewest_link=st\xE1hni\n", true,
         "Byla nalezena nová verze programu Kolibrio2.\r\nStávající verze:2.1\r\nNová verze:2.2 česky\r\n\r\n"
         "Chcete stáhnout aktualizaci?",
         "http://127.0.0.1/stáhni"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        script_ = QuestionScript{};
        timerStops_ = 0;
        urls_.clear();
        SetVersionAnswer(HttpAnswer("200 OK", c.answer));
        RunCheck(c.yes);
        if (c.question.empty()) {
            EXPECT_EQ(script_.shown, 0);
            EXPECT_EQ(timerStops_, 0);
            EXPECT_TRUE(urls_.empty());
            continue;
        }
        EXPECT_EQ(script_.shown, 1);
        EXPECT_EQ(script_.caption, "Update programu Kolibrio2 je k dispozici");
        EXPECT_EQ(script_.text, c.question);
        EXPECT_EQ(script_.buttons, (std::vector<std::string>{"&Ano", "&Ne"}));
        EXPECT_EQ(script_.focused, "&Ano");
        EXPECT_EQ(timerStops_, 1);
        if (c.url.empty()) {
            EXPECT_TRUE(urls_.empty());
        } else {
            EXPECT_EQ(urls_, std::vector<std::string>{c.url});
        }
    }
}

TEST_F(OnlineCheckTest, QuestionIsAnInformationBoxWithYesAndNo) {
    gDlgCall = DlgCall{};
    SetMessageDlgHook(RecordDlgCall);
    SetVersionAnswer(HttpAnswer("200 OK", "[version]\nnewest=2.2\n"));
    RunCheck();
    SetMessageDlgHook(nullptr);
    EXPECT_EQ(gDlgCall.calls, 1);
    EXPECT_EQ(gDlgCall.kind, mkInformation);
    EXPECT_EQ(gDlgCall.buttons, MsgBtn::Yes | MsgBtn::No);
    EXPECT_EQ(gDlgCall.focus, MsgBtn::Yes);
    EXPECT_TRUE(urls_.empty());  // the hook answered No
}

TEST_F(OnlineCheckTest, CheckWhileTheQueryRunsSendsNoSecondQuery) {
    std::atomic<bool> release{false};
    SetVersionHandler([&](const HttpRequest&, HttpConnection& c) {
        if (c.HoldUntil([&] { return release.load(); }, 20000)) c.Send(HttpAnswer("200 OK", "[version]\nnewest=2.0\n"));
    });
    check_->RunOnlineCheck();
    // The check came back while the server holds the answer.
    EXPECT_TRUE(check_->HTTPGet1.Busy());
    ASSERT_TRUE(wintest::WaitFor([&] { return RequestsTo("/kolibrio/version.php").size() == 1; }));
    ASSERT_TRUE(wintest::WaitFor([&] { return !check_->HTTPGet2.Busy(); }));
    check_->RunOnlineCheck();
    ASSERT_TRUE(wintest::WaitFor([&] { return RequestsTo("/bin/statistic_run.php").size() == 2; }));
    release = true;
    ASSERT_TRUE(wintest::WaitFor([&] { return !check_->HTTPGet1.Busy() && !check_->HTTPGet2.Busy(); }));
    wintest::Pump(300);
    EXPECT_EQ(RequestsTo("/kolibrio/version.php").size(), 1u);
    EXPECT_EQ(check_->NewestVersion, "2.0");
}

// A broken or hostile server: no question, no crash, and the next check
// works again.
TEST_F(OnlineCheckTest, HostileServersShowNothing) {
    std::string sections;
    for (int i = 0; i < 100000; ++i) sections += "[v" + std::to_string(i) + "]\r\nnewest=9\r\n";
    const std::string mega(1 << 20, '9');
    struct Case {
        const char* name;
        HttpServer::Handler handler;
    } cases[] = {
        {"10 MB of garbage",
         [](const HttpRequest&, HttpConnection& c) {
             c.Send("HTTP/1.0 200 OK\r\n\r\n");
             std::string block(65536, '\0');
             for (int i = 0; i < 65536; ++i) block[i] = static_cast<char>((i * 7919) & 0xFF);
             for (int i = 0; i < 160 && c.Send(block); ++i) {
             }
         }},
        {"100000 sections", [sections](const HttpRequest&, HttpConnection& c) { c.Send(HttpAnswer("200 OK", sections)); }},
        {"zero bytes",
         [](const HttpRequest&, HttpConnection& c) {
             c.Send(HttpAnswer("200 OK", "\0[version]\nnewest=9\n"s + "[version\0]\nnewest=9"s));
         }},
        {"zero byte inside the section",
         [](const HttpRequest&, HttpConnection& c) { c.Send(HttpAnswer("200 OK", "[version]\n\0newest=9\n"s)); }},
        {"a version line of 1 MB",
         [mega](const HttpRequest&, HttpConnection& c) {
             c.Send(HttpAnswer("200 OK", "[version]\nnewest=" + mega + "\nnewest_link=x\n"));
         }},
        {"a link line of 1 MB",
         [mega](const HttpRequest&, HttpConnection& c) {
             c.Send(HttpAnswer("200 OK", "[version]\nnewest=9\nnewest_link=" + mega + "\n"));
         }},
        {"lines of 1 MB of garbage",
         [mega](const HttpRequest&, HttpConnection& c) { c.Send(HttpAnswer("200 OK", mega + "\n" + mega + "\r" + mega)); }},
        {"never answers", [](const HttpRequest&, HttpConnection& c) { c.HoldUntil([] { return false; }, 60000); }},
        {"trickles",
         [](const HttpRequest&, HttpConnection& c) {
             c.Send("HTTP/1.0 200 OK\r\nContent-Length: 5000\r\n\r\n[version]\nnewest=");
             while (c.Send("9") && c.Sleep(100)) {
             }
         }},
        {"closes mid-answer",
         [](const HttpRequest&, HttpConnection& c) {
             c.Send(HttpAnswer("200 OK", "[version]\nnewest=9\n" + std::string(3000, ';')).substr(0, 70));
         }},
    };
    check_->HTTPGet1.TimeoutMs = 1500;
    check_->HTTPGet1.TimeLimitMs = 3000;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        script_ = QuestionScript{};
        SetVersionHandler(c.handler);
        RunCheck();
        EXPECT_EQ(script_.shown, 0);
        EXPECT_EQ(timerStops_, 0);
        EXPECT_TRUE(urls_.empty());
    }
    // Still working.
    SetVersionAnswer(HttpAnswer("200 OK", "[version]\nnewest=2.2\n"));
    RunCheck(false);
    EXPECT_EQ(script_.shown, 1);
    EXPECT_EQ(timerStops_, 1);
}

// The program ends while both transfers hang on a server that never
// answers: it must neither wait for them nor crash on the way out.
TEST_F(OnlineCheckTest, ProgramEndsPromptlyWhileTransfersHang) {
    gServer->SetHandler([](const HttpRequest&, HttpConnection& c) { c.HoldUntil([] { return false; }, 60000); });
    const std::wstring exe = wintest::BuildDir() + L"tests\\net_quit_busy.exe";
    ASSERT_TRUE(wintest::FileExists(exe));
    std::wstring cmd = L"\"" + exe + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    // Both requests arrive, and the server keeps them.
    EXPECT_TRUE(wintest::WaitFor([] { return gServer->RequestCount() == 2; }, 15000));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 1234;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

}  // namespace
