#include "support/ImportSettings.h"

#include "framework/Strings.h"
#include "settings/Settings.h"

namespace wintest {

void UsePlainImportSettings(const std::wstring& archive) {
    TSettings& s = Settings();
    s.SkipImported = false;
    s.Path = fw::Utf8(archive);
    s.CurrentMask = "%file_name%.%file_ext%";
    s.ExtensionList = {"*.jpg"};
    s.TimeForMask = TTimeSource::FileTime;
}

std::string Pattern(size_t n, int seed) {
    std::string s(n, '\0');
    for (size_t k = 0; k < n; ++k) s[k] = static_cast<char>((k * 131 + seed) % 251);
    return s;
}

}  // namespace wintest
