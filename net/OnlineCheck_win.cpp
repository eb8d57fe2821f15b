#include "net/OnlineCheck_win.h"

#include <windows.h>
#include <shellapi.h>
#include <wininet.h>

#include "framework/Strings.h"
#include "import/UnitMyDlg_win.h"

namespace {

constexpr char kCountersKey[] = "Software\\tb-venor\\Kolibrio 2";

bool SystemIsConnected() {
    return InternetGetConnectedState(nullptr, 0) != FALSE;
}

bool SystemVersionInfo(net::TOsVersionInfo& info) {
    static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record the report describes");
    OSVERSIONINFOA v = {};
    v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&v)) return false;
#pragma GCC diagnostic pop
    info.PlatformId = v.dwPlatformId;
    info.MajorVersion = v.dwMajorVersion;
    info.MinorVersion = v.dwMinorVersion;
    info.BuildNumber = v.dwBuildNumber;
    info.CSDVersion.assign(v.szCSDVersion, strnlen(v.szCSDVersion, sizeof v.szCSDVersion));
    return true;
}

int AskWithMessageDlg(const std::string& text, const std::string& caption) {
    return MyMessageDlg(text, caption, mkInformation, MsgBtn::Yes | MsgBtn::No, MsgBtn::Yes);
}

void SystemOpenUrl(const std::string& address) {
    // A browser that does not start is not reported.
    ShellExecuteW(nullptr, L"open", fw::Wide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

class RegKey {
public:
    RegKey() = default;
    ~RegKey() {
        if (h_) RegCloseKey(h_);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    bool Open(HKEY root, const char* path) { return RegOpenKeyExA(root, path, 0, KEY_READ, &h_) == ERROR_SUCCESS; }
    HKEY get() const { return h_; }

private:
    HKEY h_ = nullptr;
};

int32_t ReadDword(HKEY key, const char* name) {
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return 0;
    return static_cast<int32_t>(value);
}

std::string ReadText(HKEY key, const char* name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
        return {};
    std::string text(size, '\0');
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
        return {};
    text.resize(strnlen(text.data(), size < text.size() ? size : text.size()));
    return text;
}

}  // namespace

TUsageCounters ReadUsageCounters() {
    TUsageCounters counters;
    RegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kCountersKey)) return counters;
    counters.Id = ReadText(key.get(), "ID");
    counters.RunCount = ReadDword(key.get(), "runcount");
    counters.CopyCount = ReadDword(key.get(), "copycount");
    return counters;
}

TOnlineCheck::TOnlineCheck()
    : AskQuestion(AskWithMessageDlg),
      IsConnected(SystemIsConnected),
      GetVersionInfo(SystemVersionInfo),
      OpenUrl(SystemOpenUrl) {
    for (THTTPGet* get : {&HTTPGet1, &HTTPGet2}) {
        get->AcceptTypes = "*/*";
        get->Agent = "Brantlow HTTPGet";
        get->BinaryData = false;
        get->UseCache = false;
        get->Referer = "AutoUpdater";
        get->WaitThread = false;
    }
    HTTPGet1.OnDoneString = [this](THTTPGet* sender, const std::string& result) { HTTPGet1DoneString(sender, result); };
}

void TOnlineCheck::RunOnlineCheck() {
    if (!IsConnected || !IsConnected()) return;
    SendStatistic();
    HTTPGet1.UseCache = false;
    HTTPGet1.URL = net::VersionAddress(Host);
    HTTPGet1.GetString();
}

void TOnlineCheck::SendStatistic() {
    const TUsageCounters counters = ReadUsageCounters();
    net::TOsVersionInfo info;
    // Without the version record the report names no Windows.
    const net::TOsDescription os =
        GetVersionInfo && GetVersionInfo(info) ? net::DescribeWindows(info) : net::TOsDescription{};
    HTTPGet2.UseCache = false;
    HTTPGet2.URL = net::StatisticAddress(Host);
    // The identifier and the service text go out as the system stores
    // them, in its ANSI code page, like the rest of the request.
    HTTPGet2.PostQuery = net::StatisticBody(counters.Id, counters.CopyCount, counters.RunCount, os);
    HTTPGet2.GetString();
}

void TOnlineCheck::HTTPGet1DoneString(THTTPGet*, const std::string& Result) {
    // The answer is text in the system's ANSI code page; versions compare
    // as the bytes the server sent.
    const net::TVersionAnswer answer = net::ParseVersionAnswer(Result);
    NewestVersion = fw::AnsiToUtf8(answer.NewestVersion);
    NewestLink = fw::AnsiToUtf8(answer.NewestLink);
    if (!net::OffersNewerVersion(net::kCurrentVersion, answer)) return;

    // Asked once per run, whatever the answer.
    if (StopTimer2) StopTimer2();
    const int result = AskQuestion ? AskQuestion(net::UpdateQuestionText(NewestVersion), net::kUpdateQuestionCaption) : 0;
    if (result == 6 && OpenUrl) OpenUrl(net::DownloadAddress(Host, NewestLink));
}
