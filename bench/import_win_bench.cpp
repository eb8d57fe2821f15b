// A whole import of a generated card tree, against a bare copy loop of the
// same tree. Driven by bench/import_bench.sh, which also times ExifTool and
// cp -r on the same files and prints the table; each mode prints one
// "RESULT" line of key=value figures and asserts nothing.
//
//   import_win_bench gen     CARD KIND      writes a card tree (DCIM\...) of a kind:
//                                           camera (207 files, 0.19 GB), full (2030
//                                           files, 2 GB), small (2000 JPEGs of 8-40 KiB)
//   import_win_bench copy    CARD OUT       bare Win32 copy loop, 32769-byte buffer
//   import_win_bench import  CARD OUT [on|off]
//                                           the engine alone: StartImport with quiet
//                                           scripted answers, no windows; the copy
//                                           check on (default) or off
//   import_win_bench program EXE CARD OUT   the real program with its windows: the card
//                                           as a removable drive, its arrival sent to
//                                           the running EXE, "Ano" clicked, timed until
//                                           the result box shows
//   import_win_bench calls   CARD OUT       what the per-file calls of a copy cost
//
// OUT must not exist yet: every run goes into a fresh target, so no
// overwrite question can come up (one that does is counted and answered No).
#include <windows.h>

#include <cwchar>
#include <psapi.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <dbt.h>

#include "framework/Strings.h"
#include "import/ImportRun_win.h"
#include "import/VerifyCopy.h"
#include "settings/ListText.h"
#include "settings/Settings.h"
#include "support/ChildProcess.h"
#include "support/ProgramRun.h"
#include "support/UiTest.h"
#include "support/WinTest.h"
#include "support/WineDrive.h"
#include "tests/core/exif_fixture.h"

namespace {

constexpr int kPerFolder = 500;  // cameras start a new folder long before 999
constexpr int kVideos = 4;
constexpr int kDays = 20;        // the pictures spread over this many days of August 2011

// What a card holds: pictures of a size range in KiB, and four videos.
struct CardKind {
    const char* name;
    int pictures;
    int minKiB, spanKiB;
    int64_t videoBytes;  // 0: no videos
};
constexpr CardKind kCards[] = {
    {"camera", 203, 100, 300, 35LL * 1000 * 1000},
    {"full", 2026, 100, 300, 370LL * 1000 * 1000},
    {"small", 2000, 8, 32, 0},
};
int gPictures = 2000;  // of the card being written
const char* const kMask = "%yyyy%\\%mm%\\%dd%\\%hh%%nn%%ss%_%index_dir%.%file_ext%";

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

struct Memory {
    double peakMiB = 0, nowMiB = 0;
};
Memory WorkingSet() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    Memory m;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc)) {
        m.peakMiB = pmc.PeakWorkingSetSize / 1048576.0;
        m.nowMiB = pmc.WorkingSetSize / 1048576.0;
    }
    return m;
}

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (Valid()) CloseHandle(h_);
    }
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }

private:
    HANDLE h_;
};

// ---- the card tree ----------------------------------------------------------

// Seconds after 1 August 2011 00:00 local time at which picture i was taken.
// Every twentieth picture starts a burst: it and the next three share one
// second, as a camera's continuous mode gives them.
int64_t ShotSecond(int i) {
    int frame = i % 20 <= 3 ? i - i % 20 : i;
    int day = frame * kDays / gPictures;
    return day * 86400LL + 9 * 3600 + (frame % (gPictures / kDays + 1)) * 331;
}

