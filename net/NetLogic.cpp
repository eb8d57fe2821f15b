#include "net/NetLogic.h"

#include <cstdio>

#include "base/Text.h"

namespace net {

// The one place that names the vendor's server; tests point the online
// check elsewhere through TOnlineCheck::Host.
const char* const kVendorHost = "www.tb-venor.cz";
const char* const kCurrentVersion = "2.1";
const char* const kUpdateQuestionCaption = "Update programu Kolibrio2 je k dispozici";

std::string VersionAddress(std::string_view host) {
    return "http://" + std::string(host) + "/kolibrio/version.php";
}

std::string StatisticAddress(std::string_view host) {
    return "http://" + std::string(host) + "/bin/statistic_run.php";
}

std::string DownloadAddress(std::string_view host, std::string_view newestLink) {
    return "http://" + std::string(host) + "/" + std::string(newestLink);
}

void SplitHttpUrl(std::string_view url, std::string& host, std::string& path) {
    // Only a leading scheme is dropped: an "http://" inside the query of a
    // URL without a scheme must not cut its host apart.
    constexpr std::string_view kScheme = "http://";
    if (url.size() >= kScheme.size() && EqualsNoCase(url.substr(0, kScheme.size()), kScheme))
        url.remove_prefix(kScheme.size());
    size_t slash = url.find('/');
    if (slash == std::string_view::npos) {
        host.clear();
        path = std::string(url);
        return;
    }
    host = std::string(url.substr(0, slash));
    path = std::string(url.substr(slash));
}

bool ParseContentLength(std::string_view text, int32_t& value) {
    std::string t = Trim(text);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        negative = t[i] == '-';
        ++i;
    }
    if (i == t.size()) return false;
    int64_t v = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9') return false;
        v = v * 10 + (t[i] - '0');
        if (v > int64_t(INT32_MAX) + 1) return false;
    }
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return false;
    value = static_cast<int32_t>(v);
    return true;
}

namespace {

// Walks the lines of a text: CR LF, LF and CR each end a line, a zero byte
// ends the text.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text.substr(0, text.find('\0'))) {}

    bool Next(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        size_t end = text_.find_first_of("\r\n", pos_);
        if (end == std::string_view::npos) end = text_.size();
        line = text_.substr(pos_, end - pos_);
        pos_ = end;
        if (pos_ < text_.size()) {
            char c = text_[pos_++];
            if (c == '\r' && pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
        }
        return true;
    }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

std::string_view TrimView(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
    return s.substr(b, e - b);
}

// Reads the entries of the first section named `section`, handing each
// key and value to `entry` until it returns false. One pass, no copies of
// the text: a hostile answer costs time linear in its size.
template <class Fn>
void ForEachEntry(std::string_view text, std::string_view section, Fn entry) {
    LineReader reader(text);
    std::string_view raw;
    bool inside = false;
    while (reader.Next(raw)) {
        const std::string_view line = TrimView(raw);
        if (line.empty() || line[0] == ';') continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            if (inside) return;  // a later section of the same name does not count
            inside = EqualsNoCase(TrimView(line.substr(1, line.size() - 2)), section);
            continue;
        }
        if (!inside) continue;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        if (!entry(TrimView(line.substr(0, eq)), TrimView(line.substr(eq + 1)))) return;
    }
}

}  // namespace

std::string ReadIniValue(std::string_view text, std::string_view section, std::string_view key) {
    std::string result;
    ForEachEntry(text, section, [&](std::string_view k, std::string_view v) {
        if (!EqualsNoCase(k, key)) return true;
        result = std::string(v);
        return false;
    });
    return result;
}

TVersionAnswer ParseVersionAnswer(std::string_view answer) {
    TVersionAnswer out;
    bool haveVersion = false, haveLink = false;
    ForEachEntry(answer, "version", [&](std::string_view k, std::string_view v) {
        if (!haveVersion && EqualsNoCase(k, "newest")) {
            out.NewestVersion = std::string(v);
            haveVersion = true;
        } else if (!haveLink && EqualsNoCase(k, "newest_link")) {
            out.NewestLink = std::string(v);
            haveLink = true;
        }
        return !(haveVersion && haveLink);
    });
    return out;
}

bool IsNewerVersion(std::string_view current, std::string_view newest) {
    size_t n = current.size() < newest.size() ? current.size() : newest.size();
    for (size_t i = 0; i < n; ++i) {
        auto a = static_cast<unsigned char>(current[i]);
        auto b = static_cast<unsigned char>(newest[i]);
        if (a != b) return a < b;
    }
    return current.size() < newest.size();
}

bool OffersNewerVersion(std::string_view current, const TVersionAnswer& answer) {
    // A megabyte of version text would end up in the question's label and
    // a megabyte of link in the browser's address.
    if (answer.NewestVersion.size() > kMaxVersionLength || answer.NewestLink.size() > kMaxLinkLength) return false;
    return IsNewerVersion(current, answer.NewestVersion);
}

std::string UpdateQuestionText(std::string_view newestVersion) {
    return "Byla nalezena nová verze programu Kolibrio2.\r\nStávající verze:" + std::string(kCurrentVersion) +
           "\r\nNová verze:" + std::string(newestVersion) + "\r\n\r\nChcete stáhnout aktualizaci?";
}

TOsDescription DescribeWindows(const TOsVersionInfo& info) {
    // The numbers print as signed 32-bit values, as the report always had
    // them: a Windows 95 build number carries the version in its upper half.
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%d.%d.%d.", static_cast<int>(static_cast<int32_t>(info.MajorVersion)),
                  static_cast<int>(static_cast<int32_t>(info.MinorVersion)),
                  static_cast<int>(static_cast<int32_t>(info.BuildNumber)));
    const std::string versionText = numbers + info.CSDVersion;
    const std::string service = Trim(info.CSDVersion);

    switch (info.PlatformId) {
    case 0:
        return {"Win 32s na Windows 3.1x", ""};
    case 1:
        if (info.MinorVersion < 10)
            return {service == "B" ? "Microsoft Windows 95 OSR2" : "Microsoft Windows 95", versionText};
        if (info.MinorVersion < 90)
            return {service == "A" ? "Microsoft Windows 98 SE" : "Microsoft Windows 98", versionText};
        if (info.MinorVersion == 90) return {"Microsoft Windows ME", versionText};
        return {};
    case 2:
        if (info.MajorVersion == 3) return {"Microsoft Windows NT 3", versionText};
        if (info.MajorVersion == 4) return {"Microsoft Windows NT 4", versionText};
        if (info.MajorVersion == 5 && info.MinorVersion == 0) return {"Microsoft Windows 2000", versionText};
        if (info.MajorVersion == 5 && info.MinorVersion == 1) return {"Microsoft Windows XP", versionText};
        return {};
    default:
        return {};
    }
}

std::string StatisticBody(std::string_view id, int32_t copyCount, int32_t runCount, const TOsDescription& os) {
    return "id=" + std::string(id) + "&copy=" + std::to_string(copyCount) + "&run=" + std::to_string(runCount) +
           "&os=" + os.Os + "&os_ver=" + os.OsVer;
}

}  // namespace net
