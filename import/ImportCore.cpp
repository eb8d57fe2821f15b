#include "import/ImportCore.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

#include "base/Text.h"

void ScanFolder(const std::string& Folder, const std::string& Mask, std::vector<std::string>& files,
                const TScanContext& ctx) {
    std::string f = Folder;
    if (f.empty() || f.back() != '\\') f += '\\';
    auto cancelled = [&] { return ctx.cancelled && *ctx.cancelled; };

    bool stop = false;
    ctx.list(f + Mask, [&](const TScanEntry& e) {
        if (e.Directory || e.System || e.VolumeLabel) return true;
        files.push_back(f + e.Name);
        if (ctx.taken) ctx.taken(files.back(), e);
        if (cancelled()) {
            stop = true;
            return false;
        }
        if (ctx.processMessages) ctx.processMessages();
        return true;
    });
    if (stop) return;

    size_t slash = Mask.rfind('\\');
    std::string namePart = slash == std::string::npos ? Mask : Mask.substr(slash + 1);
    // Collect the sub-folders first: the listing handle is not held open
    // while a deeper level lists its own.
    std::vector<std::string> subFolders;
    ctx.list(f + "*.*", [&](const TScanEntry& e) {
        if (e.Hidden || e.System || e.VolumeLabel) return true;
        if (!e.Directory || e.Name.empty() || e.Name[0] == '.') return true;
        subFolders.push_back(e.Name);
        return true;
    });
    for (const std::string& name : subFolders) {
        if (cancelled()) return;
        ScanFolder(f + name, namePart, files, ctx);
    }
}

// The patterns are taken by value: the settings window replaces the
// program's list (leaving the patterns field, Cancel, the factory settings)
// from the window events the scan services, and a loop over that list
// would go on over freed memory.
void ScanPatterns(const std::string& Folder, std::vector<std::string> patterns, std::vector<std::string>& files,
                  const TScanContext& ctx) {
    for (const std::string& pattern : patterns) {
        ScanFolder(Folder, pattern, files, ctx);
        if (ctx.cancelled && *ctx.cancelled) return;
    }
}

namespace {

// The partition steps of the ordering. Each entry carries its place in the
// order the sort was given (pos), and equal dates compare by that place:
// the keys are then all different, so a burst shot within one second keeps
// the order of the scan and %index% numbers it as it was taken. Dates that
// differ come out ascending, as before.
//
// The smaller side recurses and the larger one is taken by the loop, so the
// stack stays within log2(n) steps whatever the dates: dates that rise and
// then fall split off one file per step, and a card of such files would
// otherwise run the stack out. With every key different, the order comes
// out the same either way.
void PartitionByDate(TDynamicDateTimeArray& D, std::vector<size_t>& pos, int lo, int hi, TSortContext& ctx) {
    for (;;) {
        int i = lo, j = hi;
        const int mid = lo + (hi - lo) / 2;
        const TDateTime P = D[mid];
        const size_t Q = pos[mid];
        auto before = [&](int k) { return D[k] < P || (D[k] == P && pos[k] < Q); };
        auto after = [&](int k) { return D[k] > P || (D[k] == P && pos[k] > Q); };
        do {
            while (before(i)) ++i;
            while (after(j)) --j;
            if (i < j) {
                std::swap(D[i], D[j]);
                std::swap(pos[i], pos[j]);
                std::swap(ctx.files[i], ctx.files[j]);
                ++i;
                --j;
            } else if (i == j) {
                ++i;
                --j;
            }
        } while (j >= i);
        // [aLo, aHi] is the smaller side, [bLo, bHi] the larger.
        int aLo = lo, aHi = j, bLo = i, bHi = hi;
        if (aHi - aLo > bHi - bLo) {
            std::swap(aLo, bLo);
            std::swap(aHi, bHi);
        }
        if (aLo < aHi) {
            if (ctx.processMessages) ctx.processMessages();
            if (ctx.cancelled && *ctx.cancelled) return;
            PartitionByDate(D, pos, aLo, aHi, ctx);
        }
        if (bLo >= bHi) return;
        if (ctx.processMessages) ctx.processMessages();
        if (ctx.cancelled && *ctx.cancelled) return;
        lo = bLo;
        hi = bHi;
    }
}

}  // namespace

