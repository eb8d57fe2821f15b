#include "import/ImportReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <unordered_set>

#include "base/Text.h"
#include "exif/Exif.h"
#include "mask/MaskExpand.h"

namespace {

std::string UpperAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// ".CR3"; empty when the name has no extension.
std::string TypeOf(const std::string& name) {
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot + 1 == name.size()) return "";
    return "." + UpperAscii(name.substr(dot + 1));
}

// Czech counts take one of three forms: 1, 2 to 4, and the rest.
const char* Plural(int64_t n, const char* one, const char* few, const char* many) {
    if (n == 1) return one;
    if (n >= 2 && n <= 4) return few;
    return many;
}

bool MatchesAny(const std::string& name, const std::vector<std::string>& patterns) {
    for (const std::string& p : patterns)
        if (MatchesPattern(name, p)) return true;
    return false;
}

void CountBelow(const std::string& folder, const std::unordered_set<std::string>& taken, TLeftFiles& out,
                const TScanContext& ctx, int64_t& listed, const std::vector<std::string>& patterns) {
    std::string f = folder;
    if (f.empty() || f.back() != '\\') f += '\\';
    auto cancelled = [&] { return ctx.cancelled && *ctx.cancelled; };
    std::vector<std::string> subFolders;
    ctx.list(f + "*.*", [&](const TScanEntry& e) {
        // Window events now and then, not per file: a card of a hundred
        // thousand files must not spend its time in the message loop.
        if (++listed % 256 == 0 && ctx.processMessages) ctx.processMessages();
        if (cancelled()) return false;
        if (e.Hidden || e.System || e.VolumeLabel) return true;
        if (e.Directory) {
            if (!e.Name.empty() && e.Name[0] != '.') subFolders.push_back(e.Name);
            return true;
        }
        if (IsSideFile(e.Name) || taken.count(f + e.Name) || MatchesAny(e.Name, patterns)) return true;
        ++out.Count;
        ++out.ByType[TypeOf(e.Name)];
        return true;
    });
    for (const std::string& name : subFolders) {
        if (cancelled()) return;
        CountBelow(f + name, taken, out, ctx, listed, patterns);
    }
}

}  // namespace

bool IsSideFile(const std::string& name) {
    if (name.empty() || name[0] == '.') return true;
    const std::string type = TypeOf(name);
    return type == ".THM" || type == ".CTG" || type == ".LRV";
}

TLeftFiles CountLeftFiles(const std::string& folder, const std::vector<std::string>& taken, const TScanContext& ctx,
                          const std::vector<std::string>& patterns) {
    const std::unordered_set<std::string> set(taken.begin(), taken.end());
    TLeftFiles out;
    int64_t listed = 0;
    CountBelow(folder, set, out, ctx, listed, patterns);
    return out;
}

bool MatchesPattern(const std::string& name, const std::string& pattern) {
    auto same = [](char a, char b) { return AsciiLower(a) == AsciiLower(b); };
    // Greedy with one point to come back to: the last "*" seen.
    size_t n = 0, p = 0, star = std::string::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool IsCardFolder(const std::string& path) {
    const std::string p = UpperAscii(path);
    const bool letter = p.size() >= 2 && p[0] >= 'A' && p[0] <= 'Z' && p[1] == ':';
    return letter && (p.substr(2) == "\\DCIM" || p.substr(2) == "\\DCIM\\");
}

std::string FormatSize(int64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes < 0 ? 0 : bytes) + " B";
    static const char* const units[] = {"kB", "MB", "GB", "TB"};
    size_t u = 0;
    double unit = 1024;
    // Tenths of the unit, rounded; a value that rounds up to 1024 of a unit
    // is shown in the next one.
    int64_t tenths = std::llround(static_cast<double>(bytes) * 10 / unit);
    while (tenths >= 10240 && u + 1 < std::size(units)) {
        ++u;
        unit *= 1024;
        tenths = std::llround(static_cast<double>(bytes) * 10 / unit);
    }
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " " + units[u];
}

std::string CountsLine(const TRunTally& tally) {
    return "Zkopírováno souborů: " + std::to_string(tally.Copied) + " (" + FormatSize(tally.CopiedBytes) +
           "), přeskočeno: " + std::to_string(tally.Skipped) +
           ", nezdařilo se: " + std::to_string(tally.Failed) +
           (tally.AlreadyImported > 0 ? ", již v archivu: " + std::to_string(tally.AlreadyImported) : std::string()) +
           (tally.FoundByContent > 0 ? ", nalezeno v archivu podle obsahu: " + std::to_string(tally.FoundByContent)
                                     : std::string()) +
           ".";
}

