// THTTPGet against a real HTTP server on 127.0.0.1:80, through the
// system's WinInet, with its events coming back on this (the UI) thread.
#include "net/HTTPGet_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "framework/Strings.h"
#include "framework/Thread.h"
#include "framework/UiThread.h"
#include "support/HttpServer.h"
#include "support/WinTest.h"

using namespace std::string_literals;
using wintest::HttpAnswer;
using wintest::HttpConnection;
using wintest::HttpRequest;
using wintest::HttpServer;

namespace {

HttpServer* gServer = nullptr;

class ServerEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        fw::InitUiDispatcher();
        gServer = new HttpServer;
        ASSERT_TRUE(gServer->Start()) << "127.0.0.1:80 stayed busy";
    }
    void TearDown() override {
        delete gServer;
        gServer = nullptr;
    }
};
const auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new ServerEnvironment);

// What the component reported, as seen on the UI thread.
struct Events {
    int done = 0;
    int errors = 0;
    int files = 0;
    std::string result;
    std::string fileName;
    int32_t fileSize = -1;
    std::vector<std::pair<int32_t, int32_t>> progress;
    bool allOnUiThread = true;
    bool sendersRight = true;
    int Total() const { return done + errors + files; }
};

void Bind(THTTPGet& get, Events& ev) {
    get.Referer = "AutoUpdater";
    get.OnDoneString = [&ev, &get](THTTPGet* sender, const std::string& result) {
        ++ev.done;
        ev.result = result;
        ev.allOnUiThread = ev.allOnUiThread && fw::IsUiThread();
        ev.sendersRight = ev.sendersRight && sender == &get;
    };
    get.OnError = [&ev, &get](THTTPGet* sender) {
        ++ev.errors;
        ev.allOnUiThread = ev.allOnUiThread && fw::IsUiThread();
        ev.sendersRight = ev.sendersRight && sender == &get;
    };
    get.OnDoneFile = [&ev, &get](THTTPGet* sender, const std::string& name, int32_t size) {
        ++ev.files;
        ev.fileName = name;
        ev.fileSize = size;
        ev.sendersRight = ev.sendersRight && sender == &get;
    };
}

void BindProgress(THTTPGet& get, Events& ev) {
    get.OnProgress = [&ev](THTTPGetThread* sender, int32_t total, int32_t readed) {
        ev.progress.emplace_back(total, readed);
        ev.allOnUiThread = ev.allOnUiThread && fw::IsUiThread();
        // The worker is the sender, and it stands still while we look.
        ev.sendersRight = ev.sendersRight && sender && sender->TotalRead == readed;
    };
}

// Waits for the transfer to end and then a little longer, so that a second
// event would be seen too.
bool WaitEnded(THTTPGet& get, Events& ev, DWORD timeoutMs = 15000) {
    bool ended = wintest::WaitFor([&] { return ev.Total() > 0 && !get.Busy(); }, timeoutMs);
    wintest::Pump(100);
    return ended;
}

const char* const kUrl = "http://127.0.0.1/kolibrio/version.php";

class HttpGetTest : public ::testing::Test {
protected:
    void SetUp() override {
        gServer->Reset();
        gServer->AnswerAlways(HttpAnswer("200 OK", "ok"));
    }
    void TearDown() override { gServer->SetHandler(nullptr); }
};