void SortByCaptureDate(TDynamicDateTimeArray& D, int lo, int hi, bool fill, TSortContext& ctx) {
    if (ctx.processMessages) ctx.processMessages();
    if (ctx.cancelled && *ctx.cancelled) return;
    if (fill) {
        D.resize(ctx.files.size());
        for (size_t k = 0; k < ctx.files.size(); ++k) D[k] = ctx.captureDate(ctx.files[k], ctx.errorText);
    }
    if (lo < 0 || hi < lo || static_cast<size_t>(hi) >= D.size() || static_cast<size_t>(hi) >= ctx.files.size())
        return;
    std::vector<size_t> pos(D.size());
    for (size_t k = 0; k < pos.size(); ++k) pos[k] = k;
    PartitionByDate(D, pos, lo, hi, ctx);
}

int64_t RoundHalfEven(double x) {
    return static_cast<int64_t>(std::nearbyint(x));  // the default rounding mode is to nearest, ties to even
}

// The figures come from the overall bar's position, which the control keeps
// between 0 and its maximum; the byte count itself passes the total when
// files grew after they were sized or could not be sized.
TProgressFigures ComputeProgress(uint32_t elapsedMs, int64_t bytes, int64_t barMax) {
    TProgressFigures out;
    bytes = std::max<int64_t>(0, std::min(bytes, barMax));
    int64_t kb = RoundHalfEven(static_cast<double>(bytes) / 1024.0);
    int64_t seconds = RoundHalfEven(elapsedMs / 1000.0);
    if (seconds > 1) out.speedKBs = RoundHalfEven(static_cast<double>(kb) / static_cast<double>(seconds));
    if (bytes > 0)
        out.remainingMs =
            RoundHalfEven(static_cast<double>(elapsedMs) / static_cast<double>(bytes) * static_cast<double>(barMax)) -
            static_cast<int64_t>(elapsedMs);
    if (barMax > 0) out.percent = RoundHalfEven(static_cast<double>(bytes) / static_cast<double>(barMax) * 100.0);
    return out;
}

TProgressFigures FinalProgress(uint32_t elapsedMs, int64_t copiedBytes, int64_t bytes, int64_t barMax) {
    TProgressFigures out = ComputeProgress(elapsedMs, bytes, barMax);
    out.speedKBs.reset();
    if (elapsedMs > 0 && copiedBytes > 0)
        out.speedKBs = RoundHalfEven(static_cast<double>(copiedBytes) / 1024.0 / (elapsedMs / 1000.0));
    out.remainingMs = 0;
    return out;
}

int64_t DurationAsTimeOfDay(int64_t ms) {
    if (ms < 0) return 0;
    return ms % (24LL * 60 * 60 * 1000);
}

int CopyTenth(int64_t done, int64_t total) {
    if (total <= 0) return 0;
    return static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 10.0);
}

TBarScale::TBarScale(int64_t max) {
    while (max > std::numeric_limits<int32_t>::max()) {
        max >>= 1;
        ++shift;
    }
}

int32_t TBarScale::operator()(int64_t value) const {
    if (value < 0) return 0;
    int64_t v = value >> shift;
    if (v > std::numeric_limits<int32_t>::max()) v = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(v);
}

std::string OverwriteQuestion(const std::string& target) {
    return "Soubor \"" + target + "\" již existuje.\r\nChcete jej přepsat?";
}

std::string BadTargetMessage(const std::string& target) {
    return "Cesta \"" + target + "\" není správná...";
}

// A name added to the target's would make targets near the length limits
// (a path of 259 characters, a name of 255) fail; a short name in the
// target's folder never adds more than its own few characters to the folder
// path, which the copy reaches in its long form.
namespace {

std::string Hex(uint32_t v) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), digits[v & 15]);
        v >>= 4;
    } while (v);
    return out;
}