std::string ExifDate(int64_t second) {
    int64_t day = second / 86400, rest = second % 86400;
    char buf[32];
    std::snprintf(buf, sizeof buf, "2011:08:%02d %02d:%02d:%02d", static_cast<int>(day + 1),
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
    return buf;
}

bool SetLocalWriteTime(const std::wstring& path, int64_t second) {
    SYSTEMTIME st{};
    st.wYear = 2011;
    st.wMonth = 8;
    st.wDay = static_cast<WORD>(second / 86400 + 1);
    st.wHour = static_cast<WORD>(second % 86400 / 3600);
    st.wMinute = static_cast<WORD>(second / 60 % 60);
    st.wSecond = static_cast<WORD>(second % 60);
    FILETIME local, utc;
    if (!SystemTimeToFileTime(&st, &local) || !LocalFileTimeToFileTime(&local, &utc)) return false;
    Handle h(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return h.Valid() && SetFileTime(h.Get(), nullptr, nullptr, &utc);
}

bool WriteChunks(const std::wstring& path, const std::string& head, int64_t total) {
    Handle h(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!h.Valid()) return false;
    std::string chunk = head;
    chunk.resize(1 << 20, '\0');
    for (size_t k = head.size(); k < chunk.size(); ++k) chunk[k] = static_cast<char>(k * 131 % 251);
    for (int64_t done = 0; done < total;) {
        DWORD n = static_cast<DWORD>(total - done < static_cast<int64_t>(chunk.size()) ? total - done : chunk.size());
        DWORD written = 0;
        if (!WriteFile(h.Get(), chunk.data(), n, &written, nullptr) || written != n) return false;
        done += n;
        if (done == static_cast<int64_t>(n)) chunk.replace(0, head.size(), std::string(head.size(), '\x55'));
    }
    return true;
}

void Put32(std::string& s, uint32_t v, bool bigEndian) {
    for (int k = 0; k < 4; ++k) s += static_cast<char>(v >> (bigEndian ? 24 - 8 * k : 8 * k));
}

// The head of a video file: a RIFF AVI whose "movi" list covers the rest, or
// a QuickTime file whose "mdat" atom does, so that ExifTool takes the files
// as what their names say.
std::string VideoHead(bool avi, int64_t total) {
    std::string s;
    if (avi) {
        s = "RIFF";
        Put32(s, static_cast<uint32_t>(total - 8), false);
        s += "AVI LIST";
        Put32(s, static_cast<uint32_t>(total - 20), false);
        s += "movi";
    } else {
        s += std::string("\0\0\0\x14", 4) + "ftypqt  " + std::string("\0\0\0\0", 4) + "qt  ";
        Put32(s, static_cast<uint32_t>(total - 20), true);
        s += "mdat";
    }
    return s;
}

int Generate(const std::string& card, const std::string& kindName) {
    const CardKind* kind = nullptr;
    for (const CardKind& k : kCards)
        if (kindName == k.name) kind = &k;
    if (!kind) {
        std::printf("unknown card kind %s\n", kindName.c_str());
        return 2;
    }
    gPictures = kind->pictures;
    const int pictures = kind->pictures;
    const int videos = kind->videoBytes > 0 ? kVideos : 0;
    const int64_t videoBytes = kind->videoBytes;
    const std::wstring dcim = fw::Wide(card) + L"\\DCIM";
    CreateDirectoryW(fw::Wide(card).c_str(), nullptr);
    CreateDirectoryW(dcim.c_str(), nullptr);
    int64_t bytes = 0;
    for (int i = 0; i < pictures; ++i) {
        wchar_t folder[64], name[64];
        swprintf(folder, 64, L"\\%03dKAMRA", 100 + i / kPerFolder);
        swprintf(name, 64, L"\\P%07d.JPG", 1080000 + i);
        if (i % kPerFolder == 0) CreateDirectoryW((dcim + folder).c_str(), nullptr);
        const std::wstring path = dcim + folder + name;
        const int64_t second = ShotSecond(i);
        const size_t size = (kind->minKiB + (i * 37) % kind->spanKiB) * 1024;
        const std::string jpeg = exiffix::Jpeg(exiffix::CameraTiff(i % 3 == 0, ExifDate(second)).Build(), 0, size);
        Handle h(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        if (!h.Valid() || !WriteFile(h.Get(), jpeg.data(), static_cast<DWORD>(jpeg.size()), &written, nullptr) ||
            written != jpeg.size()) {
            std::printf("cannot write %s\n", fw::Utf8(path).c_str());
            return 1;
        }
        bytes += static_cast<int64_t>(jpeg.size());
    }
    // The write times last, when no handle is open any more.
    for (int i = 0; i < pictures; ++i) {
        wchar_t rel[64];
        swprintf(rel, 64, L"\\%03dKAMRA\\P%07d.JPG", 100 + i / kPerFolder, 1080000 + i);
        SetLocalWriteTime(dcim + rel, ShotSecond(i));
    }
    for (int v = 0; v < videos; ++v) {
        const bool avi = v % 2 == 0;
        wchar_t rel[64];
        const int folders = (pictures + kPerFolder - 1) / kPerFolder;
        swprintf(rel, 64, L"\\%03dKAMRA\\MVI_%04d.%ls", 100 + v % folders, 7001 + v, avi ? L"AVI" : L"MOV");
        const std::wstring path = dcim + rel;
        if (!WriteChunks(path, VideoHead(avi, videoBytes), videoBytes)) {
            std::printf("cannot write %s\n", fw::Utf8(path).c_str());
            return 1;
        }
        SetLocalWriteTime(path, (v * 5 + 2) * 86400LL + 12 * 3600);
        bytes += videoBytes;
    }
    std::printf("RESULT mode=gen files=%d bytes=%lld\n", pictures + videos, static_cast<long long>(bytes));
    return 0;
}

// ---- the bare copy loop -----------------------------------------------------

struct Totals {
    int files = 0;
    int64_t bytes = 0;
    bool ok = true;
    double opening = 0, blocks = 0, closing = 0;  // the same split as the import's
};

std::array<char, 32769> buffer;

// One file through the buffer; the handles close when it returns, inside
// the caller's timing of the finish.
void CopyFile32769(const std::wstring& src, const std::wstring& dst, Totals& t, double t0) {
    Handle in(CreateFileW(src.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    Handle out(CreateFileW(dst.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    const double t1 = Now();
    t.opening += t1 - t0;
    if (!in.Valid() || !out.Valid()) {
        t.ok = false;
        return;
    }
    for (;;) {
        DWORD n = 0, written = 0;
        if (!ReadFile(in.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
            t.ok = false;
            break;
        }
        if (n == 0) break;
        if (!WriteFile(out.Get(), buffer.data(), n, &written, nullptr) || written != n) {
            t.ok = false;
            break;
        }
        t.bytes += n;
    }
    t.blocks += Now() - t1;
}

void CopyTree(const std::wstring& from, const std::wstring& to, Totals& t) {
    CreateDirectoryW(to.c_str(), nullptr);
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((from + L"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring src = from + L"\\" + name, dst = to + L"\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            CopyTree(src, dst, t);
            continue;
        }
        const double t0 = Now();
        CopyFile32769(src, dst, t, t0);
        t.closing += Now() - t0;
        ++t.files;
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

// Files and bytes below a folder, to check what a run left behind.
void CountTree(const std::wstring& folder, Totals& t) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            CountTree(folder + L"\\" + name, t);
        } else {
            ++t.files;
            t.bytes += (static_cast<int64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        }
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

int BareCopy(const std::string& card, const std::string& out) {
    Totals t;
    const double start = Now();
    CopyTree(fw::Wide(card), fw::Wide(out), t);
    const double seconds = Now() - start;
    const Memory m = WorkingSet();
    std::printf(
        "RESULT mode=copy files=%d bytes=%lld seconds=%.3f copy_prepare_s=%.3f copy_blocks_s=%.3f "
        "copy_finish_s=%.3f peak_ws_mib=%.1f ok=%d\n",
        t.files, static_cast<long long>(t.bytes), seconds, t.opening, t.blocks, t.closing - t.opening - t.blocks,
        m.peakMiB, t.ok ? 1 : 0);
    return t.ok ? 0 : 1;
}

// ---- the import ---------------------------------------------------------------

// Answers like a user who confirms and never overwrites, notes when each
// phase of the run begins and keeps quiet: the console is slow under Wine.
class QuietUi : public IImportUi {
public:
    double confirmed = 0, scanStart = 0, orderStart = 0, copyStart = 0, copyEnd = 0, runEnd = 0;
    std::vector<double> serviced;  // ProcessMessages calls from the ordering until the copy
    bool recording = false;
    size_t named = 0;  // files the run named
    double labelsAt = 0, barAt = 0, fullAt = 0, preparing = 0, blocks = 0, finishing = 0;
    int overwriteQuestions = 0;
    std::vector<std::string> results;

    QuietUi() { serviced.reserve(10000); }

    int ConfirmImport() override {
        confirmed = Now();
        return 1;
    }
    void ShowPreparing() override { scanStart = Now(); }
    void HideProgress() override {}
    void BeginCopying() override {
        copyStart = Now();
        recording = false;
        named = ImportJob().SourceFiles.size();
    }
    // Where a file's copy spends its time, from the calls the copy makes:
    // labels set (start), file bar set up (source sized, target checked,
    // folder made, target opened), file bar full (blocks copied), next file.
    void SetFileLabels(const std::string&, const std::string&) override {
        const double t = Now();
        if (fullAt > 0) finishing += t - fullAt;
        fullAt = 0;
        labelsAt = t;
    }
    void SetFileBar(int64_t position, int64_t max) override {
        if (max <= 0) return;
        const double t = Now();
        if (position == 0) {
            preparing += t - labelsAt;
            barAt = t;
        } else if (position == max) {
            blocks += t - barAt;
            fullAt = t;
        }
    }
    void OverallChanged() override {}
    void SetSpeedTimer(bool) override {}
    void SpeedTick() override {
        copyEnd = Now();
        if (fullAt > 0) finishing += copyEnd - fullAt;
        fullAt = 0;
    }
    int Message(const std::string& text, const std::string& caption, TMsgDlgKind, TMsgButtons,
                TMsgButtons) override {
        if (caption == "Kolibrio2 - Potvrdit nahrazení souboru") {
            ++overwriteQuestions;
            return 7;
        }
        results.push_back(text);
        return 1;
    }
    void ProcessMessages() override {
        if (recording) serviced.push_back(Now());
    }
    uint32_t TickCount() override { return GetTickCount(); }
    void SetPreviewTimer(bool on) override {
        if (!on) {
            orderStart = Now();
            recording = true;
        } else {
            runEnd = Now();
        }
    }
    void SetTitle(const std::string&) override {}
};

// A quiet stand-in for the ordering alone, which services events only.
class SilentUi : public QuietUi {};

void ApplyImportSettings(const std::string& out) {
    TSettings& s = Settings();
    s.Path = out + "\\";
    s.CurrentMask = kMask;
    s.FileExtension = "*.jpg;*.orf;*.avi;*.mov;*.wav";
    s.ExtensionList = TextToList(s.FileExtension, ';');
    s.TimeForMask = TTimeSource::EXIFTime;
    s.SkipImported = false;  // every round imports the same card anew
}

int Import(const std::string& card, const std::string& out, bool verify) {
    ApplyImportSettings(out);
    Settings().VerifyCopy = verify;
    const Memory before = WorkingSet();
    QuietUi ui;
    const double start = Now();
    StartImport(card + "\\DCIM\\", ui);
    const double end = Now();
    const Memory after = WorkingSet();

    Totals written;
    CountTree(fw::Wide(out), written);

    // The ordering's own calls come first, then the one after the sort, then
    // one per named file; BeginCopying closes the naming.
    double orderEnd = 0;
    if (ui.named > 0 && ui.serviced.size() > ui.named) orderEnd = ui.serviced[ui.serviced.size() - ui.named - 1];

    const bool success = ui.results.size() == 1 && ui.results[0].rfind("Kopírování proběhlo úspěšně.\r\n", 0) == 0;
    std::printf(
        "RESULT mode=import check=%s files=%d bytes=%lld seconds=%.3f scan_size_s=%.3f order_s=%.3f naming_s=%.3f "
        "copy_s=%.3f copy_prepare_s=%.3f copy_blocks_s=%.3f copy_finish_s=%.3f peak_ws_mib=%.1f "
        "ws_before_mib=%.1f overwrite_questions=%d ok=%d\n",
        verify ? "on" : "off", written.files, static_cast<long long>(written.bytes), end - start, ui.orderStart - ui.scanStart,
        orderEnd > 0 ? orderEnd - ui.orderStart : -1.0, orderEnd > 0 ? ui.copyStart - orderEnd : -1.0,
        ui.copyEnd - ui.copyStart, ui.preparing, ui.blocks, ui.finishing, after.peakMiB, before.nowMiB, ui.overwriteQuestions, success ? 1 : 0);
    if (!success)
        for (const std::string& r : ui.results) std::printf("result message: %s\n", r.c_str());

    // The ordering once more on its own: scan into the job's list, then time
    // SortByCaptureDate over it, best of three.
    double bestSort = 1e9;
    size_t sorted = 0;
    for (int pass = 0; pass < 3; ++pass) {
        SilentUi quiet;
        TImportJob& job = ImportJob();
        job = TImportJob();
        for (const std::string& pattern : Settings().ExtensionList) ScanFolder(card + "\\DCIM\\", pattern, quiet);
        sorted = job.SourceFiles.size();
        TDynamicDateTimeArray dates;
        const double t0 = Now();
        SortByCaptureDate(dates, 0, static_cast<int>(sorted) - 1, true, quiet);
        const double t = Now() - t0;
        if (t < bestSort) bestSort = t;
        job = TImportJob();
    }
    std::printf("RESULT mode=sort files=%d seconds=%.3f\n", static_cast<int>(sorted), bestSort);
    return success ? 0 : 1;
}

// ---- the real program ---------------------------------------------------------

const wchar_t kConfirmCaption[] = L"Kolibrio2 - Byl vložen fotoaparát";
const wchar_t kResultsCaption[] = L"Kolibrio2 - Výsledky kopírování";

// The text of the static control of a message box that says how it went.
// Whether a control of the box begins with the text (the result's own
// text; the counts follow it).
struct BoxSearch {
    std::wstring text;
    bool found = false;
};
BOOL CALLBACK BeginsWithText(HWND child, LPARAM lp) {
    auto* s = reinterpret_cast<BoxSearch*>(lp);
    wchar_t buf[1024] = {};
    GetWindowTextW(child, buf, 1024);
    if (std::wstring(buf).rfind(s->text, 0) == 0) s->found = true;
    return !s->found;
}
bool BoxSays(HWND box, const wchar_t* text) {
    BoxSearch search{text};
    EnumChildWindows(box, BeginsWithText, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Kolibrio2.exe as a user runs it: started from a folder of its own with a
// setting.ini that names the target and the mask, the card arriving as a
// removable drive, the arrival confirmed with "Ano" in the confirmation
// window, the progress window on screen until the result box appears. The
// clock runs from the click to the result box, polled every 10 ms. With
// verify the copies are checked, as the program does unless told not to.
// history: "fresh" (the program's own, new: every file is looked up and
// recorded, as at a first import), "off" (the option to skip files imported
// before is off: no history at all), "known" (the card is imported twice by
// the same program and the second import, every file known, is timed), or
// the path of a history file the program starts with.
int Program(const std::string& exe, const std::string& card, const std::string& out, bool verify,
            const std::string& history) {
    const std::wstring folder = wintest::MakeTempDir();
    if (!CopyFileW(fw::Wide(exe).c_str(), (folder + L"Kolibrio2.exe").c_str(), FALSE)) {
        std::printf("cannot copy %s\n", exe.c_str());
        return 2;
    }
    CreateDirectoryW(fw::Wide(out).c_str(), nullptr);
    const std::string ini = std::string("[Mask]\r\nCurrentMask=") + kMask + "\r\nPath=" + fw::Utf8ToAnsi(out) +
                            "\\\r\n[Options]\r\nAutoUpdate=0\r\nTimeForMask=EXIFTime\r\nVerifyCopy=" +
                            (verify ? "1" : "0") + (history == "off" ? "\r\nSkipImported=0" : "") +
                            "\r\n"
                            "FileExtension=*.jpg;*.orf;*.avi;*.mov;*.wav\r\nAutoRecognize=1\r\n";
    wintest::WriteFileBytes(folder + L"setting.ini", ini);
    // The portable program keeps its history beside setting.ini.
    if (history != "off" && history != "fresh" && history != "known" &&
        !CopyFileW(fw::Wide(history).c_str(), (folder + L"import_history.db").c_str(), FALSE)) {
        std::printf("cannot copy the history %s\n", history.c_str());
        return 2;
    }

    const wchar_t letter = wintest::FreeDriveLetter();
    if (!letter || !wintest::DefineWineDrive(letter, fw::Wide(card), DRIVE_REMOVABLE)) {
        std::printf("cannot map the card to a removable drive\n");
        return 2;
    }
    struct Cleanup {
        wchar_t letter;
        std::wstring folder;
        ~Cleanup() {
            wintest::RemoveWineDrive(letter);
            wintest::RemoveTree(folder);
        }
    } cleanup{letter, folder};

    wintest::ChildProcess program;
    if (!program.Start(folder + L"Kolibrio2.exe", {})) {
        std::printf("cannot start the program\n");
        return 2;
    }
    const DWORD pid = program.Pid();
    HWND main = nullptr;
    // Ready once its last window, the message dialog, exists.
    if (!wintest::WaitFor(
            [&] {
                main = wintest::FindProcessWindow(pid, L"Kolibrio 2 - nastavení", false);
                return main && wintest::FindProcessWindow(pid, L"Dialog", false);
            },
            30000)) {
        std::printf("the program did not come up\n");
        return 2;
    }
    WaitForInputIdle(program.Handle(), 5000);

    // One arrival of the card, from the click on "Ano" to the result box.
    struct Timed {
        double seconds = 0;
        bool progressSeen = false, boxInFront = false, success = false;
    };
    auto insertCard = [&](const wchar_t* says) -> Timed {
        Timed t;
        DEV_BROADCAST_VOLUME v{};
        v.dbcv_size = sizeof v;
        v.dbcv_devicetype = DBT_DEVTYP_VOLUME;
        v.dbcv_unitmask = 1u << (letter - L'A');
        DWORD_PTR answer = 0;
        // The import runs inside the handler, so the send times out.
        SendMessageTimeoutW(main, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&v), SMTO_NORMAL, 300,
                            &answer);
        HWND confirm = nullptr, yes = nullptr;
        if (!wintest::WaitFor(
                [&] {
                    confirm = wintest::FindProcessWindow(pid, kConfirmCaption, true);
                    yes = confirm ? wintest::FindChildByText(confirm, L"Ano") : nullptr;
                    return yes && IsWindowVisible(yes);
                },
                20000)) {
            std::printf("no confirmation window\n");
            return t;
        }
        wintest::Pump(200);  // the window settles as a person would see it

        // Under Wine a look-up by caption (FindWindowW) asks the server for the
        // text of every top-level window, some sixty round trips a look, and
        // the server is what the program needs for its own work. So every
        // 10 ms only the foreground window is asked for, and its caption read
        // when it changes: the progress window and the result box each come to
        // the front when shown. A look-up by caption twice a second stays as
        // the safety net for a box that does not.
        auto visibleOfProgram = [pid](const wchar_t* caption) {
            HWND h = FindWindowW(nullptr, caption);
            DWORD owner = 0;
            if (h) GetWindowThreadProcessId(h, &owner);
            return h && owner == pid && IsWindowVisible(h) ? h : nullptr;
        };
        const wchar_t* const progressCaption = L"Kolibrio2 - průběh kopírování, prosím čekejte...";
        const double start = Now();
        PostMessageW(yes, BM_CLICK, 0, 0);
        HWND box = nullptr, front = nullptr;
        bool progressSeen = false, boxInFront = false;
        for (int poll = 1;; ++poll) {
            const HWND now = GetForegroundWindow();
            if (now != front) {
                front = now;
                wchar_t caption[128] = {};
                if (now) GetWindowTextW(now, caption, 128);
                if (std::wcscmp(caption, kResultsCaption) == 0) {
                    boxInFront = true;
                    break;
                }
                if (std::wcscmp(caption, progressCaption) == 0) progressSeen = true;
            }
            if (poll % 50 == 0) {
                if (visibleOfProgram(kResultsCaption)) break;
                if (!progressSeen) progressSeen = visibleOfProgram(progressCaption) != nullptr;
            }
            if (!program.Running() || Now() - start > 3600) break;
            Sleep(10);
        }
        const double seconds = Now() - start;
        // A box comes to the front as it is being shown: its contents are read
        // once it is on screen.
        wintest::WaitFor([&] { return (box = wintest::FindProcessWindow(pid, kResultsCaption, true)) != nullptr; },
                         5000);
        t.seconds = seconds;
        t.progressSeen = progressSeen;
        t.boxInFront = boxInFront;
        t.success = box && BoxSays(box, says);
        if (box) {
            wintest::ClickButton(box, L"&OK");
            wintest::WaitFor([&] { return !wintest::FindMessageBox(pid, kResultsCaption); }, 5000);
        }
        return t;
    };
    Timed timed = insertCard(L"Kopírování proběhlo úspěšně.");
    // The card once more, every file now known from the first import: the
    // result that there was nothing to copy.
    // As a person would, a moment after the box: an arrival while the run
    // is still ending is refused, as one during a run is.
    if (history == "known" && timed.success) {
        wintest::Pump(1000);
        timed = insertCard(L"Nic nebylo zkopírováno:");
    }
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(program.Handle(), &pmc, sizeof pmc);
    const bool success = timed.success;
    if (!wintest::EndProgramAsLogOff(program)) TerminateProcess(program.Handle(), 0);
    program.WaitExit(5000);

    Totals written;
    CountTree(fw::Wide(out), written);
    std::printf("RESULT mode=program files=%d bytes=%lld seconds=%.3f peak_ws_mib=%.1f progress_seen=%d box_in_front=%d ok=%d\n",
                written.files, static_cast<long long>(written.bytes), timed.seconds, pmc.PeakWorkingSetSize / 1048576.0,
                timed.progressSeen ? 1 : 0, timed.boxInFront ? 1 : 0, success ? 1 : 0);
    return success ? 0 : 1;
}

// What the per-file calls of a copy cost under this system, each over the
// card's files: to tell where an import's time beyond the bare loop goes.
void ListFiles(const std::wstring& folder, std::vector<std::wstring>& out) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(folder + L"\\" + name, out);
        else
            out.push_back(folder + L"\\" + name);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

int Calls(const std::string& card, const std::string& out) {
    std::vector<std::wstring> files;
    ListFiles(fw::Wide(card), files);
    const std::wstring dst = fw::Wide(out);
    CreateDirectoryW(dst.c_str(), nullptr);
    auto perFile = [&](auto call) {
        const double t0 = Now();
        for (size_t k = 0; k < files.size(); ++k) call(k);
        return (Now() - t0) / static_cast<double>(files.size()) * 1e6;
    };
    const double sizing = perFile([&](size_t k) {
        Handle h(CreateFileW(files[k].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        LARGE_INTEGER size;
        GetFileSizeEx(h.Get(), &size);
    });
    // Targets go a hundred to a folder, as the import's day folders hold
    // them: under Wine every look-up of a name that does not exist reads the
    // whole folder, so the folder's size matters.
    auto name = [&](const wchar_t* kind, size_t k) {
        return dst + L"\\" + kind + std::to_wstring(k / 100) + L"\\" + std::to_wstring(k);
    };
    for (const wchar_t* kind : {L"d", L"t"})
        for (size_t k = 0; k < files.size(); k += 100) CreateDirectoryW(FolderOf(name(kind, k)).c_str(), nullptr);
    const double create = perFile([&](size_t k) {
        Handle h(CreateFileW(name(L"d", k).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    });
    const double missing = perFile([&](size_t k) { GetFileAttributesW((name(L"d", k) + L".x").c_str()); });
    const double folder = perFile([&](size_t k) { GetFileAttributesW(FolderOf(name(L"d", k)).c_str()); });
    const double createRename = perFile([&](size_t k) {
        {
            Handle h(CreateFileW((name(L"t", k) + L".tmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                 nullptr));
        }
        MoveFileExW((name(L"t", k) + L".tmp").c_str(), name(L"t", k).c_str(), MOVEFILE_REPLACE_EXISTING);
    });
    // The copy check's own calls: a picture's bytes written with and without
    // the flush, and the card's files read past the cache and through it.
    const std::string picture(256 * 1024, 'p');
    auto writeFile = [&](const wchar_t* kind, size_t k, bool flush) {
        Handle h(CreateFileW(name(kind, k).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD n = 0;
        WriteFile(h.Get(), picture.data(), static_cast<DWORD>(picture.size()), &n, nullptr);
        if (flush) FlushFileBuffers(h.Get());
    };
    for (const wchar_t* kind : {L"w", L"f"})
        for (size_t k = 0; k < files.size(); k += 100) CreateDirectoryW(FolderOf(name(kind, k)).c_str(), nullptr);
    const double writeClose = perFile([&](size_t k) { writeFile(L"w", k, false); });
    const double writeFlushClose = perFile([&](size_t k) { writeFile(L"f", k, true); });
    char* aligned = static_cast<char*>(VirtualAlloc(nullptr, 1 << 20, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    auto readAll = [&](size_t k, DWORD flags) {
        Handle h(CreateFileW(files[k].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr));
        DWORD n = 0;
        while (ReadFile(h.Get(), aligned, 1 << 20, &n, nullptr) && n == 1u << 20) {
        }
    };
    const double readBack = perFile([&](size_t k) { readAll(k, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN); });
    const double cachedRead = perFile([&](size_t k) { readAll(k, FILE_FLAG_SEQUENTIAL_SCAN); });
    VirtualFree(aligned, 0, MEM_RELEASE);
    // What the hash of the copied bytes costs, per megabyte of a picture.
    const std::string megabytes(64 << 20, 'h');
    const double h0 = Now();
    TCopyHash hash;
    for (size_t at = 0; at < megabytes.size(); at += 32769)
        hash.Update(megabytes.data() + at, std::min<size_t>(32769, megabytes.size() - at));
    const double hashMBs = 64.0 * 1.048576 / (Now() - h0 + 1e-9);
    std::printf(
        "RESULT mode=calls files=%d open_size_close_us=%.0f attributes_missing_us=%.0f attributes_folder_us=%.0f "
        "create_close_us=%.0f create_close_rename_us=%.0f write_close_us=%.0f write_flush_close_us=%.0f "
        "readback_us=%.0f cached_read_us=%.0f hash_mb_s=%.0f hash=%016llx\n",
        static_cast<int>(files.size()), sizing, missing, folder, create, createRename, writeClose, writeFlushClose,
        readBack, cachedRead, hashMBs, static_cast<unsigned long long>(hash.Digest()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "gen" && argc == 4) return Generate(argv[2], argv[3]);
    if (mode == "copy" && argc == 4) return BareCopy(argv[2], argv[3]);
    if (mode == "import" && (argc == 4 || argc == 5))
        return Import(argv[2], argv[3], argc == 4 || std::string(argv[4]) != "off");
    if (mode == "program" && argc >= 5 && argc <= 7)
        return Program(argv[2], argv[3], argv[4], argc >= 6 && std::string(argv[5]) == "on",
                       argc == 7 ? argv[6] : "fresh");
    if (mode == "calls" && argc == 4) return Calls(argv[2], argv[3]);
    std::printf(
        "usage: import_win_bench gen CARD camera|full|small | copy CARD OUT | import CARD OUT [on|off] | "
        "program EXE CARD OUT [off|on] [fresh|off|known|HISTORY] | calls CARD OUT\n");
    return 2;
}
