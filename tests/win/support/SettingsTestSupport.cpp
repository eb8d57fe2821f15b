#include "support/SettingsTestSupport.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>

#include "framework/Strings.h"
#include "settings/Settings.h"
#include "settings/SettingsStore_win.h"
#include "support/WinTest.h"

namespace settingstest {

namespace {
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
}

void SettingsFolderTest::SetUp() {
    folder_ = wintest::MakeTempDir();
    SetSettingsFolder(fw::Utf8(folder_));
    Settings() = TSettings{};
    DeleteRunValue();
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TB-Venor\\Kolibrio 2");
}

void SettingsFolderTest::TearDown() {
    SetSettingsView(nullptr);
    SetSettingsFolder("");
    wintest::RemoveTree(folder_);
}

void SettingsFolderTest::WriteIni(const std::string& utf8) const {
    ASSERT_TRUE(WriteFileFresh(IniPath(), fw::Utf8ToAnsi(utf8)));
}

std::string SettingsFolderTest::ReadIni() const {
    return IniText(wintest::ReadFileBytes(IniPath()));
}

bool IsUtf16Le(const std::string& bytes) {
    return bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE' && bytes.size() % 2 == 0;
}

std::string IniText(const std::string& bytes) {
    if (!IsUtf16Le(bytes)) return fw::AnsiToUtf8(bytes);
    std::wstring wide((bytes.size() - 2) / 2, L'\0');
    memcpy(wide.data(), bytes.data() + 2, wide.size() * 2);
    return fw::Utf8(wide);
}

bool WriteFileFresh(const std::wstring& path, const std::string& bytes) {
    static ULONGLONG next = 0;
    if (!wintest::WriteFileBytes(path, bytes)) return false;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    if (t.QuadPart <= next) t.QuadPart = next + 10000000;  // one second on
    next = t.QuadPart;
    FILETIME stamp{t.LowPart, t.HighPart};
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BOOL ok = SetFileTime(h, nullptr, nullptr, &stamp);
    CloseHandle(h);
    return ok;
}

std::optional<std::wstring> RunValue() {
    wchar_t buf[2048];
    DWORD size = sizeof buf, type = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kRunKey, L"Kolibrio2", RRF_RT_ANY, &type, buf, &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (type != REG_SZ) return L"<not a string>";
    return std::wstring(buf);
}

void SetRunValue(const std::wstring& value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"Kolibrio2", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void DeleteRunValue() {
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kRunKey, L"Kolibrio2");
}

std::wstring ExePath() {
    wchar_t buf[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH * 4);
    return std::wstring(buf, n);
}

std::string DocumentsFolder() {
    wchar_t buf[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, buf))) return {};
    return fw::Utf8(buf);
}

void ExpectRefusal(const std::string& text, const std::string& where) {
    const std::string head = std::string("Nastavení nebylo možné uložit do ") +
                             (where.back() == '\\' ? "složky" : "souboru") + " \"" + where + "\".\r\n";
    EXPECT_EQ(text.substr(0, head.size()), head) << text;
    EXPECT_GT(text.size(), head.size() + 2) << "no reason given: " << text;
}

}  // namespace settingstest
