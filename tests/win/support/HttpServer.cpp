#include <winsock2.h>
#include <ws2tcpip.h>

#include "support/HttpServer.h"

#include "base/Text.h"

namespace wintest {

namespace {

// Reads the head up to the empty line, then as much body as the head
// announces (a request of ours never has more than a few hundred bytes; a
// cap keeps a runaway client from filling memory).
bool ReadRequest(SOCKET s, HttpRequest& req) {
    const size_t kCap = 1 << 20;
    char buf[4096];
    size_t headEnd = std::string::npos;
    while (headEnd == std::string::npos) {
        int n = recv(s, buf, sizeof buf, 0);
        if (n <= 0) return false;
        req.raw.append(buf, n);
        headEnd = req.raw.find("\r\n\r\n");
        if (req.raw.size() > kCap) return false;
    }
    std::string head = req.raw.substr(0, headEnd);
    size_t lineEnd = head.find("\r\n");
    std::string first = head.substr(0, lineEnd);
    size_t a = first.find(' '), b = first.rfind(' ');
    if (a == std::string::npos || b == a) return false;
    req.method = first.substr(0, a);
    req.target = first.substr(a + 1, b - a - 1);
    req.version = first.substr(b + 1);
    size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        size_t e = head.find("\r\n", pos);
        if (e == std::string::npos) e = head.size();
        std::string line = head.substr(pos, e - pos);
        size_t colon = line.find(':');
        if (colon != std::string::npos) req.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
        pos = e + 2;
    }
    size_t want = 0;
    std::string length = req.Header("Content-Length");
    if (!length.empty()) want = std::stoul(length);
    if (want > kCap) return false;
    const size_t bodyStart = headEnd + 4;
    while (req.raw.size() - bodyStart < want) {
        int n = recv(s, buf, sizeof buf, 0);
        if (n <= 0) break;
        req.raw.append(buf, n);
    }
    req.body = req.raw.substr(bodyStart);
    return true;
}

}  // namespace

std::string HttpRequest::Header(std::string_view name) const {
    for (const auto& h : headers)
        if (EqualsNoCase(h.first, name)) return h.second;
    return {};
}

bool HttpRequest::HasHeader(std::string_view name) const {
    for (const auto& h : headers)
        if (EqualsNoCase(h.first, name)) return true;
    return false;
}

std::string HttpAnswer(const std::string& status, const std::string& body, bool withLength,
                       const std::string& extraHeaders) {
    std::string a = "HTTP/1.0 " + status + "\r\nContent-Type: text/plain\r\n";
    if (withLength) a += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    a += extraHeaders;
    a += "Connection: close\r\n\r\n";
    return a + body;
}

bool HttpConnection::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        int chunk = bytes.size() > 65536 ? 65536 : static_cast<int>(bytes.size());
        int n = send(static_cast<SOCKET>(socket_), bytes.data(), chunk, 0);
        if (n <= 0) return false;
        bytes.remove_prefix(n);
    }
    return true;
}

bool HttpConnection::Sleep(DWORD ms) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        if (server_.stopping_) return false;
        ::Sleep(5);
    }
    return !server_.stopping_;
}

bool HttpConnection::HoldUntil(const std::function<bool()>& pred, DWORD maxMs) {
    DWORD start = GetTickCount();
    while (!pred()) {
        if (server_.stopping_ || GetTickCount() - start > maxMs) return false;
        ::Sleep(5);
    }
    return true;
}

HttpServer::HttpServer() : listen_(INVALID_SOCKET) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

HttpServer::~HttpServer() {
    Stop();
    WSACleanup();
}

bool HttpServer::Start(unsigned short port, DWORD bindWaitMs) {
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    DWORD start = GetTickCount();
    for (;;) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) return false;
        // Exclusive: two test programs must never share the port.
        BOOL on = TRUE;
        setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
        if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && listen(s, 64) == 0) {
            listen_ = s;
            break;
        }
        closesocket(s);
        if (GetTickCount() - start > bindWaitMs) return false;
        ::Sleep(200);
    }
    stopping_ = false;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void HttpServer::Stop() {
    if (listen_ == INVALID_SOCKET) return;
    stopping_ = true;
    closesocket(static_cast<SOCKET>(listen_));
    listen_ = INVALID_SOCKET;
    if (acceptThread_.joinable()) acceptThread_.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (uintptr_t s : open_) shutdown(static_cast<SOCKET>(s), SD_BOTH);
        workers.swap(workers_);
    }
    for (auto& t : workers) t.join();
}

void HttpServer::SetHandler(Handler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(handler);
}

void HttpServer::AnswerAlways(const std::string& rawAnswer) {
    SetHandler([rawAnswer](const HttpRequest&, HttpConnection& c) { c.Send(rawAnswer); });
}

std::vector<HttpRequest> HttpServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

size_t HttpServer::RequestCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
}

void HttpServer::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
    connections_ = 0;
}

void HttpServer::AcceptLoop() {
    for (;;) {
        SOCKET c = accept(static_cast<SOCKET>(listen_), nullptr, nullptr);
        if (c == INVALID_SOCKET) {
            if (stopping_) return;
            continue;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            closesocket(c);
            return;
        }
        ++connections_;
        open_.push_back(c);
        workers_.emplace_back([this, c] { Serve(c); });
    }
}

void HttpServer::Serve(uintptr_t socket) {
    SOCKET s = static_cast<SOCKET>(socket);
    HttpRequest req;
    if (ReadRequest(s, req)) {
        Handler handler;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(req);
            handler = handler_;
        }
        HttpConnection conn(*this, socket);
        if (handler) handler(req, conn);
    }
    // Close gracefully: the client reads to the end before it sees the close.
    shutdown(s, SD_SEND);
    char drain[256];
    DWORD start = GetTickCount();
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    while (!stopping_ && GetTickCount() - start < 2000) {
        int n = recv(s, drain, sizeof drain, 0);
        if (n == 0) break;
        if (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK) break;
        ::Sleep(5);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = open_.begin(); it != open_.end(); ++it)
        if (*it == socket) {
            open_.erase(it);
            break;
        }
    closesocket(s);
}

}  // namespace wintest
