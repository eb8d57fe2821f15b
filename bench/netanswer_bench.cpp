// Reading version answers of the sizes a hostile server can send within
// the component's size limit: the time the UI thread spends in the answer
// handler before it can go on. Best of several passes. Prints figures,
// asserts nothing.
//
// Usage: netanswer_bench
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "net/NetLogic.h"

namespace {

constexpr int kPasses = 5;

struct Answer {
    const char* name;
    std::string text;
};

std::vector<Answer> Answers() {
    std::vector<Answer> a;
    std::string garbage(4u << 20, '\0');
    unsigned x = 12345;
    for (char& c : garbage) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>((x >> 16) | 1);  // no zero byte: the whole text is read
    }
    a.push_back({"4 MiB of garbage", garbage});
    std::string sections;
    for (int i = 0; sections.size() < (4u << 20); ++i)
        sections += "[s" + std::to_string(i) + "]\r\nnewest=" + std::to_string(i) + "\r\n";
    a.push_back({"4 MiB of sections, no version", sections});
    a.push_back({"4 MiB of sections, then the version", sections + "[version]\nnewest=2.2\n"});
    std::string lines;
    while (lines.size() < (4u << 20)) lines += std::string(1 << 20, 'x') + "\n";
    a.push_back({"1 MiB lines", lines});
    std::string blank(4u << 20, '\n');
    a.push_back({"4 MiB of line ends", blank});
    a.push_back({"the usual answer", "[version]\r\nnewest=2.2\r\nnewest_link=x\r\n"});
    return a;
}

}  // namespace

int main() {
    std::printf("%-40s %12s %12s\n", "answer", "ms", "MiB/s");
    for (const Answer& a : Answers()) {
        double best = 1e30;
        size_t sink = 0;
        for (int p = 0; p < kPasses; ++p) {
            auto t0 = std::chrono::steady_clock::now();
            net::TVersionAnswer r = net::ParseVersionAnswer(a.text);
            sink += r.NewestVersion.size() + net::OffersNewerVersion(net::kCurrentVersion, r);
            auto t1 = std::chrono::steady_clock::now();
            best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
        }
        const double mib = a.text.size() / 1048576.0;
        std::printf("%-40s %12.3f %12.1f   (%zu)\n", a.name, best, best > 0 ? mib / (best / 1000) : 0.0, sink);
    }
    return 0;
}
