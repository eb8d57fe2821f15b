#include "settings/SkinFolder_win.h"

#include <windows.h>

#include "framework/SkinManager.h"
#include "framework/Strings.h"
#include "settings/SkinFile.h"

namespace {

std::string ReadWholeFile(const std::string& path, bool& ok) {
    ok = false;
    HANDLE h = CreateFileW(fw::Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char buf[4096];
    DWORD got = 0;
    // A skin is a few lines; anything far larger is no skin of ours.
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got && bytes.size() < 65536) bytes.append(buf, got);
    CloseHandle(h);
    ok = true;
    return fw::AnsiToUtf8(bytes);
}

fw::SkinLook LookOf(const TSkin& skin) {
    fw::SkinLook look;
    look.Window = skin.Window;
    look.Text = skin.Text;
    look.Edit = skin.Edit;
    look.EditText = skin.EditText;
    look.Link = skin.Link;
    look.FontName = skin.FontName;
    look.FontSize = skin.FontSize;
    return look;
}

}  // namespace

TSkinFolder& SkinFolder() {
    static TSkinFolder folder;
    return folder;
}

void TSkinFolder::SetDirectory(const std::string& folder) {
    folder_ = folder;
    if (!folder_.empty() && folder_.back() != '\\') folder_ += '\\';
}

std::vector<std::string> TSkinFolder::GetSkinNames() const {
    std::vector<std::string> files;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(fw::Wide(folder_ + "*.ini").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(fw::Utf8(fd.cFileName));
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    return SkinNamesFromFiles(files);
}

void TSkinFolder::SetSkinName(const std::string& name) {
    bool ok = false;
    std::string text;
    // A name is a file of the folder, never a path elsewhere.
    if (!name.empty() && name.find_first_of("\\/:") == std::string::npos)
        text = ReadWholeFile(folder_ + name + ".ini", ok);
    if (!ok) return fw::Skins().SetSkin(std::string(), nullptr);
    const fw::SkinLook look = LookOf(ParseSkin(text));
    fw::Skins().SetSkin(name, &look);
}
