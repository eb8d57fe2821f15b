// Opens the import history as the program does and records one file in it,
// for the test of where the history lives; copied beside an uninstaller or
// not, it sees itself as installed or portable. Writes to the file named by
// its argument the lines "installed=0|1", "path=…", "notice=…",
// "recorded=0|1" (UTF-8).
#include <windows.h>

#include <cstdio>
#include <string>

#include "framework/Strings.h"
#include "import/ImportHistory_win.h"
#include "settings/SettingsPlace_win.h"

int wmain(int argc, wchar_t** argv) {
    FILE* out = nullptr;
    if (argc < 2 || !(out = _wfopen(argv[1], L"wb"))) return 2;
    std::string notice;
    TImportHistory* history = ImportHistory(notice);
    THistoryKey key;
    key.Name = "IMG_0001.JPG";
    key.Size = 1234;
    key.WriteTime = 133562160000000000;
    const bool recorded = history && history->Record(key, 42, "D:\\Foto\\IMG_0001.JPG");
    std::fprintf(out, "installed=%d\npath=%s\nnotice=%s\nrecorded=%d\n", IsInstalledProgram() ? 1 : 0,
                 ImportHistoryPath().c_str(), notice.c_str(), recorded ? 1 : 0);
    std::fclose(out);
    return 0;
}
