#include "framework/StringList.h"

#include <windows.h>

#include <stdexcept>

#include "framework/Strings.h"

namespace fw {

void StringList::LoadFromFile(const std::string& fileName) {
    HANDLE h = CreateFileW(Wide(fileName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("Cannot open file " + fileName);
    std::string bytes;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got) bytes.append(buf, got);
    CloseHandle(h);

    Lines.clear();
    std::string text = AnsiToUtf8(bytes);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        size_t stop = end;
        if (stop > start && text[stop - 1] == '\r') --stop;
        Lines.push_back(text.substr(start, stop - start));
        start = end + 1;
    }
}

std::string StringList::Text() const {
    std::string out;
    for (const auto& line : Lines) out += line + "\r\n";
    return out;
}

}  // namespace fw