TEST_F(HttpGetTest, GetArrivesAsSent) {
    THTTPGet get;
    Events ev;
    Bind(get, ev);
    get.URL = "http://127.0.0.1/kolibrio/version.php?a=1&b=two";
    get.GetString();
    ASSERT_TRUE(WaitEnded(get, ev));
    EXPECT_EQ(ev.done, 1);
    EXPECT_EQ(ev.errors, 0);
    EXPECT_EQ(ev.result, "ok");
    EXPECT_TRUE(ev.allOnUiThread);
    EXPECT_TRUE(ev.sendersRight);
    EXPECT_TRUE(get.LastTransferSucceeded());

    auto reqs = gServer->Requests();
    ASSERT_EQ(reqs.size(), 1u);
    const HttpRequest& r = reqs[0];
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.target, "/kolibrio/version.php?a=1&b=two");
    EXPECT_EQ(r.version, "HTTP/1.0");
    EXPECT_EQ(r.Header("User-Agent"), "Brantlow HTTPGet");
    EXPECT_EQ(r.Header("Referer"), "AutoUpdater");
    EXPECT_EQ(r.Header("Host"), "127.0.0.1");
    // The one accept entry goes to the HTTP layer as an accept type.
    EXPECT_NE(r.Header("Accept").find("Accept: */*"), std::string::npos) << r.raw;
    EXPECT_FALSE(r.HasHeader("Content-Type")) << r.raw;
    EXPECT_EQ(r.body, "");
}

