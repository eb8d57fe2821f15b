#include "import/Placing_win.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "framework/Lock.h"
#include "framework/Strings.h"
#include "import/CopyOwner_win.h"
#include "import/FileAccess_win.h"
#include "import/ImportCore.h"

namespace {

fw::Lock gLeftoversLock;

// Never destroyed: a check the run gave up may still end, and remove its
// copy, while the process runs its exit.
std::vector<std::wstring>& Leftovers() {
    static auto* leftovers = new std::vector<std::wstring>;
    return *leftovers;
}

// Where the calling thread's copies that cannot go are noted instead of
// the run's list: a check thread's, whose copy the run may give up.
thread_local std::vector<std::wstring>* tLeftoversHere = nullptr;

bool Gone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

}  // namespace

// A run starts each file at a number of its own, so that the copies
// waiting for their check do not cost every file failed creates.
HANDLE CreateTemporaryBeside(const std::string& target, std::wstring& temp, int first) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = LongPathForm(TemporaryTargetName(target, first + attempt, ThisCopyOwner()));
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
    const std::wstring longTarget = LongPathForm(target);
    const std::wstring name = NtFormOfLongPath(longTarget);
    if (name.empty()) {
        code = ERROR_INVALID_NAME;
        return TPlacing::Refused;
    }
    if ((code = InjectedFault(TFileStep::Rename, longTarget)) != 0) return TPlacing::Refused;
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
    const std::wstring longTarget = LongPathForm(target);
    code = InjectedFault(TFileStep::Rename, longTarget);
    if (code == 0 && MoveFileExW(temp.c_str(), longTarget.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0))
        return TPlacing::Placed;
    if (code == 0) code = GetLastError();
    RemoveTemporary(temp);
    return !replace && FileExistsAt(target) ? TPlacing::Appeared : TPlacing::Refused;
}

bool RemoveThrough(HANDLE handle) {
    FILE_DISPOSITION_INFO info{};
    info.DeleteFile = TRUE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &info, sizeof(info)) != FALSE;
}

void RemoveTemporary(const std::wstring& temp) {
    if (DeleteFileAt(temp) || Gone(GetLastError())) return;
    if (tLeftoversHere) return tLeftoversHere->push_back(temp);
    std::lock_guard<fw::Lock> lock(gLeftoversLock);
    Leftovers().push_back(temp);
}

void KeepLeftoversOfThisThreadIn(std::vector<std::wstring>* list) { tLeftoversHere = list; }

void NoteLeftovers(const std::vector<std::wstring>& list) {
    if (list.empty()) return;
    std::lock_guard<fw::Lock> lock(gLeftoversLock);
    Leftovers().insert(Leftovers().end(), list.begin(), list.end());
}

// Tried once more at the end of the run: a program that held a copy open
// for a moment (a virus scanner, a thumbnailer) has let go by then.
std::vector<std::string> TakeLeftovers() {
    std::vector<std::wstring> left;
    {
        std::lock_guard<fw::Lock> lock(gLeftoversLock);
        left.swap(Leftovers());
    }
    std::vector<std::string> still;
    for (const std::wstring& path : left)
        if (!DeleteFileAt(path) && !Gone(GetLastError())) still.push_back(fw::Utf8(ShortFormOfLongPath(path)));
    return still;
}

int RemoveStaleCopies(const std::vector<std::string>& folders, uint64_t since) {
    int removed = 0;
    const uint32_t machine = ThisCopyOwner().machine;
    for (const std::string& folder : folders) {
        ListEntries(folder + kTemporaryHead + "*" + kTemporaryTail, [&](const TScanEntry& e) {
            // A copy whose owner still runs is live: this process's own, or
            // another import's into the same folder.
            if (!e.Directory &&
                IsStaleCopy(e.Name, e.WriteTime, machine, static_cast<int64_t>(since), CopyOwnerRunning) &&
                DeleteFileAt(LongPathForm(folder + e.Name)))
                ++removed;
            return true;
        });
    }
    return removed;
}
