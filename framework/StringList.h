#pragma once
// Ordered text lines, loaded from an ANSI text file (CR LF or LF line ends).
#include <string>
#include <vector>

namespace fw {

class StringList {
public:
    std::vector<std::string> Lines;  // UTF-8

    // Replaces the lines with those of the file; throws "Cannot open file %s"
    // when it cannot be opened. Others may read the file meanwhile, not write.
    void LoadFromFile(const std::string& fileName);
    std::string Text() const;  // lines joined with "\r\n"
};

}  // namespace fw
