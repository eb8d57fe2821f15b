#pragma once
// THTTPGet fetches one http URL on a worker thread (THTTPGetThread, over
// WinInet) and hands the answer back to the user-interface thread as an
// event. It never shows a message and never throws to its caller.
//
// Use it on the UI thread, after the UI dispatcher is set up
// (framework/UiThread.h); events need that thread to process messages.
//
// URL, PostQuery and the answer are byte strings as they go on the wire
// (the system's ANSI code page); callers convert. FileName is UTF-8.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/Thread.h"

namespace fw {
class Timer;
}
class THTTPGet;
class THTTPGetThread;

using TOnProgressEvent = std::function<void(THTTPGetThread* Sender, int32_t TotalSize, int32_t Readed)>;
using TOnDoneFileEvent = std::function<void(THTTPGet* Sender, const std::string& FileName, int32_t FileSize)>;
using TOnDoneStringEvent = std::function<void(THTTPGet* Sender, const std::string& Result)>;
using THTTPNotifyEvent = std::function<void(THTTPGet* Sender)>;

class THTTPGet {
public:
    THTTPGet();
    // A running transfer is stopped and forgotten: none of its events
    // reaches the caller any more, and nothing waits for the network.
    ~THTTPGet();
    THTTPGet(const THTTPGet&) = delete;
    THTTPGet& operator=(const THTTPGet&) = delete;

    std::string AcceptTypes = "*/*";
    std::string Agent = "Brantlow HTTPGet";
    bool BinaryData = false;
    std::string URL;
    bool UseCache = false;
    std::string FileName;
    std::string UserName;
    std::string Password;
    std::string PostQuery;
    std::string Referer;
    bool WaitThread = false;
    TOnProgressEvent OnProgress;
    TOnDoneFileEvent OnDoneFile;
    TOnDoneStringEvent OnDoneString;
    THTTPNotifyEvent OnError;

    // Limits against a broken or hostile server. A transfer that exceeds
    // one of them fails (OnError). When the whole transfer takes too long
    // the component gives its worker up even while it is stuck in a read
    // (a server that trickles), so the next GetString can start.
    uint32_t TimeoutMs = 30000;        // connecting, sending, and each wait for data
    uint32_t TimeLimitMs = 120000;     // the whole transfer
    uint32_t MaxResultSize = 4u << 20;  // bytes of an answer collected as text

    // Starts a transfer of URL collected as text (OnDoneString). Ignored
    // while a transfer of this component runs.
    void GetString();
    // Starts a transfer of URL into the file FileName (OnDoneFile); it
    // succeeds when the server named a length and sent exactly that many
    // bytes. Ignored while a transfer runs.
    void GetFile();
    // Stops a running transfer; it ends through OnError.
    void Abort();

    bool Busy() const { return Worker != nullptr; }
    bool LastTransferSucceeded() const { return LastSuccess; }

private:
    friend class THTTPGetThread;
    struct TLink;
    void Start(bool toFile);
    void ThreadDone(THTTPGetThread* worker);
    void GiveUp();

    THTTPGetThread* Worker = nullptr;  // frees itself after its completion
    bool LastSuccess = false;
    std::shared_ptr<TLink> link_;
    std::unique_ptr<fw::Timer> watchdog_;
};

class THTTPGetThread : public fw::Thread {
public:
    // Copies taken when the transfer starts.
    std::string AcceptTypes, Agent, URL, FileName, UserName, Password, PostQuery, Referer;
    bool BinaryData = false;
    bool UseCache = false;
    TOnProgressEvent OnProgress;
    uint32_t TimeoutMs = 30000, TimeLimitMs = 120000, MaxResultSize = 4u << 20;

    std::string ResultText;
    std::atomic<bool> Success{false};
    bool ToFile = false;
    int32_t ContentLength = 0;
    int32_t ChunkRead = 0;
    int32_t TotalRead = 0;

private:
    friend class THTTPGet;
    explicit THTTPGetThread(std::shared_ptr<THTTPGet::TLink> link) : link_(std::move(link)) {}
    void Execute() override;
    bool Stopped() const;
    void Transfer();

    std::shared_ptr<THTTPGet::TLink> link_;
    unsigned long started_ = 0;
    bool abandoned_ = false;  // given up by its component (UI thread only)
};
