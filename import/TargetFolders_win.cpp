#include "import/TargetFolders_win.h"

#include <windows.h>

#include "import/FileAccess_win.h"
#include "import/ImportCore.h"

// Under Wine a look-up of a name that is not there reads the whole folder,
// so asking the system once per file costs a run into one folder time that
// grows with the square of its files. A name that appears behind the lists
// is still never overwritten unasked: the copy takes its place only where
// no file is.
TTargetFolders& TargetFolders() {
    static TTargetFolders folders;
    return folders;
}

void TTargetFolders::Begin() {
    active_ = true;
    folders_.clear();
}

void TTargetFolders::End() {
    active_ = false;
    folders_.clear();
}

bool TTargetFolders::FileExists(const std::string& target) {
    if (!active_) return FileExistsAt(target);
    const std::wstring w = FoldedPath(target);
    const size_t slash = w.find_last_of(L"\\/");
    const Folder* folder = Listed(w.substr(0, slash + 1), target);
    if (!folder->listed) return FileExistsAt(target);
    return folder->files.count(w.substr(slash + 1)) != 0;
}

void TTargetFolders::FileAdded(const std::string& target) {
    if (!active_) return;
    const std::wstring w = FoldedPath(target);
    const size_t slash = w.find_last_of(L"\\/");
    auto it = folders_.find(w.substr(0, slash + 1));
    if (it != folders_.end()) it->second.files.insert(w.substr(slash + 1));
}

const TTargetFolders::Folder* TTargetFolders::Listed(const std::wstring& key, const std::string& target) {
    auto it = folders_.find(key);
    if (it != folders_.end()) return &it->second;
    Folder& folder = folders_[key];
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(LongPathForm(FolderOf(target) + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        // A folder still to be made holds nothing yet.
        folder.listed = code == ERROR_PATH_NOT_FOUND || code == ERROR_FILE_NOT_FOUND;
        return &folder;
    }
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        // A name is taken by its short spelling too.
        for (const wchar_t* name : {fd.cFileName, fd.cAlternateFileName}) {
            std::wstring n = name;
            if (n.empty()) continue;
            CharUpperBuffW(&n[0], static_cast<DWORD>(n.size()));
            folder.files.insert(std::move(n));
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    folder.listed = true;
    return &folder;
}
