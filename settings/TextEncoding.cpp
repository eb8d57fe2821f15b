#include "settings/TextEncoding.h"

namespace {

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

}  // namespace

bool IsStrictUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t length;
        // The second byte's range rules out overlong forms (E0, F0),
        // surrogates (ED) and code points past U+10FFFF (F4).
        unsigned char low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else {
            return false;  // a continuation byte without a lead, C0, C1, F5..FF
        }
        if (bytes.size() - i < length) return false;
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        if (second < low || second > high) return false;
        for (size_t k = 2; k < length; ++k)
            if (!IsContinuation(static_cast<unsigned char>(bytes[i + k]))) return false;
        i += length;
    }
    return true;
}

TDetectedEncoding DetectTextEncoding(std::string_view bytes) {
    if (bytes.substr(0, 2) == "\xFF\xFE") return {TTextEncoding::Utf16Le, 2};
    if (bytes.substr(0, 2) == "\xFE\xFF") return {TTextEncoding::Utf16Be, 2};
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return {TTextEncoding::Utf8, 3};
    // Neither UTF-8 nor an ANSI code page puts a NUL byte into a text, while
    // UTF-16 does in every character of the ASCII range (brackets, "=",
    // line ends), on the high side of the pair.
    if (bytes.size() % 2 == 0) {
        size_t evenNuls = 0, oddNuls = 0;
        for (size_t i = 0; i < bytes.size(); ++i)
            if (bytes[i] == '\0') ++(i % 2 ? oddNuls : evenNuls);
        if (oddNuls > evenNuls) return {TTextEncoding::Utf16Le, 0};
        if (evenNuls > oddNuls) return {TTextEncoding::Utf16Be, 0};
    }
    return {IsStrictUtf8(bytes) ? TTextEncoding::Utf8 : TTextEncoding::Ansi, 0};
}

std::u16string Utf16Units(std::string_view bytes, bool bigEndian) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]), second = static_cast<unsigned char>(bytes[i + 1]);
        units += static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first);
    }
    return units;
}
