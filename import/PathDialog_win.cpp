#include "import/PathDialog_win.h"

#include <shlobj.h>

#include "framework/Strings.h"

namespace {

int CALLBACK BrowseCallback(HWND hwnd, UINT msg, LPARAM, LPARAM data) {
    if (msg == BFFM_INITIALIZED && data) SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

}  // namespace

std::string TPathDialog::FirstHardDiskRoot() {
    DWORD drives = GetLogicalDrives();
    for (int i = 2; i < 26; ++i) {  // hard disks start at C:
        if (!(drives & (1u << i))) continue;
        wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', 0};
        if (GetDriveTypeW(root) == DRIVE_FIXED) return fw::Utf8(root);
    }
    return std::string();
}

bool TPathDialog::Execute(HWND owner) {
    std::wstring start = fw::Wide(Directory.empty() ? FirstHardDiskRoot() : Directory);
    std::wstring title = fw::Wide(Caption);
    BROWSEINFOW bi{};
    bi.hwndOwner = owner;
    bi.pidlRoot = nullptr;  // the desktop
    bi.lpszTitle = title.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    bi.lpfn = BrowseCallback;
    bi.lParam = reinterpret_cast<LPARAM>(start.c_str());
    PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&bi);
    if (!pidl) return false;
    wchar_t path[MAX_PATH] = {};
    bool ok = SHGetPathFromIDListW(pidl, path) != FALSE;
    CoTaskMemFree(pidl);
    if (!ok || !path[0]) return false;
    Directory = fw::Utf8(path);
    return true;
}
