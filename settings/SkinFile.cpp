#include "settings/SkinFile.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

bool ParseSkinColor(const std::string& text, uint32_t& color) {
    const std::string t = Trim(text);
    if (t.size() != 7 || t[0] != '#') return false;
    uint32_t rgb = 0;
    for (size_t i = 1; i < 7; ++i) {
        const char c = t[i];
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return false;
        rgb = rgb * 16 + static_cast<uint32_t>(digit);
    }
    color = ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
    return true;
}

TSkin ParseSkin(const std::string& text) {
    TSkin skin;
    std::string section;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (const size_t semi = line.find(';'); semi != std::string::npos) line = Trim(line.substr(0, semi));
        if (line.empty()) continue;
        if (line.front() == '[' && line.back() == ']') {
            section = Lower(Trim(line.substr(1, line.size() - 2)));
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = Lower(Trim(line.substr(0, eq)));
        const std::string value = Trim(line.substr(eq + 1));
        if (section == "colors") {
            uint32_t* target = key == "window"     ? &skin.Window
                               : key == "text"     ? &skin.Text
                               : key == "edit"     ? &skin.Edit
                               : key == "edittext" ? &skin.EditText
                               : key == "link"     ? &skin.Link
                                                   : nullptr;
            uint32_t color;
            if (target && ParseSkinColor(value, color)) *target = color;
        } else if (section == "font") {
            if (key == "name" && !value.empty() && value.size() < 32) skin.FontName = value;
            if (key == "size") {
                // A size the windows' fixed layout still holds.
                int size = 0;
                bool digits = !value.empty() && value.size() <= 2;
                for (char c : value) digits = digits && c >= '0' && c <= '9';
                if (digits) size = std::stoi(value);
                if (size >= kMinSkinFontSize && size <= kMaxSkinFontSize) skin.FontSize = size;
            }
        }
        if (end == text.size()) break;
    }
    return skin;
}

std::vector<std::string> SkinNamesFromFiles(const std::vector<std::string>& fileNames) {
    std::vector<std::string> names;
    for (const std::string& f : fileNames) {
        if (f.size() > 4 && Lower(f.substr(f.size() - 4)) == ".ini") names.push_back(f.substr(0, f.size() - 4));
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
    return names;
}
