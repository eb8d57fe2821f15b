#include "settings/TextEncoding.h"

#include <gtest/gtest.h>

namespace {

std::string Le(const std::u16string& text) {
    std::string bytes;
    for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return bytes;
}

std::string Be(const std::u16string& text) {
    std::string bytes;
    for (char16_t c : text) bytes += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    return bytes;
}

const char* Name(TTextEncoding e) {
    switch (e) {
    case TTextEncoding::Utf16Le: return "UTF-16 LE";
    case TTextEncoding::Utf16Be: return "UTF-16 BE";
    case TTextEncoding::Utf8: return "UTF-8";
    case TTextEncoding::Ansi: return "ANSI";
    }
    return "?";
}

}  // namespace

// What a settings file may come as: the program's own, an editor's, an
// earlier version's in a Czech or a Western code page.
TEST(DetectTextEncoding, TellsEveryFormOfASettingsFile) {
    const std::u16string text = u"[Mask]\r\nPath=E:\\Řím\\写真\r\n";
    const std::string utf8 = u8"[Mask]\r\nPath=E:\\Řím\\写真\r\n";
    struct Case {
        const char* name;
        std::string bytes;
        TDetectedEncoding want;
    } cases[] = {
        {"UTF-16 LE with its mark", "\xFF\xFE" + Le(text), {TTextEncoding::Utf16Le, 2}},
        {"UTF-16 LE without", Le(text), {TTextEncoding::Utf16Le, 0}},
        {"UTF-16 BE with its mark", "\xFE\xFF" + Be(text), {TTextEncoding::Utf16Be, 2}},
        {"UTF-16 BE without", Be(text), {TTextEncoding::Utf16Be, 0}},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + utf8, {TTextEncoding::Utf8, 3}},
        {"UTF-8 without", utf8, {TTextEncoding::Utf8, 0}},
        // "Řím" in Windows-1250, "Café" in Windows-1252: not UTF-8.
        {"cp1250", "[Mask]\r\nPath=E:\\\xD8\xEDm\\\r\n", {TTextEncoding::Ansi, 0}},
        {"cp1252", "[Mask]\r\nPath=E:\\Caf\xE9\\\r\n", {TTextEncoding::Ansi, 0}},
        {"plain ASCII reads the same either way", "[Options]\r\nHint=0\r\n", {TTextEncoding::Utf8, 0}},
        {"empty", "", {TTextEncoding::Utf8, 0}},
        // NULs as many on both sides make no pairs; an odd length is no UTF-16.
        {"NULs on both sides alike", std::string(8, '\0'), {TTextEncoding::Utf8, 0}},
        {"odd length with NULs", std::string("[Mask]\0x\0\xD8m", 11), {TTextEncoding::Ansi, 0}},
        {"a mark alone", "\xFF\xFE", {TTextEncoding::Utf16Le, 2}},
    };
    for (const Case& c : cases) {
        const TDetectedEncoding got = DetectTextEncoding(c.bytes);
        EXPECT_EQ(got, c.want) << c.name << ": " << Name(got.encoding) << " with a mark of " << got.markSize;
    }
}

TEST(IsStrictUtf8, RefusesEveryMalformedSequence) {
    struct Case {
        const char* bytes;
        bool ok;
    } cases[] = {
        {"", true},
        {"a\xC5\x98\xC3\xAD" "m", true},     // Řím
        {"\xE5\x86\x99\xE7\x9C\x9F", true},   // 写真
        {"\xF0\x9F\x93\xB7", true},           // a camera, past the Basic Multilingual Plane
        {"\xF4\x8F\xBF\xBF", true},           // U+10FFFF
        {"\xED\x9F\xBF", true},               // U+D7FF, just below the surrogates
        {"\x80", false},                      // a continuation without a lead
        {"\xC5", false},                      // cut short
        {"\xE5\x86", false},
        {"\xC5\x41", false},                  // a lead followed by ASCII
        {"\xC0\xAF", false},                  // overlong "/"
        {"\xC1\xBF", false},
        {"\xE0\x9F\xBF", false},              // overlong three bytes
        {"\xF0\x8F\xBF\xBF", false},          // overlong four bytes
        {"\xED\xA0\x80", false},              // a surrogate
        {"\xF4\x90\x80\x80", false},          // past U+10FFFF
        {"\xF5\x80\x80\x80", false},
        {"\xFF", false},
        {"\xD8\xED" "m", false},              // Windows-1250 "Řím"
    };
    for (const Case& c : cases) EXPECT_EQ(IsStrictUtf8(c.bytes), c.ok) << testing::PrintToString(std::string(c.bytes));
}

TEST(Utf16Units, ReadsEitherByteOrderAndDropsAnOddByte) {
    EXPECT_EQ(Utf16Units(std::string("\x58\x01" "a\0", 4), false), u"Řa");
    EXPECT_EQ(Utf16Units(std::string("\x01\x58\0a", 4), true), u"Řa");
    EXPECT_EQ(Utf16Units(std::string("\x3D\xD8\xF7\xDC", 4), false), u"\U0001F4F7");
    EXPECT_EQ(Utf16Units(std::string("a\0b", 3), false), u"a");
    EXPECT_EQ(Utf16Units("", true), u"");
}
