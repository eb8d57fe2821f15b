// How the scan and the ordering grow with the size of a card, and a whole
// import of the largest card. Cards of 1,000, 10,000 and 100,000 small
// files in 200 folders are written under FOLDER; for each the scan
// (ScanPatterns) and the ordering by capture date (SortByCaptureDate,
// which reads every file's date) are timed, best of two. The largest card
// is then imported whole with quiet scripted answers into a folder per hour
// of capture, and every target is counted. Prints the peak working set.
// Asserts nothing; the cards are left under FOLDER for another run.
//
//   import_scale_win_bench FOLDER [largest]      largest: default 100000
//
// The dates: the files are written in folder order with their write times
// one second apart, so the card is already in capture order, the case that
// makes a first-element pivot quadratic; a second ordering of the largest
// card with every date equal (times left as written, all one value) tells
// the other.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/Strings.h"
#include "import/ImportRun_win.h"
#include "settings/Settings.h"

namespace {

constexpr int kFolders = 200;

double Now() {
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(freq.QuadPart);
}

double PeakWorkingSetMiB() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    return GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc) ? pmc.PeakWorkingSetSize / 1048576.0 : -1;
}

class QuietUi : public IImportUi {
public:
    std::vector<std::string> messages;
    int ConfirmImport() override { return 1; }
    void ShowPreparing() override {}
    void HideProgress() override {}
    void BeginCopying() override {}
    void SetFileLabels(const std::string&, const std::string&) override {}
    void SetFileBar(int64_t, int64_t) override {}
    void OverallChanged() override {}
    void SetSpeedTimer(bool) override {}
    void SpeedTick() override {}
    int Message(const std::string& text, const std::string&, TMsgDlgKind, TMsgButtons, TMsgButtons) override {
        messages.push_back(text);
        return 7;  // an overwrite question is answered No
    }
    void ProcessMessages() override {}
    uint32_t TickCount() override { return GetTickCount(); }
    void SetPreviewTimer(bool) override {}
    void SetTitle(const std::string&) override {}
};