std::string ArrivalSummary(int64_t newFiles, int64_t newBytes, int64_t known, bool card) {
    if (newFiles == 0 && known > 0) return std::string("Všechny soubory ") + (card ? "z karty" : "ze složky") +
                                           " už jsou v archivu.";
    return "Nových souborů: " + std::to_string(newFiles) + " (" + FormatSize(newBytes) +
           "), již v archivu: " + std::to_string(known);
}

std::string NothingNewText(int64_t known, bool card) {
    return std::string("Nic nebylo zkopírováno: všechny soubory ") + (card ? "z karty" : "ze složky") + " (" +
           std::to_string(known) + ") už jsou v archivu.";
}

std::string BothFilesLine(int64_t archiveSize, const DateParts& archiveTime, int64_t newSize,
                          const DateParts& newTime) {
    auto when = [](const DateParts& d) {
        char text[40];
        std::snprintf(text, sizeof text, "%d.%d.%04d %d:%02d:%02d", d.day, d.month, d.year, d.hour, d.minute,
                      d.second);
        return std::string(text);
    };
    return "Soubor v archivu: " + FormatSize(archiveSize) + ", " + when(archiveTime) +
           "; nový soubor: " + FormatSize(newSize) + ", " + when(newTime) + ".";
}

std::string NumberedName(const std::string& target, int n) {
    const size_t slash = target.find_last_of("\\/:");
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = target.rfind('.');
    // A name that is all extension (".jpg") or has none keeps its end whole.
    if (dot == std::string::npos || dot <= nameStart) dot = target.size();
    return target.substr(0, dot) + " (" + std::to_string(n) + ")" + target.substr(dot);
}

