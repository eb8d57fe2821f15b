#include "mask/MinimizeName.h"

namespace {

// Byte length of the first count UTF-8 characters of text (or all of it).
size_t CharsToBytes(const std::string& text, size_t count) {
    size_t at = 0;
    for (size_t n = 0; n < count && at < text.size(); ++n) {
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
    }
    return at;
}

// Takes the first folder off a folder part: "\Foto\2008\" becomes
// "\...\2008\", and a part already shortened that way loses its "...\"
// together with the next folder.
std::string CutFirstFolder(std::string part) {
    if (part == "\\") return std::string();
    const bool rooted = !part.empty() && part[0] == '\\';
    if (rooted) part.erase(0, 1);
    // Four characters: the "...\" of an earlier cut.
    if (!part.empty() && part[0] == '.') part.erase(0, CharsToBytes(part, 4));
    const size_t slash = part.find('\\');
    if (slash != std::string::npos)
        part = "...\\" + part.substr(slash + 1);
    else
        part.clear();
    return rooted ? "\\" + part : part;
}

}  // namespace

std::string MinimizeName(const std::string& path, const std::function<int(const std::string&)>& textWidth,
                         int maxWidth) {
    size_t split = path.find_last_of("\\:");
    split = split == std::string::npos ? 0 : split + 1;
    std::string folder = path.substr(0, split);
    const std::string name = path.substr(split);
    std::string drive;
    const size_t firstChar = CharsToBytes(folder, 1);
    if (firstChar < folder.size() && folder[firstChar] == ':') {
        drive = folder.substr(0, firstChar + 1);
        folder.erase(0, firstChar + 1);
    }

    std::string result = path;
    // Each round shortens the text; the bound only guards against a loop
    // that a future change to the cutting rules might make endless.
    for (size_t round = 0; round <= path.size() + 2; ++round) {
        if ((drive.empty() && folder.empty()) || textWidth(result) <= maxWidth) break;
        if (folder == "\\...\\") {
            drive.clear();
            folder = "...\\";
        } else if (folder.empty()) {
            drive.clear();
        } else {
            folder = CutFirstFolder(folder);
        }
        result = drive + folder + name;
    }
    return result;
}
