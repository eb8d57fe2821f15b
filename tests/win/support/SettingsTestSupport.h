#pragma once
// Helpers of the settings store tests: a temporary settings folder per
// test, setting.ini written as earlier versions wrote it (the ANSI code
// page) and read as whatever it is, the autorun value.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace settingstest {

// Each test gets its own settings folder and a clean Settings(), autorun
// value and counters key.
class SettingsFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::wstring Folder() const { return folder_; }
    std::wstring IniPath() const { return folder_ + L"setting.ini"; }
    // Writes setting.ini from UTF-8 text, stored in the ANSI code page.
    void WriteIni(const std::string& utf8) const;
    // setting.ini as UTF-8 text, from UTF-16 LE after its byte-order mark
    // or else from the ANSI code page.
    std::string ReadIni() const;

private:
    std::wstring folder_;
};

// The text of an INI file's bytes as ReadIni takes it.
std::string IniText(const std::string& bytes);
// True when the bytes are UTF-16 LE with a byte-order mark.
bool IsUtf16Le(const std::string& bytes);

// Writes bytes and gives the file a last-write time no earlier write had,
// so a profile cache keyed on that time never serves stale contents.
bool WriteFileFresh(const std::wstring& path, const std::string& bytes);

std::optional<std::wstring> RunValue();
void SetRunValue(const std::wstring& value);
void DeleteRunValue();
std::wstring ExePath();
// The Documents folder as the shell's path API names it.
std::string DocumentsFolder();

// The text of a refused save names the file or folder and gives a reason.
void ExpectRefusal(const std::string& text, const std::string& where);

}  // namespace settingstest
