#pragma once
// Decisions of the online services that need no operating system: how a URL
// is split for the connection, how the server's answers are read, which
// version counts as newer and what the usage report says. Portable.
#include <cstdint>
#include <string>
#include <string_view>

namespace net {

// The vendor's web server. Every address of the program is built from it.
extern const char* const kVendorHost;
// The running version, as the server's answers are compared with it.
extern const char* const kCurrentVersion;

std::string VersionAddress(std::string_view host);              // the version query
std::string StatisticAddress(std::string_view host);            // the usage report
std::string DownloadAddress(std::string_view host, std::string_view newestLink);

// Splits an http URL into the host handed to the connection and the path
// (with its query) handed to the request. A URL without a "/" after the
// host gives an empty host and the whole text as the path.
void SplitHttpUrl(std::string_view url, std::string& host, std::string& path);

// The text of a Content-Length header as a 32-bit count. False for anything
// that is not a plain decimal number in range.
bool ParseContentLength(std::string_view text, int32_t& value);

// One value of an INI text held in memory: the first section named
// `section` and in it the first entry named `key` (names without regard to
// case). Empty when either is missing. A zero byte ends the text.
std::string ReadIniValue(std::string_view text, std::string_view section, std::string_view key);

struct TVersionAnswer {
    std::string NewestVersion;
    std::string NewestLink;
};
TVersionAnswer ParseVersionAnswer(std::string_view answer);

// Longest version and download link an answer may name; longer ones come
// from a broken or hostile server and are not believed.
constexpr size_t kMaxVersionLength = 64;
constexpr size_t kMaxLinkLength = 2048;
// True when the answer names a version newer than `current` that can be
// offered: both texts within their limits.
bool OffersNewerVersion(std::string_view current, const TVersionAnswer& answer);

// True when `newest` sorts after `current` as a byte string (unsigned
// bytes; a proper prefix sorts first).
bool IsNewerVersion(std::string_view current, std::string_view newest);

// The question shown when the server names a newer version.
std::string UpdateQuestionText(std::string_view newestVersion);
extern const char* const kUpdateQuestionCaption;

// The Windows version record as GetVersionExA fills it.
struct TOsVersionInfo {
    uint32_t PlatformId = 0;
    uint32_t MajorVersion = 0;
    uint32_t MinorVersion = 0;
    uint32_t BuildNumber = 0;
    std::string CSDVersion;  // the service text, as reported
};

struct TOsDescription {
    std::string Os;     // the Windows name of the report
    std::string OsVer;  // the version text of the report
};
TOsDescription DescribeWindows(const TOsVersionInfo& info);

// The body of the usage report, its values as they are (no encoding).
std::string StatisticBody(std::string_view id, int32_t copyCount, int32_t runCount,
                          const TOsDescription& os);

}  // namespace net
