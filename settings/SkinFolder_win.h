#pragma once
// The skins beside the program: one file "<name>.ini" per skin in the folder
// "skins\", read here (settings/SkinFile.h has the format) and handed to
// the framework's skin layer. UI thread only.
#include <string>
#include <vector>

class TSkinFolder {
public:
    // The folder in which skins are looked for; ends with a backslash.
    void SetDirectory(const std::string& folder);
    const std::string& Directory() const { return folder_; }
    // The names of the skins in that folder, sorted.
    std::vector<std::string> GetSkinNames() const;
    // Reads the named skin into fw::Skins(); empty (or a skin whose file
    // cannot be read) leaves none loaded.
    void SetSkinName(const std::string& name);

private:
    std::string folder_;
};

TSkinFolder& SkinFolder();
