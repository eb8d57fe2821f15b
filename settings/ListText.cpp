#include "settings/ListText.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr char kQuote = '"';

bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

bool NeedsQuotes(const std::string& item, char separator) {
    return std::any_of(item.begin(), item.end(),
                       [separator](char c) { return IsBlankOrControl(c) || c == kQuote || c == separator; });
}

// Reads a quoted item starting at the opening quote; pos ends after the
// closing quote, or at the end when the quote is never closed.
std::string ReadQuoted(std::string_view text, size_t& pos) {
    std::string item;
    ++pos;
    for (;;) {
        size_t close = text.find(kQuote, pos);
        if (close == std::string_view::npos) {
            item.append(text.substr(pos));
            pos = text.size();
            return item;
        }
        item.append(text.substr(pos, close - pos));
        pos = close + 1;
        if (pos < text.size() && text[pos] == kQuote) {
            item += kQuote;
            ++pos;
            continue;
        }
        return item;
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A 32-bit integer as the settings file has always stored it; false when
// the text is not one (empty, stray characters, out of range).
bool ParseInt32(std::string_view s, int64_t& value) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        uint64_t v = 0;
        for (char c : s.substr(2)) {
            int d = HexDigit(c);
            if (d < 0) return false;
            v = v * 16 + static_cast<unsigned>(d);
            if (v > 0xFFFFFFFFull) return false;
        }
        value = static_cast<int64_t>(v);
        return true;
    }
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) return false;
    int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        if (v > 2147483648LL) return false;
    }
    if (!negative && v > 2147483647LL) return false;
    value = negative ? -v : v;
    return true;
}

}  // namespace

std::string ListToText(const std::vector<std::string>& items, char separator) {
    // Without the quotes a lone empty item would read back as no item at all.
    if (items.size() == 1 && items[0].empty()) return std::string(2, kQuote);
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) out += separator;
        const std::string& item = items[i];
        if (!NeedsQuotes(item, separator)) {
            out += item;
            continue;
        }
        out += kQuote;
        for (char c : item) {
            if (c == kQuote) out += kQuote;
            out += c;
        }
        out += kQuote;
    }
    return out;
}

std::vector<std::string> TextToList(std::string_view text, char separator) {
    // The value has always lived in a C string; cutting at NUL also keeps
    // the loop below from standing still on a character it cannot consume.
    text = text.substr(0, text.find('\0'));
    const size_t n = text.size();
    size_t pos = 0;
    auto skipBlanks = [&] {
        while (pos < n && IsBlankOrControl(text[pos])) ++pos;
    };

    std::vector<std::string> items;
    skipBlanks();
    while (pos < n) {
        if (text[pos] == kQuote) {
            items.push_back(ReadQuoted(text, pos));
        } else {
            size_t begin = pos;
            while (pos < n && !IsBlankOrControl(text[pos]) && text[pos] != separator) ++pos;
            items.emplace_back(text.substr(begin, pos - begin));
        }
        skipBlanks();
        if (pos < n && text[pos] == separator) {
            if (pos + 1 == n) items.emplace_back();
            ++pos;
            skipBlanks();
        }
    }
    return items;
}

std::string CatalogueToValue(const std::vector<std::string>& catalogue) {
    return kQuote + ListToText(catalogue, ',') + kQuote;
}

const char* BooleanToValue(bool value) {
    return value ? "1" : "0";
}

bool ParseBoolean(std::string_view value, bool defaultValue) {
    int64_t v = 0;
    if (!ParseInt32(value, v)) return defaultValue;
    return v != 0;
}

const char* TimeSourceName(TTimeSource source) {
    switch (source) {
    case TTimeSource::NowTime: return "NowTime";
    case TTimeSource::FileTime: return "FileTime";
    case TTimeSource::EXIFTime: return "EXIFTime";
    case TTimeSource::None: break;
    }
    return "";
}

TTimeSource ParseTimeSource(std::string_view value) {
    for (TTimeSource s : {TTimeSource::NowTime, TTimeSource::FileTime, TTimeSource::EXIFTime})
        if (value == TimeSourceName(s)) return s;
    return TTimeSource::None;
}

std::string WithTrailingBackslash(std::string path) {
    if (path.empty() || path.back() != '\\') path += '\\';
    return path;
}

bool ApplyMonthNames(TDateNameTables& tables, std::string_view text, TNameLength which) {
    std::vector<std::string> items = TextToList(text, ';');
    if (items.size() < 12) return false;
    auto& table = which == TNameLength::Long ? tables.LongMonth : tables.ShortMonth;
    std::copy_n(items.begin(), 12, table.begin());
    return true;
}

bool ApplyDayNames(TDateNameTables& tables, std::string_view text, TNameLength which) {
    std::vector<std::string> items = TextToList(text, ';');
    if (items.size() < 7) return false;
    SetDayNamesMondayFirst(which == TNameLength::Long ? tables.LongDay : tables.ShortDay, items);
    return true;
}

bool ApplyMonthNames(std::string_view text, TNameLength which) {
    return ApplyMonthNames(Settings().DateNameTables, text, which);
}

bool ApplyDayNames(std::string_view text, TNameLength which) {
    return ApplyDayNames(Settings().DateNameTables, text, which);
}

void SetDayNamesMondayFirst(std::array<std::string, 7>& table, const std::vector<std::string>& mondayFirst) {
    if (mondayFirst.size() < 7) return;
    // Monday (item 0) goes to index 1, ..., Saturday to 6, Sunday to 0.
    for (size_t i = 0; i < 7; ++i) table[(i + 1) % 7] = mondayFirst[i];
}
