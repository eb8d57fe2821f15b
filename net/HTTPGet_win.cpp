#include "net/HTTPGet_win.h"

#include <windows.h>
#include <wininet.h>

#include <string_view>

#include "framework/Form.h"
#include "framework/Strings.h"
#include "net/NetLogic.h"

// The component and its workers meet only through this link, which lives
// as long as the last of them. `owner` is read and cleared on the UI thread
// only: a completion or progress call that finds it empty belongs to a
// component that has been destroyed, and is dropped.
struct THTTPGet::TLink {
    THTTPGet* owner = nullptr;
};

namespace {

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET h) : h_(h) {}
    ~InternetHandle() {
        if (h_) InternetCloseHandle(h_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HINTERNET h_;
};

// The target of a transfer into a file; a transfer that does not end well
// takes its partial file away again.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() {
        if (h_ == INVALID_HANDLE_VALUE) return;
        CloseHandle(h_);
        if (!keep_) DeleteFileW(path_.c_str());
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool Create(const std::string& utf8Path) {
        path_ = fw::Wide(utf8Path);
        h_ = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        return h_ != INVALID_HANDLE_VALUE;
    }
    bool Write(const char* data, DWORD size) {
        DWORD written = 0;
        return WriteFile(h_, data, size, &written, nullptr) && written == size;
    }
    void Keep() { keep_ = true; }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
    std::wstring path_;
    bool keep_ = false;
};

// Without limits a server that accepts and never answers would keep the
// worker, and the component, busy for good. Each handle gets them: not
// every WinInet hands a session's limits down to its requests.
void SetTimeouts(HINTERNET h, DWORD ms) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        InternetSetOptionA(h, option, &ms, sizeof ms);
}

}  // namespace

THTTPGet::THTTPGet() : link_(std::make_shared<TLink>()), watchdog_(std::make_unique<fw::Timer>()) {
    link_->owner = this;
    watchdog_->OnTimer = [this] { GiveUp(); };
}

THTTPGet::~THTTPGet() {
    // The worker is not waited for: it may sit in a network call for as
    // long as the server keeps it there. It stops at its next check and
    // frees itself; its completion finds no owner.
    Abort();
    link_->owner = nullptr;
}

void THTTPGet::GetString() {
    Start(false);
}

void THTTPGet::GetFile() {
    Start(true);
}

