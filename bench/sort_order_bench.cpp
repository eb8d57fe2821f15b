// The ordering of a card by capture date (SortByCaptureDate, a quicksort
// with a middle pivot) over date patterns that make simple quicksorts
// quadratic: every date equal, already in order, reversed, an organ pipe,
// and random dates. Prints the time per pattern and size, and the time
// divided by n log2 n, which stays flat while the growth is n log n.
// Asserts nothing.
//
//   sort_order_bench [largest]     default 1000000 files
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "import/ImportCore.h"

namespace {

double SortSeconds(const std::vector<double>& dates) {
    // The names carry their date's index, so the lookup costs no map.
    std::vector<std::string> files(dates.size());
    for (size_t k = 0; k < dates.size(); ++k) files[k] = std::to_string(k);
    TSortContext ctx{files, [&](const std::string& f, std::string&) { return dates[std::stoul(f)]; }, [] {},
                     nullptr, {}};
    TDynamicDateTimeArray D;
    auto t0 = std::chrono::steady_clock::now();
    int hi = static_cast<int>(files.size()) - 1;
    SortByCaptureDate(D, 0, hi < 0 ? 0 : hi, true, ctx);
    auto t1 = std::chrono::steady_clock::now();
    for (size_t k = 1; k < D.size(); ++k)
        if (D[k - 1] > D[k]) std::printf("NOT SORTED\n");
    return std::chrono::duration<double>(t1 - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line shows even if a size ends the process
    const size_t largest = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
    struct Pattern {
        const char* name;
        double (*date)(size_t k, size_t n, std::mt19937& rng);
    } patterns[] = {
        {"all equal", [](size_t, size_t, std::mt19937&) { return 40000.5; }},
        {"ascending", [](size_t k, size_t, std::mt19937&) { return 40000.0 + k / 86400.0; }},
        {"descending", [](size_t k, size_t n, std::mt19937&) { return 40000.0 + (n - k) / 86400.0; }},
        {"organ pipe", [](size_t k, size_t n, std::mt19937&) {
             return 40000.0 + static_cast<double>(k < n / 2 ? k : n - k) / 86400.0;
         }},
        {"random", [](size_t, size_t, std::mt19937& rng) { return 40000.0 + (rng() % 1000000) / 86400.0; }},
        // "*.jpg" before "*.avi": two runs in order over the same days.
        {"jpeg run, video run", [](size_t k, size_t n, std::mt19937&) {
             const size_t jpegs = n - n / 10;
             return 40000.0 + static_cast<double>(k < jpegs ? k * 10 : (k - jpegs) * 90) / 86400.0;
         }},
        {"bursts of 10 equal", [](size_t k, size_t, std::mt19937&) { return 40000.0 + (k / 10) / 86400.0; }},
    };
    std::printf("%-20s %10s %10s %16s\n", "dates", "files", "seconds", "ns / (n log2 n)");
    for (const Pattern& p : patterns) {
        for (size_t n = 1000; n <= largest; n *= 10) {
            std::mt19937 rng(7);
            std::vector<double> dates(n);
            for (size_t k = 0; k < n; ++k) dates[k] = p.date(k, n, rng);
            double best = 1e9;
            for (int pass = 0; pass < 3; ++pass) best = std::min(best, SortSeconds(dates));
            std::printf("%-20s %10zu %10.4f %16.2f\n", p.name, n, best, best * 1e9 / (n * std::log2(double(n))));
        }
    }
    return 0;
}