// n files of 64 bytes in 200 folders, dated one second apart when dated.
// A card left by an earlier run is used as it is.
bool Generate(const std::wstring& card, int n, bool dated) {
    if (!CreateDirectoryW(card.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS) return true;
    const std::string bytes(64, 'k');
    FILETIME base;
    SYSTEMTIME st{2011, 8, 0, 1, 0, 0, 0, 0};
    SystemTimeToFileTime(&st, &base);
    for (int f = 0; f < kFolders; ++f) {
        wchar_t folder[32];
        swprintf(folder, 32, L"%03dCAMER\\", 100 + f);
        CreateDirectoryW((card + folder).c_str(), nullptr);
        for (int k = f * n / kFolders; k < (f + 1) * n / kFolders; ++k) {
            wchar_t name[32];
            swprintf(name, 32, L"IMG_%06d.JPG", k);
            HANDLE h = CreateFileW((card + folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h == INVALID_HANDLE_VALUE) return false;
            DWORD w = 0;
            WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &w, nullptr);
            if (dated) {
                ULARGE_INTEGER t{{base.dwLowDateTime, base.dwHighDateTime}};
                t.QuadPart += static_cast<ULONGLONG>(k) * 10000000ULL;
                FILETIME ft{t.LowPart, t.HighPart};
                SetFileTime(h, nullptr, nullptr, &ft);
            }
            CloseHandle(h);
        }
    }
    return true;
}

int CountFiles(const std::wstring& folder) {
    int count = 0;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        count += fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? CountFiles(folder + name + L"\\") : 1;
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return count;
}

struct Timing {
    double scan = 1e9, order = 1e9;
    size_t files = 0;
};

Timing ScanAndOrder(const std::string& card) {
    Timing t;
    for (int pass = 0; pass < 2; ++pass) {
        QuietUi ui;
        TImportJob& job = ImportJob();
        job = TImportJob();
        double t0 = Now();
        ScanPatterns(card, Settings().ExtensionList, ui);
        double t1 = Now();
        TDynamicDateTimeArray dates;
        SortByCaptureDate(dates, 0, static_cast<int>(job.SourceFiles.size()) - 1, true, ui);
        double t2 = Now();
        t.files = job.SourceFiles.size();
        t.scan = std::min(t.scan, t1 - t0);
        t.order = std::min(t.order, t2 - t1);
        job = TImportJob();
    }
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: import_scale_win_bench FOLDER [largest]\n");
        return 2;
    }
    const std::wstring root = fw::Wide(argv[1]) + L"\\";
    const int largest = argc > 2 ? std::atoi(argv[2]) : 100000;
    CreateDirectoryW(root.c_str(), nullptr);
    TSettings& s = Settings();
    s.ExtensionList = {"*.jpg"};
    s.TimeForMask = TTimeSource::FileTime;
    s.SkipImported = false;  // every round imports the same card anew
    // A folder per hour, 3,600 files at most: Wine looks a new name up in a
    // folder by reading the whole folder (names are case-insensitive), so a
    // folder of tens of thousands of targets makes each copy slower than
    // the last (18,000 files into one folder took 6.5 minutes).
    s.CurrentMask = "%yyyy%\\%mm%\\%dd%\\%hh%\\%index%.%file_ext%";

    std::printf("%-24s %8s %10s %10s %14s\n", "card", "files", "scan s", "order s", "peak WS MiB");
    std::wstring card;
    for (int n = 1000; n <= largest; n *= 10) {
        card = root + L"card" + std::to_wstring(n) + L"\\";
        double g0 = Now();
        if (!Generate(card, n, true)) {
            std::printf("could not write the card of %d files\n", n);
            return 1;
        }
        std::printf("(written in %.1f s, or left from an earlier run)\n", Now() - g0);
        Timing t = ScanAndOrder(fw::Utf8(card));
        std::printf("%-24s %8zu %10.3f %10.3f %14.1f\n", "dated, in order", t.files, t.scan, t.order,
                    PeakWorkingSetMiB());
    }
    const std::wstring equal = root + L"equal" + std::to_wstring(largest) + L"\\";
    const bool equalExists = GetFileAttributesW(equal.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (equalExists || Generate(equal, largest, false)) {
        // All written within a few seconds: the times are set to one value.
        FILETIME ft;
        SYSTEMTIME st{2011, 8, 0, 1, 0, 0, 0, 0};
        SystemTimeToFileTime(&st, &ft);
        QuietUi ui;
        ImportJob() = TImportJob();
        ScanPatterns(fw::Utf8(equal), {"*.jpg"}, ui);
        for (const std::string& f : equalExists ? std::vector<std::string>() : ImportJob().SourceFiles) {
            HANDLE h = CreateFileW(fw::Wide(f).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            SetFileTime(h, nullptr, nullptr, &ft);
            CloseHandle(h);
        }
        Timing t = ScanAndOrder(fw::Utf8(equal));
        std::printf("%-24s %8zu %10.3f %10.3f %14.1f\n", "all dates equal", t.files, t.scan, t.order,
                    PeakWorkingSetMiB());
    }

    // The largest card imported whole.
    const std::wstring out = root + L"archive\\";
    s.Path = fw::Utf8(out);
    QuietUi ui;
    ImportJob() = TImportJob();
    double i0 = Now();
    StartImport(fw::Utf8(card), ui);
    double seconds = Now() - i0;
    const int copied = CountFiles(out);
    std::printf("import of %d files: %.1f s, %d targets, messages: %zu (%s), peak WS %.1f MiB\n", largest, seconds,
                copied, ui.messages.size(), ui.messages.empty() ? "-" : ui.messages.back().c_str(),
                PeakWorkingSetMiB());
    return copied == largest ? 0 : 1;
}
