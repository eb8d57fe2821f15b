#pragma once
// Which encoding the bytes of a text file (setting.ini) are in, decided from
// the bytes alone. Portable.
#include <cstddef>
#include <string>
#include <string_view>

enum class TTextEncoding { Utf16Le, Utf16Be, Utf8, Ansi };

struct TDetectedEncoding {
    TTextEncoding encoding;
    size_t markSize;  // bytes of the byte-order mark, 0 without one
    bool operator==(const TDetectedEncoding& o) const { return encoding == o.encoding && markSize == o.markSize; }
};

// A byte-order mark names the encoding. Without one: UTF-16 when the bytes
// hold NUL bytes mostly on one side of each pair, UTF-8 when they decode as
// strict UTF-8, and the ANSI code page only when they are neither.
TDetectedEncoding DetectTextEncoding(std::string_view bytes);

// True when the bytes are well-formed UTF-8: no stray or missing
// continuation bytes, no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsStrictUtf8(std::string_view bytes);

// UTF-16 code units of the bytes in the given byte order; an odd last byte
// is dropped.
std::u16string Utf16Units(std::string_view bytes, bool bigEndian);
