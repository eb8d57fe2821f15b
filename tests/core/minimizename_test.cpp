#include "mask/MinimizeName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One unit per character, as a fixed-pitch font would measure it.
int CharWidth(const std::string& text) {
    int n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

// Each step of a narrowing sequence is what MinimizeName gives for exactly
// its own width, and one unit less gives the next step.
void ExpectSequence(const std::vector<std::string>& steps) {
    const std::string& path = steps.front();
    for (size_t i = 0; i < steps.size(); ++i) {
        const int width = CharWidth(steps[i]);
        EXPECT_EQ(MinimizeName(path, CharWidth, width), steps[i]) << "width " << width;
        if (i + 1 < steps.size()) {
            EXPECT_EQ(MinimizeName(path, CharWidth, width - 1), steps[i + 1]) << "width " << width - 1;
        }
    }
    // No room at all: the bare name is left, never cut.
    EXPECT_EQ(MinimizeName(path, CharWidth, 0), steps.back());
}

TEST(MinimizeName, NarrowsFolderByFolder) {
    ExpectSequence({"C:\\Foto\\2008\\05\\P1070283.JPG", "C:\\...\\2008\\05\\P1070283.JPG",
                    "C:\\...\\05\\P1070283.JPG", "C:\\...\\P1070283.JPG", "...\\P1070283.JPG",
                    "P1070283.JPG"});
}

TEST(MinimizeName, OtherShapesOfPath) {
    ExpectSequence({"P1070283.JPG"});
    ExpectSequence({"C:P1070283.JPG", "P1070283.JPG"});
    ExpectSequence({"C:\\DCIM\\", "C:\\...\\", "...\\", ""});
    ExpectSequence({"Foto\\2008\\P.JPG", "...\\2008\\P.JPG", "...\\P.JPG", "P.JPG"});
    ExpectSequence({"\\Foto\\2008\\P.JPG", "\\...\\2008\\P.JPG", "\\...\\P.JPG", "...\\P.JPG", "P.JPG"});
    // Czech folder names are cut whole, never inside a character.
    ExpectSequence({"D:\\Fotky\\léto\\žába.jpg", "D:\\...\\léto\\žába.jpg", "D:\\...\\žába.jpg",
                    "...\\žába.jpg", "žába.jpg"});
}

TEST(MinimizeName, FolderStartingWithFullStopLosesFourCharacters) {
    // ".žž" is three characters but five bytes; counting bytes would cut
    // the second "ž" in half and keep the folder after it.
    EXPECT_EQ(MinimizeName("C:\\.žž\\a\\P.JPG", CharWidth, 14), "C:\\.žž\\a\\P.JPG");
    EXPECT_EQ(MinimizeName("C:\\.žž\\a\\P.JPG", CharWidth, 13), "C:\\...\\P.JPG");
    EXPECT_EQ(MinimizeName("C:\\.ž\\x\\y\\P.JPG", CharWidth, 14), "C:\\...\\y\\P.JPG");
}

TEST(MinimizeName, ShortTextIsLeftAlone) {
    EXPECT_EQ(MinimizeName("C:\\Foto\\2008\\05\\P1070283.JPG", CharWidth, 1000),
              "C:\\Foto\\2008\\05\\P1070283.JPG");
    EXPECT_EQ(MinimizeName("", CharWidth, 0), "");
}

TEST(MinimizeName, OddPathsEndAtTheName) {
    // Doubled and network separators grow the text once before it shrinks;
    // the shortening must still come to an end.
    for (const char* path : {"\\\\server\\share\\a\\P.JPG", "C:\\\\\\\\x\\P.JPG", "a:b:c\\P.JPG",
                             "C:\\...\\...\\P.JPG", "C:\\.\\.\\.\\P.JPG", "\\\\\\\\\\\\P.JPG"})
        EXPECT_EQ(MinimizeName(path, CharWidth, 0), "P.JPG") << path;
}

}  // namespace
