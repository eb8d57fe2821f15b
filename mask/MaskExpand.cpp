#include "mask/MaskExpand.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>

#include "base/Text.h"

const char* const SampleFileName = "P1070283.JPG";

namespace {

bool IsFolderSeparator(char c) {
    return c == '\\' || c == ':';
}

std::string PadLeft(const std::string& digits, size_t width) {
    return digits.size() >= width ? digits : std::string(width - digits.size(), '0') + digits;
}

std::string TwoDigits(int v) {
    return PadLeft(std::to_string(v), 2);
}

// Day 1 of year 1 up to the last millisecond of year 9999: the dates a name
// can show. Outside them (a broken clock, a hostile time stamp) the calendar
// fields would be meaningless, so the expansion fails instead of writing them.
// The decoded year decides, not the raw value: before 1899 a later time of
// day is stored as a more negative number, so no pair of raw bounds fits.
bool IsShowableDate(TDateTime d) {
    // Beyond this the decoder answers with its default date.
    if (!std::isfinite(d) || std::fabs(d) > 3.0e6) return false;
    const int year = DecodeDateTime(d).year;
    return year >= 1 && year <= 9999;
}

// The date placeholders in the order they are replaced.
enum class DateField { D, DD, DDD, DDDD, M, MM, MMM, MMMM, YY, YYYY, H, HH, N, NN, S, SS };

struct DatePlaceholder {
    const char* text;
    DateField field;
};

const DatePlaceholder kDatePlaceholders[] = {
    {"%d%", DateField::D},       {"%dd%", DateField::DD},   {"%ddd%", DateField::DDD},
    {"%dddd%", DateField::DDDD}, {"%m%", DateField::M},     {"%mm%", DateField::MM},
    {"%mmm%", DateField::MMM},   {"%mmmm%", DateField::MMMM}, {"%yy%", DateField::YY},
    {"%yyyy%", DateField::YYYY}, {"%h%", DateField::H},     {"%hh%", DateField::HH},
    {"%n%", DateField::N},       {"%nn%", DateField::NN},   {"%s%", DateField::S},
    {"%ss%", DateField::SS},
};

std::string DateValue(DateField field, const DateParts& p, int weekday, const TDateNameTables& names) {
    switch (field) {
    case DateField::D: return std::to_string(p.day);
    case DateField::DD: return TwoDigits(p.day);
    case DateField::DDD: return names.ShortDay[weekday];
    case DateField::DDDD: return names.LongDay[weekday];
    case DateField::M: return std::to_string(p.month);
    case DateField::MM: return TwoDigits(p.month);
    case DateField::MMM: return names.ShortMonth[p.month - 1];
    case DateField::MMMM: return names.LongMonth[p.month - 1];
    case DateField::YY: return TwoDigits(p.year % 100);
    case DateField::YYYY: return PadLeft(std::to_string(p.year), 4);
    case DateField::H: return std::to_string(p.hour);
    case DateField::HH: return TwoDigits(p.hour);
    case DateField::N: return std::to_string(p.minute);
    case DateField::NN: return TwoDigits(p.minute);
    case DateField::S: return std::to_string(p.second);
    case DateField::SS: return TwoDigits(p.second);
    }
    return std::string();
}

size_t FindNoCase(const std::string& text, const std::string& pattern, size_t from) {
    if (pattern.empty() || text.size() < pattern.size()) return std::string::npos;
    for (size_t i = from; i <= text.size() - pattern.size(); ++i) {
        if (EqualsNoCase(std::string_view(text).substr(i, pattern.size()), pattern)) return i;
    }
    return std::string::npos;
}

// Steps that may fail; t holds the text as far as it got when they throw.
void ReplacePlaceholders(const std::string& FileName, const std::string& Mask, std::string& ErrorText,
                         bool Preview, TMaskState& state, const TMaskInputs& inputs, std::string& t) {
    TDateTime d;
    if (Preview) {
        d = inputs.now();
        state.TotalCount = state.PreviewTotal;
    } else {
        d = inputs.captureDate(FileName, ErrorText);
    }
    const int32_t total = state.TotalCount;

    t = Mask;
    t = ReplaceAllNoCase(t, "%index%", FormatMaskNumber(state.RunningIndex, total));
    t = ReplaceAllNoCase(t, "%count%", FormatMaskNumber(total, total));
    t = ReplaceAllNoCase(t, "%file_ext%", ExtensionOf(FileName));
    t = ReplaceAllNoCase(t, "%file_name%", BareNameOf(FileName));

    // The date is checked only when a date placeholder is actually there, so
    // a mask without one never fails on a strange date.
    bool decoded = false;
    DateParts parts;
    int weekday = 0;
    for (const DatePlaceholder& ph : kDatePlaceholders) {
        if (FindNoCase(t, ph.text, 0) == std::string::npos) continue;
        if (!decoded) {
            if (!IsShowableDate(d))
                throw std::runtime_error("Datum souboru je mimo platný rozsah.");
            parts = DecodeDateTime(d);
            weekday = DayOfWeek(d);
            decoded = true;
        }
        t = ReplaceAllNoCase(t, ph.text, DateValue(ph.field, parts, weekday, inputs.names));
    }
}

}  // namespace