// 1 to 8 hexadecimal digits, either case.
std::optional<uint32_t> ParseHex(std::string_view text) {
    if (text.empty() || text.size() > 8) return std::nullopt;
    uint32_t v = 0;
    for (char c : text) {
        const int d = c >= '0' && c <= '9' ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (d < 0) return std::nullopt;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    return v;
}

// The part between head and tail, when name has both (in either case).
std::optional<std::string_view> TemporaryMiddle(std::string_view name) {
    const std::string_view head = kTemporaryHead, tail = kTemporaryTail;
    if (name.size() <= head.size() + tail.size()) return std::nullopt;
    if (!EqualsNoCase(name.substr(0, head.size()), head) || !EqualsNoCase(name.substr(name.size() - tail.size()), tail))
        return std::nullopt;
    return name.substr(head.size(), name.size() - head.size() - tail.size());
}

bool AllDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

std::string TemporaryTargetName(const std::string& target, int attempt, const TCopyOwner& owner) {
    const size_t slash = target.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    return folder + kTemporaryHead + std::to_string(attempt) + "-" + Hex(owner.machine) + "-" + Hex(owner.pid) +
           "-" + Hex(owner.started) + kTemporaryTail;
}

std::string CopyErrorText(const std::string& path, const std::string& systemMessage) {
    return "\"" + path + "\"\r\n" + systemMessage;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsLongPathForm(const std::wstring& path) { return path.rfind(L"\\\\?\\", 0) == 0; }

std::wstring LongFormOfFullPath(const std::wstring& full) {
    if (IsLongPathForm(full) || full.rfind(L"\\\\.\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring ShortFormOfLongPath(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
    if (IsLongPathForm(path)) return path.substr(4);
    return path;
}

std::wstring NtFormOfLongPath(const std::wstring& longPath) {
    if (!IsLongPathForm(longPath)) return std::wstring();
    std::wstring nt = longPath;
    nt[1] = L'?';
    return nt;
}

TOverwriteAnswer OverwriteAnswer(int answer, bool& overwriteAll, bool& skipAll) {
    switch (answer) {
    case 10:  // Ano pro vše
        overwriteAll = true;
        return TOverwriteAnswer::Copy;
    case 6:
        return TOverwriteAnswer::Copy;
    case 9:  // Ne pro vše
        skipAll = true;
        return TOverwriteAnswer::Skip;
    case 7:
        return TOverwriteAnswer::Skip;
    default:
        return TOverwriteAnswer::Cancel;
    }
}

int TemporaryNameStart(bool waitsForCheck, size_t index) {
    return waitsForCheck ? static_cast<int>(index % 1000) : 0;
}

bool IsTemporaryCopyName(const std::string& name) {
    const std::optional<std::string_view> middle = TemporaryMiddle(name);
    return middle && (AllDigits(*middle) || OwnerOfTemporaryCopy(name));
}

std::optional<TCopyOwner> OwnerOfTemporaryCopy(const std::string& name) {
    const std::optional<std::string_view> middle = TemporaryMiddle(name);
    if (!middle) return std::nullopt;
    // attempt-machine-pid-started
    std::string_view rest = *middle;
    std::string_view parts[4];
    for (int k = 0; k < 4; ++k) {
        const size_t dash = k < 3 ? rest.find('-') : rest.size();
        if (dash == std::string_view::npos) return std::nullopt;
        parts[k] = rest.substr(0, dash);
        rest = k < 3 ? rest.substr(dash + 1) : std::string_view();
    }
    const auto machine = ParseHex(parts[1]), pid = ParseHex(parts[2]), started = ParseHex(parts[3]);
    if (!AllDigits(parts[0]) || !machine || !pid || !started) return std::nullopt;
    return TCopyOwner{*machine, *pid, *started};
}

bool IsStaleCopy(const std::string& name, int64_t writeTime, uint32_t thisMachine, int64_t since,
                 const std::function<bool(const TCopyOwner&)>& running) {
    if (!IsTemporaryCopyName(name)) return false;
    const std::optional<TCopyOwner> owner = OwnerOfTemporaryCopy(name);
    // A finished copy carries the card file's old times, so its times say
    // nothing about its owner; only an earlier version's name leaves them
    // as the one sign.
    if (!owner) return writeTime < since;
    return owner->machine == thisMachine && !running(*owner);
}

namespace {

// UTF-16 code units of a UTF-8 text: four-byte sequences take two.
size_t Utf16Length(const std::string& utf8) {
    size_t n = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) == 0x80) continue;  // a continuation byte
        n += c >= 0xF0 ? 2 : 1;
    }
    return n;
}

}  // namespace

bool IsStorableTargetPath(const std::string& path) {
    if (Utf16Length(path) > 259) return false;
    size_t start = 0;
    for (;;) {
        const size_t end = path.find('\\', start);
        const std::string item = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (Utf16Length(item) > 255) return false;
        // The drive ("C:") and the empty item of a trailing backslash pass.
        if (start > 0 && (item == "." || item == "..")) return false;
        // A folder's or a file's: Explorer would not open what the long form made.
        if (start > 0 && !item.empty() && (item.back() == '.' || item.back() == ' ')) return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}