void THTTPGet::Start(bool toFile) {
    if (Worker) return;
    auto* worker = new THTTPGetThread(link_);
    worker->AcceptTypes = AcceptTypes;
    worker->Agent = Agent;
    worker->URL = URL;
    worker->FileName = FileName;
    worker->UserName = UserName;
    worker->Password = Password;
    worker->PostQuery = PostQuery;
    worker->Referer = Referer;
    worker->BinaryData = BinaryData;
    worker->UseCache = UseCache;
    worker->OnProgress = OnProgress;
    worker->TimeoutMs = TimeoutMs;
    worker->TimeLimitMs = TimeLimitMs;
    worker->MaxResultSize = MaxResultSize;
    worker->ToFile = toFile;
    worker->FreeOnTerminate = true;
    std::shared_ptr<TLink> link = link_;
    worker->OnTerminate = [link, worker] {
        if (link->owner && !worker->abandoned_) link->owner->ThreadDone(worker);
    };
    Worker = worker;
    if (!worker->Start()) {
        Worker = nullptr;
        delete worker;
        LastSuccess = false;
        THTTPNotifyEvent handler = OnError;
        if (handler) handler(this);
        return;
    }
    watchdog_->SetInterval(TimeLimitMs);
    watchdog_->SetEnabled(true);
    if (!WaitThread) return;

    // Waiting here keeps the user interface alive, the completion
    // included: it comes as a window message. A handler run from here may
    // destroy this component, so the link is checked after every message.
    while (link->owner && Worker) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // The program is ending: leave the quit for the main loop.
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            if (!link->owner || !Worker) return;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

void THTTPGet::Abort() {
    if (!Worker) return;
    Worker->Terminate();
    Worker->Success = false;
}

// The worker overran its time limit, blocked in a call that only the
// server can end. It is left to end by itself, unheard; the component
// reports the failure now and is free for the next transfer.
void THTTPGet::GiveUp() {
    watchdog_->SetEnabled(false);
    if (!Worker) return;
    Worker->Terminate();
    Worker->Success = false;
    Worker->abandoned_ = true;
    // Cleared before the handler runs: the abandoned worker may complete
    // and free itself while the handler pumps messages.
    Worker = nullptr;
    LastSuccess = false;
    THTTPNotifyEvent handler = OnError;
    if (handler) handler(this);
}

void THTTPGet::ThreadDone(THTTPGetThread* worker) {
    watchdog_->SetEnabled(false);
    std::shared_ptr<TLink> link = link_;
    // An Abort that came after the worker's last look at the stop request
    // still ends the transfer as failed.
    LastSuccess = worker->Success && !worker->Terminated();
    // Handlers are called through copies: one may reassign its own event.
    if (LastSuccess && worker->ToFile) {
        TOnDoneFileEvent handler = OnDoneFile;
        if (handler) handler(this, worker->FileName, worker->ContentLength);
    } else if (LastSuccess) {
        TOnDoneStringEvent handler = OnDoneString;
        if (handler) handler(this, worker->ResultText);
    } else {
        THTTPNotifyEvent handler = OnError;
        if (handler) handler(this);
    }
    if (!link->owner) return;  // a handler destroyed the component
    Worker = nullptr;
}

bool THTTPGetThread::Stopped() const {
    return Terminated() || GetTickCount() - started_ >= TimeLimitMs;
}

void THTTPGetThread::Execute() {
    started_ = GetTickCount();
    Success = false;
    Transfer();
}

// The transfer itself. Success stays false until the very end, so that an
// early return or an exception can never report a transfer as done.
void THTTPGetThread::Transfer() {
    std::string host, path;
    net::SplitHttpUrl(URL, host, path);
    if (Stopped()) return;

    InternetHandle session(InternetOpenA(Agent.empty() ? nullptr : Agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                         nullptr, nullptr, 0));
    if (!session) return;
    SetTimeouts(session.get(), TimeoutMs);

    InternetHandle connection(InternetConnectA(session.get(), host.c_str(), INTERNET_DEFAULT_HTTP_PORT,
                                               UserName.empty() ? nullptr : UserName.c_str(),
                                               Password.empty() ? nullptr : Password.c_str(), INTERNET_SERVICE_HTTP,
                                               0, 0));
    if (!connection) return;
    SetTimeouts(connection.get(), TimeoutMs);

    const std::string accept = "Accept: " + AcceptTypes;
    const char* acceptTypes[] = {accept.c_str(), nullptr};
    InternetHandle request(HttpOpenRequestA(connection.get(), PostQuery.empty() ? "GET" : "POST", path.c_str(),
                                            "HTTP/1.0", Referer.empty() ? nullptr : Referer.c_str(), acceptTypes,
                                            UseCache ? 0 : INTERNET_FLAG_RELOAD, 0));
    if (!request) return;
    SetTimeouts(request.get(), TimeoutMs);

    BOOL sent;
    if (PostQuery.empty()) {
        sent = HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0);
    } else {
        static const char kFormHeader[] = "Content-Type: application/x-www-form-urlencoded";
        static_assert(sizeof kFormHeader - 1 == 47, "the form header is sent with its length");
        sent = HttpSendRequestA(request.get(), kFormHeader, sizeof kFormHeader - 1,
                                const_cast<char*>(PostQuery.data()), static_cast<DWORD>(PostQuery.size()));
    }
    if (!sent || Stopped()) return;

    char lengthText[1024];
    DWORD lengthSize = sizeof lengthText;
    DWORD index = 0;
    const bool haveLength =
        HttpQueryInfoA(request.get(), HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthSize, &index) != FALSE;
    if (Stopped()) return;
    if (!haveLength && BinaryData) return;
    // A length that is no number is a broken answer, not an empty success.
    if (haveLength && !net::ParseContentLength(std::string_view(lengthText, lengthSize), ContentLength)) return;

    TotalRead = 0;
    ResultText.clear();
    OutputFile file;
    if (ToFile && !file.Create(FileName)) return;

    char chunk[1025];
    for (;;) {
        if (Stopped()) return;
        DWORD got = 0;
        // A read that fails (the connection broke) is no end of the answer.
        if (!InternetReadFile(request.get(), chunk, sizeof chunk, &got)) return;
        ChunkRead = static_cast<int32_t>(got);
        if (got == 0) break;
        if (got > static_cast<DWORD>(INT32_MAX - TotalRead)) return;
        if (ToFile) {
            if (!file.Write(chunk, got)) return;
        } else {
            if (ResultText.size() > MaxResultSize || got > MaxResultSize - ResultText.size()) return;
            ResultText.append(chunk, got);
        }
        TotalRead += static_cast<int32_t>(got);
        if (OnProgress) {
            std::shared_ptr<THTTPGet::TLink> link = link_;
            Synchronize([this, link] {
                if (link->owner && !abandoned_ && OnProgress) OnProgress(this, ContentLength, TotalRead);
            });
        }
    }

    if (ToFile) {
        Success = ContentLength > 0 && TotalRead == ContentLength;
        if (Success) file.Keep();
    } else {
        // An answer cut short of its announced length is a failure.
        Success = TotalRead != 0 && (ContentLength <= 0 || TotalRead >= ContentLength);
    }
}