std::string LeftFilesText(const TLeftFiles& left, bool card) {
    if (left.Count <= 0) return "";
    std::vector<std::pair<std::string, int64_t>> types(left.ByType.begin(), left.ByType.end());
    // The most frequent types first; a few of them tell the user enough.
    std::stable_sort(types.begin(), types.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    constexpr size_t kShownTypes = 5;
    std::string list;
    for (size_t k = 0; k < types.size() && k < kShownTypes; ++k) {
        if (k) list += ", ";
        std::string type = types[k].first;
        if (type.empty())
            type = "bez přípony";
        else if (type.size() > 12) {
            size_t cut = 11;
            while (cut > 1 && (static_cast<unsigned char>(type[cut]) & 0xC0) == 0x80) --cut;  // whole UTF-8 letters
            type = type.substr(0, cut) + "…";
        }
        list += type + " (" + std::to_string(types[k].second) + ")";
    }
    if (types.size() > kShownTypes) list += ", …";
    const int64_t n = left.Count;
    return std::string(card ? "Na kartě " : "Ve složce ") + Plural(n, "zůstal ", "zůstaly ", "zůstalo ") +
           std::to_string(n) + Plural(n, " soubor, který se nekopíruje: ", " soubory, které se nekopírují: ",
                                      " souborů, které se nekopírují: ") +
           list + ".\r\nTypy souborů lze přidat v nastavení.";
}

std::string FailureText(const std::string& namingError, const std::vector<std::string>& failures) {
    std::string out = namingError;
    for (size_t k = 0; k < failures.size(); ++k) {
        if (!out.empty()) out += "\r\n";
        if (k == kMaxFailureLines) {
            out += "a další…";
            break;
        }
        out += failures[k];
    }
    return out;
}

std::string ResultFooter(const TRunTally& tally, const TLeftFiles& left, bool card) {
    std::string out = "\r\n\r\n" + CountsLine(tally);
    if (tally.StaleRemoved > 0)
        out += "\r\nSmazáno dočasných souborů z dřívějšího přerušeného kopírování: " +
               std::to_string(tally.StaleRemoved) + ".";
    const std::string times = TimesRefusedLine(tally);
    if (!times.empty()) out += "\r\n" + times;
    const std::string leftText = LeftFilesText(left, card);
    if (!leftText.empty()) out += "\r\n" + leftText;
    return out;
}

// The list names the file and keeps one line per failure.
std::string FailureLine(const std::string& source, const std::string& reason) {
    const size_t lineBreak = reason.rfind("\r\n");
    std::string why = lineBreak == std::string::npos ? reason : reason.substr(lineBreak + 2);
    if (why.empty()) why = "neznámá chyba";
    // Texts of our own end with their full stop already.
    if (why.back() != '.') why += '.';
    return NamePartOf(source) + ": " + why;
}

std::vector<TResultMessage> ResultMessages(const std::string& namingError, const TRunTally& tally, bool cancelled,
                                           const std::string& footer) {
    std::vector<TResultMessage> out;
    const bool errorBox =
        !tally.Failures.empty() || !namingError.empty() || !tally.Undated.empty() || !tally.Leftovers.empty();
    if (errorBox) {
        std::vector<std::string> lines = tally.Failures;
        lines.insert(lines.end(), tally.Undated.begin(), tally.Undated.end());
        std::string text = FailureText(namingError, lines);
        // The notes stand apart from the failed files, after a blank line.
        for (size_t k = 0; k < tally.Leftovers.size(); ++k)
            text += (k == 0 ? (text.empty() ? "" : "\r\n\r\n") : "\r\n") + tally.Leftovers[k];
        out.push_back({"Během kopírování došlo k chybě:\r\n" + text + (cancelled ? "" : footer), mkError});
    }
    if (cancelled) out.push_back({"Kopírování bylo přerušeno." + footer, mkWarning});
    if (!errorBox && !cancelled) out.push_back({"Kopírování proběhlo úspěšně." + footer, mkInformation});
    return out;
}

namespace {

// The system's message as the middle of a sentence of ours: without its
// line break and full stop.
std::string Reason(const std::string& systemMessage) {
    std::string why = systemMessage;
    while (!why.empty() && (why.back() == '.' || why.back() == ' ' || why.back() == '\n' || why.back() == '\r'))
        why.pop_back();
    return why.empty() ? "neznámá chyba" : why;
}

}  // namespace

std::string FolderFailureLine(const std::string& folder, const std::string& systemMessage) {
    return "Složku \"" + folder + "\" nelze vytvořit: " + Reason(systemMessage) + ".";
}

void NoteTimesRefused(TRunTally& tally, const std::string& folder, const std::string& systemMessage) {
    for (const std::string& known : tally.TimesRefused)
        if (known == folder) return;
    if (tally.TimesRefused.empty()) tally.TimesRefusedReason = Reason(systemMessage);
    tally.TimesRefused.push_back(folder);
}

std::string TimesRefusedLine(const TRunTally& tally) {
    if (tally.TimesRefused.empty()) return "";
    std::string out = "Čas souborů nelze zachovat ve složce \"" + tally.TimesRefused[0] + "\"";
    if (tally.TimesRefused.size() > 1) out += " a v dalších (" + std::to_string(tally.TimesRefused.size() - 1) + ")";
    return out + ": " + tally.TimesRefusedReason + ". Kopie mají čas importu.";
}

std::string LeftoverLine(const std::string& path) { return "Dočasný soubor \"" + path + "\" nelze smazat."; }

std::string UnverifiedLine(const std::string& source) {
    return NamePartOf(source) + ": Kopii nebylo možné ověřit, kontrola nedoběhla do konce kopírování.";
}

// Folders compare as the file system compares them, without regard to case.
void NoteCopied(TRunTally& tally, size_t index, const std::string& target) {
    TCopiedFolders& to = tally.CopiedTo;
    const std::string folder = FolderOf(target);
    if (to.last.empty()) {
        to.common = folder;
    } else if (!to.spread && !EqualsNoCase(to.common, folder)) {
        to.spread = true;
    }
    if (to.last.empty() || index >= to.lastIndex) {
        to.lastIndex = index;
        to.last = folder;
    }
}

std::string FolderToOpen(const TRunTally& tally, const std::string& fallback) {
    const TCopiedFolders& to = tally.CopiedTo;
    if (to.last.empty()) return fallback;
    return to.spread ? to.last : to.common;
}

// The reader's own texts are English and technical; the user learns which
// file kept no date and why in words of the program's, and the system's
// reason (a locked file) where the system gave one.
std::string UndatedLine(const std::string& source, const std::string& readerMessage) {
    const std::string why = readerMessage.empty() || readerMessage == kReadBeyondEndOfFile
                                ? ", soubor je poškozený nebo zkrácený"
                                : " (" + Reason(readerMessage) + ")";
    return NamePartOf(source) + ": metadata nelze přečíst" + why + "; datum podle času souboru.";
}

void NoteUndated(TRunTally& tally, const std::vector<std::string>& sourceFiles,
                 const std::unordered_map<std::string, std::string>& unreadable) {
    std::unordered_set<std::string> named;
    for (const std::string& file : sourceFiles) {
        const auto found = unreadable.find(file);
        if (found != unreadable.end() && named.insert(file).second)
            tally.Undated.push_back(UndatedLine(file, found->second));
    }
}
