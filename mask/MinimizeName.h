#pragma once
// Shortening a path to fit a label: leading folders give way to "...\"
// until the text fits. Portable; the caller measures text in its own font.
#include <functional>
#include <string>

// textWidth gives the width of a UTF-8 text in the label's font, maxWidth
// is the room in the same unit. The file name itself is never shortened.
std::string MinimizeName(const std::string& path, const std::function<int(const std::string&)>& textWidth,
                         int maxWidth);
