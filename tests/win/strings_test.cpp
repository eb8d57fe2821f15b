#include "framework/Strings.h"

#include <windows.h>

#include <gtest/gtest.h>

TEST(Strings, RoundTripsCzechThroughUtf16AndTheAnsiCodePage) {
    const std::string czech = "Nastavení: příliš žluťoučký kůň";
    EXPECT_EQ(fw::Utf8(fw::Wide(czech)), czech);
    // The tests run with a Czech locale, so the ANSI code page is 1250 and
    // holds every Czech letter.
    EXPECT_EQ(GetACP(), 1250u);
    std::string ansi = fw::Utf8ToAnsi(czech);
    EXPECT_EQ(ansi.size(), 31u);  // one byte per character
    EXPECT_EQ(fw::AnsiToUtf8(ansi), czech);
}
