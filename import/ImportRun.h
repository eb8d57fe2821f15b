#pragma once
// The import engine on Windows: scan, order, name, copy and report, on the
// one ImportJob(). The run belongs to the user-interface thread, inside the
// handler that started it; only the check of finished copies (VerifyCopy)
// runs on threads of its own, which never touch the job or the windows.
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

// total plus the file's size; total unchanged when it cannot be sized.
int64_t AddFileSize(const std::string& path, int64_t total);

// Appends the matches below folder to ImportJob().SourceFiles.
void ScanFolder(const std::string& folder, const std::string& pattern, IImportUi& ui);
// The same for each pattern in order, over a copy of the list.
void ScanPatterns(const std::string& folder, const std::vector<std::string>& patterns, IImportUi& ui);
// Orders ImportJob().SourceFiles by capture date.
void SortByCaptureDate(TDynamicDateTimeArray& D, int lo, int hi, bool fill, IImportUi& ui);

// Copies one file into place. True when copied, skipped by the user's
// answer, or cancelled at the overwrite question; false when it failed.
// The target name only ever holds a complete copy: the data goes to a
// temporary file beside it that replaces it at the end. Every failure
// leaves the file's path and the system's message in ErrorText.
bool CopyOneFile(const std::string& source, const std::string& target, std::string& ErrorText, IImportUi& ui);

// For tests: the block read of the copy (ReadFile when null). A removed
// card cannot be made here (a file deleted under Wine stays readable), so
// tests make the source fail in the middle of a file through this.
using TBlockRead = bool (*)(void* file, void* buffer, uint32_t size, uint32_t* read);
void SetBlockReadForTests(TBlockRead read);

// The program's windows behind IImportUi.
IImportUi& WindowImportUi();

// Creates a folder with all missing parents; true when it exists after.
bool ForceDirectories(const std::string& folder);