TEST_F(HttpGetTest, PostCarriesItsBodyByteForByte) {
    THTTPGet get;
    Events ev;
    Bind(get, ev);
    get.URL = "http://127.0.0.1/bin/statistic_run.php";
    const std::string body = "id=A b&copy=3&run=12&os=Microsoft Windows XP&os_ver=5.1.2600.\xE8\x9A %20+\x01\0z"s;
    get.PostQuery = body;
    get.GetString();
    ASSERT_TRUE(WaitEnded(get, ev));
    EXPECT_EQ(ev.done, 1);

    auto reqs = gServer->Requests();
    ASSERT_EQ(reqs.size(), 1u);
    const HttpRequest& r = reqs[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/bin/statistic_run.php");
    EXPECT_EQ(r.version, "HTTP/1.0");
    EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(r.Header("Content-Length"), std::to_string(body.size()));
    EXPECT_EQ(r.Header("User-Agent"), "Brantlow HTTPGet");
    EXPECT_EQ(r.Header("Referer"), "AutoUpdater");
    EXPECT_EQ(r.body, body);
}

TEST_F(HttpGetTest, AnswersEndInTheRightEvent) {
    const std::string big(5000, 'b');
    const std::string zeros = "a\0b\0\0c\0"s;
    struct Case {
        const char* name;
        std::string answer;
        bool done;
        std::string result;
    } cases[] = {
        {"plain", HttpAnswer("200 OK", "hello"), true, "hello"},
        {"no length, read to the end", HttpAnswer("200 OK", big, false), true, big},
        {"error page with a body", HttpAnswer("404 Not Found", "<h1>404</h1>"), true, "<h1>404</h1>"},
        {"empty body", HttpAnswer("200 OK", ""), false, ""},
        {"empty body, no length", HttpAnswer("200 OK", "", false), false, ""},
        {"server error, empty", HttpAnswer("500 Internal Server Error", ""), false, ""},
        {"zero bytes", HttpAnswer("200 OK", zeros), true, zeros},
        {"zero bytes, no length", HttpAnswer("200 OK", zeros, false), true, zeros},
        {"cut short of its length", HttpAnswer("200 OK", big).substr(0, 2000), false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gServer->AnswerAlways(c.answer);
        THTTPGet get;
        Events ev;
        Bind(get, ev);
        get.URL = kUrl;
        get.GetString();
        ASSERT_TRUE(WaitEnded(get, ev));
        EXPECT_EQ(ev.done, c.done ? 1 : 0);
        EXPECT_EQ(ev.errors, c.done ? 0 : 1);
        EXPECT_EQ(get.LastTransferSucceeded(), c.done);
        if (c.done) {
            EXPECT_TRUE(ev.result == c.result) << ev.result.size() << " bytes";
        }
    }
}

TEST_F(HttpGetTest, AnswerBeyondTheSizeLimitFails) {
    for (bool withLength : {true, false}) {
        for (size_t size : {10000u, 10001u}) {
            SCOPED_TRACE(std::to_string(size) + (withLength ? " with length" : " without length"));
            gServer->AnswerAlways(HttpAnswer("200 OK", std::string(size, 'm'), withLength));
            THTTPGet get;
            Events ev;
            Bind(get, ev);
            get.MaxResultSize = 10000;
            get.URL = kUrl;
            get.GetString();
            ASSERT_TRUE(WaitEnded(get, ev));
            EXPECT_EQ(ev.done, size == 10000 ? 1 : 0);
            EXPECT_EQ(ev.errors, size == 10000 ? 0 : 1);
        }
    }
}

TEST_F(HttpGetTest, ProgressReportsRunningTotalsInChunksOf1025) {
    const std::string body(5000, 'p');
    for (bool withLength : {true, false}) {
        SCOPED_TRACE(withLength ? "with length" : "without length");
        gServer->AnswerAlways(HttpAnswer("200 OK", body, withLength));
        THTTPGet get;
        Events ev;
        Bind(get, ev);
        BindProgress(get, ev);
        get.URL = kUrl;
        get.GetString();
        ASSERT_TRUE(WaitEnded(get, ev));
        ASSERT_EQ(ev.done, 1);
        const int32_t total = withLength ? 5000 : 0;
        const std::vector<std::pair<int32_t, int32_t>> expected = {
            {total, 1025}, {total, 2050}, {total, 3075}, {total, 4100}, {total, 5000}};
        EXPECT_EQ(ev.progress, expected);
        EXPECT_TRUE(ev.allOnUiThread);
        EXPECT_TRUE(ev.sendersRight);
    }
}

TEST_F(HttpGetTest, SecondGetStringWhileBusySendsNothing) {
    std::atomic<bool> release{false};
    gServer->SetHandler([&](const HttpRequest&, HttpConnection& c) {
        if (c.HoldUntil([&] { return release.load(); }, 20000)) c.Send(HttpAnswer("200 OK", "first"));
    });
    THTTPGet get;
    Events ev;
    Bind(get, ev);
    get.URL = kUrl;
    get.GetString();
    // GetString came back while the server still holds its answer.
    EXPECT_TRUE(get.Busy());
    ASSERT_TRUE(wintest::WaitFor([] { return gServer->RequestCount() == 1; }));
    get.URL = "http://127.0.0.1/other";
    get.PostQuery = "x=1";
    get.GetString();
    wintest::Pump(300);
    EXPECT_EQ(ev.Total(), 0);
    release = true;
    ASSERT_TRUE(WaitEnded(get, ev));
    wintest::Pump(300);
    EXPECT_EQ(ev.done, 1);
    EXPECT_EQ(ev.result, "first");
    EXPECT_EQ(gServer->ConnectionCount(), 1u);
    EXPECT_EQ(gServer->RequestCount(), 1u);
    EXPECT_EQ(gServer->Requests()[0].method, "GET");

    // Idle again: the changed URL and body go out now.
    gServer->AnswerAlways(HttpAnswer("200 OK", "second"));
    get.GetString();
    ASSERT_TRUE(wintest::WaitFor([&] { return ev.done == 2; }));
    EXPECT_EQ(ev.result, "second");
    ASSERT_EQ(gServer->RequestCount(), 2u);
    EXPECT_EQ(gServer->Requests()[1].method, "POST");
    EXPECT_EQ(gServer->Requests()[1].target, "/other");
    EXPECT_EQ(gServer->Requests()[1].body, "x=1");
}

TEST_F(HttpGetTest, PropertiesChangedDuringATransferDoNotReachIt) {
    std::atomic<bool> release{false};
    gServer->SetHandler([&](const HttpRequest&, HttpConnection& c) {
        if (c.HoldUntil([&] { return release.load(); }, 20000)) c.Send(HttpAnswer("200 OK", "x"));
    });
    THTTPGet get;
    Events ev;
    Bind(get, ev);
    get.URL = kUrl;
    get.GetString();
    get.OnProgress = [&](THTTPGetThread*, int32_t, int32_t) { ev.progress.emplace_back(-1, -1); };
    release = true;
    ASSERT_TRUE(WaitEnded(get, ev));
    EXPECT_EQ(ev.done, 1);
    EXPECT_TRUE(ev.progress.empty());
}

TEST_F(HttpGetTest, WaitThreadReturnsAfterTheTransfer) {
    gServer->SetHandler([](const HttpRequest&, HttpConnection& c) {
        if (c.Sleep(300)) c.Send(HttpAnswer("200 OK", "waited"));
    });
    THTTPGet get;
    Events ev;
    Bind(get, ev);
    BindProgress(get, ev);
    get.WaitThread = true;
    get.URL = kUrl;
    get.GetString();
    EXPECT_EQ(ev.done, 1);
    EXPECT_EQ(ev.result, "waited");
    EXPECT_EQ(ev.progress.size(), 1u);
    EXPECT_FALSE(get.Busy());
}

TEST_F(HttpGetTest, AbortEndsInOnError) {
    std::atomic<bool> release{false};
    gServer->SetHandler([&](const HttpRequest&, HttpConnection& c) {
        if (c.HoldUntil([&] { return release.load(); }, 20000)) c.Send(HttpAnswer("200 OK", "too late"));
    });
    THTTPGet get;
    Events ev;
    Bind(get, ev);
    get.URL = kUrl;
    get.GetString();
    ASSERT_TRUE(wintest::WaitFor([] { return gServer->RequestCount() == 1; }));
    get.Abort();
    release = true;
    ASSERT_TRUE(WaitEnded(get, ev));
    EXPECT_EQ(ev.errors, 1);
    EXPECT_EQ(ev.done, 0);
    EXPECT_FALSE(get.LastTransferSucceeded());
}

TEST_F(HttpGetTest, UrlForms) {
    struct Case {
        const char* url;
        bool reachesServer;
        const char* target;
    } cases[] = {
        {"HTTP://127.0.0.1/Upper?Q=1", true, "/Upper?Q=1"},
        {"127.0.0.1/no/scheme", true, "/no/scheme"},
        {"http://127.0.0.1", false, ""},   // no "/" after the host: no host at all
        {"https://127.0.0.1/x", false, ""},  // only http is understood
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        gServer->Reset();
        THTTPGet get;
        Events ev;
        Bind(get, ev);
        get.URL = c.url;
        get.GetString();
        ASSERT_TRUE(WaitEnded(get, ev));
        EXPECT_EQ(ev.done, c.reachesServer ? 1 : 0);
        EXPECT_EQ(ev.errors, c.reachesServer ? 0 : 1);
        ASSERT_EQ(gServer->RequestCount(), c.reachesServer ? 1u : 0u);
        if (c.reachesServer) {
            EXPECT_EQ(gServer->Requests()[0].target, c.target);
        }
    }
}

TEST_F(HttpGetTest, DestroyedComponentGetsNoEvent) {
    std::atomic<bool> release{false};
    gServer->SetHandler([&](const HttpRequest&, HttpConnection& c) {
        if (c.HoldUntil([&] { return release.load(); }, 20000)) c.Send(HttpAnswer("200 OK", std::string(5000, 'd')));
    });
    Events ev;
    auto get = std::make_unique<THTTPGet>();
    Bind(*get, ev);
    BindProgress(*get, ev);
    get->URL = kUrl;
    get->GetString();
    ASSERT_TRUE(wintest::WaitFor([] { return gServer->RequestCount() == 1; }));
    get.reset();
    release = true;
    // The worker gets its answer, stops and goes; nothing reaches us.
    ASSERT_TRUE(wintest::WaitFor([] { return gServer->ConnectionCount() == 1; }));
    wintest::Pump(1000);
    EXPECT_EQ(ev.Total(), 0);
    EXPECT_TRUE(ev.progress.empty());
}

TEST_F(HttpGetTest, HandlersMayDestroyTheComponent) {
    gServer->AnswerAlways(HttpAnswer("200 OK", std::string(5000, 'h')));
    for (bool inProgress : {true, false}) {
        SCOPED_TRACE(inProgress ? "in OnProgress" : "in OnDoneString");
        Events ev;
        auto get = std::make_unique<THTTPGet>();
        get->URL = kUrl;
        get->OnProgress = [&](THTTPGetThread*, int32_t, int32_t readed) {
            ev.progress.emplace_back(0, readed);
            if (inProgress) get.reset();
        };
        get->OnDoneString = [&](THTTPGet*, const std::string&) {
            ++ev.done;
            get.reset();
        };
        get->OnError = [&](THTTPGet*) { ++ev.errors; };
        get->GetString();
        wintest::WaitFor([&] { return !get; });
        wintest::Pump(800);
        EXPECT_FALSE(get);
        EXPECT_EQ(ev.errors, 0);
        if (inProgress) {
            EXPECT_EQ(ev.progress.size(), 1u);
            EXPECT_EQ(ev.done, 0);
        } else {
            EXPECT_EQ(ev.progress.size(), 5u);
            EXPECT_EQ(ev.done, 1);
        }
    }
}

TEST_F(HttpGetTest, TransferIntoAFile) {
    const std::wstring dir = wintest::MakeTempDir();
    const std::string body = "file\0body"s + std::string(3000, 'f');
    struct Case {
        const char* name;
        std::string answer;
        bool done;
    } cases[] = {
        {"whole", HttpAnswer("200 OK", body), true},
        {"no length", HttpAnswer("200 OK", body, false), false},
        {"cut short", HttpAnswer("200 OK", body).substr(0, 1500), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gServer->AnswerAlways(c.answer);
        const std::wstring path = dir + L"down " + fw::Wide(c.name) + L".bin";
        THTTPGet get;
        Events ev;
        Bind(get, ev);
        get.URL = kUrl;
        get.FileName = fw::Utf8(path);
        get.GetFile();
        ASSERT_TRUE(WaitEnded(get, ev));
        EXPECT_EQ(ev.files, c.done ? 1 : 0);
        EXPECT_EQ(ev.errors, c.done ? 0 : 1);
        EXPECT_EQ(ev.done, 0);
        if (c.done) {
            EXPECT_EQ(ev.fileName, get.FileName);
            EXPECT_EQ(ev.fileSize, static_cast<int32_t>(body.size()));
            EXPECT_TRUE(wintest::ReadFileBytes(path) == body);
        } else {
            EXPECT_FALSE(wintest::FileExists(path));  // no partial file is left
        }
    }
    wintest::RemoveTree(dir);
}

// A broken or hostile server ends the transfer in OnError, within the
// component's limits, without holding the user interface.
TEST_F(HttpGetTest, HostileServersEndInOnError) {
    struct Case {
        const char* name;
        HttpServer::Handler handler;
    } cases[] = {
        {"10 MB of garbage with its length",
         [](const HttpRequest&, HttpConnection& c) {
             c.Send("HTTP/1.0 200 OK\r\nContent-Length: 10485760\r\n\r\n");
             std::string block(65536, '\xA5');
             for (int i = 0; i < 160 && c.Send(block); ++i) {
             }
         }},
        {"garbage without end",
         [](const HttpRequest&, HttpConnection& c) {
             c.Send("HTTP/1.0 200 OK\r\n\r\n");
             std::string block(65536, 'g');
             while (c.Send(block)) {
             }
         }},
        {"accepts and never answers",
         [](const HttpRequest&, HttpConnection& c) { c.HoldUntil([] { return false; }, 60000); }},
        {"trickles a byte at a time",
         [](const HttpRequest&, HttpConnection& c) {
             c.Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n");
             while (c.Send("t") && c.Sleep(100)) {
             }
         }},
        {"closes before the answer", [](const HttpRequest&, HttpConnection&) {}},
        {"closes in the middle of the head",
         [](const HttpRequest&, HttpConnection& c) { c.Send("HTTP/1.0 200 OK\r\nContent-Le"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gServer->SetHandler(c.handler);
        THTTPGet get;
        Events ev;
        Bind(get, ev);
        get.URL = kUrl;
        get.TimeoutMs = 1500;
        get.TimeLimitMs = 4000;
        get.GetString();
        EXPECT_EQ(ev.Total(), 0);  // GetString returned at once
        ASSERT_TRUE(WaitEnded(get, ev, 20000));
        EXPECT_EQ(ev.errors, 1);
        EXPECT_EQ(ev.done, 0);

        // The component is free again, whatever became of its worker.
        gServer->AnswerAlways(HttpAnswer("200 OK", "next"));
        get.GetString();
        ASSERT_TRUE(wintest::WaitFor([&] { return ev.Total() == 2 && !get.Busy(); }));
        wintest::Pump(100);
        EXPECT_EQ(ev.done, 1);
        EXPECT_EQ(ev.result, "next");
        EXPECT_EQ(ev.errors, 1);
    }
}

// The thread class under the component.
class CountingThread : public fw::Thread {
public:
    std::atomic<int> synced{0};
    std::atomic<bool> onUi{false};
    int rounds = 3;

protected:
    void Execute() override {
        for (int i = 0; i < rounds && !Terminated(); ++i)
            Synchronize([this] {
                onUi = fw::IsUiThread();
                ++synced;
            });
        while (!Terminated() && rounds == 0) ::Sleep(5);
    }
};

TEST(FrameworkThread, WaitForRunsTheWorkersUiCalls) {
    fw::InitUiDispatcher();
    CountingThread t;
    int terminated = 0;
    t.OnTerminate = [&] { ++terminated; };
    ASSERT_TRUE(t.Start());
    // The worker blocks in Synchronize until this thread runs its call:
    // WaitFor must do that itself.
    ASSERT_TRUE(t.WaitFor(10000));
    EXPECT_TRUE(t.Finished());
    EXPECT_EQ(t.synced, 3);
    EXPECT_TRUE(t.onUi);
    wintest::Pump(100);
    EXPECT_EQ(terminated, 1);
}

TEST(FrameworkThread, WaitForTimesOutAndDestructionStopsTheThread) {
    fw::InitUiDispatcher();
    int terminated = 0;
    {
        CountingThread t;
        t.rounds = 0;  // runs until told to stop
        t.OnTerminate = [&] { ++terminated; };
        ASSERT_TRUE(t.Start());
        EXPECT_FALSE(t.WaitFor(100));
        EXPECT_FALSE(t.Finished());
    }
    // The completion of a deleted thread is dropped.
    wintest::Pump(200);
    EXPECT_EQ(terminated, 0);
}

class SelfFreeingThread : public fw::Thread {
public:
    explicit SelfFreeingThread(std::atomic<int>& deleted) : deleted_(deleted) { FreeOnTerminate = true; }
    ~SelfFreeingThread() override { ++deleted_; }

protected:
    void Execute() override {}

private:
    std::atomic<int>& deleted_;
};

TEST(FrameworkThread, FreeOnTerminateDeletesAfterTheCompletion) {
    fw::InitUiDispatcher();
    std::atomic<int> deleted{0};
    int completions = 0;
    auto* t = new SelfFreeingThread(deleted);
    t->OnTerminate = [&] {
        EXPECT_EQ(deleted, 0);
        ++completions;
    };
    ASSERT_TRUE(t->Start());
    ASSERT_TRUE(wintest::WaitFor([&] { return deleted == 1; }));
    EXPECT_EQ(completions, 1);
}

}  // namespace
