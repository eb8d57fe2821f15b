#pragma once
// The copy of one file of a run: the overwrite question, the source opened
// once, the blocks copied into a temporary file with the bars moving, and
// the complete copy put in place (or handed to the copy check).
#include <cstddef>
#include <string>

#include "import/ImportUi.h"

class TCopyChecker;

// True when copied, skipped by the user's answer, or cancelled at the
// overwrite question; false when it failed, with the file's path and the
// system's message in ErrorText. A checked copy goes to checker when there
// is one (the file then counts as copied or failed when its check ends);
// without one it is checked here. index is the file's place in the run.
bool CopyFileOfRun(const std::string& source, const std::string& target, std::string& ErrorText, IImportUi& ui,
                   TCopyChecker* checker, size_t index);

// The same for a file on its own, checked on the calling thread.
bool CopyOneFile(const std::string& source, const std::string& target, std::string& ErrorText, IImportUi& ui);
