#pragma once
// The import engine on Windows: scan, order, name, copy and report, on the
// one ImportJob(). The run belongs to the user-interface thread, inside the
// handler that started it; only the check of finished copies
// (CopyChecker_win.h) runs on threads of its own, which never touch the job
// or the windows.
#include <cstdint>
#include <string>
#include <vector>

#include "import/ImportCore.h"
#include "import/ImportJob.h"
#include "import/ImportUi.h"

// The whole import of a folder with the program's windows. A call while an
// import runs returns at once (another card, the tray command).
void StartImport(const std::string& path);
void StartImport(const std::string& path, IImportUi& ui);
// Naming, copying and reporting; only StartImport calls it.
void RunImport(IImportUi& ui);

// Appends the matches below folder to ImportJob().SourceFiles.
void ScanFolder(const std::string& folder, const std::string& pattern, IImportUi& ui);
// The same for each pattern in order, over a copy of the list.
void ScanPatterns(const std::string& folder, const std::vector<std::string>& patterns, IImportUi& ui);
// Orders ImportJob().SourceFiles by capture date.
void SortByCaptureDate(TDynamicDateTimeArray& D, int lo, int hi, bool fill, IImportUi& ui);

// The program's windows behind IImportUi.
IImportUi& WindowImportUi();

// For tests: how long a cancelled run waits for the checks still running
// before it gives them up (10 s).
void SetCheckPatienceForTests(uint32_t ms);
