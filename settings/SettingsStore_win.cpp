#include "settings/SettingsStore_win.h"

#include <windows.h>
#include <shlobj.h>

#include <stdexcept>
#include <vector>

#include "framework/Strings.h"
#include "import/FileAccess_win.h"
#include "settings/ListText.h"
#include "settings/ProfileFile_win.h"
#include "settings/SettingsPlace_win.h"
#include "settings/SettingsView.h"

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"Kolibrio2";
constexpr wchar_t kCounterKey[] = L"SOFTWARE\\TB-Venor\\Kolibrio 2";
constexpr char kSettingsFileName[] = "setting.ini";
constexpr char kDefaultsFileName[] = "setting_def.ini";
constexpr char kTargetSubfolder[] = "My Kolibrio\\";

std::string gFolder;  // empty: the program's own choice
ISettingsView* gView = nullptr;
bool gFirstStartDone = false;
std::string gReadInstead;  // the earlier settings, while the profile cannot take them

// A registry key opened (and created when missing) for full access.
class RegKey {
public:
    RegKey(HKEY root, const wchar_t* path) {
        if (RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key_,
                            nullptr) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~RegKey() {
        if (key_) RegCloseKey(key_);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    explicit operator bool() const { return key_ != nullptr; }
    HKEY Get() const { return key_; }

    bool HasValue(const wchar_t* name) const {
        return RegQueryValueExW(key_, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }
    bool WriteString(const wchar_t* name, const std::wstring& value) const {
        const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
        return RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) ==
               ERROR_SUCCESS;
    }

private:
    HKEY key_ = nullptr;
};

class CoTaskPtr {
public:
    CoTaskPtr() = default;
    ~CoTaskPtr() { CoTaskMemFree(p_); }
    CoTaskPtr(const CoTaskPtr&) = delete;
    CoTaskPtr& operator=(const CoTaskPtr&) = delete;
    LPITEMIDLIST* Out() { return &p_; }
    LPITEMIDLIST Get() const { return p_; }

private:
    LPITEMIDLIST p_ = nullptr;
};

std::string DefaultTargetPath() {
    // Without a Documents folder the executable's own folder is the one
    // absolute place that always exists.
    std::string base = SpecialFolderPath(CSIDL_PERSONAL);
    if (base.empty()) base = FolderOf(ExecutablePath());
    return base + kTargetSubfolder;
}

std::string LocaleName(LCTYPE type) {
    wchar_t buf[256];
    int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buf, 256);
    return n > 0 ? fw::Utf8(std::wstring_view(buf, n - 1)) : std::string();
}

void CheckMonthNames(const std::string& text, TNameLength which, TNameList list) {
    if (!ApplyMonthNames(text, which) && gView) gView->NameListTooShort(list);
}

void CheckDayNames(const std::string& text, TNameLength which, TNameList list) {
    if (!ApplyDayNames(text, which) && gView) gView->NameListTooShort(list);
}

std::wstring QuotedExecutablePath() {
    return L"\"" + fw::Wide(ExecutablePath()) + L"\"";
}

bool FileThere(const std::string& path) {
    return GetFileAttributesW(fw::Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The file the settings are read from, and a save starts from: the settings
// file, or, for the installed program whose profile could not take the
// user's earlier settings at its start, those.
std::string SettingsSource() {
    const std::string file = SettingsFilePath();
    if (!gFolder.empty() || !IsInstalledProgram()) return file;
    if (!gFirstStartDone) {
        gFirstStartDone = true;
        gReadInstead = StartUsersSettings(file);
    }
    return gReadInstead.empty() || FileThere(file) ? file : gReadInstead;
}

}  // namespace

void SetSettingsFolder(const std::string& folder) {
    gFirstStartDone = false;
    gReadInstead.clear();
    if (folder.empty()) {
        gFolder.clear();
        return;
    }
    const std::wstring wide = fw::Wide(folder);
    DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::vector<wchar_t> buf(n + 1);
    n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
    gFolder = WithTrailingBackslash(n && n < buf.size() ? fw::Utf8(std::wstring_view(buf.data(), n)) : folder);
}

std::string SettingsFolder() {
    if (!gFolder.empty()) return gFolder;
    if (IsInstalledProgram()) {
        // The program's folder is no place to write for a standard user, and
        // Windows redirects the writes of a 64-bit program nowhere.
        const std::string profile = ProfileSettingsFolder();
        if (!profile.empty()) return profile;
    }
    return FolderOf(ExecutablePath());
}

std::string SettingsFilePath() {
    return SettingsFolder() + kSettingsFileName;
}

std::string DefaultsFilePath() {
    return (gFolder.empty() ? FolderOf(ExecutablePath()) : gFolder) + kDefaultsFileName;
}

std::string ExecutablePath() {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) return fw::Utf8(std::wstring_view(buf.data(), n));
        if (buf.size() >= 32768) return {};
        buf.resize(buf.size() * 2);
    }
}

