#pragma once
// The online check of the main window: on each run it reports the usage
// counts (HTTPGet2) and asks the vendor's server for the newest version
// (HTTPGet1); a newer version stops further checks and offers the download.
// It never shows an error. UI thread only.
#include <functional>
#include <string>

#include "net/HTTPGet_win.h"
#include "net/NetLogic.h"

class TOnlineCheck {
public:
    TOnlineCheck();
    TOnlineCheck(const TOnlineCheck&) = delete;
    TOnlineCheck& operator=(const TOnlineCheck&) = delete;

    THTTPGet HTTPGet1;  // the version query
    THTTPGet HTTPGet2;  // the usage report

    // The last values read from a version answer (UTF-8).
    std::string NewestVersion;
    std::string NewestLink;

    // Shows the update question and returns the pressed button's result
    // (6 for Yes); preset to the program's message box, an information box
    // with Yes and No and the focus on Yes.
    std::function<int(const std::string& text, const std::string& caption)> AskQuestion;
    // Set by the owner: stops the periodic checks (Timer2).
    std::function<void()> StopTimer2;

    // Seams to the system, each preset to the real thing.
    std::string Host = net::kVendorHost;
    std::function<bool()> IsConnected;                           // InternetGetConnectedState
    std::function<bool(net::TOsVersionInfo& info)> GetVersionInfo;  // GetVersionExA
    std::function<void(const std::string& address)> OpenUrl;    // ShellExecute "open"

    // One online check: nothing without a connection, else the usage
    // report and then the version query. Returns at once.
    void RunOnlineCheck();
    // Starts the usage report on HTTPGet2.
    void SendStatistic();
    // The version answer arrived.
    void HTTPGet1DoneString(THTTPGet* Sender, const std::string& Result);
};

// The usage counters as the registry holds them; zero and empty where the
// key or a value is missing or of another type.
struct TUsageCounters {
    std::string Id;  // as stored, in the ANSI code page
    int32_t RunCount = 0;
    int32_t CopyCount = 0;
};
TUsageCounters ReadUsageCounters();
