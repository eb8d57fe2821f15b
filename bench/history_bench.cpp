// The import history at the size of years of use: 100,000 rows, as fifty
// cards of 2,030 files whose cameras number their files up to 9999 and
// then start again, so names repeat and only size and time tell them apart.
//
//   history_bench make FOLDER [rows]   writes FOLDER/import_history.db anew,
//                                      one record (one transaction) per file
//   history_bench run FOLDER [files]   records a run of new files (20,000)
//                                      into a copy of it as the program does,
//                                      and tells how large the log grew
//   history_bench lookup FOLDER        in a fresh process: opens it, counts
//                                      it, asks for a card of 2,030 files
//                                      four ways (see below), then records a
//                                      new card in a copy of it and closes
//                                      that, as a run does
//
// Prints the database's size, the time of every step, and the peak working
// set (Windows) or resident set (elsewhere) of the process. Asserts
// nothing. Builds natively (the ASan/UBSan core tree) and with MinGW.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "import/ImportHistory.h"
#include "mask/MaskExpand.h"

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace {

constexpr int kCard = 2030;
constexpr int64_t kBase = 130000000000000000;  // 2012-12-17, the first card's first shot
constexpr int64_t kSecond = 10000000;

double Seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double PeakMemoryMiB() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    return GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc) ? pmc.PeakWorkingSetSize / 1048576.0 : -1;
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
#endif
}

const char* MemoryName() {
#ifdef _WIN32
    return "peak working set";
#else
    return "peak resident set";
#endif
}

long long FileSize(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return -1;
    std::fseek(f, 0, SEEK_END);
    const long long n = std::ftell(f);
    std::fclose(f);
    return n;
}

bool CopyFile(const std::string& from, const std::string& to) {
    FILE* in = std::fopen(from.c_str(), "rb");
    FILE* out = std::fopen(to.c_str(), "wb");
    bool ok = in && out;
    char buf[65536];
    size_t n;
    while (ok && (n = std::fread(buf, 1, sizeof buf, in)) > 0) ok = std::fwrite(buf, 1, n, out) == n;
    if (in) std::fclose(in);
    if (out) ok = std::fclose(out) == 0 && ok;
    return ok;
}

// Row i of the history: the file's key and where its copy went.
THistoryKey RowKey(int i) {
    THistoryKey k;
    k.Name = "IMG_" + FormatMaskNumber(i % 9999 + 1, 9999) + ".JPG";
    k.Size = 2000000 + static_cast<int64_t>((static_cast<uint32_t>(i) * 2654435761u) % 6000000u);
    k.WriteTime = kBase + static_cast<int64_t>(i) * 37 * kSecond;
    return k;
}

std::string RowTarget(int i) {
    const int day = i / kCard % 28 + 1;
    return "D:\\Foto\\2024\\2024-05-" + FormatMaskNumber(day, 99) + "\\" + RowKey(i).Name;
}

int Make(const std::string& folder, int rows) {
    const std::string path = folder + "/import_history.db";
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
    THistoryError error;
    const double t0 = Seconds();
    auto history = TImportHistory::Open(path, error);
    if (!history) {
        std::printf("cannot make %s: %s\n", path.c_str(), error.Message.c_str());
        return 1;
    }
    const double opened = Seconds();
    double lastCardStart = opened;
    for (int i = 0; i < rows; ++i) {
        if (i == rows - kCard) lastCardStart = Seconds();
        if (!history->Record(RowKey(i), static_cast<uint64_t>(i) * 0x9E3779B97F4A7C15ull, RowTarget(i))) {
            std::printf("record %d failed: %s\n", i, history->LastError().Message.c_str());
            return 1;
        }
    }
    const double recorded = Seconds();
    history.reset();
    const double closed = Seconds();
    std::printf("made %d rows in %.1f s (%.0f records/s, each a transaction of its own)\n", rows, recorded - opened,
                rows / (recorded - opened));
    std::printf("the last card's %d records, into %d rows: %.0f ms (%.1f us each)\n", kCard, rows - kCard,
                (recorded - lastCardStart) * 1e3, (recorded - lastCardStart) * 1e6 / kCard);
    std::printf("new database %.1f ms, closing (checkpoint of the log) %.1f ms\n", (opened - t0) * 1e3,
                (closed - recorded) * 1e3);
    std::printf("database size %.2f MiB (%lld bytes), log after closing %lld bytes\n", FileSize(path) / 1048576.0,
                FileSize(path), FileSize(path + "-wal"));
    std::printf("%s %.1f MiB\n", MemoryName(), PeakMemoryMiB());
    return 0;
}

// Records files first..first+count-1 as the program's run does: in batches,
// one transaction each, with its checkpoints; the log's size after each batch.
bool RecordAsARun(TImportHistory& run, int first, int count, const std::string& path, long long& peakLog) {
    run.CheckpointEvery(kHistoryCheckpointPages);
    std::vector<THistoryRecord> batch;
    for (int k = 0; k < count; ++k) {
        batch.push_back({RowKey(first + k), static_cast<uint64_t>(k), RowTarget(first + k)});
        if (batch.size() < kHistoryRecordBatch && k + 1 < count) continue;
        if (!run.RecordAll(batch)) {
            std::printf("record failed: %s\n", run.LastError().Message.c_str());
            return false;
        }
        batch.clear();
        const long long log = FileSize(path + "-wal");
        if (log > peakLog) peakLog = log;
    }
    return true;
}

