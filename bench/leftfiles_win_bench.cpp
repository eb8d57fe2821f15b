// What counting the files an import leaves on the card costs: a card of
// 100,000 files of which no pattern takes any (the worst case of the count
// after the scan). Prints RESULT lines and asserts nothing.
//
//   leftfiles_win_bench gen   CARD [FILES]   writes CARD\DCIM\1xxCANON\*, empty files
//   leftfiles_win_bench count CARD           scan alone, then the whole StartImport
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/Strings.h"
#include "import/ImportRun_win.h"
#include "settings/Settings.h"

namespace {

constexpr int kPerFolder = 1000;
// Types a camera writes that the bench's pattern does not take.
const wchar_t* const kTypes[] = {L"CR3", L"HEIC", L"NEF", L"ARW", L"MP4", L"XMP", L"RAF"};

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

// Ano to the confirmation, OK to every message; keeps the last message.
class QuietUi : public IImportUi {
public:
    std::string last;
    int services = 0;
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
        last = text;
        return 1;
    }
    void ProcessMessages() override {
        ++services;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    uint32_t TickCount() override { return GetTickCount(); }
    void SetPreviewTimer(bool) override {}
    void SetTitle(const std::string&) override {}
};

int Generate(const std::string& card, int files) {
    const std::wstring dcim = fw::Wide(card) + L"\\DCIM";
    CreateDirectoryW(fw::Wide(card).c_str(), nullptr);
    CreateDirectoryW(dcim.c_str(), nullptr);
    const double start = Now();
    for (int k = 0; k < files; ++k) {
        const std::wstring folder = dcim + L"\\" + std::to_wstring(100 + k / kPerFolder) + L"CANON";
        if (k % kPerFolder == 0) CreateDirectoryW(folder.c_str(), nullptr);
        wchar_t name[32];
        swprintf(name, 32, L"\\IMG_%05d.%ls", k, kTypes[k % (sizeof kTypes / sizeof kTypes[0])]);
        HANDLE h = CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return 1;
        CloseHandle(h);
    }
    std::printf("RESULT mode=gen files=%d seconds=%.3f\n", files, Now() - start);
    return 0;
}

int Count(const std::string& card) {
    TSettings& s = Settings();
    s.ExtensionList = {"*.jpg"};
    s.SkipImported = false;  // every round imports the same card anew
    s.CurrentMask = "%file_name%.%file_ext%";
    s.Path = card + "\\out\\";
    const std::string source = card + "\\DCIM\\";

    // The scan of the one pattern alone, best of three.
    double scan = 1e9;
    for (int pass = 0; pass < 3; ++pass) {
        QuietUi ui;
        ImportJob() = TImportJob();
        const double t0 = Now();
        ScanFolder(source, "*.jpg", ui);
        scan = std::min(scan, Now() - t0);
    }
    // The whole import: the same scan, the count, the notice. Best of three.
    double whole = 1e9;
    QuietUi ui;
    for (int pass = 0; pass < 3; ++pass) {
        ui = QuietUi();
        ImportJob() = TImportJob();
        const double t0 = Now();
        StartImport(source, ui);
        whole = std::min(whole, Now() - t0);
    }
    const TLeftFiles& left = ImportJob().LeftFiles;
    std::printf("RESULT mode=count files_left=%lld types=%d scan_s=%.3f import_s=%.3f count_s=%.3f services=%d "
                "message_chars=%d\n",
                static_cast<long long>(left.Count), static_cast<int>(left.ByType.size()), scan, whole, whole - scan,
                ui.services, static_cast<int>(ui.last.size()));
    std::printf("message: %s\n", ui.last.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "gen" && (argc == 3 || argc == 4)) return Generate(argv[2], argc == 4 ? std::atoi(argv[3]) : 100000);
    if (mode == "count" && argc == 3) return Count(argv[2]);
    std::fprintf(stderr, "usage: leftfiles_win_bench gen CARD [FILES] | count CARD\n");
    return 2;
}
