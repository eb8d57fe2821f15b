#include "support/CardImport.h"

#include <dbt.h>

#include "framework/Strings.h"
#include "support/ProgramRun.h"
#include "support/WinTest.h"
#include "support/WineDrive.h"

namespace wintest {

Card::Card() : folder_(MakeTempDir()) {
    CreateDirectoryW((folder_ + L"DCIM").c_str(), nullptr);
    CreateDirectoryW((folder_ + L"DCIM\\100CAM").c_str(), nullptr);
    const wchar_t letter = FreeDriveLetter();
    if (letter && DefineWineDrive(letter, folder_, DRIVE_REMOVABLE)) letter_ = letter;
}

Card::~Card() {
    if (letter_) RemoveWineDrive(letter_);
    RemoveTree(folder_);
}

bool Card::Put(const std::wstring& name, const std::string& bytes, WORD second) {
    const std::wstring path = folder_ + L"DCIM\\100CAM\\" + name;
    if (!WriteFileBytes(path, bytes)) return false;
    SYSTEMTIME st{2009, 6, 0, 1, 10, 0, second, 0};
    FILETIME local, utc;
    SystemTimeToFileTime(&st, &local);
    LocalFileTimeToFileTime(&local, &utc);
    HANDLE f = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    const BOOL ok = SetFileTime(f, nullptr, nullptr, &utc);
    CloseHandle(f);
    return ok != FALSE;
}

std::string Card::Read(const std::wstring& name) const {
    return ReadFileBytes(folder_ + L"DCIM\\100CAM\\" + name);
}

std::string CardImportSettings(const std::wstring& target, bool autoRecognize) {
    return "[Mask]\r\nCurrentMask=%file_name%.%file_ext%\r\nPath=" + fw::Utf8ToAnsi(fw::Utf8(target)) +
           "\r\n[Options]\r\nAutoUpdate=0\r\nTimeForMask=FileTime\r\nFileExtension=*.jpg\r\nAutoRecognize=" +
           (autoRecognize ? "1" : "0") + "\r\n";
}

bool SendVolumeEvent(HWND main, UINT event, wchar_t letter, DWORD_PTR& result, UINT timeoutMs) {
    DEV_BROADCAST_VOLUME v{};
    v.dbcv_size = sizeof v;
    v.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    v.dbcv_unitmask = 1u << (letter - L'A');
    // The system copies the broadcast structure into the receiving process
    // for the device events, as it does for its own broadcasts.
    return SendMessageTimeoutW(main, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&v), SMTO_NORMAL, timeoutMs,
                               &result) != 0;
}

bool StartCardImport(DWORD pid, wchar_t letter) {
    // Ready for a card once the last of its five windows is made.
    if (!WaitFor([&] { return FindProcessWindow(pid, L"Dialog", false) != nullptr; }, 20000)) return false;
    HWND main = FindProcessWindow(pid, L"Kolibrio 2 - nastavení", false);
    if (!main) return false;
    // The import runs inside the handler, so the send times out.
    DWORD_PTR result = 0;
    SendVolumeEvent(main, DBT_DEVICEARRIVAL, letter, result, 300);
    HWND confirm = nullptr;
    const auto offered = [&] {
        return (confirm = FindProcessWindow(pid, L"Kolibrio2 - Byl vložen fotoaparát", true)) != nullptr;
    };
    if (!WaitFor(offered, 10000)) return false;
    return ClickButton(confirm, L"Ano");
}

HWND OverwriteQuestion(DWORD pid) {
    return FindProcessWindow(pid, L"Kolibrio2 - Potvrdit nahrazení souboru", true);
}

}  // namespace wintest
