#include "import/Placing_win.h"

#include <algorithm>
#include <vector>

#include "import/FileAccess_win.h"
#include "import/ImportCore.h"

// A run starts each file at a number of its own, so that the copies
// waiting for their check do not cost every file failed creates.
HANDLE CreateTemporaryBeside(const std::string& target, std::wstring& temp, int first) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = LongPathForm(TemporaryTargetName(target, first + attempt));
        // DELETE: the finished copy is renamed through this handle.
        HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (h != INVALID_HANDLE_VALUE) return h;
        DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            SetLastError(code);
            return INVALID_HANDLE_VALUE;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

// A rename by path opens the file once more, which under Wine costs three
// round trips to the server; through the open handle it costs one. The name
// goes in the system's own form (\??\C:\...), which every Windows takes.
TPlacing RenameThrough(HANDLE handle, const std::string& target, bool replace, DWORD& code) {
    const std::wstring name = NtFormOfLongPath(LongPathForm(target));
    if (name.empty()) {
        code = ERROR_INVALID_NAME;
        return TPlacing::Refused;
    }
    const size_t bytes = sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(bytes, 0);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), info->FileName);
    if (SetFileInformationByHandle(handle, FileRenameInfo, info, static_cast<DWORD>(bytes))) return TPlacing::Placed;
    code = GetLastError();
    return !replace && (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) ? TPlacing::Appeared
                                                                                   : TPlacing::Refused;
}

TPlacing MoveIntoPlace(const std::wstring& temp, const std::string& target, bool replace, DWORD& code) {
    if (MoveFileExW(temp.c_str(), LongPathForm(target).c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0))
        return TPlacing::Placed;
    code = GetLastError();
    DeleteFileW(temp.c_str());
    return !replace && FileExistsAt(target) ? TPlacing::Appeared : TPlacing::Refused;
}
