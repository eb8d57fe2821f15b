#include "net/NetLogic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace net;
using namespace std::string_literals;

TEST(SplitHttpUrl, HostAndPath) {
    struct Case {
        const char* url;
        const char* host;
        const char* path;
    } cases[] = {
        {"http://www.example.cz/kolibrio/version.php", "www.example.cz", "/kolibrio/version.php"},
        {"HTTP://Host.CZ/a?b=c&d=e", "Host.CZ", "/a?b=c&d=e"},
        {"HtTp://h/", "h", "/"},
        {"127.0.0.1/bin/x.php", "127.0.0.1", "/bin/x.php"},
        // The port always is 80: a written port stays part of the host name.
        {"http://h:8080/x", "h:8080", "/x"},
        // No "/" after the host: no host at all, so the connection fails.
        {"http://www.example.cz", "", "www.example.cz"},
        {"", "", ""},
        // A scheme other than http is not recognised.
        {"https://h/x", "https:", "//h/x"},
        // An address in the query of a scheme-less URL leaves the host whole.
        {"h/go?to=http://other/x", "h", "/go?to=http://other/x"},
    };
    for (const auto& c : cases) {
        std::string host = "stale", path = "stale";
        SplitHttpUrl(c.url, host, path);
        EXPECT_EQ(host, c.host) << c.url;
        EXPECT_EQ(path, c.path) << c.url;
    }
}

TEST(ParseContentLength, AcceptsOnlyDecimalNumbersInRange) {
    struct Case {
        const char* text;
        bool ok;
        int32_t value;
    } cases[] = {
        {"0", true, 0},          {"5000", true, 5000},          {" 42 ", true, 42},
        {"2147483647", true, 2147483647}, {"-1", true, -1}, {"2147483648", false, 0},
        {"99999999999999999999", false, 0}, {"", false, 0}, {"12a", false, 0},
        {"0x10", false, 0},      {"-", false, 0},               {"1 2", false, 0},
    };
    for (const auto& c : cases) {
        int32_t v = 777;
        EXPECT_EQ(ParseContentLength(c.text, v), c.ok) << c.text;
        EXPECT_EQ(v, c.ok ? c.value : 777) << c.text;
    }
}