std::string ReplaceAllNoCase(const std::string& text, const std::string& pattern, const std::string& value) {
    size_t at = FindNoCase(text, pattern, 0);
    if (at == std::string::npos) return text;
    std::string out;
    out.reserve(text.size());
    size_t from = 0;
    while (at != std::string::npos) {
        out.append(text, from, at - from);
        out += value;
        from = at + pattern.size();
        at = FindNoCase(text, pattern, from);
    }
    out.append(text, from, std::string::npos);
    return out;
}

std::string NamePartOf(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i)
        if (IsFolderSeparator(path[i - 1])) return path.substr(i);
    return path;
}

std::string FolderPartOf(const std::string& text) {
    for (size_t i = text.size(); i > 0; --i)
        if (IsFolderSeparator(text[i - 1])) return text.substr(0, i);
    return std::string();
}

std::string ExtensionOf(const std::string& path) {
    // A full stop inside a folder name ("C:\dir.x\file") is no extension.
    for (size_t i = path.size(); i > 0; --i) {
        char c = path[i - 1];
        if (c == '.') return path.substr(i);
        if (IsFolderSeparator(c)) break;
    }
    return std::string();
}

std::string BareNameOf(const std::string& path) {
    std::string name = NamePartOf(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

int NumberWidth(int32_t total) {
    // Digits only: a negative total (no caller has one) does not count its sign.
    int64_t v = std::llabs(static_cast<int64_t>(total));
    int width = 1;
    while (v >= 10) {
        v /= 10;
        ++width;
    }
    return width;
}

std::string FormatMaskNumber(int32_t value, int32_t total) {
    const size_t width = static_cast<size_t>(NumberWidth(total));
    int64_t v = value;
    std::string digits = PadLeft(std::to_string(v < 0 ? -v : v), width);
    return v < 0 ? "-" + digits : digits;
}

std::string ExpandMask(const std::string& FileName, const std::string& Mask, std::string& ErrorText,
                       bool Preview, TMaskState& state, const TMaskInputs& inputs) {
    std::string t;
    try {
        ReplacePlaceholders(FileName, Mask, ErrorText, Preview, state, inputs, t);
    } catch (const std::exception& e) {
        ErrorText = e.what();
    }

    // The folder counter runs whatever happened above, so a failed name still
    // takes its place in the numbering of its folder.
    const std::string folder = FolderPartOf(t);
    int32_t count = 1;
    TIndexDir* found = nullptr;
    for (TIndexDir& record : state.IndexDirs) {
        if (record.Dir == folder) {
            found = &record;
            break;
        }
    }
    if (found) {
        if (found->Count < std::numeric_limits<int32_t>::max()) ++found->Count;
        count = found->Count;
    } else if (!Preview || state.IndexDirs.size() < kPreviewIndexDirLimit) {
        // Previews refresh twice a second between runs; a folder key that
        // changes with the clock would otherwise grow the list without end.
        // A full list makes a new preview folder count 1 without storing it;
        // nothing is ever removed, so a run's counters stay intact.
        state.IndexDirs.push_back({folder, 1});
    }
    return ReplaceAllNoCase(t, "%index_dir%", FormatMaskNumber(count, state.TotalCount));
}

std::vector<std::string> SplitText(const std::string& text, char separator) {
    std::vector<std::string> items;
    if (text.empty() || separator == '\0') return items;
    std::string current;
    for (char c : text) {
        if (c == separator) {
            items.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    // The text is read as if it ended in a separator.
    if (text.back() != separator) items.push_back(std::move(current));
    return items;
}

namespace {

// Names Windows opens as devices: a copy into one of them "succeeds" without
// writing a file, so an import would report a file as saved that is nowhere.
bool IsDeviceName(const std::string& item) {
    static const char* const kDevices[] = {"con", "prn", "aux", "nul"};
    for (const char* device : kDevices)
        if (EqualsNoCase(item, device)) return true;
    if (item.size() == 4 && (EqualsNoCase(item.substr(0, 3), "com") || EqualsNoCase(item.substr(0, 3), "lpt")))
        return item[3] >= '1' && item[3] <= '9';
    return false;
}

// Byte length of the first UTF-8 character of text (1 for a stray byte).
size_t FirstCharLength(const std::string& text) {
    if (text.empty()) return 0;
    size_t n = 1;
    while (n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) ++n;
    return n;
}

}  // namespace

bool NamesAFile(const std::string& path) {
    const std::string name = NamePartOf(path);
    return name.find_last_not_of(". ") != std::string::npos;
}

bool IsValidTargetPath(const std::string& path) {
    const size_t first = FirstCharLength(path);
    const bool hasDrive = (first > 0 && first < path.size() && path[first] == ':') ||
                          StartsWith(path, "\\\\");
    if (!hasDrive) return false;

    const std::vector<std::string> items = SplitText(path, '\\');
    bool valid = true;
    for (size_t i = 1; i < items.size(); ++i) {
        const std::string& item = items[i];
        if (item.empty() || IsDeviceName(item) || item.find_first_of("\\/:*?<>|") != std::string::npos)
            valid = false;
    }
    return valid;
}
