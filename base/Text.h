#pragma once
// Small text helpers on UTF-8 std::string. Case folding is ASCII only: the
// program's keys and placeholders are ASCII.
#include <string>
#include <string_view>

char AsciiLower(char c);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWith(std::string_view s, std::string_view prefix);
bool EndsWith(std::string_view s, std::string_view suffix);
std::string Trim(std::string_view s);  // blanks and control characters (codes 0..32)
std::string IntToStr(long long v);
