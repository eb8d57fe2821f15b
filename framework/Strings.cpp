#include "framework/Strings.h"

#include <windows.h>

namespace fw {

namespace {

std::wstring ToWide(UINT cp, std::string_view s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::string FromWide(UINT cp, std::wstring_view w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace

std::wstring Wide(std::string_view utf8) { return ToWide(CP_UTF8, utf8); }
std::string Utf8(std::wstring_view wide) { return FromWide(CP_UTF8, wide); }
std::string AnsiToUtf8(std::string_view ansi) { return Utf8(AnsiToWide(ansi)); }
std::wstring AnsiToWide(std::string_view ansi) { return ToWide(CP_ACP, ansi); }
std::string Utf8ToAnsi(std::string_view utf8) { return FromWide(CP_ACP, Wide(utf8)); }

std::string SystemErrorText(unsigned long code) {
    wchar_t* buf = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    std::wstring text = n && buf ? std::wstring(buf, n) : L"";
    if (buf) LocalFree(buf);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.'))
        text.pop_back();
    if (text.empty()) return "System error " + std::to_string(code);
    return Utf8(text);
}

}  // namespace fw
