#pragma once
// Conversions at the Win32 boundary. Inside the program text is UTF-8;
// W functions get UTF-16; the registry and older files keep the ANSI code
// page.
#include <string>
#include <string_view>

namespace fw {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);
std::string AnsiToUtf8(std::string_view ansi);
std::wstring AnsiToWide(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);
// The text of a Win32 error code, as the system words it, without the line end.
std::string SystemErrorText(unsigned long code);

}  // namespace fw
