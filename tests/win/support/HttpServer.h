#pragma once
// A scripted HTTP server for the online tests: it listens on 127.0.0.1
// (port 80 by default), records every request as it arrives, byte for
// byte, and answers each connection through a handler run on a thread of
// its own.
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace wintest {

struct HttpRequest {
    std::string raw;      // everything received, head and body
    std::string method;   // "GET"
    std::string target;   // "/kolibrio/version.php"
    std::string version;  // "HTTP/1.0"
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // The value of a header (name without regard to case); empty when absent.
    std::string Header(std::string_view name) const;
    bool HasHeader(std::string_view name) const;
};

class HttpServer;

// One accepted connection, as a handler sees it.
class HttpConnection {
public:
    bool Send(std::string_view bytes);
    // Sleeps, unless the server is stopping; false when it is.
    bool Sleep(DWORD ms);
    // Waits until pred holds (true) or the server stops or maxMs pass (false).
    bool HoldUntil(const std::function<bool()>& pred, DWORD maxMs);

private:
    friend class HttpServer;
    HttpConnection(HttpServer& server, uintptr_t socket) : server_(server), socket_(socket) {}
    HttpServer& server_;
    uintptr_t socket_;
};

// An answer of the given status line, headers and body; with
// withLength the Content-Length header is added.
std::string HttpAnswer(const std::string& status, const std::string& body, bool withLength = true,
                       const std::string& extraHeaders = "");

class HttpServer {
public:
    using Handler = std::function<void(const HttpRequest&, HttpConnection&)>;

    HttpServer();
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds 127.0.0.1:port, waiting up to bindWaitMs while another test
    // program holds the port. False when it never became free.
    bool Start(unsigned short port = 80, DWORD bindWaitMs = 120000);
    void Stop();

    // The handler for connections accepted from now on.
    void SetHandler(Handler handler);
    // Every request is answered with these bytes, then the connection closes.
    void AnswerAlways(const std::string& rawAnswer);

    std::vector<HttpRequest> Requests() const;
    size_t RequestCount() const;
    // Connections accepted, whether or not a whole request came.
    size_t ConnectionCount() const { return connections_; }
    // Clears the recorded requests and the connection count.
    void Reset();
    bool Stopping() const { return stopping_; }

private:
    friend class HttpConnection;
    void AcceptLoop();
    void Serve(uintptr_t socket);

    uintptr_t listen_;
    std::atomic<bool> stopping_{false};
    std::atomic<size_t> connections_{0};
    std::thread acceptThread_;
    mutable std::mutex mutex_;
    Handler handler_;
    std::vector<HttpRequest> requests_;
    std::vector<uintptr_t> open_;
    std::vector<std::thread> workers_;
};

}  // namespace wintest