TEST(ParseVersionAnswer, ReadsTheVersionSectionByTheIniRules) {
    struct Case {
        std::string answer;
        const char* version;
        const char* link;
    } cases[] = {
        {"[version]\r\nnewest=2.2\r\nnewest_link=x\r\n", "2.2", "x"},
        {"[VERSION]\r\nNEWEST = 2.2\r\n  newest_link =  down/k.exe  \r\n", "2.2", "down/k.exe"},
        {"[ Version ]\nnewest=3\n", "3", ""},
        // Every line end counts, mixed within one text.
        {"[version]\rnewest=2.5\r\nnewest_link=a\n", "2.5", "a"},
        // Comments, empty lines and lines before the first section.
        {"newest=9\r\n; [version]\r\n\r\n[version]\r\n;newest=8\r\n\t newest=2.3\t\r\n", "2.3", ""},
        // The first section and the first key win.
        {"[version]\nnewest=2.2\nnewest=2.9\n[version]\nnewest=4\nnewest_link=late\n", "2.2", ""},
        // Other sections are passed over.
        {"[other]\nnewest=7\n[version]\nnewest_link=l\n[more]\nnewest=8\n", "", "l"},
        // A zero byte ends the text.
        {"[version]\nnewest_link=l\n\0newest=5\n"s, "", "l"},
        {"[version]\nnewest=2.\0" "9\n"s, "2.", ""},
        // Not a section header, not an entry.
        {"[version\nnewest=1\n", "", ""},
        {"[version]\nnewest\nnewest_link=a=b\n", "", "a=b"},
        // An error page of the server.
        {"<html><body><h1>404 Not Found</h1></body></html>", "", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        TVersionAnswer a = ParseVersionAnswer(c.answer);
        EXPECT_EQ(a.NewestVersion, c.version) << c.answer;
        EXPECT_EQ(a.NewestLink, c.link) << c.answer;
    }
}

TEST(ParseVersionAnswer, HostileAnswersEndWithoutAVersion) {
    // 100000 sections before the one that counts.
    std::string many;
    for (int i = 0; i < 100000; ++i) many += "[s" + std::to_string(i) + "]\nnewest=" + std::to_string(i) + "\n";
    EXPECT_EQ(ParseVersionAnswer(many + "[version]\nnewest=2.2\n").NewestVersion, "2.2");
    EXPECT_EQ(ParseVersionAnswer(many).NewestVersion, "");

    // A line of one megabyte, as a value and as garbage.
    const std::string big(1 << 20, 'x');
    EXPECT_EQ(ParseVersionAnswer("[version]\nnewest=" + big + "\n").NewestVersion, big);
    EXPECT_EQ(ParseVersionAnswer(big + "\n[version]\nnewest=2.4").NewestVersion, "2.4");

    // Only line ends and control bytes.
    std::string noise;
    for (int i = 0; i < 300000; ++i) noise += static_cast<char>(1 + i % 31);
    EXPECT_EQ(ParseVersionAnswer(noise).NewestVersion, "");
}

TEST(ReadIniValue, AnySectionAndKey) {
    const char* text = "[a]\nk=1\n[B]\nK = 2\nk=3\n";
    EXPECT_EQ(ReadIniValue(text, "a", "k"), "1");
    EXPECT_EQ(ReadIniValue(text, "b", "k"), "2");
    EXPECT_EQ(ReadIniValue(text, "b", "missing"), "");
    EXPECT_EQ(ReadIniValue(text, "c", "k"), "");
}

TEST(IsNewerVersion, ComparesByteStrings) {
    struct Case {
        std::string newest;
        bool newer;
    } cases[] = {
        {"2.2", true},  {"2.1.1", true}, {"2.10", true}, {"3", true},    {"A", true},
        {"2.1", false}, {"2.0", false},  {"10.0", false}, {"1.9", false}, {"", false},
        {"2", false},   {"2.1 ", true},  // a longer text with the same beginning sorts after
        {"\xE8", true},  // bytes above 127 sort after every digit
    };
    for (const auto& c : cases) EXPECT_EQ(IsNewerVersion("2.1", c.newest), c.newer) << c.newest;
    EXPECT_FALSE(IsNewerVersion("\xE8", "2.1"));
}

TEST(OffersNewerVersion, NewerAndWithinLimits) {
    const std::string longest(kMaxVersionLength, '9');
    const std::string link(kMaxLinkLength, 'l');
    struct Case {
        TVersionAnswer answer;
        bool offered;
    } cases[] = {
        {{"2.2", "x"}, true},
        {{"2.1", "x"}, false},
        {{"10.0", ""}, false},
        {{longest, link}, true},
        {{longest + "9", "x"}, false},
        {{"3", link + "l"}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OffersNewerVersion("2.1", c.answer), c.offered) << c.answer.NewestVersion.size() << " "
                                                                 << c.answer.NewestLink.size();
}

TEST(UpdateQuestion, TextAndCaption) {
    EXPECT_EQ(UpdateQuestionText("2.2"),
              "Byla nalezena nová verze programu Kolibrio2.\r\nStávající verze:2.1\r\nNová verze:2.2\r\n\r\n"
              "Chcete stáhnout aktualizaci?");
    EXPECT_STREQ(kUpdateQuestionCaption, "Update programu Kolibrio2 je k dispozici");
}

TEST(Addresses, AllBuiltFromOneHost) {
    EXPECT_EQ(VersionAddress("h.cz"), "http://h.cz/kolibrio/version.php");
    EXPECT_EQ(StatisticAddress("h.cz"), "http://h.cz/bin/statistic_run.php");
    EXPECT_EQ(DownloadAddress("h.cz", "x"), "http://h.cz/x");
    EXPECT_EQ(DownloadAddress("h.cz", ""), "http://h.cz/");
    std::string host, path;
    SplitHttpUrl(VersionAddress(kVendorHost), host, path);
    EXPECT_EQ(host, kVendorHost);
    EXPECT_EQ(path, "/kolibrio/version.php");
}

TEST(DescribeWindows, NamesAndVersionTexts) {
    struct Case {
        TOsVersionInfo info;
        const char* os;
        const char* osVer;
    } cases[] = {
        {{0, 3, 10, 0, "x"}, "Win 32s na Windows 3.1x", ""},
        {{1, 4, 0, 0x040003B6, " B "}, "Microsoft Windows 95 OSR2", "4.0.67109814. B "},
        {{1, 4, 0, 0x040003B6, "b"}, "Microsoft Windows 95", "4.0.67109814.b"},
        {{1, 4, 10, 0x040A08AE, " A "}, "Microsoft Windows 98 SE", "4.10.67766446. A "},
        {{1, 4, 10, 1998, ""}, "Microsoft Windows 98", "4.10.1998."},
        {{1, 4, 89, 1, "A"}, "Microsoft Windows 98 SE", "4.89.1.A"},
        {{1, 4, 90, 3000, " "}, "Microsoft Windows ME", "4.90.3000. "},
        {{1, 4, 91, 1, ""}, "", ""},
        {{2, 3, 51, 1057, "Service Pack 5"}, "Microsoft Windows NT 3", "3.51.1057.Service Pack 5"},
        {{2, 4, 0, 1381, "Service Pack 6"}, "Microsoft Windows NT 4", "4.0.1381.Service Pack 6"},
        {{2, 5, 0, 2195, ""}, "Microsoft Windows 2000", "5.0.2195."},
        {{2, 5, 1, 2600, "Service Pack 3"}, "Microsoft Windows XP", "5.1.2600.Service Pack 3"},
        {{2, 5, 2, 3790, "Service Pack 2"}, "", ""},
        {{2, 6, 1, 7601, "Service Pack 1"}, "", ""},
        {{2, 10, 0, 19045, ""}, "", ""},
        {{3, 5, 1, 1, ""}, "", ""},
        // The build number prints whole and signed.
        {{2, 5, 1, 0xFFFFFFFF, ""}, "Microsoft Windows XP", "5.1.-1."},
    };
    for (const auto& c : cases) {
        TOsDescription d = DescribeWindows(c.info);
        EXPECT_EQ(d.Os, c.os) << c.info.PlatformId << " " << c.info.MajorVersion << "." << c.info.MinorVersion;
        EXPECT_EQ(d.OsVer, c.osVer) << c.info.PlatformId << " " << c.info.MajorVersion << "." << c.info.MinorVersion;
    }
}

TEST(StatisticBody, ValuesGoUnencoded) {
    EXPECT_EQ(StatisticBody("", 3, 12, DescribeWindows({2, 5, 1, 2600, "Service Pack 2"})),
              "id=&copy=3&run=12&os=Microsoft Windows XP&os_ver=5.1.2600.Service Pack 2");
    EXPECT_EQ(StatisticBody("A1 b&c=d", -5, 0, DescribeWindows({2, 6, 1, 7601, "Service Pack 1"})),
              "id=A1 b&c=d&copy=-5&run=0&os=&os_ver=");
}