void SetSettingsView(ISettingsView* view) {
    gView = view;
}

void LoadSettings() {
    static const TSettings defaults;
    TSettings& s = Settings();
    const ProfileFile ini(SettingsSource());

    ResetDateNamesToSystem(s.DateNameTables);

    s.CurrentMask = ini.Read(L"Mask", L"CurrentMask", "");
    // The default applies to a missing key only; an empty value becomes "\".
    s.Path = WithTrailingBackslash(ini.Read(L"Mask", L"Path", DefaultTargetPath()));

    s.CatalogueList = TextToList(ini.Read(L"Mask", L"ListMask", ""), ',');
    if (gView) gView->CatalogueLoaded();

    s.ExtensionList = TextToList(ini.Read(L"Options", L"FileExtension", defaults.FileExtension), ';');
    s.FileExtension = ListToText(s.ExtensionList, ';');

    s.TimeForMask = ParseTimeSource(ini.Read(L"Options", L"TimeForMask", TimeSourceName(defaults.TimeForMask)));

    s.AutoRecognize = ParseBoolean(ini.Read(L"Options", L"AutoRecognize", ""), defaults.AutoRecognize);
    s.Hint = ParseBoolean(ini.Read(L"Options", L"Hint", ""), defaults.Hint);
    s.AutoUpdate = ParseBoolean(ini.Read(L"Options", L"AutoUpdate", ""), defaults.AutoUpdate);
    s.VerifyCopy = ParseBoolean(ini.Read(L"Options", L"VerifyCopy", ""), defaults.VerifyCopy);
    s.SkipImported = ParseBoolean(ini.Read(L"Options", L"SkipImported", ""), defaults.SkipImported);

    s.LongNameMonth = ini.Read(L"Options", L"LongNameMonth", defaults.LongNameMonth);
    s.ShortNameMonth = ini.Read(L"Options", L"ShortNameMonth", defaults.ShortNameMonth);
    s.LongNameDay = ini.Read(L"Options", L"LongNameDay", defaults.LongNameDay);
    s.ShortNameDay = ini.Read(L"Options", L"ShortNameDay", defaults.ShortNameDay);
    CheckMonthNames(s.LongNameMonth, TNameLength::Long, TNameList::LongMonth);
    CheckMonthNames(s.ShortNameMonth, TNameLength::Short, TNameList::ShortMonth);
    CheckDayNames(s.LongNameDay, TNameLength::Long, TNameList::LongDay);
    CheckDayNames(s.ShortNameDay, TNameLength::Short, TNameList::ShortDay);

    const std::string skin = ini.Read(L"Skin", L"SkinName", defaults.SkinName);
    if (gView)
        gView->ChooseSkin(skin);
    else
        s.SkinName = skin;

    // Autorun: an unreachable Run key leaves AutoRun as it was.
    if (RegKey run(HKEY_LOCAL_MACHINE, kRunKey); run) {
        s.AutoRun = run.HasValue(kRunValue);
        // Quoted: the path holds blanks, and an unquoted one lets Windows
        // try a program at a shorter name first.
        if (s.AutoRun) run.WriteString(kRunValue, QuotedExecutablePath());
    }

    if (gView) gView->SettingsLoaded();
}

