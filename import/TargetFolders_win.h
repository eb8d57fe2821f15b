#pragma once
// Whether a target name is taken, answered from one listing of each target
// folder per run.
#include <string>
#include <unordered_map>
#include <unordered_set>

// The file names in each target folder, listed once when the run first
// names a file in it and kept up to date with what the run puts there.
// Outside a run's copy phase every question goes to the system.
class TTargetFolders {
public:
    void Begin();
    void End();
    bool FileExists(const std::string& target);
    void FileAdded(const std::string& target);

private:
    struct Folder {
        bool listed = false;  // false: the folder could not be read, ask per file
        std::unordered_set<std::wstring> files;
    };
    const Folder* Listed(const std::wstring& key, const std::string& target);

    bool active_ = false;
    std::unordered_map<std::wstring, Folder> folders_;
};

TTargetFolders& TargetFolders();

// Keeps the target lists for the copy phase of one run.
struct TTargetListsGuard {
    TTargetListsGuard() { TargetFolders().Begin(); }
    ~TTargetListsGuard() { TargetFolders().End(); }
    TTargetListsGuard(const TTargetListsGuard&) = delete;
    TTargetListsGuard& operator=(const TTargetListsGuard&) = delete;
};