// The history at path copied to copy and opened there, so a run's records
// leave the history as it was; none (and why, printed) when that fails.
// opening: when the opening started, the copying not counted.
std::unique_ptr<TImportHistory> OpenCopy(const std::string& path, const std::string& copy,
                                         double* opening = nullptr) {
    if (!CopyFile(path, copy)) {
        std::printf("cannot copy %s\n", path.c_str());
        return nullptr;
    }
    if (opening) *opening = Seconds();
    THistoryError error;
    auto history = TImportHistory::Open(copy, error);
    if (!history) std::printf("cannot open %s: %s\n", copy.c_str(), error.Message.c_str());
    return history;
}

// A run of count new files into a copy of the history: the time and the
// largest the log grows.
int Run(const std::string& folder, int count) {
    const std::string path = folder + "/import_history.db";
    const std::string copy = folder + "/import_history-run.db";
    auto run = OpenCopy(path, copy);
    if (!run) return 1;
    const int n = static_cast<int>(run->Count().value_or(0));
    const double r0 = Seconds();
    long long peakLog = 0;
    if (!RecordAsARun(*run, n, count, copy, peakLog)) return 1;
    const double r1 = Seconds();
    run.reset();
    const double r2 = Seconds();
    std::printf("a run of %d files over %d rows: records %.1f ms (%.1f us each), close %.1f ms; the log at most "
                "%.2f MiB (%lld bytes), checkpoints every %d pages; database after %.2f MiB\n",
                count, n, (r1 - r0) * 1e3, (r1 - r0) * 1e6 / count, (r2 - r1) * 1e3, peakLog / 1048576.0, peakLog,
                kHistoryCheckpointPages, FileSize(copy) / 1048576.0);
    std::remove(copy.c_str());
    return 0;
}

int Lookup(const std::string& folder) {
    const std::string path = folder + "/import_history.db";
    const double memoryBefore = PeakMemoryMiB();
    THistoryError error;
    const double t0 = Seconds();
    auto history = TImportHistory::Open(path, error);
    const double opened = Seconds();
    if (!history) {
        std::printf("cannot open %s: %s\n", path.c_str(), error.Message.c_str());
        return 1;
    }
    const auto rows = history->Count();
    const double counted = Seconds();
    if (!rows || *rows < kCard) {
        std::printf("run \"make\" first\n");
        return 1;
    }
    const int n = static_cast<int>(*rows);
    std::printf("database %.2f MiB, %d rows\n", FileSize(path) / 1048576.0, n);
    std::printf("open (a fresh process) %.2f ms, count %.2f ms\n", (opened - t0) * 1e3, (counted - opened) * 1e3);
    std::printf("%s", history->FindPlan().c_str());

    // The last card inserted again, as recorded and across a change of
    // daylight saving; the same camera's next card, whose names wrapped to
    // ones already in the history; a card of another camera.
    struct Way {
        const char* what;
        THistoryKey (*key)(int k, int n);
        bool known;
    } ways[] = {
        {"known, equal time", [](int k, int n) { return RowKey(n - kCard + k); }, true},
        {"known, an hour off", [](int k, int n) {
             THistoryKey key = RowKey(n - kCard + k);
             key.WriteTime += kHistoryHour;
             return key;
         }, true},
        {"new, names in the history", [](int k, int n) { return RowKey(n + k); }, false},
        {"new, names not in it", [](int k, int) {
             THistoryKey key = RowKey(k);
             key.Name = "DSC_" + FormatMaskNumber(k, 9999) + ".ARW";
             return key;
         }, false},
    };
    for (const Way& way : ways) {
        std::vector<THistoryKey> keys;
        for (int k = 0; k < kCard; ++k) keys.push_back(way.key(k, n));
        const double start = Seconds();
        int found = 0;
        for (const THistoryKey& key : keys) found += history->Find(key).has_value();
        const double took = Seconds() - start;
        std::printf("%-28s %d lookups %.2f ms (%.1f us each), found %d%s\n", way.what, kCard, took * 1e3,
                    took * 1e6 / kCard, found, (found == (way.known ? kCard : 0)) ? "" : "  <- NOT AS EXPECTED");
    }
    history.reset();

    // A run that copies a new card of the same camera: one record for every
    // file, then the history closed at the run's end (the log checkpointed
    // into the database). Into a copy, so the history stays as it was.
    const std::string copy = folder + "/import_history-run.db";
    double r0 = 0;
    auto run = OpenCopy(path, copy, &r0);
    if (!run) return 1;
    const double r1 = Seconds();
    long long peakLog = 0;
    if (!RecordAsARun(*run, n, kCard, copy, peakLog)) return 1;
    const double r2 = Seconds();
    run.reset();
    const double r3 = Seconds();
    std::printf("a run recording %d files in batches of %zu: open %.1f ms, records %.1f ms (%.1f us each), close "
                "%.1f ms; %.1f ms in all; log at most %.2f MiB\n",
                kCard, kHistoryRecordBatch, (r1 - r0) * 1e3, (r2 - r1) * 1e3, (r2 - r1) * 1e6 / kCard,
                (r3 - r2) * 1e3, (r3 - r0) * 1e3, peakLog / 1048576.0);
    std::remove(copy.c_str());
    std::printf("%s %.1f MiB, %.1f MiB before the history was opened\n", MemoryName(), PeakMemoryMiB(),
                memoryBefore);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc < 3 || (mode != "make" && mode != "lookup" && mode != "run")) {
        std::printf("usage: history_bench make FOLDER [rows] | history_bench lookup FOLDER |"
                    " history_bench run FOLDER [files]\n");
        return 2;
    }
    const std::string folder = argv[2];
    if (mode == "make") return Make(folder, argc > 3 ? std::atoi(argv[3]) : 100000);
    if (mode == "run") return Run(folder, argc > 3 ? std::atoi(argv[3]) : 20000);
    return Lookup(folder);
}