void SaveSettings() {
    const TSettings& s = Settings();
    const std::string file = SettingsFilePath(), folder = FolderOf(file);
    // The installed program's profile folder at its first save, or one the
    // user removed since.
    uint32_t error = 0;
    if (!ForceDirectories(folder, &error)) throw std::runtime_error(SaveFailureText(folder, error));
    ProfileSave ini(file, SettingsSource());

    ini.Write(L"Mask", L"CurrentMask", s.CurrentMask);
    ini.Write(L"Mask", L"Path", s.Path);
    ini.Write(L"Mask", L"ListMask", CatalogueToValue(s.CatalogueList));

    const std::string skinName = gView ? gView->ActiveSkinName() : s.SkinName;
    ini.Write(L"Skin", L"SkinName", skinName);

    ini.Write(L"Options", L"FileExtension", ListToText(s.ExtensionList, ';'));
    // No source selected is saved as an empty value, which reads back the same.
    ini.Write(L"Options", L"TimeForMask", TimeSourceName(s.TimeForMask));

    // A bad month list is reported once more, and saved all the same.
    CheckMonthNames(s.LongNameMonth, TNameLength::Long, TNameList::LongMonth);
    CheckMonthNames(s.ShortNameMonth, TNameLength::Short, TNameList::ShortMonth);
    ini.Write(L"Options", L"LongNameMonth", s.LongNameMonth);
    ini.Write(L"Options", L"ShortNameMonth", s.ShortNameMonth);
    ini.Write(L"Options", L"LongNameDay", s.LongNameDay);
    ini.Write(L"Options", L"ShortNameDay", s.ShortNameDay);

    ini.Write(L"Options", L"AutoRecognize", BooleanToValue(s.AutoRecognize));
    ini.Write(L"Options", L"Hint", BooleanToValue(s.Hint));
    ini.Write(L"Options", L"AutoUpdate", BooleanToValue(s.AutoUpdate));
    ini.Write(L"Options", L"VerifyCopy", BooleanToValue(s.VerifyCopy));
    ini.Write(L"Options", L"SkipImported", BooleanToValue(s.SkipImported));
    ini.Commit();

    RegKey run(HKEY_LOCAL_MACHINE, kRunKey);
    if (!run) return;
    if (s.AutoRun)
        run.WriteString(kRunValue, QuotedExecutablePath());
    else
        RegDeleteValueW(run.Get(), kRunValue);  // a missing value is no error
}

void RestoreDefaults() {
    SettingsSource();  // the installed program's first start is over
    const std::wstring ini = fw::Wide(SettingsFilePath());
    const std::wstring factory = fw::Wide(DefaultsFilePath());
    // Without a file to replace, nothing is copied and the built-in
    // defaults apply; a missing factory file is not an error either.
    if (DeleteFileW(ini.c_str())) CopyFileW(factory.c_str(), ini.c_str(), TRUE);

    RegKey run(HKEY_LOCAL_MACHINE, kRunKey);
    if (run) run.WriteString(kRunValue, QuotedExecutablePath());
}

std::string SpecialFolderPath(int folderId) {
    CoTaskPtr pidl;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, folderId, pidl.Out())) || !pidl.Get()) return {};
    wchar_t path[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(pidl.Get(), path) || !path[0]) return {};
    return WithTrailingBackslash(fw::Utf8(path));
}

void ResetDateNamesToSystem(TDateNameTables& tables) {
    for (int m = 0; m < 12; ++m) {
        tables.LongMonth[m] = LocaleName(LOCALE_SMONTHNAME1 + m);
        tables.ShortMonth[m] = LocaleName(LOCALE_SABBREVMONTHNAME1 + m);
    }
    // The system counts days from Monday, the tables from Sunday.
    std::vector<std::string> longDays, shortDays;
    for (int d = 0; d < 7; ++d) {
        longDays.push_back(LocaleName(LOCALE_SDAYNAME1 + d));
        shortDays.push_back(LocaleName(LOCALE_SABBREVDAYNAME1 + d));
    }
    SetDayNamesMondayFirst(tables.LongDay, longDays);
    SetDayNamesMondayFirst(tables.ShortDay, shortDays);
}

bool IncrementCounter(const char* valueName) {
    RegKey key(HKEY_LOCAL_MACHINE, kCounterKey);
    if (!key) return false;
    const std::wstring name = fw::Wide(valueName);
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return false;
    ++value;  // wraps like the 32-bit counter it is
    return RegSetValueExW(key.Get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value) == ERROR_SUCCESS;
}
