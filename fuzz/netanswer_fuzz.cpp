// Hostile server answers for the version answer reader, the version
// comparison, the content-length reader and the URL split.
//
// The whole input is the answer; its first line (up to CR, LF or NUL)
// doubles as a version to compare, and the input also goes to the URL
// split and the content-length reader as it is.
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "net/NetLogic.h"
#include "fuzz/Seeds.h"

namespace {

void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

bool IsBlank(unsigned char c) { return c <= 32; }

// What a value read from the answer may look like: trimmed, on one line,
// and part of the text before its first zero byte.
void CheckValue(const std::string& value, std::string_view text) {
    if (value.empty()) return;
    Require(!IsBlank(value.front()) && !IsBlank(value.back()), "value trimmed");
    Require(value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos, "value on one line");
    Require(text.substr(0, text.find('\0')).find(value) != std::string_view::npos, "value comes from the text");
}

void CheckVersionOrder(std::string_view a, std::string_view b) {
    // std::string orders by unsigned bytes, a proper prefix first.
    const bool expected = std::string(a) < std::string(b);
    Require(net::IsNewerVersion(a, b) == expected, "byte order");
    Require(!(net::IsNewerVersion(a, b) && net::IsNewerVersion(b, a)), "order is asymmetric");
    Require(!net::IsNewerVersion(a, a), "nothing is newer than itself");
}

void CheckContentLength(std::string_view text) {
    int32_t value = 0;
    const bool ok = net::ParseContentLength(text, value);
    std::string t(text);
    size_t b = 0, e = t.size();
    while (b < e && IsBlank(t[b])) ++b;
    while (e > b && IsBlank(t[e - 1])) --e;
    t = t.substr(b, e - b);
    bool shape = !t.empty();
    for (size_t i = 0; i < t.size() && shape; ++i)
        shape = (t[i] >= '0' && t[i] <= '9') || (i == 0 && (t[i] == '+' || t[i] == '-') && t.size() > 1);
    if (!shape) {
        Require(!ok, "only numbers are lengths");
        return;
    }
    errno = 0;
    const long long expected = std::strtoll(t.c_str(), nullptr, 10);
    const bool inRange = errno != ERANGE && expected >= INT32_MIN && expected <= INT32_MAX;
    Require(ok == inRange, "numbers in range are lengths");
    if (ok) Require(value == expected, "length value");
}

void CheckUrl(std::string_view url) {
    std::string host = "x", path = "x";
    net::SplitHttpUrl(url, host, path);
    Require(host.find('/') == std::string::npos, "host holds no slash");
    std::string rest(url);
    if (rest.size() >= 7) {
        std::string scheme = rest.substr(0, 7);
        for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (scheme == "http://") rest.erase(0, 7);
    }
    Require(host + path == rest, "split loses nothing");
    Require(host.empty() || (!path.empty() && path[0] == '/'), "path starts at the slash");
}

void WriteSeeds(const char* dir) {
    const std::vector<std::string> seeds = {
        "[version]\r\nnewest=2.2\r\nnewest_link=x\r\n",
        "[VERSION]\r\nnewest = 2.2\r\nnewest_link = down/k.exe\r\n",
        "2.1.1\n; comment\n[other]\nnewest=9\n[version]\nnewest=10.0\n[version]\nnewest=3\n",
        std::string("[version]\n\0newest=9\n", 20),
        "[ version ]\rnewest=A\rnewest_link=\r",
        "<html><body><h1>404 Not Found</h1></body></html>",
        "http://www.example.cz/kolibrio/version.php?x=http://y",
        "  +2147483647 ",
        "-2147483648",
        "[version\nnewest=1\n[version]\nnewest_link=a=b\nnewest\n",
    };
    WriteSeedFiles(dir, seeds);
}

}  // namespace

KOLIBRIO_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const net::TVersionAnswer answer = net::ParseVersionAnswer(text);
    CheckValue(answer.NewestVersion, text);
    CheckValue(answer.NewestLink, text);
    Require(net::ReadIniValue(text, "version", "newest") == answer.NewestVersion, "one reading of newest");
    Require(net::ReadIniValue(text, "VERSION", "Newest_Link") == answer.NewestLink, "one reading of the link");

    const std::string_view firstLine = text.substr(0, text.find_first_of(std::string_view("\r\n\0", 3)));
    CheckVersionOrder(net::kCurrentVersion, answer.NewestVersion);
    CheckVersionOrder(firstLine, answer.NewestVersion);
    if (net::OffersNewerVersion(net::kCurrentVersion, answer)) {
        Require(answer.NewestVersion.size() <= net::kMaxVersionLength, "offered version is short");
        Require(answer.NewestLink.size() <= net::kMaxLinkLength, "offered link is short");
        const std::string question = net::UpdateQuestionText(answer.NewestVersion);
        Require(question.find(answer.NewestVersion) != std::string::npos, "question names the version");
    }

    CheckContentLength(firstLine.substr(0, 64));
    CheckUrl(firstLine);
    return 0;
}
